// WindowProc: the one window procedure of the class "VORLUNE", serving the
// overlay (veil and progress bar) and the settings window.
//
// It never does long work: it records the drag, turns input into the request
// flags of appState for the main loop, shows the settings window on the
// settings hotkey or a tray double-click, and paints the overlay. Every call
// ends with NormaliseSelection and returns what DefWindowProcA returns.
#pragma once

#include "platform/platform.h"

#include <string>

plat::LRESULT WindowProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam);
// Sets appState.selection from the two drag points, left <= right, top <= bottom.
void NormaliseSelection();

// The red failure bar.
//
// SetFailureText stores a failed capture's message (appState.failureText,
// under appState.statusLock). While it is not empty, every paint of the
// overlay paints the red bar instead of the green rule: FillRect
// (0, 0, screenSize.width, 24) with redBrush, then statusFont, background
// 0x0000FF, text colour 0xFFFFFF and DrawTextA of the message in
// (10, 0, 1024, 24) with format 0; the window clips the fill to the bar's
// width. The caller (the worker's failure exit) then asks for the repaint:
// InvalidateRect and UpdateWindow on the overlay, which runs that paint on
// the UI thread. Any thread may call it.
//
// The message stays until the user takes it away: WindowProc clears it on a
// key press while idle, on the capture hotkey, and on a button press on the
// overlay while idle (a new selection). The settings hotkey and the tray
// double-click leave it, so a repaint never turns the bar green and hides
// the reason.
void SetFailureText(const std::string& message);
void ClearFailureText();
std::string FailureText();
