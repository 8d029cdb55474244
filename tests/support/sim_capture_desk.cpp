#include "tests/support/sim_capture_desk.h"

#include "app/app_state.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

namespace {

plat::LRESULT PlainWindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    return plat::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void SetUpCaptureDesktop(int width, int height, int bits) {
    sim::Reset();
    ResetAppState();
    sim::SetScreen(width, height, bits);
    appState.screenSize = {width, height};
    plat::WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PlainWindowProc;
    windowClass.lpszClassName = "VORLUNE";
    plat::RegisterClassA(&windowClass);
    appState.overlayWindow = plat::CreateWindowExA(0, "VORLUNE", "Vorlune", plat::WS_POPUP, 0, 0, width, height,
                                                   nullptr, nullptr, nullptr, nullptr);
    appState.settingsWindow = plat::CreateWindowExA(0, "VORLUNE", "Vorlune settings", plat::WS_CAPTION, 0, 0, 400,
                                                    600, nullptr, nullptr, nullptr, nullptr);
    appState.addSizeCheckBox =
        plat::CreateWindowExA(0, "BUTTON", "Add size to link:", plat::WS_CHILD | plat::WS_VISIBLE | plat::BS_AUTOCHECKBOX,
                              10, 10, 100, 20, appState.settingsWindow, nullptr, nullptr, nullptr);
    appState.greenBrush = plat::CreateSolidBrush(plat::RGB(0, 255, 0));
    appState.redBrush = plat::CreateSolidBrush(plat::RGB(255, 0, 0));
    appState.selectionBrush = appState.redBrush;
    CopySettingsField(appState.settings.linkPrefix, "L");
    CopySettingsField(appState.settings.imagePrefix, "shot");
    CopySettingsField(appState.settings.host, "127.0.0.1");
    appState.settings.port = 9;  // nothing listens there
}
