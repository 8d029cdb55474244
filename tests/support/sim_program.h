// Runs the whole program (WinMain) on a UI thread of its own on the
// simulated desktop, in the caller's working directory.
#pragma once

#include "platform/sim/sim.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

class ProgramRun {
public:
    // Resets the simulated desktop and the program's state; the scene can
    // then be set (sim::SetScreen, files) before Start.
    ProgramRun();
    // Ends a program still running (through its Exit button or WM_CLOSE)
    // and joins every thread it started.
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    void Start();
    // Waits until start-up has reached the main loop (both hotkeys held).
    bool WaitUntilRunning(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Waits for WinMain to return; its result, or none when it is still running.
    std::optional<int> WaitForExit(std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool Finished() const;

    // Waits for busy to be 0 again after a capture (the worker has ended).
    bool WaitUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(30));

private:
    std::thread ui_;
    std::atomic<bool> finished_{false};
    std::atomic<int> result_{-1};
};

// The log as written so far.
std::string LogText();
