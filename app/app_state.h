// AppState: the one process-wide record that the UI thread and the capture
// worker share.
#pragma once

#include "platform/platform.h"
#include "settings/settings.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct ScreenSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Screen coordinates; the selection covers left <= x < right, top <= y < bottom.
struct SelectionRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// One-shot requests from WindowProc to the main loop; UI thread only.
struct RequestFlags {
    bool captureRequested = false;
    bool dragging = false;
    bool selectionDone = false;
    bool okPressed = false;
    bool cancelPressed = false;
    bool exitPressed = false;
};

// The notification-area icon: its record, built once, and whether an add
// was ever attempted.
struct TrayIcon {
    plat::NOTIFYICONDATAA data{};
    bool iconAdded = false;
};

// The settings window's eight edit boxes.
struct SettingsBoxes {
    plat::HWND hostBox = nullptr;
    plat::HWND portBox = nullptr;
    plat::HWND loginBox = nullptr;
    plat::HWND passwordBox = nullptr;
    plat::HWND ftpDirectoryBox = nullptr;
    plat::HWND linkPrefixBox = nullptr;
    plat::HWND imagePrefixBox = nullptr;
    plat::HWND backupDirectoryBox = nullptr;
};

struct AppState {
    // The log; guarded by logLock, which LogLine holds for a whole entry and
    // shutdown holds while it closes the file.
    plat::FileStream* logFile = nullptr;
    std::mutex logLock;

    // The settings; the password held scrambled. Ok and Cancel hold
    // settingsLock while they rewrite them or transform the password, and the
    // worker holds it while it takes its copy at its start.
    Settings settings;
    std::mutex settingsLock;

    plat::HINSTANCE instance = nullptr;
    plat::HWND overlayWindow = nullptr;
    plat::HWND settingsWindow = nullptr;
    plat::HWND okButton = nullptr;
    plat::HWND cancelButton = nullptr;
    plat::HWND exitButton = nullptr;
    plat::HWND addSizeCheckBox = nullptr;
    plat::HWND trayCheckBox = nullptr;
    plat::HWND bestQualityCheckBox = nullptr;
    SettingsBoxes boxes;

    plat::HBRUSH greenBrush = nullptr;
    plat::HBRUSH redBrush = nullptr;
    std::atomic<plat::HBRUSH> selectionBrush{nullptr};
    std::atomic<plat::HFONT> statusFont{nullptr};

    ScreenSize screenSize;
    plat::POINT dragStart{0, 0};
    plat::POINT dragCurrent{0, 0};
    SelectionRect selection;
    RequestFlags flags;

    std::atomic<int> busy{0};

    // The bar's text; replaced and painted under statusLock.
    std::string statusText;
    // A failed capture's message: while set, the bar is painted red with it.
    std::string failureText;
    std::mutex statusLock;

    plat::LayeredAttributesProc setLayeredWindowAttributes = nullptr;
    TrayIcon trayIcon;
    plat::UINT taskbarCreatedMessage = 0;
};

extern AppState appState;

// Gives every field its initial value again (for tests that start the
// program more than once in one process). No window or thread may be alive.
void ResetAppState();

// Replaces statusText under its lock.
void SetStatusText(const std::string& text);
std::string StatusText();
