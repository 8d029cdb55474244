// The whole program running on the simulated desktop for the overlay, bar,
// tray and settings-window cases, and what those cases read back.
//
// The cases watch the program as the user would: through the simulated
// desktop (windows, their events, what was painted, the tray, message boxes,
// files and the log), all of which the desktop's own lock guards. appState
// is read only once the program has ended.
#pragma once

#include "app/app_state.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"
#include "tests/support/sim_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace overlay_test {

// PATH for the encoders, given back afterwards. By default neither encoder
// is found, so a capture fails fast at encoding and never reaches a network.
class PathGuard {
public:
    explicit PathGuard(const std::string& path) {
        if (const char* old = std::getenv("PATH")) {
            had_ = true;
            old_ = old;
        }
        setenv("PATH", path.c_str(), 1);
    }
    ~PathGuard() {
        if (had_)
            setenv("PATH", old_.c_str(), 1);
        else
            unsetenv("PATH");
    }
    PathGuard(const PathGuard&) = delete;
    PathGuard& operator=(const PathGuard&) = delete;

private:
    bool had_ = false;
    std::string old_;
};

struct DeskOptions {
    bool settingsFile = true;  // without one the settings window opens at start
    bool showTrayIcon = true;
    bool refuseTray = false;
    int width = 1920;
    int height = 1080;
    int dpi = 96;
};

// The settings file the cases start from: an upload that could only go to
// 127.0.0.1, where nothing listens on port 9.
inline Settings StartSettings(bool showTrayIcon) {
    Settings s;
    ApplyDefaultSettings(s);
    CopySettingsField(s.host, "127.0.0.1");
    CopySettingsField(s.portText, "9");
    s.port = 9;
    s.showTrayIcon = showTrayIcon;
    return s;
}

class Desk {
public:
    explicit Desk(DeskOptions options = {}) : path_("/nonexistent-vorlune") {
        if (options.settingsFile) {
            SaveSettings(StartSettings(options.showTrayIcon));
            fileAtStart = ReadFileBytes("settings.ini");
        }
        sim::SetScreen(options.width, options.height, 32);
        sim::SetDpi(options.dpi);
        sim::RefuseTrayIcon(options.refuseTray);
        program.Start();
        running = program.WaitUntilRunning();
        EXPECT_TRUE(running);
    }

    // Ends the program with its Exit button; appState may be read after.
    int Exit() {
        sim::ClickButton(appState.exitButton);
        auto result = program.WaitForExit();
        EXPECT_TRUE(result.has_value());
        return result.value_or(-1);
    }

    TempWorkingDirectory dir;

private:
    PathGuard path_;

public:
    ProgramRun program;
    std::string fileAtStart;
    bool running = false;
};

// A cjpeg in the working directory that holds the capture at its first
// encoder until the case lets it go, then fails: the bar stays up with busy
// set for as long as the case needs, and the capture then ends red.
class HeldEncoder {
public:
    HeldEncoder() {
        WriteFileBytes("cjpeg",
                       "#!/bin/sh\n"
                       "i=0\n"
                       "while [ ! -e release ] && [ $i -lt 400 ]; do /bin/sleep 0.02; i=$((i+1)); done\n"
                       "exit 1\n");
        ::chmod("cjpeg", 0755);
    }
    void Release() { WriteFileBytes("release", ""); }
    ~HeldEncoder() { Release(); }
    HeldEncoder(const HeldEncoder&) = delete;
    HeldEncoder& operator=(const HeldEncoder&) = delete;
};

inline std::vector<sim::WindowEvent> EventsOf(plat::HWND window, sim::WindowEvent::Kind kind) {
    std::vector<sim::WindowEvent> out;
    for (auto& e : sim::WindowEvents(window))
        if (e.kind == kind) out.push_back(e);
    return out;
}

inline std::size_t Count(plat::HWND window, sim::WindowEvent::Kind kind) { return EventsOf(window, kind).size(); }

// Waits until the window has had more events of the kind than before.
inline bool WaitForMore(plat::HWND window, sim::WindowEvent::Kind kind, std::size_t before) {
    return sim::WaitUntil([&] { return Count(window, kind) > before; });
}

inline bool Visible(plat::HWND window) { return sim::Window(window).visible; }

// The last text drawn into the overlay, or none.
inline bool LastText(sim::DrawOp& text) {
    auto ops = sim::DrawOps(appState.overlayWindow);
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
        if (it->kind == sim::DrawOp::drawText) {
            text = *it;
            return true;
        }
    return false;
}

inline std::size_t DrawCount() { return sim::DrawOps(appState.overlayWindow).size(); }

constexpr plat::COLORREF green = 0x008000;
constexpr plat::COLORREF red = 0x0000FF;
constexpr plat::COLORREF white = 0xFFFFFF;
constexpr plat::UINT alt = plat::MOD_ALT;
constexpr plat::UINT ctrlAlt = plat::MOD_ALT | plat::MOD_CONTROL;

// The capture hotkey and the veil it brings up.
inline bool RaiseVeil() {
    auto shows = Count(appState.overlayWindow, sim::WindowEvent::show);
    if (!sim::PressHotkey(alt, plat::VK_OEM_3)) return false;
    return WaitForMore(appState.overlayWindow, sim::WindowEvent::show, shows);
}

// The colour of an overlay pixel once the paints so far have landed: waits
// until it is the one expected (or the time is up) and returns what it is.
inline std::int64_t PixelBecomes(int x, int y, std::int64_t expected) {
    sim::WaitUntil([&] { return sim::PaintedPixel(appState.overlayWindow, x, y) == expected; });
    return sim::PaintedPixel(appState.overlayWindow, x, y);
}

// A press on the overlay, waited for until the program has taken it: the
// repaint after it has its bands meeting at the press point. The program
// reads the cursor when it handles the press, as Windows programs do, so a
// move injected before that would move the start of the drag too.
inline bool PressAt(int x, int y) {
    const std::size_t before = DrawCount();
    sim::MouseDown(x, y);
    return sim::WaitUntil([&] {
        bool top = false, left = false;
        auto ops = sim::DrawOps(appState.overlayWindow);
        for (std::size_t i = before; i < ops.size(); ++i) {
            const auto& r = ops[i].rect;
            if (ops[i].kind != sim::DrawOp::fill || r.left != 0 || r.top != 0) continue;
            top = top || (r.bottom == y && r.right == ops[i].clip.right);
            left = left || (r.right == x && r.bottom == ops[i].clip.bottom);
        }
        return top && left;
    });
}

// The red bar of a failed capture, painted once the worker has ended: the
// program is idle again. A case must not end the program while its worker
// still runs.
inline bool WaitForRedBar() {
    // busy is cleared just after the paint; the hotkeys wait for it.
    return sim::WaitUntil(
        [] {
            sim::DrawOp text;
            return LastText(text) && text.background == red && appState.busy.load() == 0;
        },
        std::chrono::seconds(20));
}

// A capture started by the main loop (the worker's thread was asked for).
inline bool WaitForCaptureStart(int threadsBefore) {
    return sim::WaitUntil([&] { return sim::CallCount("CreateThread") > threadsBefore; });
}

}  // namespace overlay_test
