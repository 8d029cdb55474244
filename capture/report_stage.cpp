#include "capture/report_stage.h"

#include "app/app_state.h"
#include "platform/platform.h"

using namespace plat;

namespace {
constexpr int barHeight = 24;
}

int BarWidth(double fraction, int screenWidth) { return static_cast<int>(fraction * screenWidth); }

void ReportStage(const char* text, std::optional<double> fraction, bool firstStage) {
    // statusText keeps its own copy, so a text formatted in the caller's
    // memory stays valid for every later paint.
    SetStatusText(text);
    if (fraction)
        SetWindowPos(appState.overlayWindow, HWND_TOPMOST(), 0, 0, BarWidth(*fraction, appState.screenSize.width),
                     barHeight, 0);
    if (firstStage)
        ShowWindow(appState.overlayWindow, SW_SHOW);
    else
        InvalidateRect(appState.overlayWindow, nullptr, 0);
    UpdateWindow(appState.overlayWindow);
}
