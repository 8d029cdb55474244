// The link in the clipboard: the live state of the "Add size to link:" box
// decides its form; a clipboard held elsewhere is waited for a moment, then
// given up with a log line; a block that cannot be had or is refused still
// lets the clipboard go and is not leaked. The result tells the worker
// whether the link is there.
#include "capture/link.h"
#include "tests/scenario/capture_fixture.h"

#include <gtest/gtest.h>

namespace {

const plat::SYSTEMTIME march{2024, 3, 4, 7, 9, 5, 1, 0};

ChosenImage Png(std::int32_t size) {
    ChosenImage image;
    image.size = size;
    image.extension = "png";
    image.data.assign(static_cast<std::size_t>(size), 'x');
    return image;
}

bool PutFromWorker(const ChosenImage& image) {
    bool placed = false;
    EXPECT_TRUE(RunAsWorker([&] { placed = PutLinkOnClipboard("L", "shot", march, image); }));
    return placed;
}

TEST(LinkOnClipboard, TheBoxAsItIsNowDecidesTheForm) {
    struct Case {
        bool ticked;
        std::string link;
    };
    const Case cases[] = {{true, "http://L/shot_2024_03_07_09_05_01.png 12kb"},
                          {false, "http://L/shot_2024_03_07_09_05_01.png"}};
    for (const Case& c : cases) {
        CaptureDesk desk;
        // The stored switch says the opposite: only the box counts.
        appState.settings.addSizeToLink = !c.ticked;
        desk.TickAddSizeBox(c.ticked);
        EXPECT_TRUE(PutFromWorker(Png(12800)));
        EXPECT_TRUE(sim::ClipboardHasText());
        EXPECT_EQ(sim::ClipboardText(), c.link);
        EXPECT_EQ(LogText(), "Putting " + c.link + " in clipboard\r\nSetClipboardData (Success)\r\n");
        EXPECT_TRUE(plat::OpenClipboard(nullptr)) << "the clipboard was let go";
        plat::CloseClipboard();
    }
}

TEST(LinkOnClipboard, WithoutASettingsWindowTheLinkHasNoSize) {
    CaptureDesk desk;
    appState.addSizeCheckBox = nullptr;
    PutFromWorker(Png(3000));
    EXPECT_EQ(sim::ClipboardText(), "http://L/shot_2024_03_07_09_05_01.png");
}

TEST(LinkOnClipboard, AClipboardHeldElsewhereIsWaitedForAMomentThenGivenUp) {
    struct Case {
        const char* name;
        int busyAttempts;  // -1: held throughout
        bool placed;
        int attempts;
    };
    const Case cases[] = {{"let go after two tries", 2, true, 3},
                          {"let go at the last try", 9, true, 10},
                          {"held throughout", -1, false, 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDesk desk;
        if (c.busyAttempts < 0)
            sim::HoldClipboardElsewhere(true);
        else
            sim::FailCall("OpenClipboard", 1, plat::ERROR_ACCESS_DENIED, c.busyAttempts);
        EXPECT_EQ(PutFromWorker(Png(10)), c.placed);
        EXPECT_EQ(sim::CallCount("OpenClipboard"), c.attempts) << "a bounded wait";
        if (c.placed) {
            EXPECT_EQ(sim::ClipboardText(), "http://L/shot_2024_03_07_09_05_01.png");
        } else {
            EXPECT_FALSE(sim::ClipboardHasText());
            EXPECT_EQ(LogText(), "Failed to open clipboard (Permission denied)\r\n");
        }
        sim::HoldClipboardElsewhere(false);
    }
}

TEST(LinkOnClipboard, NoBlockForTheTextStillClosesTheClipboard) {
    for (const char* failing : {"GlobalAlloc", "GlobalLock"}) {
        SCOPED_TRACE(failing);
        CaptureDesk desk;
        sim::FailCall(failing, 1, plat::ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_FALSE(PutFromWorker(Png(10)));
        EXPECT_FALSE(sim::ClipboardHasText());
        EXPECT_EQ(sim::GlobalBlocksHeld(), 0);
        EXPECT_EQ(LogText(),
                  "Putting http://L/shot_2024_03_07_09_05_01.png in clipboard\r\n"
                  "Failed to allocate clipboard memory\r\n");
        EXPECT_TRUE(plat::OpenClipboard(nullptr)) << "the clipboard was let go";
        plat::CloseClipboard();
    }
}

TEST(LinkOnClipboard, AFailedHandOverIsLoggedWithTheSystemsReason) {
    CaptureDesk desk;
    sim::FailCall("SetClipboardData", 1, plat::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(PutFromWorker(Png(10)));
    EXPECT_EQ(LogText(),
              "Putting http://L/shot_2024_03_07_09_05_01.png in clipboard\r\n"
              "SetClipboardData (Permission denied)\r\n");
    EXPECT_EQ(sim::GlobalBlocksHeld(), 0) << "a refused block is still the program's to free";
    EXPECT_TRUE(plat::OpenClipboard(nullptr)) << "the clipboard was let go";
    plat::CloseClipboard();
}

}  // namespace
