// WinMain: start-up in its fixed order, the polling main loop and shutdown.
#include "app/app_state.h"
#include "app/log.h"
#include "app/main_loop.h"
#include "app/tray_icon.h"
#include "app/window_proc.h"
#include "capture/capture_worker.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "settings/settings_window.h"

using namespace plat;

namespace {

constexpr int captureHotkeyId = 10;
constexpr int settingsHotkeyId = 20;
constexpr COLORREF green = 0x008000;
constexpr COLORREF red = 0x0000FF;
constexpr std::size_t workerStackSize = 0x100000;

void SetOverlayOpacity(BYTE alpha) {
    appState.setLayeredWindowAttributes(appState.overlayWindow, 0, alpha, LWA_ALPHA);
}

// The end of the run: hotkeys released, the icon removed if an add was
// attempted, the log closed. Windows, brushes and the socket library are left
// to the end of the process, and a running worker is not waited for.
int Shutdown() {
    UnregisterHotKey(appState.overlayWindow, captureHotkeyId);
    UnregisterHotKey(appState.overlayWindow, settingsHotkeyId);
    if (appState.trayIcon.iconAdded) RemoveTrayIcon();
    CloseLog();
    return 0;
}

}  // namespace

void StartCapture() {
    ShowWindow(appState.overlayWindow, SW_HIDE);
    appState.flags.dragging = false;
    appState.flags.selectionDone = false;
    // Nearly opaque for when the worker shows the overlay again as the bar.
    SetOverlayOpacity(200);
    appState.busy = 1;
    HANDLE thread = CreateThread(nullptr, workerStackSize, &CaptureWorker, &appState.busy, 0, nullptr);
    if (!thread) {
        // Without a worker nobody would clear busy, and every later hotkey
        // would be ignored until a restart.
        LogLine("Failed to create capture thread\r\n");
        appState.busy = 0;
        return;
    }
    CloseHandle(thread);
}

void ShowVeil() {
    LogLine("Key was pressed\r\n");
    appState.flags.captureRequested = false;
    SetOverlayOpacity(128);
    SetWindowPos(appState.overlayWindow, HWND_TOPMOST(), 0, 0, appState.screenSize.width,
                 appState.screenSize.height, 0);
    ShowWindow(appState.overlayWindow, SW_SHOW);
}

bool MainLoopPass() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UpdateWindow(appState.overlayWindow);
    // The pause answers what the worker sends meanwhile (each stage's move
    // and repaint of the bar) instead of leaving it waiting for the next
    // pass; the flags are still looked at only once the queue is empty.
    WaitAnsweringSentMessages(25);
    if (appState.flags.exitPressed) return false;
    if (appState.flags.okPressed) ApplySettingsWindow();
    if (appState.flags.cancelPressed) RevertSettingsWindow();
    if (appState.flags.captureRequested) ShowVeil();
    if (appState.flags.selectionDone) StartCapture();
    return true;
}

int plat::WinMain(HINSTANCE instance, HINSTANCE, char*, int) {
    appState.instance = instance;

    // 1. The log first, so every later step can write to it.
    OpenLog();

    // 2. Layered windows are what the veil is made of.
    HMODULE user32 = LoadLibraryA("user32");
    appState.setLayeredWindowAttributes = GetProcAddress(user32, "SetLayeredWindowAttributes");
    if (!appState.setLayeredWindowAttributes) {
        LogLine("No layered window support!\r\n");
        return 0;
    }

    // 3. One class for both windows.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "VORLUNE";
    RegisterClassA(&windowClass);

    // 4.-7.
    appState.busy = 0;
    WSADATA socketData;
    WSAStartup(0x0202, &socketData);
    appState.greenBrush = CreateSolidBrush(green);
    appState.redBrush = CreateSolidBrush(red);
    appState.selectionBrush = appState.redBrush;
    appState.screenSize.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    appState.screenSize.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);

    // 8.-11. Settings, their window and the tray icon; a first start shows
    // the window at once, filled with the defaults.
    bool settingsFileFound = LoadSettings(appState.settings);
    CreateSettingsWindow();
    BuildTrayIcon();
    if (appState.settings.showTrayIcon) AddTrayIcon();
    ShowWindow(appState.settingsWindow, settingsFileFound ? SW_HIDE : SW_SHOW);

    // 12. The overlay: full virtual screen, not visible yet.
    appState.overlayWindow =
        CreateWindowExA(WS_EX_APPWINDOW, "VORLUNE", "Vorlune", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                        appState.screenSize.width, appState.screenSize.height, nullptr, nullptr, instance, nullptr);

    // 13.-14. The hotkeys; a second running copy fails here and ends.
    if (!RegisterHotKey(appState.overlayWindow, captureHotkeyId, MOD_ALT, VK_OEM_3)) {
        LogLine("Failed to register key shortcut\r\n");
        return 0;
    }
    LogLine("Key combination was successively registered\r\n");
    if (!RegisterHotKey(appState.overlayWindow, settingsHotkeyId, MOD_ALT | MOD_CONTROL, VK_OEM_3)) {
        LogLine("Failed to register key 2 shortcut\r\n");
        return 0;
    }
    LogLine("Key combination 2 was successively registered\r\n");

    // 15.-16. Layered, hidden and focused.
    SetWindowLongA(appState.overlayWindow, GWL_EXSTYLE,
                   static_cast<LONG>(static_cast<DWORD>(GetWindowLongA(appState.overlayWindow, GWL_EXSTYLE)) |
                                     WS_EX_LAYERED));
    SetOverlayOpacity(128);
    ShowWindow(appState.overlayWindow, SW_HIDE);
    SetFocus(appState.overlayWindow);

    // 17.
    CreateBackupDirectory(appState.settings);

    // 18. The main loop; WM_QUIT's code is not used.
    while (MainLoopPass()) {
    }
    return Shutdown();
}
