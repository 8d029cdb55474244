// Placeholder until the settings window is built: the window and its three
// buttons, so the program can be ended.
#include "settings/settings_window.h"

#include "app/app_state.h"

using namespace plat;

void CreateSettingsWindow() {
    int x = appState.screenSize.width / 2 - 200;
    int y = appState.screenSize.height / 2 - 100;
    appState.settingsWindow = CreateWindowExA(WS_EX_APPWINDOW, "VORLUNE", "Vorlune settings", 0x06C80000u, x, y, 400,
                                              300, nullptr, nullptr, appState.instance, nullptr);
    auto button = [](const char* text, int bx) {
        return CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE, bx, 240, 125, 30, appState.settingsWindow,
                               nullptr, appState.instance, nullptr);
    };
    appState.okButton = button("Ok", 5);
    appState.cancelButton = button("Cancel", 135);
    appState.exitButton = button("Exit", 265);
}

void ApplySettingsWindow() { appState.flags.okPressed = false; }
void RevertSettingsWindow() { appState.flags.cancelPressed = false; }
