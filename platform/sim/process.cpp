// The simulated desktop's processes: real programs, started with
// posix_spawn from a Windows-style command line, waited for with a time
// limit, and killed on TerminateProcess.
#include "platform/sim/desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

using namespace sim::detail;

namespace {

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// The command line's words, split on blanks (no quoting: the command lines
// this program runs have none).
std::vector<std::string> Words(const char* commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = commandLine;; ++p) {
        if (*p == ' ' || *p == '\t' || *p == 0) {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*p == 0) break;
        } else {
            word += *p;
        }
    }
    return words;
}

bool Executable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// Where Windows looks for a program named without a path: the directory it
// starts from first, then the PATH.
std::string Locate(const std::string& name) {
    if (name.find('/') != std::string::npos) return Executable(name) ? name : std::string();
    std::string here = "./";
    here += name;
    if (Executable(here)) return here;
    const char* path = std::getenv("PATH");
    if (!path) return std::string();
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate(dirs, start, end - start);
        if (candidate.empty()) candidate.push_back('.');
        candidate.push_back('/');
        candidate += name;
        if (Executable(candidate)) return candidate;
        start = end + 1;
    }
    return std::string();
}

// A Windows directory name as the POSIX calls take it.
std::string PosixDirectory(const char* directory) {
    std::string dir = directory;
    for (char& c : dir)
        if (c == '\\') c = '/';
    return dir;
}

int OpenPidFd(int pid) {
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

plat::DWORD ExitCodeOf(int status) {
    if (WIFEXITED(status)) return static_cast<plat::DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128u + static_cast<plat::DWORD>(WTERMSIG(status));
    return 0;
}

// Collects the exit status if the program has ended; true when it has.
// Needs the lock.
bool Reap(ProcessRecord& p, bool block) {
    if (p.reaped) return true;
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(p.pid, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0) return false;
    p.reaped = true;
    if (got == p.pid) p.exitCode = ExitCodeOf(status);
    return true;
}

ProcessRecord* FindProcess(Desktop& d, plat::HANDLE handle) {
    auto it = d.processes.find(Key(handle));
    return it == d.processes.end() || !it->second.processHandleOpen ? nullptr : &it->second;
}

// For the calls that fail on a handle that names no open process, as
// Windows fails them.
ProcessRecord* ProcessOrBadHandle(Desktop& d, plat::HANDLE handle) {
    auto* p = FindProcess(d, handle);
    if (!p) plat::SetLastError(0x20000000u | EBADF);
    return p;
}

// The descriptor is closed only with the record, never while a wait on
// another thread may still be polling it.
void Drop(ProcessRecord& p) {
    if (p.pidFd >= 0) ::close(p.pidFd);
    p.pidFd = -1;
}

// Forgets processes whose handles are all closed once they have ended, so
// nothing stays a zombie. Needs the lock.
void Tidy(Desktop& d) {
    for (auto it = d.processes.begin(); it != d.processes.end();) {
        bool threadOpen = false;
        for (auto& [thread, process] : d.processThreads)
            if (process == it->first) threadOpen = true;
        if (!it->second.processHandleOpen && !threadOpen && Reap(it->second, false)) {
            Drop(it->second);
            it = d.processes.erase(it);
        }
        else
            ++it;
    }
}

}  // namespace

namespace sim::detail {
void ForgetProcesses() {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    for (auto& [handle, p] : d.processes) {
        if (!p.reaped) ::kill(p.pid, SIGKILL);
        Reap(p, true);
        Drop(p);
    }
    d.processes.clear();
    d.processThreads.clear();
}
}  // namespace sim::detail

namespace plat {

BOOL CreateProcessA(const char*, char* commandLine, BOOL, DWORD, const char* currentDirectory, const STARTUPINFOA*,
                    PROCESS_INFORMATION* process) {
    *process = PROCESS_INFORMATION{};
    if (Injected("CreateProcessA")) return 0;
    std::vector<std::string> words = Words(commandLine ? commandLine : "");
    std::string program = words.empty() ? std::string() : Locate(words[0]);
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    // A hidden console program: nothing to read from, and its output is
    // seen by nobody.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string directory;
    if (currentDirectory) {
        directory = PosixDirectory(currentDirectory);
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    pid_t pid = 0;
    int error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        SetLastError(ErrorFromErrno(error));
        return 0;
    }

    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    ProcessRecord record;
    record.pid = pid;
    record.pidFd = OpenPidFd(pid);
    auto processHandle = NewHandle();
    auto threadHandle = NewHandle();
    d.processes[processHandle] = record;
    d.processThreads[threadHandle] = processHandle;
    d.openHandles += 2;
    process->hProcess = reinterpret_cast<HANDLE>(processHandle);
    process->hThread = reinterpret_cast<HANDLE>(threadHandle);
    process->dwProcessId = static_cast<DWORD>(pid);
    process->dwThreadId = static_cast<DWORD>(pid);
    return 1;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (IsThreadHandle(handle)) return WaitForThread(handle, milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    auto& d = TheDesktop();
    const auto start = std::chrono::steady_clock::now();
    // Fallback poll interval when the kernel gives no process descriptor.
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        int fd = -1;
        {
            std::lock_guard lock(d.mutex);
            auto* p = ProcessOrBadHandle(d, handle);
            if (!p) return WAIT_FAILED;
            if (Reap(*p, false)) return WAIT_OBJECT_0;
            fd = p->pidFd;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        if (milliseconds != INFINITE && elapsed.count() >= static_cast<long long>(milliseconds)) return WAIT_TIMEOUT;
        const long long left = milliseconds == INFINITE ? 1000 : static_cast<long long>(milliseconds) - elapsed.count();
        if (fd >= 0) {
            // The descriptor stays open while the handle does; the lock is not
            // held across the wait, so other threads go on.
            pollfd ready{fd, POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(left < 1000 ? left : 1000));
        } else {
            std::this_thread::sleep_for(pause);
            if (pause < std::chrono::milliseconds(2)) pause *= 2;
        }
    }
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    if (Injected("GetExitCodeProcess")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* p = ProcessOrBadHandle(d, process);
    if (!p) return 0;
    *exitCode = Reap(*p, false) ? p->exitCode : STILL_ACTIVE;
    return 1;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    if (Injected("TerminateProcess")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* p = ProcessOrBadHandle(d, process);
    if (!p) return 0;
    if (p->reaped) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    ::kill(p->pid, SIGKILL);
    // A killed program ends at once; collecting it here gives it the exit
    // code asked for, as Windows does.
    Reap(*p, true);
    p->exitCode = exitCode;
    return 1;
}

BOOL CloseHandle(HANDLE handle) {
    if (IsThreadHandle(handle)) return 1;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    BOOL closed = 0;
    if (auto* p = FindProcess(d, handle)) {
        p->processHandleOpen = false;
        closed = 1;
    } else if (d.processThreads.erase(Key(handle))) {
        closed = 1;
    }
    if (!closed) {
        SetLastError(0x20000000u | EBADF);
        return 0;
    }
    d.openHandles--;
    Tidy(d);
    return 1;
}

}  // namespace plat
