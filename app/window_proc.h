// WindowProc: the one window procedure of the class "VORLUNE", serving the
// overlay (veil and progress bar) and the settings window.
#pragma once

#include "platform/platform.h"

plat::LRESULT WindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam);
// Sets appState.selection from the two drag points, left <= right, top <= bottom.
void NormaliseSelection();
