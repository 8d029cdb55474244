#include "app/log.h"

#include "app/app_state.h"
#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

using namespace plat;

const char* const logFileName = "log.txt";

void OpenLog() {
    std::lock_guard lock(appState.logLock);
    appState.logFile = FileOpen(logFileName, "ab");
}

void CloseLog() {
    std::lock_guard lock(appState.logLock);
    if (appState.logFile) FileClose(appState.logFile);
    appState.logFile = nullptr;
}

void LogLine(const char* format, ...) {
    // The text is formatted before the lock is taken and written with one
    // call while it is held, so entries of the two threads never mix.
    char small[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(small, sizeof small, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    const char* text = small;
    std::vector<char> large;
    if (static_cast<std::size_t>(length) >= sizeof small) {
        large.resize(static_cast<std::size_t>(length) + 1);
        va_start(arguments, format);
        std::vsnprintf(large.data(), large.size(), format, arguments);
        va_end(arguments);
        text = large.data();
    }
    std::lock_guard lock(appState.logLock);
    if (!appState.logFile) return;
    FileWrite(text, 1, static_cast<std::size_t>(length), appState.logFile);
    FileFlush(appState.logFile);
}

std::string SystemErrorText() {
    DWORD code = GetLastError();
    std::string text;
    if (!FormatMessageA(code, text)) return "(null)";
    return text;
}
