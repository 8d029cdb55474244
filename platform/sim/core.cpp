// The simulated desktop's core: windows, controls, message queues, hotkeys,
// input, message boxes, GDI objects, threads, errors and faults.
#include "platform/sim/desktop.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sim::detail {

namespace {
thread_local plat::DWORD lastError = 0;
}  // namespace

Desktop& TheDesktop() {
    static Desktop desktop;
    return desktop;
}

plat::HWND HandleOf(int id) { return reinterpret_cast<plat::HWND>(static_cast<std::intptr_t>(id)); }

WindowData* Find(plat::HWND window) {
    auto& d = TheDesktop();
    auto id = reinterpret_cast<std::intptr_t>(window);
    auto index = id - firstWindowId;
    if (index < 0 || index >= static_cast<std::intptr_t>(d.windows.size())) return nullptr;
    return &d.windows[static_cast<std::size_t>(index)];
}

std::uintptr_t NewHandle() { return TheDesktop().nextHandle++; }

void AnswerSentCalls() {
    auto& d = TheDesktop();
    auto self = std::this_thread::get_id();
    for (;;) {
        std::shared_ptr<SentItem> item;
        {
            std::lock_guard lock(d.mutex);
            auto& queue = d.queues[self];
            if (queue.sent.empty()) return;
            item = queue.sent.front();
            queue.sent.pop_front();
        }
        plat::LRESULT result = item->call();
        {
            std::lock_guard lock(d.mutex);
            item->result = result;
            item->done = true;
        }
        d.changed.notify_all();
    }
}

plat::LRESULT RunOnOwner(plat::HWND window, std::function<plat::LRESULT()> call) {
    auto& d = TheDesktop();
    auto self = std::this_thread::get_id();
    std::thread::id owner;
    {
        std::lock_guard lock(d.mutex);
        auto* w = Find(window);
        if (w) owner = w->owner;
    }
    if (owner == std::thread::id() || owner == self) return call();

    auto item = std::make_shared<SentItem>();
    item->call = std::move(call);
    std::unique_lock lock(d.mutex);
    d.queues[owner].sent.push_back(item);
    d.changed.notify_all();
    // A thread that never retrieves its messages would hang the sender for
    // ever; in a test that is a bug worth a loud stop rather than a time-out.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!item->done) {
        if (!d.queues[self].sent.empty()) {
            lock.unlock();
            AnswerSentCalls();
            lock.lock();
            continue;
        }
        if (d.changed.wait_until(lock, deadline) == std::cv_status::timeout && !item->done) {
            std::fprintf(stderr, "sim: a call sent to another thread was never answered\n");
            std::abort();
        }
    }
    return item->result;
}

bool Injected(const char* operation) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    d.calls[operation]++;
    auto it = d.faults.find(operation);
    if (it == d.faults.end()) return false;
    Fault& f = it->second;
    if (f.countdown > 0) {
        f.countdown--;
        return false;
    }
    if (f.count == 0) return false;
    if (f.count > 0) f.count--;
    lastError = f.error;
    return true;
}

plat::DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT: return plat::ERROR_FILE_NOT_FOUND;
        case EACCES: return plat::ERROR_ACCESS_DENIED;
        case ENOMEM: return plat::ERROR_NOT_ENOUGH_MEMORY;
        case ENOSPC: return plat::ERROR_DISK_FULL;
        case EEXIST: return plat::ERROR_ALREADY_EXISTS;
        default: return 0x20000000u | static_cast<plat::DWORD>(error);
    }
}

}  // namespace sim::detail

using namespace sim::detail;

namespace plat {

// ===========================================================================
// Errors
// ===========================================================================
DWORD GetLastError() { return sim::detail::lastError; }
void SetLastError(DWORD code) { sim::detail::lastError = code; }

bool FormatMessageA(DWORD code, std::string& text) {
    int error = 0;
    switch (code) {
        case ERROR_SUCCESS: text = "Success"; return true;
        case ERROR_FILE_NOT_FOUND: error = ENOENT; break;
        case ERROR_PATH_NOT_FOUND: error = ENOENT; break;
        case ERROR_ACCESS_DENIED: error = EACCES; break;
        case ERROR_NOT_ENOUGH_MEMORY: error = ENOMEM; break;
        case ERROR_DISK_FULL: error = ENOSPC; break;
        case ERROR_ALREADY_EXISTS: error = EEXIST; break;
        case ERROR_HOTKEY_ALREADY_REGISTERED: text = "Hot key is already registered"; return true;
        case ERROR_CLIPBOARD_NOT_OPEN: text = "Thread does not have a clipboard open"; return true;
        default:
            if ((code & 0x20000000u) == 0) return false;
            error = static_cast<int>(code & ~0x20000000u);
    }
    char buffer[256];
    // The GNU strerror_r returns its text, which may not be the buffer.
    const char* message = strerror_r(error, buffer, sizeof buffer);
    text = message;
    return true;
}

// ===========================================================================
// Modules
// ===========================================================================
namespace {
BOOL SimSetLayeredWindowAttributes(HWND window, COLORREF, BYTE alpha, DWORD flags) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    if (flags & LWA_ALPHA) {
        w->alpha = alpha;
        d.events.push_back({sim::WindowEvent::alpha, window, w->rect, alpha});
    }
    return 1;
}
}  // namespace

HMODULE LoadLibraryA(const char* name) {
    if (Injected("LoadLibraryA")) return nullptr;
    return std::strcmp(name, "user32") == 0 ? reinterpret_cast<HMODULE>(1) : nullptr;
}

LayeredAttributesProc GetProcAddress(HMODULE module, const char* name) {
    if (!module || std::strcmp(name, "SetLayeredWindowAttributes") != 0) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    return d.layeredSupport ? &SimSetLayeredWindowAttributes : nullptr;
}

// ===========================================================================
// Windows and messages
// ===========================================================================
namespace {
struct ClassEntry {
    std::string name;
    WNDPROC proc;
};
std::vector<ClassEntry>& Classes() {
    static std::vector<ClassEntry> classes;
    return classes;
}

bool IsControlClass(const std::string& name) { return name == "STATIC" || name == "EDIT" || name == "BUTTON"; }

// Brings a top-level window to the top of its band and gives it the focus.
void Activate(Desktop& d, WindowData& w) {
    if (w.parent) return;
    w.z = ++d.zCounter;
    d.focus = HandleOf(w.id);
}

void PostTo(Desktop& d, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* w = Find(window);
    if (!w || w->destroyed) return;
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.pt = d.cursor;
    d.queues[w->owner].posted.push_back(m);
    d.changed.notify_all();
}

LPARAM PointParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
}

// The topmost visible top-level window under a screen point.
WindowData* WindowAt(Desktop& d, int x, int y) {
    WindowData* best = nullptr;
    for (auto& w : d.windows) {
        if (w.parent || !w.visible || w.destroyed) continue;
        if (x < w.rect.left || x >= w.rect.right || y < w.rect.top || y >= w.rect.bottom) continue;
        if (!best || (w.topmost && !best->topmost) || (w.topmost == best->topmost && w.z > best->z)) best = &w;
    }
    return best;
}

LRESULT ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    switch (message) {
        case BM_GETCHECK: return w->check;
        case BM_SETCHECK: w->check = static_cast<int>(wParam); return 0;
        case WM_PAINT: w->invalid = false; return 0;
        default: return 0;
    }
}
}  // namespace

WORD RegisterClassA(const WNDCLASSA* windowClass) {
    if (Injected("RegisterClassA")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    for (auto& c : Classes())
        if (c.name == windowClass->lpszClassName) return 0;
    Classes().push_back({windowClass->lpszClassName, windowClass->lpfnWndProc});
    return static_cast<WORD>(0xC000 + Classes().size());
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void*, HINSTANCE, void*) {
    if (Injected("CreateWindowExA")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    WNDPROC proc = nullptr;
    if (!IsControlClass(className)) {
        auto it = std::find_if(Classes().begin(), Classes().end(),
                               [&](const ClassEntry& c) { return c.name == className; });
        if (it == Classes().end()) return nullptr;
        proc = it->proc;
    }
    WindowData w;
    w.id = firstWindowId + static_cast<int>(d.windows.size());
    w.className = className;
    w.text = title ? title : "";
    w.style = style;
    w.exStyle = exStyle;
    w.rect = {x, y, x + width, y + height};
    w.parent = parent;
    w.proc = proc;
    w.owner = std::this_thread::get_id();
    w.visible = (style & WS_VISIBLE) != 0;
    w.invalid = w.visible;
    d.windows.push_back(w);
    d.queues[w.owner];
    return HandleOf(w.id);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    if (message == WM_CLOSE) {
        w->destroyed = true;
        w->visible = false;
        for (auto& c : d.windows)
            if (c.parent == window) c.destroyed = true;
        if (d.focus == window) d.focus = nullptr;
    } else if (message == WM_PAINT) {
        w->invalid = false;
    }
    return 0;
}

BOOL ShowWindow(HWND window, int command) {
    return static_cast<BOOL>(RunOnOwner(window, [=]() -> LRESULT {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        auto* w = Find(window);
        if (!w) return 0;
        BOOL wasVisible = w->visible;
        if (command == SW_HIDE) {
            w->visible = false;
            if (d.focus == window) d.focus = nullptr;
            d.events.push_back({sim::WindowEvent::hide, window, w->rect, 0});
        } else {
            if (!w->visible) w->invalid = true;
            w->visible = true;
            Activate(d, *w);
            d.events.push_back({sim::WindowEvent::show, window, w->rect, 0});
        }
        return wasVisible;
    }));
}

BOOL UpdateWindow(HWND window) {
    return static_cast<BOOL>(RunOnOwner(window, [=]() -> LRESULT {
        WNDPROC proc = nullptr;
        {
            auto& d = TheDesktop();
            std::lock_guard lock(d.mutex);
            auto* w = Find(window);
            if (!w || w->destroyed) return 0;
            if (!w->invalid || !w->visible) return 1;
            proc = w->proc;
        }
        if (proc)
            proc(window, WM_PAINT, 0, 0);
        else
            DefWindowProcA(window, WM_PAINT, 0, 0);
        return 1;
    }));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT) {
    return static_cast<BOOL>(RunOnOwner(window, [=]() -> LRESULT {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        auto* w = Find(window);
        if (!w) return 0;
        RECT next{x, y, x + width, y + height};
        bool sized = next.right - next.left != w->rect.right - w->rect.left ||
                     next.bottom - next.top != w->rect.bottom - w->rect.top;
        w->rect = next;
        if (insertAfter == HWND_TOPMOST()) w->topmost = true;
        if (sized && w->visible) w->invalid = true;
        Activate(d, *w);
        d.events.push_back({sim::WindowEvent::move, window, w->rect, 0});
        return 1;
    }));
}

HWND SetFocus(HWND window) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    HWND previous = d.focus;
    if (Find(window)) d.focus = window;
    return previous;
}

LONG GetWindowLongA(HWND window, int index) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    return static_cast<LONG>(index == GWL_EXSTYLE ? w->exStyle : w->style);
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    DWORD& field = index == GWL_EXSTYLE ? w->exStyle : w->style;
    LONG old = static_cast<LONG>(field);
    field = static_cast<DWORD>(value);
    return old;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
    return static_cast<BOOL>(RunOnOwner(window, [=]() -> LRESULT {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        auto* w = Find(window);
        if (!w) return 0;
        w->invalid = true;
        d.events.push_back({sim::WindowEvent::invalidate, window, w->rect, 0});
        return 1;
    }));
}

BOOL GetClientRect(HWND window, RECT* rect) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    *rect = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return 1;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    *rect = w->rect;
    return 1;
}

BOOL IsWindowVisible(HWND window) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    return w && w->visible && !w->destroyed;
}

BOOL PeekMessageA(MSG* message, HWND, UINT, UINT, UINT remove) {
    AnswerSentCalls();
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto& queue = d.queues[std::this_thread::get_id()];
    if (!queue.posted.empty()) {
        *message = queue.posted.front();
        if (remove & PM_REMOVE) queue.posted.pop_front();
        return 1;
    }
    if (queue.quit) {
        *message = MSG{};
        message->message = WM_QUIT;
        message->wParam = static_cast<WPARAM>(queue.quitCode);
        if (remove & PM_REMOVE) queue.quit = false;
        return 1;
    }
    for (auto& w : d.windows) {
        if (w.owner != std::this_thread::get_id() || !w.invalid || !w.visible || w.destroyed) continue;
        if (w.parent) {
            auto* parent = Find(w.parent);
            if (!parent || !parent->visible) continue;
        }
        *message = MSG{};
        message->hwnd = HandleOf(w.id);
        message->message = WM_PAINT;
        return 1;
    }
    return 0;
}

BOOL TranslateMessage(const MSG*) { return 0; }

LRESULT DispatchMessageA(const MSG* message) {
    WNDPROC proc = nullptr;
    {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        auto* w = Find(message->hwnd);
        if (!w || w->destroyed) return 0;
        proc = w->proc;
    }
    if (!proc) return ControlProc(message->hwnd, message->message, message->wParam, message->lParam);
    return proc(message->hwnd, message->message, message->wParam, message->lParam);
}

void PostQuitMessage(int exitCode) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto& queue = d.queues[std::this_thread::get_id()];
    queue.quit = true;
    queue.quitCode = exitCode;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!Find(window)) return 0;
    PostTo(d, window, message, wParam, lParam);
    return 1;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunOnOwner(window, [=]() -> LRESULT {
        WNDPROC proc = nullptr;
        {
            auto& d = TheDesktop();
            std::lock_guard lock(d.mutex);
            auto* w = Find(window);
            if (!w || w->destroyed) return 0;
            proc = w->proc;
        }
        if (!proc) return ControlProc(window, message, wParam, lParam);
        return proc(window, message, wParam, lParam);
    });
}

void WaitAnsweringSentMessages(DWORD milliseconds) {
    auto& d = TheDesktop();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    auto self = std::this_thread::get_id();
    for (;;) {
        AnswerSentCalls();
        std::unique_lock lock(d.mutex);
        if (std::chrono::steady_clock::now() >= deadline) return;
        d.changed.wait_until(lock, deadline, [&] { return !d.queues[self].sent.empty(); });
    }
}

BOOL RegisterHotKey(HWND window, int id, UINT modifiers, UINT virtualKey) {
    if (Injected("RegisterHotKey")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto held = [&](const Hotkey& h) { return h.modifiers == modifiers && h.virtualKey == virtualKey; };
    if (std::any_of(d.hotkeys.begin(), d.hotkeys.end(), held) ||
        std::any_of(d.hotkeysElsewhere.begin(), d.hotkeysElsewhere.end(), held)) {
        SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
        return 0;
    }
    d.hotkeys.push_back({window, id, modifiers, virtualKey});
    return 1;
}

BOOL UnregisterHotKey(HWND window, int id) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto it = std::find_if(d.hotkeys.begin(), d.hotkeys.end(),
                           [&](const Hotkey& h) { return h.window == window && h.id == id; });
    if (it == d.hotkeys.end()) return 0;
    d.hotkeys.erase(it);
    return 1;
}

int GetSystemMetrics(int index) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (index == SM_CXVIRTUALSCREEN) return d.screenWidth;
    if (index == SM_CYVIRTUALSCREEN) return d.screenHeight;
    return 0;
}

BOOL GetCursorPos(POINT* point) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    *point = d.cursor;
    return 1;
}

HICON LoadIconA(HINSTANCE, std::intptr_t resource) { return reinterpret_cast<HICON>(resource); }
HCURSOR LoadCursorA(HINSTANCE, std::intptr_t resource) { return reinterpret_cast<HCURSOR>(resource); }

int GetWindowTextA(HWND window, char* text, int count) {
    if (count <= 0) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) {
        text[0] = 0;
        return 0;
    }
    auto n = std::min<std::size_t>(w->text.size(), static_cast<std::size_t>(count - 1));
    std::memcpy(text, w->text.data(), n);
    text[n] = 0;
    return static_cast<int>(n);
}

BOOL SetWindowTextA(HWND window, const char* text) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(window);
    if (!w) return 0;
    w->text = text;
    return 1;
}

UINT RegisterWindowMessageA(const char* name) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto it = d.registeredMessages.find(name);
    if (it != d.registeredMessages.end()) return it->second;
    UINT number = 0xC000u + static_cast<UINT>(d.registeredMessages.size());
    d.registeredMessages[name] = number;
    return number;
}

// ===========================================================================
// Message boxes
// ===========================================================================
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    auto& d = TheDesktop();
    {
        std::lock_guard lock(d.mutex);
        d.messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", type});
    }
    d.changed.notify_all();
    // A modal box keeps answering what other threads send until it closes.
    for (;;) {
        {
            std::lock_guard lock(d.mutex);
            if (!d.holdMessageBoxes) break;
        }
        WaitAnsweringSentMessages(5);
    }
    return IDOK;
}

// ===========================================================================
// GDI objects shared by painting and screen capture
// ===========================================================================
HBRUSH CreateSolidBrush(COLORREF colour) {
    if (Injected("CreateSolidBrush")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto handle = NewHandle();
    GdiObject object;
    object.kind = GdiObject::brush;
    object.colour = colour;
    d.objects[handle] = object;
    return reinterpret_cast<HBRUSH>(handle);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto dcIt = d.dcs.find(reinterpret_cast<std::uintptr_t>(dc));
    auto objIt = d.objects.find(reinterpret_cast<std::uintptr_t>(object));
    if (dcIt == d.dcs.end() || objIt == d.objects.end()) return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (objIt->second.kind) {
        case GdiObject::font: slot = &dcIt->second.font; break;
        case GdiObject::bitmap: slot = &dcIt->second.bitmap; break;
        case GdiObject::brush: slot = &dcIt->second.brush; break;
    }
    HGDIOBJ previous = *slot;
    *slot = object;
    // Windows hands back a stock object for the first selection; a non-null
    // value is what callers rely on.
    return previous ? previous : reinterpret_cast<HGDIOBJ>(static_cast<std::uintptr_t>(1));
}

BOOL DeleteObject(HGDIOBJ object) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto it = d.objects.find(reinterpret_cast<std::uintptr_t>(object));
    if (it == d.objects.end() || it->second.deleted) return 0;
    it->second.deleted = true;
    it->second.pixels.clear();
    it->second.pixels.shrink_to_fit();
    return 1;
}

// ===========================================================================
// Files and directories
// ===========================================================================
struct FileStream {
    std::FILE* file;
};

FileStream* FileOpen(const char* path, const char* mode) {
    if (Injected("FileOpen")) return nullptr;
    std::FILE* f = std::fopen(path, mode);
    if (!f) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    return new FileStream{f};
}

std::size_t FileRead(void* buffer, std::size_t size, std::size_t count, FileStream* file) {
    if (Injected("FileRead")) return 0;
    return std::fread(buffer, size, count, file->file);
}

std::size_t FileWrite(const void* buffer, std::size_t size, std::size_t count, FileStream* file) {
    if (Injected("FileWrite")) return 0;
    return std::fwrite(buffer, size, count, file->file);
}

int FileSeek(FileStream* file, long offset, int origin) { return std::fseek(file->file, offset, origin); }
long FileTell(FileStream* file) { return std::ftell(file->file); }
int FileFlush(FileStream* file) {
    if (Injected("FileFlush")) return -1;
    return std::fflush(file->file);
}

int FileClose(FileStream* file) {
    int result = std::fclose(file->file);
    delete file;
    if (Injected("FileClose")) return -1;
    return result;
}

BOOL DeleteFileA(const char* path) {
    if (Injected("DeleteFileA")) return 0;
    if (std::remove(path) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    return 1;
}

}  // namespace plat

#include <sys/stat.h>

namespace plat {

BOOL CreateDirectoryA(const char* path, void*) {
    if (Injected("CreateDirectoryA")) return 0;
    if (::mkdir(path, 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return 0;
    }
    return 1;
}

BOOL MoveFileExA(const char* from, const char* to, DWORD) {
    if (Injected("MoveFileExA")) return 0;
    if (std::rename(from, to) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    return 1;
}

// ===========================================================================
// Time and threads
// ===========================================================================
void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {
struct ThreadRecord {
    pthread_t thread{};
    LPTHREAD_START_ROUTINE start = nullptr;
    void* parameter = nullptr;
    bool finished = false;
    bool joined = false;
    DWORD result = 0;
};

std::vector<std::shared_ptr<ThreadRecord>>& Threads() {
    static std::vector<std::shared_ptr<ThreadRecord>> threads;
    return threads;
}

void* ThreadMain(void* argument) {
    auto* record = static_cast<ThreadRecord*>(argument);
    DWORD result = record->start(record->parameter);
    auto& d = TheDesktop();
    {
        std::lock_guard lock(d.mutex);
        record->result = result;
        record->finished = true;
    }
    d.changed.notify_all();
    return nullptr;
}
}  // namespace

HANDLE CreateThread(void*, std::size_t stackSize, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                    DWORD* threadId) {
    if (Injected("CreateThread")) return nullptr;
    auto record = std::make_shared<ThreadRecord>();
    record->start = start;
    record->parameter = parameter;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize) pthread_attr_setstacksize(&attributes, stackSize);
    int error = pthread_create(&record->thread, &attributes, &ThreadMain, record.get());
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        SetLastError(ErrorFromErrno(error));
        return nullptr;
    }
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    Threads().push_back(record);
    if (threadId) *threadId = static_cast<DWORD>(Threads().size());
    // Thread handles are the thread's index with a tag bit, so
    // WaitForSingleObject can tell them from process handles.
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x40000000u | Threads().size()));
}

}  // namespace plat

namespace sim::detail {
// Waits for a thread started by CreateThread; false when the time ran out.
bool WaitForThread(plat::HANDLE handle, plat::DWORD milliseconds) {
    auto index = (reinterpret_cast<std::uintptr_t>(handle) & ~0x40000000u) - 1;
    auto& d = TheDesktop();
    std::unique_lock lock(d.mutex);
    if (index >= plat::Threads().size()) return true;
    auto record = plat::Threads()[index];
    auto ready = [&] { return record->finished; };
    if (milliseconds == plat::INFINITE)
        d.changed.wait(lock, ready);
    else if (!d.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready))
        return false;
    return true;
}

bool IsThreadHandle(plat::HANDLE handle) {
    return (reinterpret_cast<std::uintptr_t>(handle) & 0x40000000u) != 0;
}
}  // namespace sim::detail

// ===========================================================================
// The test-facing side
// ===========================================================================
namespace sim {

void JoinThreads() {
    std::vector<std::shared_ptr<plat::ThreadRecord>> threads;
    {
        std::lock_guard lock(TheDesktop().mutex);
        threads = plat::Threads();
    }
    for (auto& t : threads) {
        if (t->joined) continue;
        pthread_join(t->thread, nullptr);
        t->joined = true;
    }
}

void Reset() {
    JoinThreads();
    ForgetProcesses();
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    plat::Threads().clear();
    plat::Classes().clear();
    d.windows.clear();
    d.queues.clear();
    d.events.clear();
    d.draws.clear();
    d.objects.clear();
    d.dcs.clear();
    d.hotkeys.clear();
    d.hotkeysElsewhere.clear();
    d.focus = nullptr;
    d.capture = nullptr;
    d.cursor = {0, 0};
    d.screenWidth = 1920;
    d.screenHeight = 1080;
    d.screenBits = 32;
    d.screen.assign(static_cast<std::size_t>(d.screenWidth) * static_cast<std::size_t>(d.screenHeight), 0);
    d.dpi = 96;
    d.layeredSupport = true;
    d.messageBoxes.clear();
    d.holdMessageBoxes = false;
    d.clipboardHeldElsewhere = false;
    d.clipboardOpen = false;
    d.clipboardOpener = std::thread::id();
    d.clipboardHasText = false;
    d.clipboardText.clear();
    d.globalBlocks.clear();
    d.tray = TrayRecord{};
    d.refuseTray = false;
    d.faults.clear();
    d.calls.clear();
    d.sockets.clear();
    for (auto& [handle, fd] : d.socketFds) ::close(fd);
    d.socketFds.clear();
    d.sendLimit = 0;
    d.openHandles = 0;
    d.fixedTime = false;
    plat::SetLastError(0);
}

void SetScreen(int width, int height, int bitsPerPixel) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    d.screenWidth = width;
    d.screenHeight = height;
    d.screenBits = bitsPerPixel;
    d.screen.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

void SetScreenPixel(int x, int y, std::uint32_t rgb) { FillScreen(x, y, x + 1, y + 1, rgb); }

void FillScreen(int left, int top, int right, int bottom, std::uint32_t rgb) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    for (int y = std::max(0, top); y < std::min(bottom, d.screenHeight); ++y)
        for (int x = std::max(0, left); x < std::min(right, d.screenWidth); ++x)
            d.screen[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.screenWidth) + static_cast<std::size_t>(x)] = rgb;
}

std::uint32_t ScreenPixel(int x, int y) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (x < 0 || y < 0 || x >= d.screenWidth || y >= d.screenHeight) return 0;
    return d.screen[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.screenWidth) + static_cast<std::size_t>(x)];
}

void SetDpi(int dpi) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().dpi = dpi;
}

void SetLayeredSupport(bool available) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().layeredSupport = available;
}

void HoldHotkeyElsewhere(plat::UINT modifiers, plat::UINT virtualKey) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().hotkeysElsewhere.push_back({nullptr, 0, modifiers, virtualKey});
}

void HoldClipboardElsewhere(bool held) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().clipboardHeldElsewhere = held;
}

bool PressHotkey(plat::UINT modifiers, plat::UINT virtualKey) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    for (auto& h : d.hotkeys) {
        if (h.modifiers != modifiers || h.virtualKey != virtualKey) continue;
        auto lParam = static_cast<plat::LPARAM>((static_cast<std::uint32_t>(virtualKey) << 16) | modifiers);
        plat::PostTo(d, h.window, plat::WM_HOTKEY, static_cast<plat::WPARAM>(h.id), lParam);
        return true;
    }
    return false;
}

namespace {
void MouseEvent(plat::UINT message, int x, int y) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    d.cursor = {x, y};
    sim::detail::WindowData* target = nullptr;
    if (d.capture && (message == plat::WM_MOUSEMOVE || message == plat::WM_LBUTTONUP)) target = Find(d.capture);
    if (!target) target = plat::WindowAt(d, x, y);
    if (message == plat::WM_LBUTTONDOWN) d.capture = target ? HandleOf(target->id) : nullptr;
    if (message == plat::WM_LBUTTONUP) d.capture = nullptr;
    if (!target || target->destroyed) return;
    plat::PostTo(d, HandleOf(target->id), message, message == plat::WM_MOUSEMOVE && d.capture ? 1 : 0,
                 plat::PointParam(x - target->rect.left, y - target->rect.top));
}
}  // namespace

void MoveMouse(int x, int y) { MouseEvent(plat::WM_MOUSEMOVE, x, y); }
void MouseDown(int x, int y) { MouseEvent(plat::WM_LBUTTONDOWN, x, y); }
void MouseUp(int x, int y) { MouseEvent(plat::WM_LBUTTONUP, x, y); }

void PressKey(plat::UINT virtualKey) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(d.focus);
    if (!w || !w->visible || w->destroyed) return;
    plat::PostTo(d, d.focus, plat::WM_KEYDOWN, virtualKey, 1);
}

void ClickButton(plat::HWND button) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(button);
    if (!w || w->destroyed || !w->parent) return;
    if ((w->style & 0xF) == plat::BS_AUTOCHECKBOX) w->check = w->check ? 0 : 1;
    plat::PostTo(d, w->parent, plat::WM_COMMAND, plat::BN_CLICKED << 16, reinterpret_cast<plat::LPARAM>(button));
}

void TypeText(plat::HWND edit, const std::string& text) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* w = Find(edit);
    if (w) w->text = text;
}

void CloseWindow(plat::HWND window) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    plat::PostTo(d, window, plat::WM_CLOSE, 0, 0);
}

bool TrayEvent(plat::UINT mouseMessage) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!d.tray.shown) return false;
    plat::PostTo(d, d.tray.data.hWnd, d.tray.data.uCallbackMessage, d.tray.data.uID,
                 static_cast<plat::LPARAM>(mouseMessage));
    return true;
}

void RestartShell() {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    d.tray.shown = false;
    auto it = d.registeredMessages.find("TaskbarCreated");
    if (it == d.registeredMessages.end()) return;
    for (auto& w : d.windows)
        if (!w.parent && !w.destroyed) plat::PostTo(d, HandleOf(w.id), it->second, 0, 0);
}

namespace {
WindowInfo InfoOf(const sim::detail::WindowData& w) {
    WindowInfo info;
    info.handle = HandleOf(w.id);
    info.parent = w.parent;
    info.className = w.className;
    info.text = w.text;
    info.style = w.style;
    info.exStyle = w.exStyle;
    info.rect = w.rect;
    info.visible = w.visible && !w.destroyed;
    info.topmost = w.topmost;
    info.destroyed = w.destroyed;
    info.alpha = w.alpha;
    info.check = w.check;
    return info;
}
}  // namespace

std::vector<WindowInfo> Windows() {
    std::lock_guard lock(TheDesktop().mutex);
    std::vector<WindowInfo> all;
    for (auto& w : TheDesktop().windows) all.push_back(InfoOf(w));
    return all;
}

WindowInfo Window(plat::HWND window) {
    std::lock_guard lock(TheDesktop().mutex);
    auto* w = Find(window);
    return w ? InfoOf(*w) : WindowInfo{};
}

plat::HWND FindWindowByTitle(const std::string& title) {
    std::lock_guard lock(TheDesktop().mutex);
    for (auto& w : TheDesktop().windows)
        if (!w.parent && w.text == title) return HandleOf(w.id);
    return nullptr;
}

std::vector<WindowInfo> Children(plat::HWND parent) {
    std::lock_guard lock(TheDesktop().mutex);
    std::vector<WindowInfo> children;
    for (auto& w : TheDesktop().windows)
        if (w.parent == parent) children.push_back(InfoOf(w));
    return children;
}

std::vector<WindowEvent> WindowEvents(plat::HWND window) {
    std::lock_guard lock(TheDesktop().mutex);
    std::vector<WindowEvent> events;
    for (auto& e : TheDesktop().events)
        if (e.window == window) events.push_back(e);
    return events;
}

std::vector<DrawOp> DrawOps(plat::HWND window) {
    std::lock_guard lock(TheDesktop().mutex);
    std::vector<DrawOp> ops;
    for (auto& op : TheDesktop().draws)
        if (op.window == window) ops.push_back(op);
    return ops;
}

std::int64_t PaintedPixel(plat::HWND window, int x, int y) {
    std::lock_guard lock(TheDesktop().mutex);
    std::int64_t colour = -1;
    for (auto& op : TheDesktop().draws) {
        if (op.window != window || op.kind != DrawOp::fill) continue;
        plat::RECT r{std::max(op.rect.left, op.clip.left), std::max(op.rect.top, op.clip.top),
                     std::min(op.rect.right, op.clip.right), std::min(op.rect.bottom, op.clip.bottom)};
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) colour = op.colour;
    }
    return colour;
}

void ClearDrawOps() {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().draws.clear();
}

std::vector<MessageBoxRecord> MessageBoxes() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().messageBoxes;
}

void HoldMessageBoxes(bool held) {
    {
        std::lock_guard lock(TheDesktop().mutex);
        TheDesktop().holdMessageBoxes = held;
    }
    TheDesktop().changed.notify_all();
}

std::string ClipboardText() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().clipboardText;
}

bool ClipboardHasText() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().clipboardHasText;
}

int GlobalBlocksHeld() {
    std::lock_guard lock(TheDesktop().mutex);
    return static_cast<int>(TheDesktop().globalBlocks.size());
}

TrayRecord Tray() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().tray;
}

void RefuseTrayIcon(bool refuse) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().refuseTray = refuse;
}

bool HotkeyRegistered(plat::UINT modifiers, plat::UINT virtualKey) {
    std::lock_guard lock(TheDesktop().mutex);
    for (auto& h : TheDesktop().hotkeys)
        if (h.modifiers == modifiers && h.virtualKey == virtualKey) return true;
    return false;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        plat::MSG m;
        while (plat::PeekMessageA(&m, nullptr, 0, 0, plat::PM_REMOVE)) {
            if (m.message != plat::WM_QUIT) plat::DispatchMessageA(&m);
        }
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        plat::WaitAnsweringSentMessages(2);
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void SetLocalTime(const plat::SYSTEMTIME* time) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().fixedTime = time != nullptr;
    if (time) TheDesktop().localTime = *time;
}

void FailCall(const std::string& operation, int nth, plat::DWORD error, int count) {
    std::lock_guard lock(TheDesktop().mutex);
    TheDesktop().faults[operation] = {nth - 1, count, error};
}

int CallCount(const std::string& operation) {
    std::lock_guard lock(TheDesktop().mutex);
    auto it = TheDesktop().calls.find(operation);
    return it == TheDesktop().calls.end() ? 0 : it->second;
}

std::vector<SocketRecord> Sockets() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().sockets;
}

int OpenHandles() {
    std::lock_guard lock(TheDesktop().mutex);
    return TheDesktop().openHandles;
}

}  // namespace sim

namespace plat {

void GetLocalTime(SYSTEMTIME* time) {
    {
        auto& d = TheDesktop();
        std::lock_guard lock(d.mutex);
        if (d.fixedTime) {
            *time = d.localTime;
            return;
        }
    }
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    *time = SYSTEMTIME{};
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    time->wMilliseconds = static_cast<WORD>(ms);
}

}  // namespace plat
