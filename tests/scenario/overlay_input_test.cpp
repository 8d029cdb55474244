// The selection on the veil: drags, clicks, releases without a press, the
// hotkeys while the veil is up, and keys dismissing it.
#include "tests/scenario/overlay_fixture.h"

namespace {

using namespace overlay_test;

// The red fill of the overlay's latest paint, or an empty rectangle.
plat::RECT LastRedFill() {
    auto ops = sim::DrawOps(appState.overlayWindow);
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
        if (it->kind == sim::DrawOp::fill && it->colour == red) return it->rect;
    return {0, 0, 0, 0};
}

bool SameRect(const plat::RECT& a, const plat::RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool RedFillBecomes(const plat::RECT& expected) {
    return sim::WaitUntil([&] { return SameRect(LastRedFill(), expected); });
}

TEST(OverlayInput, DragsInEveryDirectionSelectTheSameNormalisedRectangle) {
    struct Case {
        const char* name;
        plat::POINT from, to;
    };
    const Case cases[] = {
        {"down and right", {100, 200}, {400, 300}},
        {"up and left", {400, 300}, {100, 200}},
        {"up and right", {100, 300}, {400, 200}},
        {"down and left", {400, 200}, {100, 300}},
    };
    const plat::RECT expected{100, 200, 400, 300};
    Desk desk;
    ASSERT_TRUE(desk.running);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::ClearDrawOps();
        int threads = sim::CallCount("CreateThread");
        ASSERT_TRUE(RaiseVeil());
        ASSERT_TRUE(PressAt(c.from.x, c.from.y));
        sim::MoveMouse(c.to.x, c.to.y);
        EXPECT_TRUE(RedFillBecomes(expected));
        // Right and bottom edges are outside the selection.
        EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, 399, 299), red);
        EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, 400, 250), green);
        EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, 250, 300), green);
        EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, 99, 250), green);
        sim::MouseUp(c.to.x, c.to.y);
        ASSERT_TRUE(WaitForCaptureStart(threads));
        EXPECT_FALSE(Visible(appState.overlayWindow) && sim::Window(appState.overlayWindow).rect.bottom > 24)
            << "the veil is gone once the capture starts";
        ASSERT_TRUE(WaitForRedBar());
    }
    desk.Exit();
    EXPECT_EQ(appState.selection.left, 100);
    EXPECT_EQ(appState.selection.top, 200);
    EXPECT_EQ(appState.selection.right, 400);
    EXPECT_EQ(appState.selection.bottom, 300);
}

// What the worker is handed when the selection does not come from a drag.
TEST(OverlayInput, SelectionsWithoutADrag) {
    struct Case {
        const char* name;
        bool press;
        SelectionRect expected;
    };
    const Case cases[] = {
        // A click: an empty rectangle at the cursor.
        {"a click without movement", true, {640, 480, 640, 480}},
        // The button was already down when the veil came up: the points are
        // where the hotkey left them.
        {"a release without a press", false, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        ASSERT_TRUE(desk.running);
        // An earlier selection, to show that nothing of it is left.
        ASSERT_TRUE(RaiseVeil());
        ASSERT_TRUE(PressAt(10, 10));
        sim::MoveMouse(900, 700);
        sim::MouseUp(900, 700);
        ASSERT_TRUE(WaitForRedBar());
        sim::ClearDrawOps();

        int threads = sim::CallCount("CreateThread");
        ASSERT_TRUE(RaiseVeil());
        if (c.press) {
            ASSERT_TRUE(PressAt(640, 480));
        }
        sim::MouseUp(640, 480);
        ASSERT_TRUE(WaitForCaptureStart(threads));
        ASSERT_TRUE(WaitForRedBar());
        desk.Exit();
        EXPECT_EQ(appState.selection.left, c.expected.left);
        EXPECT_EQ(appState.selection.top, c.expected.top);
        EXPECT_EQ(appState.selection.right, c.expected.right);
        EXPECT_EQ(appState.selection.bottom, c.expected.bottom);
    }
}

// Either hotkey while the veil is up and the button held starts the
// selection again from the screen's origin; the settings hotkey also opens
// the settings window, and the veil stays.
TEST(OverlayInput, AHotkeyDuringTheDragResetsThePoints) {
    struct Case {
        const char* name;
        plat::UINT modifiers;
        bool opensSettings;
    };
    const Case cases[] = {{"capture hotkey", alt, false}, {"settings hotkey", ctrlAlt, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        ASSERT_TRUE(desk.running);
        ASSERT_TRUE(RaiseVeil());
        ASSERT_TRUE(PressAt(300, 300));
        sim::MoveMouse(500, 400);
        ASSERT_TRUE(RedFillBecomes({300, 300, 500, 400}));
        auto invalidations = Count(appState.overlayWindow, sim::WindowEvent::invalidate);
        sim::PressHotkey(c.modifiers, plat::VK_OEM_3);
        ASSERT_TRUE(WaitForMore(appState.overlayWindow, sim::WindowEvent::invalidate, invalidations));
        sim::MoveMouse(50, 60);
        EXPECT_TRUE(RedFillBecomes({0, 0, 50, 60})) << "still dragging, now from (0,0)";
        EXPECT_TRUE(Visible(appState.overlayWindow));
        EXPECT_EQ(Visible(appState.settingsWindow), c.opensSettings);
        int threads = sim::CallCount("CreateThread");
        sim::MouseUp(50, 60);
        ASSERT_TRUE(WaitForCaptureStart(threads));
        ASSERT_TRUE(WaitForRedBar());
        desk.Exit();
        EXPECT_EQ(appState.selection.right, 50);
        EXPECT_EQ(appState.selection.bottom, 60);
        EXPECT_EQ(appState.selection.left, 0);
    }
}

TEST(OverlayInput, AnyKeyDismissesTheVeilAndNothingIsCaptured) {
    for (plat::UINT key : {plat::VK_ESCAPE, plat::UINT{'Q'}, plat::UINT{0x0D}}) {
        SCOPED_TRACE(key);
        Desk desk;
        ASSERT_TRUE(desk.running);
        ASSERT_TRUE(RaiseVeil());
        ASSERT_TRUE(PressAt(100, 100));
        sim::MoveMouse(200, 200);
        ASSERT_TRUE(RedFillBecomes({100, 100, 200, 200}));
        sim::PressKey(key);
        ASSERT_TRUE(sim::WaitUntil([&] { return !Visible(appState.overlayWindow); }));
        desk.Exit();
        EXPECT_EQ(sim::CallCount("CreateThread"), 0);
        EXPECT_FALSE(appState.flags.dragging);
        EXPECT_FALSE(appState.flags.selectionDone);
    }
}

TEST(OverlayInput, TheSettingsHotkeyOpensTheSettingsWindowWhileIdle) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    ASSERT_FALSE(Visible(appState.settingsWindow));
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
    EXPECT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
    EXPECT_FALSE(Visible(appState.overlayWindow)) << "no veil";
    EXPECT_EQ(LogText().find("Key was pressed"), std::string::npos);
}

}  // namespace
