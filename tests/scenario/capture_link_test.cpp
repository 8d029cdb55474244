// The link in the clipboard: the live state of the "Add size to link:" box
// decides its form; a clipboard held elsewhere skips the step silently; a
// block that cannot be had still lets the clipboard go.
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

void PutFromWorker(const ChosenImage& image) {
    ASSERT_TRUE(RunAsWorker([&] { PutLinkOnClipboard("L", "shot", march, image); }));
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
        PutFromWorker(Png(12800));
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

TEST(LinkOnClipboard, AClipboardHeldElsewhereIsSkippedSilently) {
    CaptureDesk desk;
    sim::HoldClipboardElsewhere(true);
    PutFromWorker(Png(10));
    EXPECT_FALSE(sim::ClipboardHasText());
    EXPECT_EQ(LogText(), "");
}

TEST(LinkOnClipboard, NoBlockForTheTextStillClosesTheClipboard) {
    for (const char* failing : {"GlobalAlloc", "GlobalLock"}) {
        SCOPED_TRACE(failing);
        CaptureDesk desk;
        sim::FailCall(failing, 1, plat::ERROR_NOT_ENOUGH_MEMORY);
        PutFromWorker(Png(10));
        EXPECT_FALSE(sim::ClipboardHasText());
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
    PutFromWorker(Png(10));
    EXPECT_EQ(LogText(),
              "Putting http://L/shot_2024_03_07_09_05_01.png in clipboard\r\n"
              "SetClipboardData (Permission denied)\r\n");
}

}  // namespace
