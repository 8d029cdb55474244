// Internal state of the simulated desktop, shared by the files of platform/sim.
//
// One mutex guards everything here. Window procedures and other program code
// are never called with it held: a call that has to run on a window's owner
// thread is handed to that thread and waited for (RunOnOwner), as Windows
// does with messages sent between threads.
#pragma once

#include "platform/platform.h"
#include "platform/sim/sim.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim::detail {

struct WindowData {
    int id = 0;
    std::string className;
    std::string text;
    plat::DWORD style = 0;
    plat::DWORD exStyle = 0;
    plat::RECT rect{};
    plat::HWND parent = nullptr;
    plat::WNDPROC proc = nullptr;  // null for the built-in controls
    std::thread::id owner;
    bool visible = false;
    bool topmost = false;
    bool destroyed = false;
    bool invalid = false;
    int alpha = -1;
    int check = 0;
    long z = 0;  // stacking order among top-level windows: larger is higher
};

// A call handed to another thread, waited for by its sender.
struct SentItem {
    std::function<plat::LRESULT()> call;
    plat::LRESULT result = 0;
    bool done = false;
};

struct ThreadQueue {
    std::deque<plat::MSG> posted;
    std::deque<std::shared_ptr<SentItem>> sent;
    bool quit = false;
    int quitCode = 0;
};

enum class DcKind { paint, window, screen, memory };

struct GdiObject {
    enum Kind { brush, font, bitmap } kind = brush;
    plat::COLORREF colour = 0;  // brush
    int fontHeight = 0;         // font
    std::string fontFace;       // font
    int width = 0;              // bitmap
    int height = 0;             // bitmap
    int bitsPerPixel = 0;       // bitmap
    std::vector<std::uint32_t> pixels;  // bitmap, 0x00RRGGBB, top row first
    bool deleted = false;
};

struct DcData {
    DcKind kind = DcKind::window;
    plat::HWND window = nullptr;
    plat::HGDIOBJ font = nullptr;
    plat::HGDIOBJ bitmap = nullptr;
    plat::HGDIOBJ brush = nullptr;
    plat::COLORREF background = 0xFFFFFF;
    plat::COLORREF textColour = 0x000000;
    std::thread::id painter;
    bool released = false;
};

struct Hotkey {
    plat::HWND window;
    int id;
    plat::UINT modifiers;
    plat::UINT virtualKey;
};

// A program started by CreateProcessA: a real child process.
struct ProcessRecord {
    int pid = 0;
    int pidFd = -1;        // for a precise wait; -1 when the kernel has none
    bool reaped = false;   // its exit status has been collected
    plat::DWORD exitCode = 0;
    bool processHandleOpen = true;
};

struct Fault {
    int countdown;  // calls to let pass before the first failure
    int count;      // failures to give; -1 for all
    plat::DWORD error;
};

struct Desktop {
    std::mutex mutex;
    std::condition_variable changed;

    std::vector<WindowData> windows;  // index id - firstWindowId
    std::map<std::thread::id, ThreadQueue> queues;
    std::vector<WindowEvent> events;
    std::vector<DrawOp> draws;

    std::map<std::uintptr_t, GdiObject> objects;
    std::map<std::uintptr_t, DcData> dcs;
    std::uintptr_t nextHandle = 0x1000;

    std::vector<Hotkey> hotkeys;
    std::vector<Hotkey> hotkeysElsewhere;
    std::map<std::string, plat::UINT> registeredMessages;

    plat::HWND focus = nullptr;
    plat::HWND capture = nullptr;  // the window that took the left button press
    plat::POINT cursor{0, 0};
    long zCounter = 0;

    int screenWidth = 1920;
    int screenHeight = 1080;
    int screenBits = 32;
    std::vector<std::uint32_t> screen;  // 0x00RRGGBB, top row first
    int dpi = 96;
    bool layeredSupport = true;

    std::vector<MessageBoxRecord> messageBoxes;
    bool holdMessageBoxes = false;

    // Clipboard
    bool clipboardHeldElsewhere = false;
    std::thread::id clipboardOpener;
    bool clipboardOpen = false;
    bool clipboardHasText = false;
    std::string clipboardText;
    // Global memory blocks (GlobalAlloc) by handle, until freed or handed to the clipboard.
    std::map<std::uintptr_t, std::vector<char>> globalBlocks;

    // Tray
    TrayRecord tray;
    bool refuseTray = false;

    // Faults and call counts
    std::map<std::string, Fault> faults;
    std::map<std::string, int> calls;

    // Sockets and handles
    std::vector<SocketRecord> sockets;
    std::map<plat::SOCKET, int> socketFds;  // open sockets: handle to descriptor
    int sendLimit = 0;                      // most bytes one send takes; 0 for no limit
    int openHandles = 0;
    // Programs started by CreateProcessA, by process handle.
    std::map<std::uintptr_t, ProcessRecord> processes;
    // Thread handles of those programs, each naming its process handle.
    std::map<std::uintptr_t, std::uintptr_t> processThreads;

    bool fixedTime = false;
    plat::SYSTEMTIME localTime{};
};

constexpr int firstWindowId = 0x100;
constexpr int desktopWindowId = 0x10;

Desktop& TheDesktop();

// Window handles are their ids; the desktop window has its own id.
plat::HWND HandleOf(int id);
// The window's record, or null for an unknown handle. Needs the lock.
WindowData* Find(plat::HWND window);

// Runs the call on the window's owner thread and returns its result: at once
// when that is the calling thread, otherwise handed over and waited for,
// answering calls sent to the calling thread meanwhile. Call without the lock.
plat::LRESULT RunOnOwner(plat::HWND window, std::function<plat::LRESULT()> call);
// Handles every call sent to the calling thread. Call without the lock.
void AnswerSentCalls();

// A new handle value for GDI objects, DCs, sockets and the like. Needs the lock.
std::uintptr_t NewHandle();

// True when the named operation is to fail now; then the thread's last error
// holds the fault's code. Counts the call either way. Call without the lock.
bool Injected(const char* operation);

// The last-error value for an errno value.
plat::DWORD ErrorFromErrno(int error);

// Threads started by CreateThread: their handles, and waiting for them.
bool IsThreadHandle(plat::HANDLE handle);
bool WaitForThread(plat::HANDLE handle, plat::DWORD milliseconds);

// Kills and reaps every program still running and forgets them (sim::Reset).
void ForgetProcesses();

}  // namespace sim::detail
