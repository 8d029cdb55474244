// The simulated desktop as the capture worker finds it, shared by the capture
// tests and the capture benchmark: a fresh screen of the given size and
// depth, the hidden full-screen overlay, the settings window with its "Add
// size to link:" box (unticked), the brushes, and settings whose upload has
// nowhere to go (127.0.0.1 port 9) under link prefix "L" and image prefix
// "shot".
#pragma once

void SetUpCaptureDesktop(int width, int height, int bits);
