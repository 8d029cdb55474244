// A simulated desktop set up as the capture worker finds it: the overlay
// (hidden, full-screen), the brushes, the settings window's "Add size to
// link:" box, the log, a working directory of its own; and helpers to run
// a piece of the pipeline on a worker thread while the test thread plays the
// UI thread that answers it.
#pragma once

#include "app/app_state.h"
#include "app/log.h"
#include "platform/sim/sim.h"
#include "tests/support/sim_program.h"
#include "tests/support/temp_dir.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

inline plat::LRESULT TestOverlayProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    return plat::DefWindowProcA(window, message, wParam, lParam);
}

class CaptureDesk {
public:
    explicit CaptureDesk(int width = 1920, int height = 1080, int bits = 32) {
        sim::Reset();
        ResetAppState();
        sim::SetScreen(width, height, bits);
        appState.screenSize = {width, height};
        plat::WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &TestOverlayProc;
        windowClass.lpszClassName = "VORLUNE";
        plat::RegisterClassA(&windowClass);
        appState.overlayWindow = plat::CreateWindowExA(0, "VORLUNE", "Vorlune", plat::WS_POPUP, 0, 0, width, height,
                                                       nullptr, nullptr, nullptr, nullptr);
        appState.settingsWindow = plat::CreateWindowExA(0, "VORLUNE", "Vorlune settings", plat::WS_CAPTION, 0, 0,
                                                        400, 600, nullptr, nullptr, nullptr, nullptr);
        appState.addSizeCheckBox =
            plat::CreateWindowExA(0, "BUTTON", "Add size to link:", plat::WS_CHILD | plat::WS_VISIBLE | plat::BS_AUTOCHECKBOX,
                                  10, 10, 100, 20, appState.settingsWindow, nullptr, nullptr, nullptr);
        appState.greenBrush = plat::CreateSolidBrush(plat::RGB(0, 255, 0));
        appState.redBrush = plat::CreateSolidBrush(plat::RGB(255, 0, 0));
        appState.selectionBrush = appState.redBrush;
        CopySettingsField(appState.settings.linkPrefix, "L");
        CopySettingsField(appState.settings.imagePrefix, "shot");
        CopySettingsField(appState.settings.host, "127.0.0.1");
        appState.settings.port = 9;  // nothing listens there
        OpenLog();
    }
    ~CaptureDesk() {
        CloseLog();
        sim::Reset();
        ResetAppState();
    }
    CaptureDesk(const CaptureDesk&) = delete;
    CaptureDesk& operator=(const CaptureDesk&) = delete;

    void TickAddSizeBox(bool ticked) {
        plat::SendMessageA(appState.addSizeCheckBox, plat::BM_SETCHECK, ticked ? 1 : 0, 0);
    }

    TempWorkingDirectory dir;
};

// Runs the call on a thread of its own while this thread answers what it
// sends to the windows; false when it did not end in time.
inline bool RunAsWorker(const std::function<void()>& call, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        call();
        done = true;
    });
    bool ended = sim::PumpUntil([&] { return done.load(); }, limit);
    if (!ended) sim::PumpUntil([&] { return done.load(); }, std::chrono::seconds(120));
    worker.join();
    return ended;
}

// PATH for the programs the encoders are looked for on, given back afterwards.
class SearchPath {
public:
    explicit SearchPath(const std::string& path) {
        const char* old = std::getenv("PATH");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("PATH", path.c_str(), 1);
    }
    ~SearchPath() {
        if (had_)
            setenv("PATH", old_.c_str(), 1);
        else
            unsetenv("PATH");
    }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

// The real encoders: Debian's optipng, and cjpeg through the two-file stand-in.
inline std::string RealEncoderPath() { return std::string(VORLUNE_TOOLS_DIR) + ":/usr/bin:/bin"; }
// A PATH on which neither encoder is found.
inline std::string NoEncoderPath() { return "/nonexistent-vorlune"; }

// A stand-in program in the working directory, found before the PATH.
inline void WriteProgram(const std::string& name, const std::string& body) {
    WriteFileBytes(name, "#!/bin/sh\n" + body + "\n");
    ::chmod(name.c_str(), 0755);
}
