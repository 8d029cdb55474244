// The only door to the operating system.
//
// Everything Vorlune asks of the system goes through the declarations below.
// They keep the names, arguments and numeric constants of the Windows
// interfaces they stand for, declared as our own types, so that the code in
// app/, settings/, capture/ and ftp/ reads like the operations it performs and
// never includes a system header.
//
// Two implementations are chosen at link time:
//   platform/win32/  forwards to user32, gdi32, kernel32, shell32 and ws2_32;
//   platform/sim/    a simulated desktop for native builds and tests, with
//                    real files, processes and sockets underneath.
//
// Each function carries a one-line contract; where a call differs from the
// Windows call of the same name, the contract says how.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// ===========================================================================
// Basic types
// ===========================================================================
using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t;

struct WindowTag;
struct InstanceTag;
struct DcTag;
struct GdiObjectTag;
struct IconTag;
struct ModuleTag;
struct HandleTag;
struct MemoryTag;

using HWND = WindowTag*;
using HINSTANCE = InstanceTag*;
using HDC = DcTag*;
using HGDIOBJ = GdiObjectTag*;
using HBRUSH = HGDIOBJ;
using HFONT = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HICON = IconTag*;
using HCURSOR = IconTag*;
using HMODULE = ModuleTag*;
using HANDLE = HandleTag*;
using HGLOBAL = MemoryTag*;

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// ===========================================================================
// Errors
// ===========================================================================
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_CLIPBOARD_NOT_OPEN = 1418;
constexpr DWORD ERROR_HOTKEY_ALREADY_REGISTERED = 1409;

// The calling thread's last error code (socket failures included).
DWORD GetLastError();
// Sets the calling thread's last error code.
void SetLastError(DWORD code);
// The system's own message text for an error code; false when it has none.
// (Stands for FormatMessageA with FORMAT_MESSAGE_ALLOCATE_BUFFER |
// FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, language 0x400.)
bool FormatMessageA(DWORD code, std::string& text);

// ===========================================================================
// Modules and process entry
// ===========================================================================
using LayeredAttributesProc = BOOL (*)(HWND window, COLORREF key, BYTE alpha, DWORD flags);

// Loads a system library by name; null when it cannot be loaded.
HMODULE LoadLibraryA(const char* name);
// Looks up "SetLayeredWindowAttributes" in a loaded module; null when the
// module has no such entry. Other names are not supported and give null.
LayeredAttributesProc GetProcAddress(HMODULE module, const char* name);

// The program's entry, supplied by app/ and called by the platform's own
// process entry on the UI thread. Only the instance is meaningful.
int WinMain(HINSTANCE instance, HINSTANCE previous, char* commandLine, int showCommand);

// ===========================================================================
// Windows and messages
// ===========================================================================
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_HOTKEY = 0x0312;
constexpr UINT WM_APP = 0x8000;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BN_CLICKED = 0;
constexpr LRESULT BST_UNCHECKED = 0;
constexpr LRESULT BST_CHECKED = 1;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;

constexpr int GWL_EXSTYLE = -20;
constexpr int GWL_STYLE = -16;

constexpr DWORD WS_POPUP = 0x80000000u;
constexpr DWORD WS_CHILD = 0x40000000u;
constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_CLIPSIBLINGS = 0x04000000u;
constexpr DWORD WS_CLIPCHILDREN = 0x02000000u;
constexpr DWORD WS_CAPTION = 0x00C00000u;
constexpr DWORD WS_BORDER = 0x00800000u;
constexpr DWORD WS_SYSMENU = 0x00080000u;
constexpr DWORD WS_EX_APPWINDOW = 0x00040000u;
constexpr DWORD WS_EX_LAYERED = 0x00080000u;
constexpr DWORD ES_PASSWORD = 0x0020u;
constexpr DWORD ES_AUTOHSCROLL = 0x0080u;
constexpr DWORD BS_PUSHBUTTON = 0x0000u;
constexpr DWORD BS_AUTOCHECKBOX = 0x0003u;
constexpr DWORD BS_LEFTTEXT = 0x0020u;
constexpr DWORD SS_LEFT = 0x0000u;

constexpr DWORD LWA_ALPHA = 2;

constexpr UINT MOD_ALT = 1;
constexpr UINT MOD_CONTROL = 2;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_OEM_3 = 0xC0;

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

constexpr std::intptr_t IDI_WINLOGO = 32517;
constexpr std::intptr_t IDI_INFORMATION = 32516;
constexpr std::intptr_t IDC_ARROW = 32512;

// Special insert-after values of SetWindowPos.
inline HWND HWND_TOPMOST() { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1)); }

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Registers a window class; 0 on failure. The class's window procedure
// receives every message of windows of that class.
WORD RegisterClassA(const WNDCLASSA* windowClass);
// Creates a window or a control ("STATIC", "EDIT", "BUTTON"); null on failure.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void* menu, HINSTANCE instance, void* param);
// The default processing of a message (WM_CLOSE destroys the window).
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Shows or hides a window; from another thread it waits for the owner thread.
BOOL ShowWindow(HWND window, int command);
// Paints the window now (a WM_PAINT through its procedure) if any part is invalid.
BOOL UpdateWindow(HWND window);
// Moves, sizes and re-stacks a window (HWND_TOPMOST); activates it unless told otherwise.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
// Gives the keyboard focus to a window; returns the window that had it.
HWND SetFocus(HWND window);
// Reads or replaces a window's style (GWL_STYLE) or extended style (GWL_EXSTYLE).
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);
// Marks a rectangle of the client area (the whole of it for null) invalid.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// The client area as (0, 0, width, height).
BOOL GetClientRect(HWND window, RECT* rect);
// The window's outer rectangle in screen coordinates.
BOOL GetWindowRect(HWND window, RECT* rect);
// Non-zero when the window is visible.
BOOL IsWindowVisible(HWND window);
// Takes the next message of the calling thread's queue (WM_PAINT for an
// invalid window once nothing else is waiting); non-zero when one was taken.
// Messages sent from other threads are handled inside this call first.
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
// Posts WM_QUIT with the code to the calling thread's queue.
void PostQuitMessage(int exitCode);
// Posts a message to the window's thread; returns at once.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Sends a message to the window's procedure and waits for its result; from
// another thread the window's owner handles it in its message retrieval.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Waits up to the given time for messages that other threads send to the
// calling thread and handles each as it arrives; returns after the time has
// passed. This is the main loop's pause: a plain Sleep would leave the
// worker's window operations waiting until the next pass.
void WaitAnsweringSentMessages(DWORD milliseconds);
// Registers a hotkey that posts WM_HOTKEY to the window; 0 on failure
// (ERROR_HOTKEY_ALREADY_REGISTERED when another program holds it).
BOOL RegisterHotKey(HWND window, int id, UINT modifiers, UINT virtualKey);
BOOL UnregisterHotKey(HWND window, int id);
// A metric of the system, e.g. SM_CXVIRTUALSCREEN.
int GetSystemMetrics(int index);
// The cursor position in screen coordinates.
BOOL GetCursorPos(POINT* point);
// A stock icon or cursor (instance null, resource id).
HICON LoadIconA(HINSTANCE instance, std::intptr_t resource);
HCURSOR LoadCursorA(HINSTANCE instance, std::intptr_t resource);
// Copies at most count - 1 bytes of the window's text and a terminating 0;
// returns the number of bytes copied.
int GetWindowTextA(HWND window, char* text, int count);
BOOL SetWindowTextA(HWND window, const char* text);
// A message number unique to the name for this session, e.g. "TaskbarCreated".
UINT RegisterWindowMessageA(const char* name);

// ===========================================================================
// Message boxes
// ===========================================================================
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;

// A modal message box; sent messages are answered while it is open.
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// ===========================================================================
// Painting
// ===========================================================================
constexpr int LOGPIXELSY = 90;
constexpr DWORD ANSI_CHARSET = 0;
constexpr UINT DT_TOP_LEFT = 0;
constexpr int OPAQUE = 2;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// Starts painting an invalid window and validates it; the device context
// draws into the window's client area.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
int GetDeviceCaps(HDC dc, int index);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char* face);
HBRUSH CreateSolidBrush(COLORREF colour);
// Selects a font, brush or bitmap into a device context; returns the one it replaced.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetBkColor(HDC dc, COLORREF colour);
COLORREF SetTextColor(HDC dc, COLORREF colour);
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom);
// Fills a rectangle (right and bottom excluded) with a brush; an empty
// rectangle fills nothing.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
// Draws text in a rectangle, clipped to it; length -1 means up to the 0 byte.
int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format);

// ===========================================================================
// Screen capture
// ===========================================================================
constexpr DWORD SRCCOPY = 0x00CC0020u;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr DWORD BI_RGB = 0;

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

HWND GetDesktopWindow();
// The device context of a window; for the desktop window, the whole screen.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// A bitmap in the device's pixel format (the screen's depth for a screen DC).
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
// Fills the description of a bitmap (size sizeof(BITMAP)); 0 on failure.
int GetObjectA(HGDIOBJ object, int size, void* description);
// Copies rows of a bitmap into bits, bottom row first, in the layout the
// header asks for (24 or 32 bits per pixel, rows padded to 4 bytes); returns
// the number of rows copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT firstRow, UINT rows, void* bits, BITMAPINFOHEADER* header,
              UINT usage);

// ===========================================================================
// Clipboard and tray
// ===========================================================================
constexpr UINT CF_TEXT = 1;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_DELETE = 2;
constexpr UINT NIF_MESSAGE = 1;
constexpr UINT NIF_ICON = 2;
constexpr UINT NIF_TIP = 4;
constexpr DWORD NIIF_INFO = 1;

BOOL OpenClipboard(HWND owner);
BOOL EmptyClipboard();
// Hands a global memory block to the clipboard; the clipboard owns it afterwards.
HANDLE SetClipboardData(UINT format, HGLOBAL memory);
BOOL CloseClipboard();
// A movable global memory block of the size; null on failure.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL memory);
BOOL GlobalUnlock(HGLOBAL memory);
HGLOBAL GlobalFree(HGLOBAL memory);

// The notification-area record in its form with balloon and identifier fields.
struct NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    char szInfo[256];
    UINT uVersion;
    char szInfoTitle[64];
    DWORD dwInfoFlags;
    unsigned char guidItem[16];
};

// Adds or deletes a notification-area icon; non-zero on success. The record's
// cbSize is replaced by the size the system expects for this form.
BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);

// ===========================================================================
// Processes
// ===========================================================================
constexpr DWORD STARTF_USESHOWWINDOW = 1;
constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD INFINITE = 0xFFFFFFFFu;

struct STARTUPINFOA {
    DWORD cb;
    DWORD dwFlags;
    WORD wShowWindow;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

// Starts a program from a command line, searched for beside the program and
// on the PATH, in the given current directory; false (handles null) when it
// cannot be started.
BOOL CreateProcessA(const char* application, char* commandLine, BOOL inheritHandles, DWORD flags,
                    const char* currentDirectory, const STARTUPINFOA* startup, PROCESS_INFORMATION* process);
// Waits for a process or thread to end, at most the time given.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// The exit code, STILL_ACTIVE while the process runs; false on failure.
BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL CloseHandle(HANDLE handle);

// ===========================================================================
// Files and directories
// ===========================================================================
struct FileStream;

// Opens a file with a C stream mode ("rb", "wb", "ab"); null on failure,
// with the last error set.
FileStream* FileOpen(const char* path, const char* mode);
std::size_t FileRead(void* buffer, std::size_t size, std::size_t count, FileStream* file);
// Writes bytes; fewer than count items on failure (a full disk, for one).
std::size_t FileWrite(const void* buffer, std::size_t size, std::size_t count, FileStream* file);
// 0 on success. Origins are those of fseek: 0 set, 1 current, 2 end.
int FileSeek(FileStream* file, long offset, int origin);
long FileTell(FileStream* file);
int FileFlush(FileStream* file);
// 0 on success; a failure here means buffered bytes were not written.
int FileClose(FileStream* file);

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 8;

BOOL DeleteFileA(const char* path);
// Creates one directory (no parents); ERROR_ALREADY_EXISTS when a file or
// directory of that name exists.
BOOL CreateDirectoryA(const char* path, void* security);
// Renames a file, replacing an existing target when asked, in one step.
BOOL MoveFileExA(const char* from, const char* to, DWORD flags);

// ===========================================================================
// Sockets
// ===========================================================================
using SOCKET = std::uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;
constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};

struct sockaddr_in {
    std::int16_t sin_family;
    std::uint16_t sin_port;  // network byte order
    std::uint32_t sin_addr;  // network byte order
    char sin_zero[8];
};

struct timeval {
    long tv_sec;
    long tv_usec;
};

// Which readiness a select waits for.
enum class SelectFor { read, write };

int WSAStartup(WORD version, WSADATA* data);
SOCKET socket(int family, int type, int protocol);
int closesocket(SOCKET socket);
// Connects to an IPv4 address; the length is that of sockaddr_in (16).
int connect(SOCKET socket, const sockaddr_in* address, int length);
int send(SOCKET socket, const char* data, int length, int flags);
int recv(SOCKET socket, char* buffer, int length, int flags);
// select with a set that holds only this socket: 1 when ready, 0 when the
// time limit passed, SOCKET_ERROR on failure.
int select(SOCKET socket, SelectFor what, const timeval* timeLimit);
// Resolves a host name to its first IPv4 address (network byte order);
// false when the name has no address.
bool gethostbyname(const char* name, std::uint32_t* address);
std::uint16_t htons(std::uint16_t value);
std::uint32_t htonl(std::uint32_t value);

// ===========================================================================
// Time and threads
// ===========================================================================
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

void Sleep(DWORD milliseconds);
void GetLocalTime(SYSTEMTIME* time);
// Starts a thread with the stack size given; null on failure.
HANDLE CreateThread(void* security, std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter,
                    DWORD flags, DWORD* threadId);

}  // namespace plat
