// From the simulated screen to temp.bmp: the selected pixels land in the
// file bottom row first; anything that cannot give a 24-bit file leaves the
// earlier temp.bmp alone; every DC and bitmap is given back.
#include "capture/screen_capture.h"
#include "tests/scenario/capture_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

// The pixel at (x, y) of the screen pattern: each tells its own place.
std::uint32_t Pattern(int x, int y) {
    return static_cast<std::uint32_t>((x & 0xFF) | (y & 0xFF) << 8 | 0x5A << 16);
}

void PaintPattern(int width, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) sim::SetScreenPixel(x, y, Pattern(x, y));
}

bool CaptureToFile(SelectionRect selection) {
    appState.selection = selection;
    ScreenCapture capture = CaptureSelection();
    bool written = WriteBitmapFile(capture.bitmap, capture.screenDc);
    ReleaseScreenCapture(capture);
    return written;
}

TEST(ScreenToBitmap, TheSelectedPixelsBottomRowFirstFromEitherDepth) {
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        CaptureDesk desk(64, 48, bits);
        PaintPattern(64, 48);
        ASSERT_TRUE(CaptureToFile({10, 20, 15, 23}));
        const std::string file = ReadFileBytes("temp.bmp");
        ASSERT_EQ(file.size(), 54u + 16u * 3u);  // 5 pixels: 15 bytes and 1 of padding a row
        for (int row = 0; row < 3; ++row) {
            const int y = 22 - row;  // the bottom row of the selection comes first
            for (int column = 0; column < 5; ++column) {
                const std::uint32_t rgb = Pattern(10 + column, y);
                const std::size_t at = 54 + static_cast<std::size_t>(row) * 16 + static_cast<std::size_t>(column) * 3;
                EXPECT_EQ(static_cast<unsigned char>(file[at]), rgb & 0xFF) << "blue, row " << row;
                EXPECT_EQ(static_cast<unsigned char>(file[at + 1]), (rgb >> 8) & 0xFF) << "green";
                EXPECT_EQ(static_cast<unsigned char>(file[at + 2]), (rgb >> 16) & 0xFF) << "red";
            }
        }
        EXPECT_EQ(sim::LiveGdiResources().captureDcs, 0);
        EXPECT_EQ(sim::LiveGdiResources().bitmaps, 0);
    }
}

TEST(ScreenToBitmap, NothingUsableLeavesTheEarlierFileAlone) {
    struct Case {
        const char* name;
        int bits;
        SelectionRect selection;
        const char* failingCall;
    };
    const Case cases[] = {
        {"16-bit screen", 16, {0, 0, 8, 8}, nullptr},
        {"click without drag", 32, {5, 5, 5, 5}, nullptr},
        {"no height", 32, {0, 5, 8, 5}, nullptr},
        {"pixel fetch fails", 32, {0, 0, 8, 8}, "GetDIBits"},
        {"description unreadable", 32, {0, 0, 8, 8}, "GetObjectA"},
        {"no bitmap", 32, {0, 0, 8, 8}, "CreateCompatibleBitmap"},
        {"temp.bmp cannot be created", 24, {0, 0, 8, 8}, "FileOpen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDesk desk(32, 32, c.bits);
        WriteFileBytes("temp.bmp", "earlier capture");
        if (c.failingCall) sim::FailCall(c.failingCall, 1, plat::ERROR_ACCESS_DENIED);
        EXPECT_FALSE(CaptureToFile(c.selection));
        EXPECT_EQ(ReadFileBytes("temp.bmp"), "earlier capture");
        EXPECT_EQ(sim::LiveGdiResources().captureDcs, 0);
        EXPECT_EQ(sim::LiveGdiResources().bitmaps, 0);
    }
}

TEST(ScreenToBitmap, AShortWriteIsAFailure) {
    CaptureDesk desk(32, 32, 32);
    sim::FailCall("FileWrite", 1, plat::ERROR_DISK_FULL);
    EXPECT_FALSE(CaptureToFile({0, 0, 8, 8}));
}

// The description record is 32 bytes on a 64-bit build; the 24 bytes of the
// 32-bit record are refused, as Windows refuses them.
TEST(ScreenToBitmap, TheDescriptionNeedsItsWholeRecord) {
    CaptureDesk desk(32, 32, 32);
    plat::HDC screen = plat::GetDC(plat::GetDesktopWindow());
    plat::HBITMAP bitmap = plat::CreateCompatibleBitmap(screen, 7, 3);
    plat::BITMAP description{};
    EXPECT_EQ(plat::GetObjectA(bitmap, 24, &description), sizeof(void*) == 8 ? 0 : 24);
    ASSERT_NE(plat::GetObjectA(bitmap, sizeof description, &description), 0);
    EXPECT_EQ(description.bmWidth, 7);
    EXPECT_EQ(description.bmHeight, 3);
    EXPECT_EQ(description.bmBitsPixel, 32);
    EXPECT_EQ(description.bmPlanes, 1);
    plat::DeleteObject(bitmap);
    plat::ReleaseDC(plat::GetDesktopWindow(), screen);
}

}  // namespace
