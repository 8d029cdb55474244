// The main loop's request flags when several are set in one pass, and a
// capture thread that cannot be started.
//
// To set two flags in one pass, the UI thread is held inside a message box
// (Ok refusing a value, with the boxes held open) while the test posts the
// input; the box answers only sent messages, so everything posted meanwhile
// is dispatched together in the next pass.
#include "tests/scenario/overlay_fixture.h"

#include <filesystem>

namespace {

using namespace overlay_test;
namespace fs = std::filesystem;

class HeldPass {
public:
    explicit HeldPass(Desk&) {
        sim::HoldMessageBoxes(true);
        sim::TypeText(appState.boxes.hostBox, "tab\there");
        sim::ClickButton(appState.okButton);
        held = sim::WaitUntil([] { return sim::MessageBoxes().size() == 1; });
        sim::TypeText(appState.boxes.hostBox, "ftp.vorlune.test");
    }
    ~HeldPass() { sim::HoldMessageBoxes(false); }
    HeldPass(const HeldPass&) = delete;
    HeldPass& operator=(const HeldPass&) = delete;
    bool held = false;
};

TEST(MainLoop, ExitAndOkInOnePassSaveNothing) {
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    {
        HeldPass pass(desk);
        ASSERT_TRUE(pass.held);
        sim::ClickButton(appState.okButton);
        sim::ClickButton(appState.exitButton);
    }
    EXPECT_EQ(desk.program.WaitForExit(), 0);
    EXPECT_FALSE(fs::exists("settings.ini"));
    EXPECT_EQ(sim::MessageBoxes().size(), 1u) << "the second Ok was never applied";
}

// The veil is shown and hidden again at once, and the capture starts with
// the selection as it stands: the hotkey has just reset it to (0,0)-(0,0).
// The release hides the overlay as it is dispatched, before the flags are
// acted on: that hide comes first, ahead of the veil the same pass shows.
TEST(MainLoop, CaptureRequestAndSelectionInOnePass) {
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    std::size_t eventsBefore = sim::WindowEvents(appState.overlayWindow).size();
    {
        HeldPass pass(desk);
        ASSERT_TRUE(pass.held);
        plat::PostMessageA(appState.overlayWindow, plat::WM_HOTKEY, 10,
                           static_cast<plat::LPARAM>((plat::VK_OEM_3 << 16) | plat::MOD_ALT));
        plat::PostMessageA(appState.overlayWindow, plat::WM_LBUTTONUP, 0, 0);
    }
    ASSERT_TRUE(WaitForCaptureStart(0));
    auto events = sim::WindowEvents(appState.overlayWindow);
    std::vector<sim::WindowEvent::Kind> kinds;
    for (std::size_t i = eventsBefore; i < events.size(); ++i)
        if (events[i].kind != sim::WindowEvent::invalidate && events[i].kind != sim::WindowEvent::paint)
            kinds.push_back(events[i].kind);
    ASSERT_GE(kinds.size(), 6u);
    const sim::WindowEvent::Kind expected[] = {sim::WindowEvent::hide, sim::WindowEvent::alpha, sim::WindowEvent::move,
                                               sim::WindowEvent::show, sim::WindowEvent::hide, sim::WindowEvent::alpha};
    for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(kinds[i], expected[i]) << i;
    EXPECT_EQ(sim::CallCount("CreateThread"), 1);
    ASSERT_TRUE(WaitForRedBar()) << "the empty selection fails";
    desk.Exit();
    auto log = LogText();
    EXPECT_NE(log.find("Key was pressed\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Key was pressed\r\n"), log.rfind("Key was pressed\r\n"));
    EXPECT_EQ(appState.selection.right, 0);
    EXPECT_EQ(appState.selection.bottom, 0);
}

// Without a worker nobody would clear busy, and every later hotkey and
// selection would be ignored until a restart.
TEST(MainLoop, ACaptureThreadThatCannotStartLeavesTheProgramUsable) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    sim::FailCall("CreateThread", 1, plat::ERROR_NOT_ENOUGH_MEMORY);
    ASSERT_TRUE(RaiseVeil());
    ASSERT_TRUE(PressAt(10, 10));
    sim::MouseUp(50, 50);
    ASSERT_TRUE(sim::WaitUntil([] { return LogText().find("Failed to create capture thread\r\n") != std::string::npos; }));

    ASSERT_TRUE(RaiseVeil()) << "the next hotkey works";
    ASSERT_TRUE(PressAt(10, 10));
    sim::MouseUp(60, 60);
    ASSERT_TRUE(sim::WaitUntil([] { return sim::CallCount("CreateThread") == 2; }));
    ASSERT_TRUE(WaitForRedBar());
    desk.Exit();
    EXPECT_NE(LogText().find("Key combination 2 was successively registered\r\n"
                             "Key was pressed\r\n"
                             "Failed to create capture thread\r\n"
                             "Key was pressed\r\n"),
              std::string::npos);
}

}  // namespace
