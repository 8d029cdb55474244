// The FTP password in clear goes to the server in PASS and into the
// password box, and nowhere else: not into log.txt, not into settings.ini
// (which holds it scrambled), not into any other file the program writes,
// nor the clipboard. Checked after every step of a whole run, two starts of
// the program included.
#include "tests/scenario/capture_fixture.h"
#include "tests/scenario/overlay_fixture.h"
#include "tests/support/scripted_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace overlay_test;
namespace fs = std::filesystem;

const std::string password = "Quartz-7-lantern";
// Typed but never stored: Cancel throws it away, and the other is refused
// because its first byte scrambles to a tab.
const std::string cancelledPassword = "Other-secret-9";
const std::string refusedPassword = "\xaa" "Refused-pw";

std::string Scrambled(const std::string& clear) {
    char field[settingsFieldSize] = {};
    CopySettingsField(field, clear.c_str());
    ScramblePassword(field);
    return field;
}

// Every file under the working directory holding the text, and the
// clipboard if it does.
std::vector<std::string> PlacesHolding(const std::string& secret) {
    std::vector<std::string> places;
    for (const auto& entry : fs::recursive_directory_iterator(fs::current_path()))
        if (entry.is_regular_file() && ReadFileBytes(entry.path()).find(secret) != std::string::npos)
            places.push_back(fs::relative(entry.path()).string());
    if (sim::ClipboardHasText() && sim::ClipboardText().find(secret) != std::string::npos)
        places.push_back("the clipboard");
    return places;
}

// A capture of (10,10)-(40,30), from the hotkey to the worker's end.
bool Capture() {
    const int threads = sim::CallCount("CreateThread");
    if (!RaiseVeil() || !PressAt(10, 10)) return false;
    sim::MoveMouse(40, 30);
    sim::MouseUp(40, 30);
    return WaitForCaptureStart(threads) &&
           sim::WaitUntil([] { return appState.busy.load() == 0; }, std::chrono::seconds(30));
}

bool OpenSettings() {
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
    return sim::WaitUntil([] { return Visible(appState.settingsWindow); });
}

bool Press(plat::HWND button) {
    const std::size_t hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
    sim::ClickButton(button);
    return WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides);
}

std::vector<ftptest::Turn> Accepting() {
    using namespace ftptest;
    return {Greeting("220 Ready\r\n"),     On("331 Password required\r\n"),
            On("230 Logged in\r\n"),       On("250 Directory changed\r\n"),
            On("200 Type set to I\r\n"),   On("227 Entering Passive Mode (%PASV%).\r\n"),
            On("150 Ok to send data\r\n"), AfterData("226 Transfer complete\r\n")};
}

TEST(Secrets, TheClearPasswordIsWrittenNowhereAcrossAWholeRun) {
    ftptest::ScriptedServer accepting(Accepting(), {}, 2);
    ftptest::ScriptedServer refusing({ftptest::Greeting("220 Ready\r\n"), ftptest::On("331 Password required\r\n"),
                                      ftptest::On("530 Login incorrect\r\n")});
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    WriteProgram("cjpeg", "printf 'jpeg-bytes' > temp.jpg");
    WriteProgram("optipng", "printf 'png-bytes-longer' > temp.png");
    std::optional<ProgramRun> secondRun;

    const std::string passCommand = "PASS " + password + "\r\n";
    const struct {
        const char* name;
        std::function<void()> step;
    } steps[] = {
        {"the first start: every box typed, the refusing server's port, Ok",
         [&] {
             const std::pair<plat::HWND, std::string> typed[] = {
                 {appState.boxes.hostBox, "127.0.0.1"},
                 {appState.boxes.portBox, std::to_string(refusing.port())},
                 {appState.boxes.loginBox, "carol"},
                 {appState.boxes.passwordBox, password},
                 {appState.boxes.ftpDirectoryBox, "up"},
                 {appState.boxes.linkPrefixBox, "s.vorlune.test"},
                 {appState.boxes.imagePrefixBox, "sec"},
                 {appState.boxes.backupDirectoryBox, "bk"},
             };
             for (const auto& [box, text] : typed) sim::TypeText(box, text);
             ASSERT_TRUE(Press(appState.okButton));
         }},
        {"a capture whose password the server refuses",
         [&] {
             ASSERT_TRUE(Capture());
             ASSERT_TRUE(WaitForRedBar());
             EXPECT_NE(LogText().find("Password incorrect\r\n"), std::string::npos);
             EXPECT_EQ(refusing.Commands(), "USER carol\r\n" + passCommand) << "the password did go to the server";
         }},
        {"Ok with the accepting server's port",
         [&] {
             ASSERT_TRUE(OpenSettings());
             EXPECT_EQ(sim::Window(appState.boxes.passwordBox).text, password);
             sim::TypeText(appState.boxes.portBox, std::to_string(accepting.port()));
             ASSERT_TRUE(Press(appState.okButton));
         }},
        {"a capture that uploads",
         [&] {
             ASSERT_TRUE(Capture());
             ASSERT_TRUE(sim::WaitUntil([&] { return accepting.Sessions().size() == 1; }));
             EXPECT_EQ(accepting.Sessions()[0].commands.find(passCommand), 12u) << "right after USER carol";
             EXPECT_EQ(accepting.Sessions()[0].data, "jpeg-bytes");
             EXPECT_NE(LogText().find("226 Transfer complete\r\n"), std::string::npos);
         }},
        {"Cancel with another password typed",
         [&] {
             ASSERT_TRUE(OpenSettings());
             sim::TypeText(appState.boxes.passwordBox, cancelledPassword);
             ASSERT_TRUE(Press(appState.cancelButton));
             EXPECT_EQ(sim::Window(appState.boxes.passwordBox).text, password);
         }},
        {"Ok refusing a password settings.ini cannot carry",
         [&] {
             ASSERT_TRUE(OpenSettings());
             sim::TypeText(appState.boxes.passwordBox, refusedPassword);
             sim::ClickButton(appState.okButton);
             ASSERT_TRUE(sim::WaitUntil([] { return !sim::MessageBoxes().empty(); }));
             EXPECT_EQ(sim::MessageBoxes()[0].text.find(refusedPassword.substr(1)), std::string::npos)
                 << "the box names the position, never the characters";
             ASSERT_TRUE(Press(appState.cancelButton));
         }},
        {"Exit, and a second start from settings.ini",
         [&] {
             desk.Exit();
             secondRun.emplace();
             secondRun->Start();
             ASSERT_TRUE(secondRun->WaitUntilRunning());
             EXPECT_EQ(sim::Window(appState.boxes.passwordBox).text, password) << "the box shows it in clear";
         }},
        {"a capture after the second start",
         [&] {
             ASSERT_TRUE(Capture());
             ASSERT_TRUE(sim::WaitUntil([&] { return accepting.Sessions().size() == 2; }));
             EXPECT_EQ(accepting.Sessions()[1].commands.find(passCommand), 12u);
         }},
        {"Exit of the second run",
         [&] {
             sim::ClickButton(appState.exitButton);
             ASSERT_TRUE(secondRun->WaitForExit().has_value());
         }},
    };

    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        s.step();
        if (HasFatalFailure()) return;
        for (const std::string& secret : {password, cancelledPassword, refusedPassword})
            EXPECT_EQ(PlacesHolding(secret), std::vector<std::string>{}) << "a typed password written out";
        // What the file must hold instead, so the search above looked at a
        // file that has the password in some form.
        EXPECT_NE(ReadFileBytes("settings.ini").find(std::string(1, '\0') + Scrambled(password) + '\0'), std::string::npos);
    }
}

}  // namespace
