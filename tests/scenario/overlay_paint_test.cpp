// The overlay's paint: the veil around the selection, and the status font.
#include "tests/scenario/overlay_fixture.h"

namespace {

using namespace overlay_test;

// A click without a drag selects nothing, so the capture fails at once and
// leaves the red bar with its text: a paint of the bar on demand.
bool CaptureAnEmptySelection() {
    if (!RaiseVeil() || !PressAt(500, 500)) return false;
    sim::MouseUp(500, 500);
    return sim::WaitUntil([] {
        sim::DrawOp text;
        return LastText(text) && text.text == "Failed to capture screen" && appState.busy.load() == 0;
    });
}

TEST(OverlayPaint, TheVeilIsFourGreenBandsAroundTheRedSelection) {
    Desk desk({.width = 1366, .height = 768});
    ASSERT_TRUE(desk.running);
    ASSERT_TRUE(RaiseVeil());
    ASSERT_TRUE(PressAt(100, 200));
    sim::MoveMouse(400, 300);
    ASSERT_EQ(PixelBecomes(250, 250, red), red);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let that paint finish

    auto ops = sim::DrawOps(appState.overlayWindow);
    ASSERT_GE(ops.size(), 5u);
    std::vector<sim::DrawOp> paint(ops.end() - 5, ops.end());
    const struct {
        plat::RECT rect;
        plat::COLORREF colour;
    } expected[] = {
        {{0, 0, 1366, 200}, green},    // above
        {{0, 300, 1366, 768}, green},  // below
        {{0, 0, 100, 768}, green},     // left
        {{400, 0, 1366, 768}, green},  // right
        {{100, 200, 400, 300}, red},   // the selection
    };
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(paint[i].kind, sim::DrawOp::fill);
        EXPECT_EQ(paint[i].colour, expected[i].colour);
        EXPECT_EQ(paint[i].rect.left, expected[i].rect.left);
        EXPECT_EQ(paint[i].rect.top, expected[i].rect.top);
        EXPECT_EQ(paint[i].rect.right, expected[i].rect.right);
        EXPECT_EQ(paint[i].rect.bottom, expected[i].rect.bottom);
        EXPECT_TRUE(paint[i].fromOwnerThread);
    }
    for (auto& op : ops) EXPECT_NE(op.kind, sim::DrawOp::drawText) << "no text while selecting";
    EXPECT_TRUE(sim::Window(appState.overlayWindow).topmost);
    EXPECT_EQ(sim::Window(appState.overlayWindow).alpha, 128);
}

// A 15-point Arial, made on the first paint and kept: its height follows the
// dots per inch. Seen on the red bar of a capture of an empty selection.
TEST(OverlayPaint, TheStatusFontFollowsTheDotsPerInch) {
    const struct {
        int dpi;
        int height;
    } cases[] = {{96, -20}, {120, -25}, {144, -30}, {72, -15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        Desk desk({.dpi = c.dpi});
        ASSERT_TRUE(desk.running);
        for (int capture = 0; capture < 2; ++capture) {
            sim::ClearDrawOps();
            ASSERT_TRUE(CaptureAnEmptySelection());
            sim::DrawOp text;
            ASSERT_TRUE(LastText(text));
            EXPECT_EQ(text.fontHeight, c.height);
            EXPECT_EQ(text.fontFace, "Arial");
        }
        EXPECT_EQ(sim::CallCount("CreateFontA"), 1) << "made once for the life of the process";
    }
}

// A font that cannot be made leaves the text in the default font for that
// paint and is tried again at the next one.
TEST(OverlayPaint, AFailedFontIsTriedAgainAtTheNextPaint) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    sim::FailCall("CreateFontA", 1, plat::ERROR_NOT_ENOUGH_MEMORY, -1);
    ASSERT_TRUE(CaptureAnEmptySelection());
    sim::DrawOp text;
    ASSERT_TRUE(LastText(text));
    EXPECT_EQ(text.fontHeight, 0) << "the default font";
    int attempts = sim::CallCount("CreateFontA");
    EXPECT_GE(attempts, 2) << "tried at the veil and again at the bar";

    sim::FailCall("CreateFontA", 1, 0, 0);  // the system can make fonts again
    sim::ClearDrawOps();
    auto paints = Count(appState.overlayWindow, sim::WindowEvent::paint);
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);  // a repaint of the bar
    ASSERT_TRUE(WaitForMore(appState.overlayWindow, sim::WindowEvent::paint, paints));
    ASSERT_TRUE(sim::WaitUntil([] {
        sim::DrawOp t;
        return LastText(t) && t.fontHeight == -20;
    }));
    EXPECT_EQ(sim::CallCount("CreateFontA"), attempts + 1);
}

}  // namespace
