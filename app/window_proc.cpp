// Placeholder until the overlay's input and painting are built: only what
// keeps the program running and lets it end.
#include "app/window_proc.h"

#include "app/app_state.h"

using namespace plat;

void NormaliseSelection() {
    auto& s = appState.selection;
    s.left = appState.dragStart.x < appState.dragCurrent.x ? appState.dragStart.x : appState.dragCurrent.x;
    s.top = appState.dragStart.y < appState.dragCurrent.y ? appState.dragStart.y : appState.dragCurrent.y;
    s.right = appState.dragStart.x > appState.dragCurrent.x ? appState.dragStart.x : appState.dragCurrent.x;
    s.bottom = appState.dragStart.y > appState.dragCurrent.y ? appState.dragStart.y : appState.dragCurrent.y;
}

LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE: PostQuitMessage(0); break;
        case WM_COMMAND: {
            auto control = reinterpret_cast<HWND>(lParam);
            if (control == appState.okButton) appState.flags.okPressed = true;
            else if (control == appState.cancelButton) appState.flags.cancelPressed = true;
            else if (control == appState.exitButton) appState.flags.exitPressed = true;
            break;
        }
        default: break;
    }
    NormaliseSelection();
    return DefWindowProcA(window, message, wParam, lParam);
}
