// WindowProc: input on the overlay and the settings window, and the
// overlay's paint (veil, green progress bar, red failure bar).
#include "app/window_proc.h"

#include "app/app_state.h"
#include "app/tray_icon.h"

#include <cstdint>
#include <mutex>

using namespace plat;

namespace {

constexpr UINT trayCallbackMessage = WM_APP + 1;
constexpr WPARAM trayIconId = 50;
constexpr UINT captureModifiers = MOD_ALT;
constexpr UINT settingsModifiers = MOD_ALT | MOD_CONTROL;
constexpr COLORREF green = 0x008000;
constexpr COLORREF red = 0x0000FF;
constexpr COLORREF white = 0xFFFFFF;
constexpr int barHeight = 24;
// The status line starts 10 pixels in and never reaches beyond x = 1024,
// however wide the bar is.
constexpr RECT statusTextRect{10, 0, 1024, barHeight};

bool Idle() { return appState.busy.load() == 0; }

void InvalidateOverlay() { InvalidateRect(appState.overlayWindow, nullptr, 0); }

void ShowSettingsWindow() {
    ShowWindow(appState.settingsWindow, SW_SHOW);
    UpdateWindow(appState.settingsWindow);
}

POINT CursorPos() {
    POINT point{0, 0};
    GetCursorPos(&point);
    return point;
}

// A 15-point font for the dots per inch of the paint device context: -20 at
// 96, -25 at 120, -30 at 144. C++ division truncates toward zero, as the
// height wants. Made once; a failed creation is tried again next paint.
void EnsureStatusFont(HDC dc) {
    if (appState.statusFont.load()) return;
    int height = -(GetDeviceCaps(dc, LOGPIXELSY) * 15) / 72;
    appState.statusFont = CreateFontA(height, 0, 0, 0, 0, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
}

// One line in white on the given background, in the font if there is one
// (otherwise the device context's default font).
void DrawStatusLine(HDC dc, const std::string& text, COLORREF background) {
    if (HFONT font = appState.statusFont.load()) SelectObject(dc, font);
    SetBkColor(dc, background);
    SetTextColor(dc, white);
    RECT rect = statusTextRect;
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, DT_TOP_LEFT);
}

void FillArea(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
    RECT rect;
    SetRect(&rect, left, top, right, bottom);
    FillRect(dc, &rect, brush);
}

void PaintOverlay(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    EnsureStatusFont(dc);

    std::string statusText;
    std::string failureText;
    {
        std::lock_guard lock(appState.statusLock);
        statusText = appState.statusText;
        failureText = appState.failureText;
    }

    if (!failureText.empty()) {
        // The failed capture's bar, kept on every repaint until the user
        // takes it away; the window clips the fill to the bar's width.
        FillArea(dc, 0, 0, appState.screenSize.width, barHeight, appState.redBrush);
        DrawStatusLine(dc, failureText, red);
    } else {
        RECT client{0, 0, 0, 0};
        GetClientRect(window, &client);
        const SelectionRect s = appState.selection;
        // Green around the selection: above, below, left, right. Bands that
        // come out empty fill nothing.
        FillArea(dc, 0, 0, client.right, s.top, appState.greenBrush);
        FillArea(dc, 0, s.bottom, client.right, client.bottom, appState.greenBrush);
        FillArea(dc, 0, 0, s.left, client.bottom, appState.greenBrush);
        FillArea(dc, s.right, 0, client.right, client.bottom, appState.greenBrush);
        // Red while selecting; green while a capture runs, so the bar is
        // green throughout whatever the last selection was.
        FillArea(dc, s.left, s.top, s.right, s.bottom, appState.selectionBrush.load());
        if (!statusText.empty()) DrawStatusLine(dc, statusText, green);
    }
    EndPaint(window, &paint);
}

void OnHotkey(LPARAM lParam) {
    auto bits = static_cast<std::uintptr_t>(lParam);
    UINT virtualKey = static_cast<UINT>((bits >> 16) & 0xFFFF);
    UINT modifiers = static_cast<UINT>(bits & 0xFFFF);
    // Told apart by key and modifiers, not by their ids.
    if (virtualKey == VK_OEM_3) {
        if (modifiers == captureModifiers) {
            SetStatusText("");
            ClearFailureText();
            appState.flags.captureRequested = true;
        } else if (modifiers == settingsModifiers) {
            ShowSettingsWindow();
        }
    }
    // Any hotkey that got through starts the selection afresh.
    appState.dragStart = appState.dragCurrent = POINT{0, 0};
    InvalidateOverlay();
}

void OnCommand(LPARAM lParam) {
    // The controls have no identifiers; the sending handle tells them apart.
    auto control = reinterpret_cast<HWND>(lParam);
    if (control == appState.okButton)
        appState.flags.okPressed = true;
    else if (control == appState.cancelButton)
        appState.flags.cancelPressed = true;
    else if (control == appState.exitButton)
        appState.flags.exitPressed = true;
}

}  // namespace

void SetFailureText(const std::string& message) {
    std::lock_guard lock(appState.statusLock);
    appState.failureText = message;
}

void ClearFailureText() { SetFailureText(std::string()); }

std::string FailureText() {
    std::lock_guard lock(appState.statusLock);
    return appState.failureText;
}

// Every call ends here, also while a worker is reading the selection it was
// started with. The drag points cannot move then (all input that moves them
// waits for busy to clear), so the selection is only written when it
// differs: rewriting it with the same values would still race the worker.
void NormaliseSelection() {
    const POINT a = appState.dragStart;
    const POINT b = appState.dragCurrent;
    const SelectionRect normal{a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.x > b.x ? a.x : b.x,
                               a.y > b.y ? a.y : b.y};
    auto& s = appState.selection;
    if (s.left != normal.left || s.top != normal.top || s.right != normal.right || s.bottom != normal.bottom)
        s = normal;
}

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool onOverlay = window == appState.overlayWindow && window != nullptr;
    switch (message) {
        case WM_PAINT:
            // The settings window is painted by DefWindowProcA.
            if (onOverlay) PaintOverlay(window);
            break;
        case WM_CLOSE:
            // DefWindowProcA then destroys the window; the main loop ends
            // at the quit message.
            PostQuitMessage(0);
            break;
        case WM_KEYDOWN:
            if (Idle()) {
                ShowWindow(appState.overlayWindow, SW_HIDE);
                appState.flags.dragging = false;
                appState.flags.selectionDone = false;
                ClearFailureText();
            }
            break;
        case WM_COMMAND:
            OnCommand(lParam);
            break;
        case WM_MOUSEMOVE:
            if (onOverlay && appState.flags.dragging) {
                // Only invalidated: a burst of moves costs one paint.
                InvalidateOverlay();
                appState.dragCurrent = CursorPos();
            }
            break;
        case WM_LBUTTONDOWN:
            if (Idle() && onOverlay) {
                appState.dragStart = CursorPos();
                appState.dragCurrent = CursorPos();
                ClearFailureText();
                InvalidateOverlay();
                appState.flags.dragging = true;
            }
            break;
        case WM_LBUTTONUP:
            // No press is required: a release on a veil that appeared with
            // the button already down ends the selection as it stands.
            if (Idle() && onOverlay) {
                // Hidden now rather than only when the capture starts, after
                // the main loop's pause: the windows beneath need that pause
                // to repaint, or the capture takes the veil's own pixels.
                ShowWindow(appState.overlayWindow, SW_HIDE);
                appState.flags.selectionDone = true;
            }
            break;
        case WM_HOTKEY:
            if (Idle()) OnHotkey(lParam);
            break;
        case trayCallbackMessage:
            // Works while a capture runs too.
            if (wParam == trayIconId && static_cast<UINT>(lParam) == WM_LBUTTONDBLCLK) ShowSettingsWindow();
            break;
        default:
            // The shell rebuilt the notification area and forgot our icon.
            // Every top-level window hears it; the icon's own window acts.
            if (message != 0 && message == appState.taskbarCreatedMessage && window == appState.settingsWindow &&
                appState.settings.showTrayIcon)
                AddTrayIcon();
            break;
    }
    NormaliseSelection();
    return DefWindowProcA(window, message, wParam, lParam);
}
