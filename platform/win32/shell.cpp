// The Win32 layer's clipboard, global memory and notification-area icon.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <cstring>

using namespace plat::win;

namespace plat {

BOOL OpenClipboard(HWND owner) { return ::OpenClipboard(W(owner)); }
BOOL EmptyClipboard() { return ::EmptyClipboard(); }
HANDLE SetClipboardData(UINT format, HGLOBAL memory) { return PH(::SetClipboardData(format, As<::HANDLE>(memory))); }
BOOL CloseClipboard() { return ::CloseClipboard(); }
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) { return As<HGLOBAL>(::GlobalAlloc(flags, bytes)); }
void* GlobalLock(HGLOBAL memory) { return ::GlobalLock(As<::HGLOBAL>(memory)); }
BOOL GlobalUnlock(HGLOBAL memory) { return ::GlobalUnlock(As<::HGLOBAL>(memory)); }
HGLOBAL GlobalFree(HGLOBAL memory) { return As<HGLOBAL>(::GlobalFree(As<::HGLOBAL>(memory))); }

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    // Our record has the fields of the system's in the same order; the
    // system's own size for this form is what cbSize must say on this build.
    ::NOTIFYICONDATAA system{};
    system.cbSize = sizeof system;
    system.hWnd = W(data->hWnd);
    system.uID = data->uID;
    system.uFlags = data->uFlags;
    system.uCallbackMessage = data->uCallbackMessage;
    system.hIcon = As<::HICON>(data->hIcon);
    std::memcpy(system.szTip, data->szTip, sizeof system.szTip);
    system.dwState = data->dwState;
    system.dwStateMask = data->dwStateMask;
    std::memcpy(system.szInfo, data->szInfo, sizeof system.szInfo);
    system.uVersion = data->uVersion;
    std::memcpy(system.szInfoTitle, data->szInfoTitle, sizeof system.szInfoTitle);
    system.dwInfoFlags = data->dwInfoFlags;
    std::memcpy(&system.guidItem, data->guidItem, sizeof system.guidItem);
    return ::Shell_NotifyIconA(message, &system);
}

}  // namespace plat
