#include "capture/capture_worker.h"

#include "app/app_state.h"
#include "app/log.h"
#include "capture/chosen_image.h"
#include "capture/encoding.h"
#include "capture/link.h"
#include "capture/report_stage.h"
#include "capture/screen_capture.h"
#include "ftp/ftp_session.h"
#include "settings/settings.h"

#include <atomic>
#include <memory>

using namespace plat;

namespace {

constexpr int barHeight = 24;
constexpr float firstStageFraction = 0.1f;

// What one capture owns from its start to its end.
struct Capture {
    std::atomic<int>* busy = nullptr;
    // The capture's own settings: Ok and Cancel may rewrite appState's while
    // it runs, and the upload unscrambles this copy's password in place.
    Settings settings;
    SYSTEMTIME captureTime{};
    ChosenImage image;
    char textBuffer[textBufferSize] = {};
};

// The one failure exit of a capture. The red bar is painted by WindowProc
// on the UI thread from failureText, on this repaint and every later one,
// until a key or a new capture takes it away; the worker itself only asks
// for the repaint. A failure before the bar was first shown shows it, so no
// failure goes unseen.
DWORD FailCapture(Capture& capture, const char* message, bool showBar = false) {
    {
        std::lock_guard lock(appState.statusLock);
        appState.failureText = message;
    }
    if (showBar) {
        SetWindowPos(appState.overlayWindow, HWND_TOPMOST(), 0, 0,
                     BarWidth(firstStageFraction, appState.screenSize.width), barHeight, 0);
        ShowWindow(appState.overlayWindow, SW_SHOW);
    }
    InvalidateRect(appState.overlayWindow, nullptr, 0);
    UpdateWindow(appState.overlayWindow);
    capture.image = ChosenImage{};
    appState.selectionBrush = appState.redBrush;
    // Last: once the UI thread sees busy at 0, the brush is already red.
    capture.busy->store(0);
    return 1;
}

DWORD RunCapture(Capture& capture) {
    {
        std::lock_guard lock(appState.settingsLock);
        capture.settings = appState.settings;
    }
    // From now on every paint of the bar is green.
    appState.selectionBrush = appState.greenBrush;
    GetLocalTime(&capture.captureTime);

    ScreenCapture screen = CaptureSelection();
    const bool bitmapWritten = WriteBitmapFile(screen.bitmap, screen.screenDc);
    if (!bitmapWritten) {
        // Encoding now would publish whatever an earlier capture left in
        // temp.bmp under this capture's name.
        ReleaseScreenCapture(screen);
        LogLine("Failed to write bitmap file\r\n");
        return FailCapture(capture, "Failed to capture screen", true);
    }
    ReportStage("Creating optimized JPG image...", firstStageFraction, true);
    ReleaseScreenCapture(screen);

    if (const char* failure = EncodeAndChoose(capture.settings.bestQuality, &ReportStage, capture.image))
        return FailCapture(capture, failure);
    WriteBackupCopy(capture.settings.backupDirectory, capture.settings.imagePrefix, capture.captureTime,
                    capture.image);
    const bool linkPlaced = PutLinkOnClipboard(capture.settings.linkPrefix, capture.settings.imagePrefix,
                                               capture.captureTime, capture.image);

    FtpSession session;
    session.textBuffer = capture.textBuffer;
    if (const char* failure = UploadImage(session, capture.settings, capture.image, capture.captureTime))
        return FailCapture(capture, failure);

    if (!linkPlaced) {
        // Published, but a paste now would give whatever the clipboard held
        // before: that must not pass for success.
        SendQuit(session);
        return FailCapture(capture, "Image uploaded, but the link is not in the clipboard");
    }

    // "Done" is painted and hidden at once: what the user sees of success is
    // the bar vanishing with the link waiting in the clipboard.
    ReportStage("Done");
    ShowWindow(appState.overlayWindow, SW_HIDE);
    SetWindowPos(appState.overlayWindow, HWND_TOPMOST(), 0, 0, appState.screenSize.width,
                 appState.screenSize.height, 0);
    capture.image = ChosenImage{};
    const bool quitSent = SendQuit(session);
    appState.selectionBrush = appState.redBrush;
    capture.busy->store(0);
    return quitSent ? 0 : 1;
}

}  // namespace

DWORD CaptureWorker(void* busy) {
    // The capture's record is large (the text buffer, the image); it lives
    // on the heap rather than the worker's 1 MiB stack.
    auto capture = std::make_unique<Capture>();
    capture->busy = static_cast<std::atomic<int>*>(busy);
    return RunCapture(*capture);
}
