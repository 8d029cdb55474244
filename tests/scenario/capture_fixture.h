// A simulated desktop set up as the capture worker finds it: the overlay
// (hidden, full-screen), the brushes, the settings window's "Add size to
// link:" box, the log, a working directory of its own; and helpers to run
// a piece of the pipeline on a worker thread while the test thread plays the
// UI thread that answers it.
#pragma once

#include "app/app_state.h"
#include "app/log.h"
#include "platform/sim/sim.h"
#include "tests/support/sim_capture_desk.h"
#include "tests/support/sim_program.h"
#include "tests/support/temp_dir.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

class CaptureDesk {
public:
    explicit CaptureDesk(int width = 1920, int height = 1080, int bits = 32) {
        SetUpCaptureDesktop(width, height, bits);
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
