#include "capture/link.h"

#include "app/app_state.h"
#include "app/log.h"
#include "capture/format_text.h"

#include <cstring>

using namespace plat;

std::string FormatLink(const char* linkPrefix, const char* imagePrefix, const SYSTEMTIME& t,
                       const ChosenImage& image, bool withSize) {
    if (!withSize)
        return FormatText("http://%s/%s_%.4d_%.2d_%.2d_%.2d_%.2d_%.2d.%s", linkPrefix, imagePrefix, t.wYear,
                          t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, image.extension.c_str());
    // Exactly 1024 bytes still reads as bytes; the kilobytes are whole ones.
    const bool kilobytes = image.size > 1024;
    return FormatText("http://%s/%s_%.4d_%.2d_%.2d_%.2d_%.2d_%.2d.%s %d%s", linkPrefix, imagePrefix, t.wYear,
                      t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, image.extension.c_str(),
                      kilobytes ? image.size / 1024 : image.size, kilobytes ? "kb" : "b");
}

namespace {

// Another program (a clipboard viewer, a paste in progress) holds the
// clipboard for moments at a time; a short wait usually outlasts it.
constexpr int openAttempts = 10;
constexpr DWORD openPauseMilliseconds = 20;

bool OpenClipboardPatiently() {
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        if (attempt == openAttempts) return false;
        Sleep(openPauseMilliseconds);
    }
}

}  // namespace

bool PutLinkOnClipboard(const char* linkPrefix, const char* imagePrefix, const SYSTEMTIME& time,
                        const ChosenImage& image) {
    if (!OpenClipboardPatiently()) {
        LogLine("Failed to open clipboard (%s)\r\n", SystemErrorText().c_str());
        return false;
    }
    EmptyClipboard();
    // The box as it is now, ticked or cleared since the last Ok included:
    // the UI thread answers this from its message loop.
    const bool withSize = SendMessageA(appState.addSizeCheckBox, BM_GETCHECK, 0, 0) != 0;
    const std::string link = FormatLink(linkPrefix, imagePrefix, time, image, withSize);
    LogLine("Putting %s in clipboard\r\n", link.c_str());

    HGLOBAL block = GlobalAlloc(GMEM_DDESHARE, link.size() + 1);
    void* bytes = block ? GlobalLock(block) : nullptr;
    if (!bytes) {
        // Without a block there is nothing to hand over; the upload still runs.
        if (block) GlobalFree(block);
        LogLine("Failed to allocate clipboard memory\r\n");
        CloseClipboard();
        return false;
    }
    std::memcpy(bytes, link.c_str(), link.size() + 1);
    GlobalUnlock(block);
    // Taken, the block belongs to the clipboard; refused, it is still ours.
    const bool taken = SetClipboardData(CF_TEXT, block) != nullptr;
    LogLine("SetClipboardData (%s)\r\n", SystemErrorText().c_str());
    if (!taken) GlobalFree(block);
    CloseClipboard();
    return taken;
}
