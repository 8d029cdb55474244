// The simulated desktop's processes: real programs. (Filled in with the encoders.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

BOOL CreateProcessA(const char*, char*, BOOL, DWORD, const char*, const STARTUPINFOA*, PROCESS_INFORMATION* process) {
    *process = PROCESS_INFORMATION{};
    return 0;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (IsThreadHandle(handle)) return WaitForThread(handle, milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    return WAIT_FAILED;
}

BOOL GetExitCodeProcess(HANDLE, DWORD*) { return 0; }
BOOL TerminateProcess(HANDLE, UINT) { return 0; }
BOOL CloseHandle(HANDLE handle) { return IsThreadHandle(handle) ? 1 : 0; }

}  // namespace plat
