// The UI thread and the capture worker together: Ok and Cancel pressed over
// and over while captures run one after another. Every capture must work
// with one whole set of settings (never the host of one Ok and the login of
// another), and the password held in the settings must come out of every
// capture as the last Ok stored it. Built to be run under ThreadSanitizer as
// well as plainly.
#include "tests/scenario/capture_fixture.h"
#include "tests/scenario/overlay_fixture.h"
#include "tests/support/scripted_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace overlay_test;
namespace fs = std::filesystem;

// One complete set of what the settings window holds. The tray switch stays
// on in both: the tray icon is how the window is opened while a capture
// runs (the settings hotkey is ignored then). The host is the loopback in
// both; the servers differ by port.
struct SettingsSet {
    const char* name;
    std::string host, portText, login, password, ftpDirectory, linkPrefix, imagePrefix, backupDirectory;
    bool addSizeToLink, bestQuality;

    std::vector<std::string> BoxTexts() const {
        return {host, portText, login, password, ftpDirectory, linkPrefix, imagePrefix, backupDirectory};
    }
};

plat::HWND* const boxHandles[] = {
    &appState.boxes.hostBox,        &appState.boxes.portBox,         &appState.boxes.loginBox,
    &appState.boxes.passwordBox,    &appState.boxes.ftpDirectoryBox, &appState.boxes.linkPrefixBox,
    &appState.boxes.imagePrefixBox, &appState.boxes.backupDirectoryBox,
};

std::vector<std::string> WindowTexts() {
    std::vector<std::string> texts;
    for (plat::HWND* box : boxHandles) texts.push_back(sim::Window(*box).text);
    return texts;
}

void SetCheck(plat::HWND box, bool on) {
    if ((sim::Window(box).check != 0) != on) sim::ClickButton(box);
}

void TypeSet(const SettingsSet& set) {
    const auto texts = set.BoxTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) sim::TypeText(*boxHandles[i], texts[i]);
    SetCheck(appState.addSizeCheckBox, set.addSizeToLink);
    SetCheck(appState.bestQualityCheckBox, set.bestQuality);
}

// Opens the settings window from the tray icon and types the set into it.
bool OpenAndType(const SettingsSet& set) {
    if (!sim::TrayEvent(plat::WM_LBUTTONDBLCLK)) return false;
    if (!sim::WaitUntil([] { return Visible(appState.settingsWindow); })) return false;
    TypeSet(set);
    return true;
}

// Clicks Ok or Cancel, then waits until the main loop has acted on it: both
// end by hiding the window.
bool ClickAndWaitHidden(plat::HWND button, std::size_t hidesBefore) {
    sim::ClickButton(button);
    return WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hidesBefore);
}

constexpr int pauseMs = 15;

std::string Stamp(const plat::SYSTEMTIME& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4d_%.2d_%.2d_%.2d_%.2d_%.2d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    return text;
}

// The stand-in cjpeg writes its own arguments as the image, so the uploaded
// bytes tell which quality switch the capture used; optipng's output is
// larger, so the JPEG is always chosen.
std::string JpegBytes(bool bestQuality) {
    return std::string("jpg:") + (bestQuality ? "-quality 98 -optimize -dct float temp.bmp temp.jpg"
                                              : "-sample 2x1,1x1,1x1 -quality 70 -optimize -dct float temp.bmp temp.jpg");
}

std::string ExpectedCommands(const SettingsSet& set, const std::string& imageName) {
    return "USER " + set.login + "\r\nPASS " + set.password + "\r\nCWD " + set.ftpDirectory +
           "\r\nTYPE I\r\nPASV \r\nSTOR " + imageName + "\r\nQUIT \r\n";
}

// The server's replies come after a short pause each, so the Ok and Cancel
// presses land at every step of the dialogue: a worker that read the
// settings step by step would log in with one set and store with another.
std::vector<ftptest::Turn> Dialogue() {
    using namespace ftptest;
    const auto later = [](Turn::Before before, std::string text) {
        return Turn{before, {{pauseMs, std::move(text)}}, Turn::keep};
    };
    return {later(Turn::nothing, "220 Ready\r\n"),
            later(Turn::command, "331 Password required\r\n"),
            later(Turn::command, "230 Logged in\r\n"),
            later(Turn::command, "250 Directory changed\r\n"),
            later(Turn::command, "200 Type set to I\r\n"),
            later(Turn::command, "227 Entering Passive Mode (%PASV%).\r\n"),
            later(Turn::command, "150 Ok to send data\r\n"),
            later(Turn::dataEnd, "226 Transfer complete\r\n")};
}

// Everything of the held settings, compared with the set Ok took last.
void ExpectHeld(const SettingsSet& set, int port) {
    Settings held;
    {
        std::lock_guard lock(appState.settingsLock);
        held = appState.settings;
    }
    char scrambled[settingsFieldSize] = {};
    CopySettingsField(scrambled, set.password.c_str());
    ScramblePassword(scrambled);
    EXPECT_EQ(std::string(held.password), scrambled) << "the password as Ok stored it, scrambled";
    char clear[settingsFieldSize];
    std::memcpy(clear, held.password, sizeof clear);
    ScramblePassword(clear);
    const std::vector<std::string> heldTexts = {held.host,         held.portText,   held.login,      clear,
                                                held.ftpDirectory, held.linkPrefix, held.imagePrefix, held.backupDirectory};
    EXPECT_EQ(heldTexts, set.BoxTexts());
    EXPECT_EQ(held.port, port);
    EXPECT_EQ(held.addSizeToLink, set.addSizeToLink);
    EXPECT_EQ(held.bestQuality, set.bestQuality);
    EXPECT_TRUE(held.showTrayIcon);
}

TEST(TwoThreads, OkAndCancelWhileCapturesRunNeverMixTheSettingsOrTouchThePassword) {
    constexpr int captures = 40;
    // A cap on the whole run, for a slow machine or a sanitizer: the loop
    // stops there; it is not a check of speed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);

    ftptest::ScriptedServer serverA(Dialogue(), {}, captures);
    ftptest::ScriptedServer serverB(Dialogue(), {}, captures);
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    WriteProgram("cjpeg", "printf 'jpg:%s' \"$*\" > temp.jpg");
    WriteProgram("optipng", "printf '%0200d' 0 > temp.png");

    const SettingsSet sets[2] = {
        {"A", "127.0.0.1", std::to_string(serverA.port()), "anna", "alpha-Pw.1", "dirA", "a.vorlune.test/i", "alpha",
         "bkA", true, false},
        {"B", "127.0.0.1", std::to_string(serverB.port()), "bert", "beta-Pw.22", "dirB", "b.vorlune.test/j", "beta",
         "bkB", false, true},
    };
    ftptest::ScriptedServer* servers[2] = {&serverA, &serverB};
    const int ports[2] = {serverA.port(), serverB.port()};

    // The first start shows the window: Ok takes set A.
    int current = 0;
    TypeSet(sets[current]);
    ASSERT_TRUE(ClickAndWaitHidden(appState.okButton, Count(appState.settingsWindow, sim::WindowEvent::hide)));
    ExpectHeld(sets[current], ports[current]);

    int oksDuringCaptures = 0;
    int used[2] = {0, 0};
    int done = 0;
    for (int i = 0; i < captures && std::chrono::steady_clock::now() < deadline; ++i, ++done) {
        SCOPED_TRACE(testing::Message() << "capture " << i);
        const plat::SYSTEMTIME time{2024, 5, 1, 6, 7, static_cast<plat::WORD>(10 + i / 60),
                                    static_cast<plat::WORD>(i % 60), 0};
        sim::SetLocalTime(&time);
        std::size_t sessionsBefore[2] = {serverA.Sessions().size(), serverB.Sessions().size()};

        // How the capture's start meets an Ok: the Ok clicked just before
        // the release (applied before the worker exists, so the capture must
        // use the new set), just after it (either set, as the main loop and
        // the new worker meet), or none at the start.
        const int variant = i % 3;
        const int next = 1 - current;
        if (variant != 2) {
            ASSERT_TRUE(OpenAndType(sets[next]));
        }
        const int threads = sim::CallCount("CreateThread");
        ASSERT_TRUE(RaiseVeil());
        ASSERT_TRUE(PressAt(10, 10));
        sim::MoveMouse(40, 30);
        const std::size_t hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
        if (variant == 0) sim::ClickButton(appState.okButton);
        sim::MouseUp(40, 30);
        if (variant == 1) sim::ClickButton(appState.okButton);
        if (variant != 2) {
            ASSERT_TRUE(WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides));
            current = next;
        }
        ASSERT_TRUE(WaitForCaptureStart(threads));
        const int setAtStart = current;

        // While the worker runs: Cancel with the other set typed, Ok with
        // it, in turn, at least one of them, until the capture has ended.
        for (int round = 0; round == 0 || (appState.busy.load() != 0 && round < 200); ++round) {
            const int other = 1 - current;
            const bool ok = (i + round) % 2 == 1;
            ASSERT_TRUE(OpenAndType(sets[other]));
            const bool busyBefore = appState.busy.load() != 0;
            ASSERT_TRUE(ClickAndWaitHidden(ok ? appState.okButton : appState.cancelButton,
                                           Count(appState.settingsWindow, sim::WindowEvent::hide)));
            if (ok) {
                current = other;
                if (busyBefore && appState.busy.load() != 0) ++oksDuringCaptures;
            } else {
                // Cancel puts the held settings back into every box.
                EXPECT_EQ(WindowTexts(), sets[current].BoxTexts());
                EXPECT_EQ(sim::Window(appState.addSizeCheckBox).check != 0, sets[current].addSizeToLink);
                EXPECT_EQ(sim::Window(appState.bestQualityCheckBox).check != 0, sets[current].bestQuality);
            }
        }
        ASSERT_TRUE(desk.program.WaitUntilIdle());

        // Exactly one session, at the server of one set: everything the
        // capture did must come from that same set.
        ASSERT_TRUE(sim::WaitUntil([&] {
            return serverA.Sessions().size() + serverB.Sessions().size() == sessionsBefore[0] + sessionsBefore[1] + 1;
        }));
        const int usedSet = serverA.Sessions().size() > sessionsBefore[0] ? 0 : 1;
        const SettingsSet& set = sets[usedSet];
        ++used[usedSet];
        if (variant == 0) {
            EXPECT_EQ(usedSet, setAtStart) << "an Ok applied before the worker started";
        }
        const std::string imageName = set.imagePrefix + "_" + Stamp(time) + ".jpg";
        const ftptest::SessionRecord session = servers[usedSet]->Sessions().back();
        EXPECT_EQ(session.commands, ExpectedCommands(set, imageName)) << "set " << set.name;
        EXPECT_EQ(session.data, JpegBytes(set.bestQuality)) << "set " << set.name;

        const std::string link = "http://" + set.linkPrefix + "/" + imageName;
        const std::string clipboard = sim::ClipboardText();
        // The size comes from the check box as it is at the moment the link
        // is made, which Ok and Cancel change too: it is not part of the
        // capture's settings.
        const std::string sized = link + " " + std::to_string(session.data.size()) + "b";
        EXPECT_TRUE(clipboard == link || clipboard == sized) << clipboard << " for set " << set.name;
        EXPECT_EQ(ReadFileBytes(fs::path(set.backupDirectory) / imageName), session.data)
            << "the backup copy in the set's own directory";
        EXPECT_FALSE(fs::exists(fs::path(sets[1 - usedSet].backupDirectory) / imageName));

        ExpectHeld(sets[current], ports[current]);
        if (HasFatalFailure() || HasFailure()) break;
    }

    const std::string log = LogText();
    EXPECT_EQ(log.find("incorrect"), std::string::npos);
    EXPECT_EQ(log.find("Failed"), std::string::npos);
    if (!HasFailure()) {
        // Both sets were in play, or the run showed nothing of a mix.
        EXPECT_GT(used[0], 0);
        EXPECT_GT(used[1], 0);
    }
    std::printf("[ captures ] %d done, %d with set A, %d with set B, %d Ok applied while a worker ran\n", done,
                used[0], used[1], oksDuringCaptures);
    desk.Exit();
}

}  // namespace
