// The progress bar through a capture's stages: ReportStage called from a
// thread of its own, as the worker calls it, with the program's UI thread
// painting the bar.
#include "capture/report_stage.h"
#include "tests/scenario/overlay_fixture.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

namespace {

using namespace overlay_test;

struct Stage {
    const char* text;
    std::optional<double> fraction;
    bool first;
};

// The stages as a capture reports them: the tenths as single-precision
// values, the blocks of a 65536-byte upload as 1 - 0.5 x remaining / total.
const Stage stages[] = {
    {"Creating optimized JPG image...", 0.1f, true},
    {"Creating optimized PNG image...", 0.2f, false},
    {"Selecting image...", 0.3f, false},
    {"Creating socket...", std::nullopt, false},
    {"Selecting directory...", 0.4f, false},
    {"Starting file upload...", 0.5, false},
    {"Sending data, 32768 of 65536 bytes sent (50.00%)", 0.75, false},
    {"Sending data, 65536 of 65536 bytes sent (100.00%)", 1.0, false},
};

TEST(BarStages, WidthsTextAndColoursOfEveryStage) {
    const struct {
        int screenWidth;
        int widths[std::size(stages)];
    } screens[] = {
        {1920, {192, 384, 576, 576, 768, 960, 1440, 1920}},
        {1366, {136, 273, 409, 409, 546, 683, 1024, 1366}},
    };
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.screenWidth);
        Desk desk({.width = screen.screenWidth, .height = 768});
        ASSERT_TRUE(desk.running);
        appState.selectionBrush = appState.greenBrush;  // as the worker sets it
        for (std::size_t i = 0; i < std::size(stages); ++i) {
            SCOPED_TRACE(stages[i].text);
            sim::ClearDrawOps();
            auto moves = Count(appState.overlayWindow, sim::WindowEvent::move);
            auto shows = Count(appState.overlayWindow, sim::WindowEvent::show);
            // A thread of its own, as the worker; the call returns once the
            // UI thread has painted.
            std::thread([&] { ReportStage(stages[i].text, stages[i].fraction, stages[i].first); }).join();

            auto bar = sim::Window(appState.overlayWindow);
            const int width = screen.widths[i];
            EXPECT_EQ(bar.rect.right - bar.rect.left, width);
            EXPECT_EQ(bar.rect.left, 0);
            EXPECT_EQ(bar.rect.bottom, 24);
            EXPECT_TRUE(bar.visible);
            EXPECT_TRUE(bar.topmost);
            EXPECT_EQ(Count(appState.overlayWindow, sim::WindowEvent::move), moves + (stages[i].fraction ? 1 : 0))
                << "a stage without a fraction keeps the bar where it is";
            EXPECT_EQ(Count(appState.overlayWindow, sim::WindowEvent::show), shows + (stages[i].first ? 1 : 0));

            // All green, the text in white from x = 10, cut at the bar's edge.
            EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, 0, 0), green);
            EXPECT_EQ(sim::PaintedPixel(appState.overlayWindow, width - 1, 23), green);
            sim::DrawOp text;
            ASSERT_TRUE(LastText(text));
            EXPECT_EQ(text.text, stages[i].text);
            EXPECT_EQ(text.colour, white);
            EXPECT_EQ(text.background, green);
            EXPECT_EQ(text.rect.left, 10);
            EXPECT_EQ(text.rect.right, 1024);
            EXPECT_EQ(text.clip.right, width);
            EXPECT_TRUE(text.fromOwnerThread) << "the UI thread paints the bar";
            for (auto& op : sim::DrawOps(appState.overlayWindow))
                if (op.kind == sim::DrawOp::fill) {
                    EXPECT_EQ(op.colour, green);
                }
        }
        EXPECT_EQ(StatusText(), stages[std::size(stages) - 1].text);
    }
}

// statusText keeps its own copy: a text formatted in the caller's memory is
// still what a later repaint shows after that memory is gone.
TEST(BarStages, TheStageTextOutlivesTheCallersBuffer) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    appState.selectionBrush = appState.greenBrush;
    std::thread([] {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Sending data, %d of %d bytes sent (%.2f%%)", 10, 20, 50.0);
        ReportStage(buffer, 0.75, true);
        std::memset(buffer, 'x', sizeof buffer - 1);
    }).join();
    sim::ClearDrawOps();
    auto paints = Count(appState.overlayWindow, sim::WindowEvent::paint);
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);  // invalidates the overlay
    ASSERT_TRUE(WaitForMore(appState.overlayWindow, sim::WindowEvent::paint, paints));
    ASSERT_TRUE(sim::WaitUntil([] {
        sim::DrawOp text;
        return LastText(text) && text.text == "Sending data, 10 of 20 bytes sent (50.00%)";
    }));
}

}  // namespace
