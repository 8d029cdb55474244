#include "app/app_state.h"

AppState appState;

void ResetAppState() {
    appState.logFile = nullptr;
    appState.settings = Settings{};
    appState.instance = nullptr;
    appState.overlayWindow = nullptr;
    appState.settingsWindow = nullptr;
    appState.okButton = appState.cancelButton = appState.exitButton = nullptr;
    appState.addSizeCheckBox = appState.trayCheckBox = appState.bestQualityCheckBox = nullptr;
    appState.boxes = SettingsBoxes{};
    appState.greenBrush = appState.redBrush = nullptr;
    appState.selectionBrush = nullptr;
    appState.statusFont = nullptr;
    appState.screenSize = ScreenSize{};
    appState.dragStart = appState.dragCurrent = plat::POINT{0, 0};
    appState.selection = SelectionRect{};
    appState.flags = RequestFlags{};
    appState.busy = 0;
    {
        std::lock_guard lock(appState.statusLock);
        appState.statusText.clear();
        appState.failureText.clear();
    }
    appState.setLayeredWindowAttributes = nullptr;
    appState.trayIcon = TrayIcon{};
    appState.taskbarCreatedMessage = 0;
}

void SetStatusText(const std::string& text) {
    std::lock_guard lock(appState.statusLock);
    appState.statusText = text;
}

std::string StatusText() {
    std::lock_guard lock(appState.statusLock);
    return appState.statusText;
}
