// The whole capture worker on the simulated desktop: from the selection to
// the bar's last state, busy, the brush and the thread result, with the
// real encoders or none, and the upload's failure.
#include "capture/capture_worker.h"
#include "capture/screen_capture.h"
#include "tests/scenario/capture_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const plat::SYSTEMTIME march{2024, 3, 4, 7, 9, 5, 1, 0};

struct Outcome {
    plat::DWORD result = 99;
    std::string failure;
    sim::WindowInfo bar;
    std::vector<int> widths;  // every move of the overlay, in order
};

Outcome RunWorker() {
    Outcome out;
    appState.busy = 1;
    EXPECT_TRUE(RunAsWorker([&] { out.result = CaptureWorker(&appState.busy); }, std::chrono::seconds(60)));
    {
        std::lock_guard lock(appState.statusLock);
        out.failure = appState.failureText;
    }
    out.bar = sim::Window(appState.overlayWindow);
    for (auto& e : sim::WindowEvents(appState.overlayWindow))
        if (e.kind == sim::WindowEvent::move) out.widths.push_back(e.rect.right - e.rect.left);
    EXPECT_EQ(appState.busy, 0);
    EXPECT_EQ(appState.selectionBrush.load(), appState.redBrush);
    return out;
}

void PaintPattern(int left, int top, int right, int bottom) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            sim::SetScreenPixel(x, y, static_cast<std::uint32_t>((x * 5) & 0xFF) | static_cast<std::uint32_t>(y & 0xFF) << 8);
}

TEST(CaptureWorker, BothEncodersFailingTurnsTheBarRedAtThreeTenths) {
    CaptureDesk desk;
    SearchPath path(NoEncoderPath());
    appState.selection = {100, 100, 200, 150};
    Outcome out = RunWorker();
    EXPECT_EQ(out.result, 1u);
    EXPECT_EQ(out.failure, "Failed to save image");
    EXPECT_TRUE(out.bar.visible) << "the red bar stays";
    EXPECT_EQ(out.bar.rect.right, 576);
    EXPECT_EQ(out.bar.rect.bottom, 24);
    EXPECT_EQ(out.widths, (std::vector<int>{192, 384, 576}));
    EXPECT_EQ(StatusText(), "Selecting image...") << "the failure does not replace the stage text";
    EXPECT_FALSE(sim::ClipboardHasText());
    EXPECT_EQ(LogText(), "Failed to save jpeg\r\nFailed to save png\r\nFailed to save image\r\n");
    EXPECT_EQ(sim::LiveGdiResources().captureDcs, 0);
    EXPECT_EQ(sim::LiveGdiResources().bitmaps, 0);
}

// The encoders would otherwise publish the earlier capture's temp.bmp under
// this capture's name.
TEST(CaptureWorker, ABitmapThatCannotBeWrittenStopsBeforeTheEncoders) {
    struct Case {
        const char* name;
        int bits;
        SelectionRect selection;
    };
    const Case cases[] = {{"a click without a drag", 32, {300, 300, 300, 300}},
                          {"a 16-bit screen", 16, {0, 0, 50, 50}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDesk desk(1366, 768, c.bits);
        SearchPath path(RealEncoderPath());
        WriteFileBytes("temp.bmp", "the previous capture");
        appState.selection = c.selection;
        Outcome out = RunWorker();
        EXPECT_EQ(out.result, 1u);
        EXPECT_EQ(out.failure, "Failed to capture screen");
        EXPECT_EQ(LogText(), "Failed to write bitmap file\r\n");
        EXPECT_EQ(sim::CallCount("CreateProcessA"), 0);
        EXPECT_EQ(ReadFileBytes("temp.bmp"), "the previous capture");
        EXPECT_FALSE(fs::exists("temp.jpg"));
        EXPECT_TRUE(out.bar.visible) << "the failure is shown, not hidden";
        EXPECT_EQ(out.bar.rect.right, 136);
        EXPECT_FALSE(sim::ClipboardHasText());
    }
}

// Real encoders on a known pattern; the upload has nowhere to go.
TEST(CaptureWorker, UpToTheUploadWithTheRealEncoders) {
    struct Case {
        const char* name;
        bool storedSwitch, boxTicked;
        const char* backupDirectory;
        bool backupFails;
    };
    const Case cases[] = {
        {"box ticked without Ok", false, true, "backup", false},
        {"box cleared without Ok", true, false, "", false},
        {"backup cannot be created", true, true, "missing/dir", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDesk desk;
        SearchPath path(RealEncoderPath());
        sim::SetLocalTime(&march);
        if (std::string(c.backupDirectory) == "backup") fs::create_directory("backup");
        CopySettingsField(appState.settings.backupDirectory, c.backupDirectory);
        appState.settings.addSizeToLink = c.storedSwitch;
        desk.TickAddSizeBox(c.boxTicked);
        PaintPattern(40, 30, 120, 90);
        appState.selection = {40, 30, 120, 90};

        Outcome out = RunWorker();
        EXPECT_EQ(out.result, 1u);
        EXPECT_FALSE(out.failure.empty()) << "the upload's own message";
        EXPECT_TRUE(out.bar.visible);

        // temp.bmp is the selection, bottom row first.
        const std::string bmp = ReadFileBytes("temp.bmp");
        ASSERT_EQ(bmp.size(), 54u + 240u * 60u);
        EXPECT_EQ(static_cast<unsigned char>(bmp[54 + 1]), 89) << "the bottom row's green is its y";
        EXPECT_EQ(static_cast<unsigned char>(bmp[54 + 3]), 205) << "the second pixel's blue is 5 x 41";

        const std::string jpg = ReadFileBytes("temp.jpg"), png = ReadFileBytes("temp.png");
        ASSERT_FALSE(jpg.empty());
        ASSERT_FALSE(png.empty());
        const bool pngWins = png.size() < jpg.size();
        const std::string chosen = pngWins ? png : jpg;
        const std::string name = std::string("shot_2024_03_07_09_05_01.") + (pngWins ? "png" : "jpg");
        const std::string size = chosen.size() > 1024 ? std::to_string(chosen.size() / 1024) + "kb"
                                                      : std::to_string(chosen.size()) + "b";
        const std::string link = "http://L/" + name + (c.boxTicked ? " " + size : "");
        EXPECT_EQ(sim::ClipboardText(), link) << "the link stays when the upload fails";

        if (c.backupFails) {
            ASSERT_EQ(sim::MessageBoxes().size(), 1u);
            EXPECT_EQ(sim::MessageBoxes()[0].text, "Failed to create backup file.");
            EXPECT_EQ(sim::MessageBoxes()[0].caption, "Error");
            EXPECT_EQ(sim::MessageBoxes()[0].type, 0x30u);
            EXPECT_EQ(sim::MessageBoxes()[0].owner, nullptr);
        } else {
            EXPECT_TRUE(sim::MessageBoxes().empty());
        }
        if (std::string(c.backupDirectory) == "backup") {
            EXPECT_EQ(ReadFileBytes("backup/" + name), chosen);
        }

        const std::string expected = "PNG size: " + std::to_string(png.size()) + ", JPG size: " +
                                     std::to_string(jpg.size()) + "\r\nSelected size: " +
                                     std::to_string(chosen.size()) + "\r\nPutting " + link +
                                     " in clipboard\r\nSetClipboardData (Success)\r\n";
        EXPECT_EQ(LogText().substr(0, expected.size()), expected);
        EXPECT_EQ(out.widths.front(), 192);
        EXPECT_EQ(sim::OpenHandles(), 0);
    }
}

// The settings the worker started with are the ones it finishes with.
TEST(CaptureWorker, SettingsRewrittenDuringTheCaptureDoNotReachIt) {
    CaptureDesk desk;
    SearchPath path(NoEncoderPath());
    sim::SetLocalTime(&march);
    WriteProgram("cjpeg", "printf 'jpeg-bytes' > temp.jpg");
    // While optipng runs, the UI thread's Ok rewrites the prefixes.
    WriteProgram("optipng", "while [ ! -e rewritten ]; do /bin/sleep 0.01; done");
    appState.selection = {0, 0, 10, 10};
    appState.busy = 1;
    plat::DWORD result = 99;
    std::thread worker([&] { result = CaptureWorker(&appState.busy); });
    ASSERT_TRUE(sim::PumpUntil([] { return StatusText() == "Creating optimized PNG image..."; }));
    {
        std::lock_guard lock(appState.settingsLock);
        CopySettingsField(appState.settings.linkPrefix, "changed");
        CopySettingsField(appState.settings.imagePrefix, "changed");
    }
    WriteFileBytes("rewritten", "");
    sim::PumpUntil([] { return appState.busy == 0; }, std::chrono::seconds(30));
    worker.join();
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(sim::ClipboardText(), "http://L/shot_2024_03_07_09_05_01.jpg");
}

}  // namespace
