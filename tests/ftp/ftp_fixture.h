// What the FTP tests share: a working directory with log.txt open, a bar
// window on the test thread that records every stage it is painted with,
// and the worker's settings copy and text buffer.
#pragma once

#include "app/app_state.h"
#include "app/log.h"
#include "ftp/ftp_session.h"
#include "platform/sim/sim.h"
#include "tests/support/sim_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ftptest {

struct Stage {
    std::string text;
    int width;
    bool operator==(const Stage&) const = default;
};

inline std::vector<Stage>& StageTrail() {
    static std::vector<Stage> trail;
    return trail;
}

inline plat::LRESULT BarProc(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (message != plat::WM_PAINT) return plat::DefWindowProcA(window, message, wParam, lParam);
    plat::PAINTSTRUCT paint;
    plat::BeginPaint(window, &paint);
    plat::RECT rect;
    plat::GetWindowRect(window, &rect);
    StageTrail().push_back({StatusText(), rect.right - rect.left});
    plat::EndPaint(window, &paint);
    return 0;
}

// The time every test's image name is made from.
constexpr plat::SYSTEMTIME captureTime{2024, 3, 4, 7, 14, 5, 9, 0};
inline const std::string imageName = "img_2024_03_07_14_05_09.png";

inline ChosenImage MakeImage(int size) {
    ChosenImage image;
    image.data.resize(static_cast<std::size_t>(size));
    // A pattern that shows any byte lost, repeated or moved.
    for (int i = 0; i < size; ++i)
        image.data[static_cast<std::size_t>(i)] =
            static_cast<unsigned char>((static_cast<unsigned>(i) * 131u + static_cast<unsigned>(i) / 251u) & 0xFFu);
    image.size = size;
    image.extension = "png";
    return image;
}

class FtpTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ResetAppState();
        sim::SetScreen(1920, 1080, 32);
        appState.screenSize = {1920, 1080};
        OpenLog();
        plat::WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &BarProc;
        windowClass.lpszClassName = "FTPBAR";
        plat::RegisterClassA(&windowClass);
        appState.overlayWindow =
            plat::CreateWindowExA(0, "FTPBAR", "bar", 0, 0, 0, 576, 24, nullptr, nullptr, nullptr, nullptr);
        plat::ShowWindow(appState.overlayWindow, plat::SW_SHOW);
        StageTrail().clear();
        buffer_ = std::make_unique<char[]>(textBufferSize);
        session.textBuffer = buffer_.get();
    }
    void TearDown() override {
        CloseLog();
        sim::Reset();
        ResetAppState();
    }

    // Settings as the worker's copy holds them: the password scrambled.
    void UseServer(int port, const char* login = "user", const char* password = "correct-horse-battery",
                   const char* directory = "img/dir") {
        CopySettingsField(settings.host, "127.0.0.1");
        settings.port = port;
        CopySettingsField(settings.login, login);
        CopySettingsField(settings.password, password);
        ScramblePassword(settings.password);
        CopySettingsField(settings.ftpDirectory, directory);
        CopySettingsField(settings.imagePrefix, "img");
    }

    TempWorkingDirectory dir;
    Settings settings;
    FtpSession session;

private:
    std::unique_ptr<char[]> buffer_;
};

}  // namespace ftptest
