// printf-style formatting into a std::string, for the capture's texts.
#pragma once

#include <string>

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
