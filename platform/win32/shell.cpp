// The Win32 layer's clipboard, global memory and notification-area icon.
#include "platform/win32/win32.h"

#include <shellapi.h>

#include <cstddef>
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

namespace {
// The system's size of the form with balloon and identifier fields: up to
// and including guidItem (NOTIFYICONDATAA_V3_SIZE).
constexpr std::size_t systemRecordSize = offsetof(::NOTIFYICONDATAA, guidItem) + sizeof(::GUID);
static_assert(sizeof(void*) != 4 || systemRecordSize == 504);
static_assert(sizeof(void*) != 8 || systemRecordSize == 520);
}  // namespace

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    // Our record has the fields of the system's in the same order. cbSize
    // names the form with balloon and identifier fields: 504 bytes in a
    // 32-bit process, more in a 64-bit one, where the handles are wider. The
    // system's own size of that form is what this build must pass; the whole
    // structure may be larger still (a balloon icon handle added later).
    ::NOTIFYICONDATAA system{};
    system.cbSize = static_cast<DWORD>(systemRecordSize);
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
