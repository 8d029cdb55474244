// Start-up in its order, its three early returns, the log across runs, and
// the main loop's exit.
#include "app/app_state.h"
#include "tests/support/sim_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

const std::string registered =
    "Key combination was successively registered\r\n"
    "Key combination 2 was successively registered\r\n";

// A settings.ini as SaveSettings writes it, with a backup directory set.
void WriteSettingsWithBackup(const std::string& backup) {
    WriteFileBytes("settings.ini", "h\0" "21\0" "l\0" "\xd3\0" "d\0" "k\0" "i\0" "1\0" "0\0" "0\0"s + backup + "\0"s);
}

TEST(Startup, FirstStartShowsTheSettingsWindowAndReachesTheLoop) {
    TempWorkingDirectory dir;
    ProgramRun program;
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());

    auto settings = sim::Window(appState.settingsWindow);
    EXPECT_EQ(settings.text, "Vorlune settings");
    EXPECT_TRUE(settings.visible);

    auto overlay = sim::Window(appState.overlayWindow);
    EXPECT_EQ(overlay.className, "VORLUNE");
    EXPECT_EQ(overlay.text, "Vorlune");
    EXPECT_FALSE(overlay.visible);
    EXPECT_EQ(overlay.style, 0x86000000u);
    EXPECT_EQ(overlay.exStyle, 0x40000u | 0x80000u);
    EXPECT_EQ(overlay.alpha, 128);
    EXPECT_EQ(overlay.rect.right, 1920);
    EXPECT_EQ(overlay.rect.bottom, 1080);
    EXPECT_TRUE(sim::HotkeyRegistered(plat::MOD_ALT, plat::VK_OEM_3));
    EXPECT_EQ(appState.selectionBrush.load(), appState.redBrush);
    EXPECT_EQ(LogText(), registered);

    sim::ClickButton(appState.exitButton);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_FALSE(sim::HotkeyRegistered(plat::MOD_ALT, plat::VK_OEM_3));
    EXPECT_FALSE(sim::HotkeyRegistered(plat::MOD_ALT | plat::MOD_CONTROL, plat::VK_OEM_3));
    EXPECT_FALSE(fs::exists("settings.ini")) << "only Ok saves the settings";
}

TEST(Startup, WithASettingsFileTheWindowStaysHidden) {
    TempWorkingDirectory dir;
    WriteFileBytes("settings.ini", "");
    ProgramRun program;
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());
    EXPECT_FALSE(sim::Window(appState.settingsWindow).visible);
}

TEST(Startup, CreatesTheBackupDirectoryLast) {
    TempWorkingDirectory dir;
    WriteSettingsWithBackup("shots");
    ProgramRun program;
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());
    ASSERT_TRUE(sim::WaitUntil([] { return fs::is_directory("shots"); }));
    EXPECT_TRUE(sim::MessageBoxes().empty());
}

// Each early return logs its line, leaves the steps after it undone and
// ends with 0 without the shutdown steps.
TEST(Startup, EarlyReturns) {
    struct Case {
        const char* name;
        void (*arrange)();
        std::string log;
        bool windowsCreated;
    };
    const Case cases[] = {
        {"no layered windows", [] { sim::SetLayeredSupport(false); }, "No layered window support!\r\n", false},
        {"capture hotkey held by a second copy", [] { sim::HoldHotkeyElsewhere(plat::MOD_ALT, plat::VK_OEM_3); },
         "Failed to register key shortcut\r\n", true},
        {"settings hotkey held elsewhere",
         [] { sim::HoldHotkeyElsewhere(plat::MOD_ALT | plat::MOD_CONTROL, plat::VK_OEM_3); },
         "Key combination was successively registered\r\nFailed to register key 2 shortcut\r\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempWorkingDirectory dir;
        WriteSettingsWithBackup("backup");
        ProgramRun program;
        c.arrange();
        program.Start();
        ASSERT_EQ(program.WaitForExit(), 0);
        EXPECT_EQ(LogText(), c.log);
        EXPECT_EQ(appState.settingsWindow != nullptr, c.windowsCreated);
        if (c.windowsCreated) {
            // The overlay exists but was never made layered or focused.
            EXPECT_EQ(sim::Window(appState.overlayWindow).alpha, -1);
            EXPECT_EQ(sim::Window(appState.overlayWindow).exStyle & 0x80000u, 0u);
        }
        EXPECT_FALSE(fs::exists("backup")) << "the backup directory comes after the hotkeys";
    }
}

TEST(Startup, TwoRunsAppendToTheLog) {
    TempWorkingDirectory dir;
    WriteFileBytes("log.txt", "earlier run\r\n");
    for (int run = 0; run < 2; ++run) {
        ProgramRun program;
        program.Start();
        ASSERT_TRUE(program.WaitUntilRunning());
        sim::ClickButton(appState.exitButton);
        ASSERT_EQ(program.WaitForExit(), 0);
    }
    EXPECT_EQ(LogText(), "earlier run\r\n" + registered + registered);
}

TEST(Startup, AnUnopenableLogChangesNothingElse) {
    TempWorkingDirectory dir;
    fs::create_directory("log.txt");  // a directory cannot be opened for appending
    ProgramRun program;
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());
    EXPECT_TRUE(sim::Window(appState.settingsWindow).visible);
    EXPECT_EQ(sim::Window(appState.overlayWindow).alpha, 128);
    sim::ClickButton(appState.exitButton);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_TRUE(fs::is_directory("log.txt"));
}

TEST(MainLoop, TheQuitMessagesCodeIsIgnored) {
    TempWorkingDirectory dir;
    ProgramRun program;
    program.Start();
    ASSERT_TRUE(program.WaitUntilRunning());
    plat::PostMessageA(appState.overlayWindow, plat::WM_QUIT, 7, 0);
    EXPECT_EQ(program.WaitForExit(), 0);
    EXPECT_FALSE(sim::HotkeyRegistered(plat::MOD_ALT, plat::VK_OEM_3));
}

TEST(MainLoop, ClosingEitherWindowEndsTheProgram) {
    for (bool settings : {true, false}) {
        TempWorkingDirectory dir;
        ProgramRun program;
        program.Start();
        ASSERT_TRUE(program.WaitUntilRunning());
        sim::CloseWindow(settings ? appState.settingsWindow : appState.overlayWindow);
        EXPECT_EQ(program.WaitForExit(), 0);
        EXPECT_FALSE(fs::exists("settings.ini"));
    }
}

}  // namespace
