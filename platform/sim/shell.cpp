// The simulated desktop's clipboard and global memory. The clipboard holds
// one text; a block handed to it is read at once and then belongs to it, so
// a program that touched the block afterwards would find it gone.
#include "platform/sim/desktop.h"

#include <cstring>

using namespace sim::detail;

namespace {
std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// True when the calling thread has the clipboard open; sets the error otherwise.
bool OpenedHere(Desktop& d) {
    if (d.clipboardOpen && d.clipboardOpener == std::this_thread::get_id()) return true;
    plat::SetLastError(plat::ERROR_CLIPBOARD_NOT_OPEN);
    return false;
}
}  // namespace

namespace plat {

BOOL OpenClipboard(HWND) {
    if (Injected("OpenClipboard")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (d.clipboardHeldElsewhere || (d.clipboardOpen && d.clipboardOpener != std::this_thread::get_id())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    d.clipboardOpen = true;
    d.clipboardOpener = std::this_thread::get_id();
    return 1;
}

BOOL EmptyClipboard() {
    if (Injected("EmptyClipboard")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!OpenedHere(d)) return 0;
    d.clipboardHasText = false;
    d.clipboardText.clear();
    return 1;
}

HANDLE SetClipboardData(UINT format, HGLOBAL memory) {
    if (Injected("SetClipboardData")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!OpenedHere(d)) return nullptr;
    auto it = d.globalBlocks.find(Key(memory));
    if (format != CF_TEXT || it == d.globalBlocks.end()) {
        SetLastError(0x20000000u | 22);  // EINVAL: not a block of ours
        return nullptr;
    }
    const std::vector<char>& block = it->second;
    const void* end = std::memchr(block.data(), 0, block.size());
    d.clipboardText.assign(block.data(), end ? static_cast<const char*>(end) : block.data() + block.size());
    d.clipboardHasText = true;
    d.globalBlocks.erase(it);
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(memory);
}

BOOL CloseClipboard() {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!OpenedHere(d)) return 0;
    d.clipboardOpen = false;
    d.clipboardOpener = std::thread::id();
    return 1;
}

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
    if (Injected("GlobalAlloc")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto handle = NewHandle();
    d.globalBlocks[handle].assign(bytes, 0);
    return reinterpret_cast<HGLOBAL>(handle);
}

void* GlobalLock(HGLOBAL memory) {
    if (Injected("GlobalLock")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto it = d.globalBlocks.find(Key(memory));
    if (it == d.globalBlocks.end()) return nullptr;
    return it->second.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    // Windows answers 0 once the lock count is back to 0.
    SetLastError(d.globalBlocks.count(Key(memory)) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
    return 0;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    return d.globalBlocks.erase(Key(memory)) ? nullptr : memory;
}

}  // namespace plat
