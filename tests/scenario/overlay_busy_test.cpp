// While a capture runs: what is ignored and what still works; then the red
// failure bar, which stays red with its reason until the user takes it away.
#include "tests/scenario/overlay_fixture.h"

namespace {

using namespace overlay_test;

// Starts a capture of (100,100)-(300,200) that holds at its first encoder,
// and waits for the bar.
bool StartHeldCapture() {
    if (!RaiseVeil() || !PressAt(100, 100)) return false;
    sim::MoveMouse(300, 200);
    sim::MouseUp(300, 200);
    return sim::WaitUntil([] {
        auto w = sim::Window(appState.overlayWindow);
        return w.visible && w.rect.right == 192 && w.rect.bottom == 24;
    });
}

// Cancel works at any time; its hide of the settings window marks the point
// by which everything posted before it has been handled.
bool CancelAsMarker() {
    auto hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
    sim::ClickButton(appState.cancelButton);
    return WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides);
}

bool RedBarShows(const std::string& message) {
    return sim::WaitUntil([&] {
        sim::DrawOp text;
        return LastText(text) && text.background == red && text.text == message &&
               sim::PaintedPixel(appState.overlayWindow, 5, 5) == red && appState.busy.load() == 0;
    });
}

TEST(OverlayBusy, InputIsIgnoredWhileACaptureRunsButTheTrayAndButtonsWork) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    HeldEncoder encoder;
    ASSERT_TRUE(StartHeldCapture());
    auto settingsShows = Count(appState.settingsWindow, sim::WindowEvent::show);
    auto overlayHides = Count(appState.overlayWindow, sim::WindowEvent::hide);

    sim::PressKey(plat::VK_ESCAPE);
    sim::PressHotkey(alt, plat::VK_OEM_3);
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
    sim::MouseDown(20, 10);
    sim::MoveMouse(150, 20);
    sim::MouseUp(150, 20);
    ASSERT_TRUE(CancelAsMarker());

    EXPECT_EQ(Count(appState.settingsWindow, sim::WindowEvent::show), settingsShows) << "settings hotkey ignored";
    EXPECT_EQ(Count(appState.overlayWindow, sim::WindowEvent::hide), overlayHides) << "key ignored";
    EXPECT_TRUE(Visible(appState.overlayWindow));
    EXPECT_EQ(sim::Window(appState.overlayWindow).rect.right, 192);
    EXPECT_EQ(sim::CallCount("CreateThread"), 1) << "one worker at a time";

    // The tray icon's double-click opens the settings window at any time.
    ASSERT_TRUE(sim::TrayEvent(plat::WM_LBUTTONDBLCLK));
    EXPECT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));

    encoder.Release();
    ASSERT_TRUE(RedBarShows("Failed to save image"));
    desk.Exit();
    // Exactly the one veil of this capture: the capture hotkey was ignored.
    auto log = LogText();
    EXPECT_EQ(log.find("Key was pressed\r\n"), log.rfind("Key was pressed\r\n"));
    EXPECT_EQ(appState.selection.left, 100) << "the press on the bar did not move the selection";
    EXPECT_EQ(appState.selection.right, 300);
}

// The red bar: exactly as the failure paints it, kept on every repaint (a
// repaint used to turn it green with the last stage text, hiding the
// reason), until a key, the capture hotkey or a new press takes it away.
TEST(OverlayBusy, TheRedBarStaysUntilTheUserTakesItAway) {
    enum class Away { key, captureHotkey, press };
    const struct {
        const char* name;
        Away away;
    } cases[] = {{"a key", Away::key}, {"the capture hotkey", Away::captureHotkey}, {"a press on the bar", Away::press}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        ASSERT_TRUE(desk.running);
        {
            HeldEncoder encoder;
            ASSERT_TRUE(StartHeldCapture());
            encoder.Release();
            ASSERT_TRUE(RedBarShows("Failed to save image"));
        }

        // The paint of the red bar: the whole screen width at 24 pixels,
        // clipped by the bar, then the message in white on red.
        auto ops = sim::DrawOps(appState.overlayWindow);
        ASSERT_GE(ops.size(), 2u);
        const sim::DrawOp& fill = ops[ops.size() - 2];
        const sim::DrawOp& text = ops.back();
        EXPECT_EQ(fill.kind, sim::DrawOp::fill);
        EXPECT_EQ(fill.colour, red);
        EXPECT_EQ(fill.rect.right, 1920);
        EXPECT_EQ(fill.rect.bottom, 24);
        EXPECT_EQ(fill.clip.right, 576) << "the width of the last stage, three tenths";
        EXPECT_EQ(text.colour, white);
        EXPECT_EQ(text.rect.left, 10);
        EXPECT_EQ(text.rect.right, 1024);
        EXPECT_EQ(text.rect.bottom, 24);
        EXPECT_EQ(text.fontFace, "Arial");
        EXPECT_TRUE(text.fromOwnerThread) << "painted by the UI thread";

        // Repaints: the settings hotkey invalidates the overlay, and the
        // settings window opening over it changes nothing of the bar.
        for (int repaint = 0; repaint < 2; ++repaint) {
            sim::ClearDrawOps();
            auto paints = Count(appState.overlayWindow, sim::WindowEvent::paint);
            sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
            ASSERT_TRUE(WaitForMore(appState.overlayWindow, sim::WindowEvent::paint, paints));
            EXPECT_TRUE(RedBarShows("Failed to save image"));
        }
        EXPECT_TRUE(Visible(appState.settingsWindow)) << "the settings hotkey works again once idle";

        sim::ClearDrawOps();
        switch (c.away) {
            case Away::key:
                sim::PressKey('X');
                EXPECT_TRUE(sim::WaitUntil([] { return !Visible(appState.overlayWindow); }));
                break;
            case Away::captureHotkey:
                ASSERT_TRUE(RaiseVeil());
                EXPECT_EQ(PixelBecomes(5, 5, green), green);
                EXPECT_EQ(PixelBecomes(1500, 900, green), green);
                break;
            case Away::press:
                ASSERT_TRUE(PressAt(20, 5));
                sim::MoveMouse(120, 15);
                EXPECT_EQ(PixelBecomes(50, 10, red), red) << "the new selection, red on green";
                EXPECT_EQ(PixelBecomes(150, 10, green), green);
                break;
        }
        sim::DrawOp last;
        if (LastText(last)) {
            EXPECT_NE(last.background, red) << "no red bar painted after it was taken away";
        }
        desk.Exit();
        EXPECT_TRUE(appState.failureText.empty());
    }
}

}  // namespace
