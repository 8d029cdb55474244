// The simulated desktop, as tests see it.
//
// The native build links platform/sim in place of the Win32 layer. Windows,
// message queues, hotkeys, the cursor, the screen, the clipboard, the tray and
// message boxes are simulated in memory; files, processes, sockets and the
// clock are the machine's own. This header lets a test set the scene, inject
// input, read back what the program did and make chosen calls fail.
#pragma once

#include "platform/platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// The scene
// ---------------------------------------------------------------------------

// Forgets every window, queue, hotkey, clipboard text, tray icon, message box,
// draw record and fault; joins the threads the program started. Call it
// between cases, with no program running.
void Reset();

// Screen size and depth (bits per pixel of a screen-compatible bitmap: 16,
// 24 or 32). Default 1920 x 1080 x 32. Pixels start black.
void SetScreen(int width, int height, int bitsPerPixel);
// Sets one screen pixel (0x00RRGGBB) or a filled rectangle of them.
void SetScreenPixel(int x, int y, std::uint32_t rgb);
void FillScreen(int left, int top, int right, int bottom, std::uint32_t rgb);
std::uint32_t ScreenPixel(int x, int y);
// The dots per inch that GetDeviceCaps(LOGPIXELSY) reports. Default 96.
void SetDpi(int dpi);
// Whether user32 has SetLayeredWindowAttributes. Default true.
void SetLayeredSupport(bool available);
// Makes another program hold a hotkey, so registering it fails with 1409.
void HoldHotkeyElsewhere(plat::UINT modifiers, plat::UINT virtualKey);
// Makes another program hold the clipboard open (true) or let it go (false).
void HoldClipboardElsewhere(bool held);

// ---------------------------------------------------------------------------
// Input, as the user gives it. Each posts to the window the platform would
// choose and returns at once; the program sees it in its message retrieval.
// ---------------------------------------------------------------------------

// A registered hotkey (modifiers as MOD_ALT | MOD_CONTROL). False when no
// window has registered it.
bool PressHotkey(plat::UINT modifiers, plat::UINT virtualKey);
// Moves the cursor; while the left button is down the window that took the
// press gets WM_MOUSEMOVE, otherwise the window under the cursor does.
void MoveMouse(int x, int y);
// Left button down / up at the cursor, for the topmost visible window under it.
void MouseDown(int x, int y);
void MouseUp(int x, int y);
// A key press for the window with the keyboard focus (if it is visible).
void PressKey(plat::UINT virtualKey);
// Clicks a push button or check box (a check box toggles first), as the
// user does: the parent window gets WM_COMMAND with BN_CLICKED.
void ClickButton(plat::HWND button);
// Replaces the text of an edit box, as typing does.
void TypeText(plat::HWND edit, const std::string& text);
// The close box of a window: posts WM_CLOSE.
void CloseWindow(plat::HWND window);
// A tray icon event (lParam as WM_LBUTTONDBLCLK) for the icon's window.
bool TrayEvent(plat::UINT mouseMessage);
// The shell rebuilding the notification area: every top-level window gets
// the registered message "TaskbarCreated" and the icons are gone.
void RestartShell();

// ---------------------------------------------------------------------------
// Reading the desktop
// ---------------------------------------------------------------------------

struct WindowInfo {
    plat::HWND handle = nullptr;
    plat::HWND parent = nullptr;
    std::string className;
    std::string text;
    plat::DWORD style = 0;
    plat::DWORD exStyle = 0;
    plat::RECT rect{};  // outer rectangle; controls: in the parent's client area
    bool visible = false;
    bool topmost = false;
    bool destroyed = false;
    int alpha = -1;  // -1 until SetLayeredWindowAttributes
    int check = 0;   // check boxes
};

// Every window and control the program created, in creation order.
std::vector<WindowInfo> Windows();
WindowInfo Window(plat::HWND window);
// The first top-level window with this title, or a null handle.
plat::HWND FindWindowByTitle(const std::string& title);
// The children of a window, in creation order.
std::vector<WindowInfo> Children(plat::HWND parent);

// Every move, size, show and hide of a window, in order.
struct WindowEvent {
    enum Kind { move, show, hide, invalidate, paint, alpha } kind;
    plat::HWND window;
    plat::RECT rect;  // for move: the new rectangle
    int value;        // for alpha: the opacity
};
std::vector<WindowEvent> WindowEvents(plat::HWND window);

// What painting drew, in order.
struct DrawOp {
    enum Kind { fill, drawText } kind;
    plat::HWND window;       // the window painted into
    bool fromOwnerThread;    // false when painted from another thread
    plat::RECT rect;         // fill: the rectangle; text: the layout rectangle
    plat::RECT clip;         // the client area at the time
    plat::COLORREF colour;   // fill: the brush colour; text: the text colour
    plat::COLORREF background;  // text: the background colour
    int fontHeight;          // text: the selected font's height, 0 for the default font
    std::string fontFace;    // text
    std::string text;        // text
};
std::vector<DrawOp> DrawOps(plat::HWND window);
// The colour a pixel of the window's client area has after all fills so far
// (text ignored); -1 when no fill covered it.
std::int64_t PaintedPixel(plat::HWND window, int x, int y);
void ClearDrawOps();

struct MessageBoxRecord {
    plat::HWND owner;
    std::string text;
    std::string caption;
    plat::UINT type;
};
std::vector<MessageBoxRecord> MessageBoxes();
// While held, MessageBoxA stays open (answering sent messages) until released.
void HoldMessageBoxes(bool held);

std::string ClipboardText();
bool ClipboardHasText();
// Global memory blocks allocated and neither freed nor taken by the clipboard.
int GlobalBlocksHeld();

// The notification area: whether the icon is shown, the record of the last
// successful add, and how many adds and deletes were asked for (refused ones
// included: an add while refused or already shown, a delete of no icon).
struct TrayRecord {
    bool shown = false;
    plat::NOTIFYICONDATAA data{};
    int adds = 0;
    int deletes = 0;
};
TrayRecord Tray();
// Makes Shell_NotifyIconA(NIM_ADD) fail while set.
void RefuseTrayIcon(bool refuse);

bool HotkeyRegistered(plat::UINT modifiers, plat::UINT virtualKey);

// Screen and memory DCs and bitmaps not yet released, for checking that a
// capture gives back what it took.
struct GdiInUse {
    int captureDcs = 0;
    int bitmaps = 0;
};
GdiInUse LiveGdiResources();

// ---------------------------------------------------------------------------
// Driving the program
// ---------------------------------------------------------------------------

// Retrieves and dispatches the calling thread's messages (and answers sent
// ones) until the predicate holds or the time is up; true when it held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms);
// Waits, without pumping, until the predicate holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms);
// Joins every thread the program started with CreateThread.
void JoinThreads();
// Fixes the clock that GetLocalTime reports; a null pointer gives the real one back.
void SetLocalTime(const plat::SYSTEMTIME* time);

// ---------------------------------------------------------------------------
// Faults: make chosen calls fail, as a test VFS does.
// ---------------------------------------------------------------------------

// The nth call (1 = the next one) of the named operation from now on fails
// with the error code, and so do the count - 1 calls after it (count -1: all
// calls from the nth on). Names are the operation names of platform.h, e.g.
// "send", "recv", "connect", "CreateProcessA", "FileWrite", "OpenClipboard".
void FailCall(const std::string& operation, int nth, plat::DWORD error, int count = 1);
// How many times the named operation has been called since Reset.
int CallCount(const std::string& operation);

// Sockets the program created and how often each was closed.
struct SocketRecord {
    plat::SOCKET socket;
    int closes;
};
std::vector<SocketRecord> Sockets();
// Makes every send take at most this many bytes, as a full socket buffer
// does (0: no limit).
void LimitSendSize(int bytes);
// Process and thread handles the program holds open (not yet closed).
int OpenHandles();

}  // namespace sim
