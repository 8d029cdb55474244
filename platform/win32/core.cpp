// The Win32 layer's core: errors, modules, windows and messages, message
// boxes, files and directories, time and threads. Each call forwards to the
// system call of the same name.
#include "platform/win32/win32.h"

#include <cstdio>
#include <cstring>

using namespace plat::win;

namespace plat {

static_assert(sizeof(POINT) == sizeof(::POINT));
static_assert(sizeof(RECT) == sizeof(::RECT));
static_assert(sizeof(SYSTEMTIME) == sizeof(::SYSTEMTIME));
static_assert(sizeof(BITMAPINFOHEADER) == sizeof(::BITMAPINFOHEADER));

// ===========================================================================
// Errors
// ===========================================================================
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD code) { ::SetLastError(code); }

bool FormatMessageA(DWORD code, std::string& text) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                        FORMAT_MESSAGE_FROM_SYSTEM,
                                    nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                    reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (length == 0 || !buffer) return false;
    text.assign(buffer, length);
    ::LocalFree(buffer);
    return true;
}

// ===========================================================================
// Modules
// ===========================================================================
namespace {
FARPROC layeredEntry = nullptr;

BOOL CallLayered(HWND window, COLORREF key, BYTE alpha, DWORD flags) {
    using Real = ::BOOL(WINAPI*)(::HWND, ::COLORREF, ::BYTE, ::DWORD);
    return reinterpret_cast<Real>(reinterpret_cast<void*>(layeredEntry))(W(window), key, alpha, flags);
}
}  // namespace

HMODULE LoadLibraryA(const char* name) { return As<HMODULE>(::LoadLibraryA(name)); }

LayeredAttributesProc GetProcAddress(HMODULE module, const char* name) {
    if (!module || std::strcmp(name, "SetLayeredWindowAttributes") != 0) return nullptr;
    FARPROC entry = ::GetProcAddress(As<::HMODULE>(module), name);
    if (!entry) return nullptr;
    layeredEntry = entry;
    return &CallLayered;
}

// ===========================================================================
// Windows and messages
// ===========================================================================
namespace {
// The program registers one window class; its procedure is kept here and
// reached through a system-shaped trampoline.
WNDPROC programProc = nullptr;

LRESULT CALLBACK Trampoline(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
    if (!programProc) return ::DefWindowProcA(window, message, wParam, lParam);
    return programProc(P(window), message, wParam, lParam);
}
}  // namespace

WORD RegisterClassA(const WNDCLASSA* windowClass) {
    programProc = windowClass->lpfnWndProc;
    ::WNDCLASSA c{};
    c.style = windowClass->style;
    c.lpfnWndProc = &Trampoline;
    c.cbClsExtra = windowClass->cbClsExtra;
    c.cbWndExtra = windowClass->cbWndExtra;
    c.hInstance = As<::HINSTANCE>(windowClass->hInstance);
    c.hIcon = As<::HICON>(windowClass->hIcon);
    c.hCursor = As<::HCURSOR>(windowClass->hCursor);
    c.hbrBackground = As<::HBRUSH>(windowClass->hbrBackground);
    c.lpszMenuName = windowClass->lpszMenuName;
    c.lpszClassName = windowClass->lpszClassName;
    return ::RegisterClassA(&c);
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param) {
    return P(::CreateWindowExA(exStyle, className, title, style, x, y, width, height, W(parent),
                               As<::HMENU>(menu), As<::HINSTANCE>(instance), param));
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(W(window), message, wParam, lParam);
}

BOOL ShowWindow(HWND window, int command) { return ::ShowWindow(W(window), command); }
BOOL UpdateWindow(HWND window) { return ::UpdateWindow(W(window)); }

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    return ::SetWindowPos(W(window), W(insertAfter), x, y, width, height, flags);
}

HWND SetFocus(HWND window) { return P(::SetFocus(W(window))); }
LONG GetWindowLongA(HWND window, int index) { return ::GetWindowLongA(W(window), index); }
LONG SetWindowLongA(HWND window, int index, LONG value) { return ::SetWindowLongA(W(window), index, value); }

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
    return ::InvalidateRect(W(window), reinterpret_cast<const ::RECT*>(rect), erase);
}

BOOL GetClientRect(HWND window, RECT* rect) { return ::GetClientRect(W(window), reinterpret_cast<::RECT*>(rect)); }
BOOL GetWindowRect(HWND window, RECT* rect) { return ::GetWindowRect(W(window), reinterpret_cast<::RECT*>(rect)); }
BOOL IsWindowVisible(HWND window) { return ::IsWindowVisible(W(window)); }

namespace {
void FromSystem(const ::MSG& from, MSG* to) {
    to->hwnd = P(from.hwnd);
    to->message = from.message;
    to->wParam = from.wParam;
    to->lParam = from.lParam;
    to->time = from.time;
    to->pt = {from.pt.x, from.pt.y};
}

::MSG ToSystem(const MSG* from) {
    ::MSG to{};
    to.hwnd = W(from->hwnd);
    to.message = from->message;
    to.wParam = from->wParam;
    to.lParam = from->lParam;
    to.time = from->time;
    to.pt = {from->pt.x, from->pt.y};
    return to;
}
}  // namespace

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
    ::MSG m{};
    BOOL taken = ::PeekMessageA(&m, W(window), first, last, remove);
    if (taken) FromSystem(m, message);
    return taken;
}

BOOL TranslateMessage(const MSG* message) {
    ::MSG m = ToSystem(message);
    return ::TranslateMessage(&m);
}

LRESULT DispatchMessageA(const MSG* message) {
    ::MSG m = ToSystem(message);
    return ::DispatchMessageA(&m);
}

void PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(W(window), message, wParam, lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(W(window), message, wParam, lParam);
}

void WaitAnsweringSentMessages(DWORD milliseconds) {
    DWORD start = ::GetTickCount();
    for (;;) {
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        // MWMO_INPUTAVAILABLE: a message sent before this wait began wakes it too.
        DWORD woke = ::MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_SENDMESSAGE,
                                                   MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            // A PeekMessage limited to sent messages handles them and takes
            // nothing from the posted queue.
            ::MSG m;
            ::PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (woke != WAIT_TIMEOUT) {
            ::Sleep(milliseconds - elapsed);
            return;
        }
    }
}

BOOL RegisterHotKey(HWND window, int id, UINT modifiers, UINT virtualKey) {
    return ::RegisterHotKey(W(window), id, modifiers, virtualKey);
}

BOOL UnregisterHotKey(HWND window, int id) { return ::UnregisterHotKey(W(window), id); }
int GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }
BOOL GetCursorPos(POINT* point) { return ::GetCursorPos(reinterpret_cast<::POINT*>(point)); }

HICON LoadIconA(HINSTANCE instance, std::intptr_t resource) {
    return As<HICON>(::LoadIconA(As<::HINSTANCE>(instance), MAKEINTRESOURCEA(resource)));
}

HCURSOR LoadCursorA(HINSTANCE instance, std::intptr_t resource) {
    return As<HCURSOR>(::LoadCursorA(As<::HINSTANCE>(instance), MAKEINTRESOURCEA(resource)));
}

int GetWindowTextA(HWND window, char* text, int count) { return ::GetWindowTextA(W(window), text, count); }
BOOL SetWindowTextA(HWND window, const char* text) { return ::SetWindowTextA(W(window), text); }
UINT RegisterWindowMessageA(const char* name) { return ::RegisterWindowMessageA(name); }

// ===========================================================================
// Message boxes
// ===========================================================================
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    return ::MessageBoxA(W(owner), text, caption, type);
}

// ===========================================================================
// Files and directories
// ===========================================================================
struct FileStream {
    std::FILE* file;
};

FileStream* FileOpen(const char* path, const char* mode) {
    std::FILE* f = std::fopen(path, mode);
    return f ? new FileStream{f} : nullptr;
}

std::size_t FileRead(void* buffer, std::size_t size, std::size_t count, FileStream* file) {
    return std::fread(buffer, size, count, file->file);
}

std::size_t FileWrite(const void* buffer, std::size_t size, std::size_t count, FileStream* file) {
    return std::fwrite(buffer, size, count, file->file);
}

int FileSeek(FileStream* file, long offset, int origin) { return std::fseek(file->file, offset, origin); }
long FileTell(FileStream* file) { return std::ftell(file->file); }
int FileFlush(FileStream* file) { return std::fflush(file->file); }

int FileClose(FileStream* file) {
    int result = std::fclose(file->file);
    delete file;
    return result;
}

BOOL DeleteFileA(const char* path) { return ::DeleteFileA(path); }
BOOL CreateDirectoryA(const char* path, void*) { return ::CreateDirectoryA(path, nullptr); }
BOOL MoveFileExA(const char* from, const char* to, DWORD flags) { return ::MoveFileExA(from, to, flags); }

// ===========================================================================
// Time and threads
// ===========================================================================
void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }
void GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(reinterpret_cast<::SYSTEMTIME*>(time)); }

namespace {
struct ThreadStart {
    LPTHREAD_START_ROUTINE start;
    void* parameter;
};

::DWORD WINAPI ThreadMain(void* argument) {
    ThreadStart s = *static_cast<ThreadStart*>(argument);
    delete static_cast<ThreadStart*>(argument);
    return s.start(s.parameter);
}
}  // namespace

HANDLE CreateThread(void*, std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter, DWORD flags,
                    DWORD* threadId) {
    auto* s = new ThreadStart{start, parameter};
    ::DWORD id = 0;
    ::HANDLE thread = ::CreateThread(nullptr, stackSize, &ThreadMain, s, flags, &id);
    if (!thread) {
        delete s;
        return nullptr;
    }
    if (threadId) *threadId = id;
    return PH(thread);
}

}  // namespace plat
