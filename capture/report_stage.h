// ReportStage: one stage of a capture shown in the 24-pixel bar.
#pragma once

#include <optional>

// Shows the text in the bar; with a fraction, sets the bar's width to that
// part of the screen width (truncated). The first stage of a capture also
// makes the bar visible. Called on the worker thread only.
void ReportStage(const char* text, std::optional<double> fraction = std::nullopt, bool firstStage = false);

// The bar's width for a fraction of the screen width, truncated toward zero.
// The tenths are passed as single-precision values (0.1f ...) widened to
// double: each lies a hair above its decimal, so k tenths of any screen
// width come out as width x k / 10 rounded down (136, 273, 409 of 1366).
int BarWidth(double fraction, int screenWidth);

// The stage-report operation handed to the encoding step.
using StageReporter = void (*)(const char* text, std::optional<double> fraction, bool firstStage);
