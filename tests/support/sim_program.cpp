#include "tests/support/sim_program.h"

#include "app/app_state.h"
#include "app/log.h"
#include "tests/support/temp_dir.h"

ProgramRun::ProgramRun() {
    sim::Reset();
    ResetAppState();
}

ProgramRun::~ProgramRun() {
    if (ui_.joinable()) {
        if (!finished_) {
            if (appState.exitButton)
                sim::ClickButton(appState.exitButton);
            else if (appState.settingsWindow)
                sim::CloseWindow(appState.settingsWindow);
        }
        ui_.join();
    }
    // A worker may still be running after the UI thread has left.
    sim::WaitUntil([] { return appState.busy == 0; }, std::chrono::seconds(60));
    // Start-up's early returns leave the log to the end of the process, as
    // the program does; a test process goes on, so it is closed here.
    CloseLog();
    sim::Reset();
    ResetAppState();
}

void ProgramRun::Start() {
    ui_ = std::thread([this] {
        result_ = plat::WinMain(nullptr, nullptr, nullptr, 0);
        finished_ = true;
    });
}

bool ProgramRun::WaitUntilRunning(std::chrono::milliseconds limit) {
    return sim::WaitUntil(
        [this] {
            return finished_ || (sim::HotkeyRegistered(plat::MOD_ALT | plat::MOD_CONTROL, plat::VK_OEM_3) &&
                                 appState.overlayWindow && sim::Window(appState.overlayWindow).alpha >= 0);
        },
        limit) &&
           !finished_;
}

std::optional<int> ProgramRun::WaitForExit(std::chrono::milliseconds limit) {
    if (!sim::WaitUntil([this] { return finished_.load(); }, limit)) return std::nullopt;
    return result_.load();
}

bool ProgramRun::Finished() const { return finished_; }

bool ProgramRun::WaitUntilIdle(std::chrono::milliseconds limit) {
    return sim::WaitUntil([] { return appState.busy == 0; }, limit);
}

std::string LogText() { return ReadFileBytes("log.txt"); }
