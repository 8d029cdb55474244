// The Win32 layer's processes and handles.
#include "platform/win32/win32.h"

using namespace plat::win;

namespace plat {

BOOL CreateProcessA(const char* application, char* commandLine, BOOL inheritHandles, DWORD flags,
                    const char* currentDirectory, const STARTUPINFOA* startup, PROCESS_INFORMATION* process) {
    ::STARTUPINFOA system{};
    system.cb = sizeof system;
    system.dwFlags = startup->dwFlags;
    system.wShowWindow = startup->wShowWindow;
    ::PROCESS_INFORMATION info{};
    BOOL started = ::CreateProcessA(application, commandLine, nullptr, nullptr, inheritHandles, flags, nullptr,
                                    currentDirectory, &system, &info);
    process->hProcess = PH(info.hProcess);
    process->hThread = PH(info.hThread);
    process->dwProcessId = info.dwProcessId;
    process->dwThreadId = info.dwThreadId;
    return started;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(H(handle), milliseconds); }

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    ::DWORD code = *exitCode;
    BOOL ok = ::GetExitCodeProcess(H(process), &code);
    if (ok) *exitCode = code;
    return ok;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) { return ::TerminateProcess(H(process), exitCode); }
BOOL CloseHandle(HANDLE handle) { return ::CloseHandle(H(handle)); }

}  // namespace plat
