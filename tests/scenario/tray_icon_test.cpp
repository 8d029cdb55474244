// The notification-area icon: its record, the switch in the settings window,
// refusals, the double-click, the shell rebuilding the notification area and
// shutdown.
#include "tests/scenario/overlay_fixture.h"

#include <cstring>

namespace {

using namespace overlay_test;

bool ToggleTrayAndOk() {
    auto hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
    sim::ClickButton(appState.trayCheckBox);
    sim::ClickButton(appState.okButton);
    return WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides);
}

TEST(TrayIcon, TheRecordAddedAtStart) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    auto tray = sim::Tray();
    ASSERT_TRUE(tray.shown);
    EXPECT_EQ(tray.adds, 1);
    const plat::NOTIFYICONDATAA& d = tray.data;
    EXPECT_EQ(d.cbSize, 504u);
    EXPECT_EQ(d.hWnd, appState.settingsWindow);
    EXPECT_EQ(d.uID, 50u);
    EXPECT_EQ(d.uFlags, 7u);
    EXPECT_EQ(d.uCallbackMessage, 0x8001u);
    EXPECT_EQ(d.hIcon, plat::LoadIconA(nullptr, plat::IDI_INFORMATION));
    EXPECT_STREQ(d.szTip, "Vorlune is running");
    for (std::size_t i = std::strlen(d.szTip); i < sizeof d.szTip; ++i) ASSERT_EQ(d.szTip[i], 0);
    EXPECT_EQ(d.dwInfoFlags, 1u);
    EXPECT_EQ(d.szInfo[0], 0) << "no balloon";
    EXPECT_EQ(d.dwState, 0u);
    EXPECT_EQ(d.uVersion, 0u);

    EXPECT_EQ(desk.Exit(), 0);
    EXPECT_FALSE(sim::Tray().shown) << "shutdown removes it";
    EXPECT_EQ(sim::Tray().deletes, 1);
}

// Each Ok adds or removes the icon only when the switch changed.
TEST(TrayIcon, TheSwitchAddsAndRemovesTheIconOnce) {
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    const struct {
        bool toggle;
        bool shown;
        int adds, deletes;
    } steps[] = {
        {true, false, 1, 1},   // off: removed
        {false, false, 1, 1},  // unchanged: left alone
        {true, true, 2, 1},    // on again: added again
        {false, true, 2, 1},
    };
    for (const auto& step : steps) {
        plat::ShowWindow(appState.settingsWindow, plat::SW_SHOW);  // waits for the UI thread
        if (step.toggle) {
            ASSERT_TRUE(ToggleTrayAndOk());
        } else {
            auto hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
            sim::ClickButton(appState.okButton);
            ASSERT_TRUE(WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides));
        }
        auto tray = sim::Tray();
        EXPECT_EQ(tray.shown, step.shown);
        EXPECT_EQ(tray.adds, step.adds);
        EXPECT_EQ(tray.deletes, step.deletes);
    }
    EXPECT_TRUE(LogText().find("Failed to create tray window") == std::string::npos);
}

// Switched off by Ok and then ended: one more delete at shutdown, which
// finds no icon and does no harm; a refused first add likewise.
TEST(TrayIcon, ShutdownDeletesOnceAnAddWasAttempted) {
    const struct {
        const char* name;
        bool refuse;
        bool switchOff;
        int deletes;
        std::string log;
    } cases[] = {
        {"switched off by Ok", false, true, 2, ""},
        {"refused at start", true, false, 1, "logged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk({.refuseTray = c.refuse});
        ASSERT_TRUE(desk.running);
        if (c.switchOff) {
            ASSERT_TRUE(ToggleTrayAndOk());
        }
        EXPECT_FALSE(sim::Tray().shown);
        EXPECT_EQ(desk.Exit(), 0);
        EXPECT_EQ(sim::Tray().deletes, c.deletes);
        EXPECT_TRUE(appState.trayIcon.iconAdded);
        EXPECT_EQ(LogText().find("Failed to create tray window\r\n") != std::string::npos, !c.log.empty());
    }
}

TEST(TrayIcon, WithTheSwitchOffNothingIsAddedOrDeleted) {
    Desk desk({.showTrayIcon = false});
    ASSERT_TRUE(desk.running);
    EXPECT_EQ(sim::Tray().adds, 0);
    sim::RestartShell();
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);  // a later message, to know the rebuild was handled
    ASSERT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
    EXPECT_EQ(desk.Exit(), 0);
    EXPECT_EQ(sim::Tray().adds, 0);
    EXPECT_EQ(sim::Tray().deletes, 0);
    EXPECT_FALSE(appState.trayIcon.iconAdded);
}

// Only the left double-click with the icon's id opens the window.
TEST(TrayIcon, TheDoubleClickOpensTheSettingsWindow) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    for (plat::UINT other : {plat::WM_LBUTTONUP, plat::WM_RBUTTONUP, plat::WM_MOUSEMOVE}) {
        SCOPED_TRACE(other);
        ASSERT_TRUE(sim::TrayEvent(other));
    }
    plat::PostMessageA(appState.settingsWindow, 0x8001, 51, plat::WM_LBUTTONDBLCLK);  // another icon's id
    // A marker handled after them: the capture hotkey's veil.
    ASSERT_TRUE(RaiseVeil());
    EXPECT_FALSE(Visible(appState.settingsWindow));
    ASSERT_TRUE(sim::TrayEvent(plat::WM_LBUTTONDBLCLK));
    EXPECT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
}

// An Explorer restart forgets the icons; the program puts its own back.
TEST(TrayIcon, TheIconComesBackWhenTheShellRebuildsTheNotificationArea) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    for (int restart = 1; restart <= 2; ++restart) {
        SCOPED_TRACE(restart);
        sim::RestartShell();
        ASSERT_TRUE(sim::WaitUntil([] { return sim::Tray().shown; }));
        EXPECT_EQ(sim::Tray().adds, 1 + restart) << "one add, though every top-level window hears it";
    }
    EXPECT_TRUE(sim::TrayEvent(plat::WM_LBUTTONDBLCLK));
    EXPECT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
    EXPECT_EQ(desk.Exit(), 0);
    EXPECT_EQ(sim::Tray().adds, 3);
}

}  // namespace
