// The diagnostic log, log.txt: each entry exactly its formatted text,
// appended and flushed at once.
#pragma once

#include <string>

extern const char* const logFileName;

// Opens log.txt for appending; logging does nothing when it cannot be opened.
void OpenLog();
// Closes the log; later entries, also from a worker still running, do nothing.
void CloseLog();
// Appends one entry, written whole under the log's lock and flushed.
#if defined(__GNUC__)
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
void LogLine(const char* format, ...);
#endif
// The system's text for the calling thread's last error, untrimmed, or
// "(null)" when the system has none (as a %s of a null text prints).
std::string SystemErrorText();
