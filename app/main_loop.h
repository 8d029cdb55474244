// The main loop's steps, for WinMain and for tests that drive one pass.
#pragma once

// One pass: messages until the queue is empty (false on WM_QUIT), then the
// overlay's update, the pause, and the request flags in the order exit, Ok,
// Cancel, capture requested, selection done. False when the loop must end.
bool MainLoopPass();
// The capture hotkey's veil: full screen, topmost, opacity 128.
void ShowVeil();
// Hides the veil and starts the capture worker.
void StartCapture();
