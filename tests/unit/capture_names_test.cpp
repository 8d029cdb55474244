// The image's name, the backup path, the link texts, the encoders' command
// lines, the measuring of their outputs and the choice between them.
#include "capture/encoding.h"
#include "capture/link.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

plat::SYSTEMTIME At(int year, int month, int day, int hour, int minute, int second) {
    plat::SYSTEMTIME t{};
    t.wYear = static_cast<plat::WORD>(year);
    t.wMonth = static_cast<plat::WORD>(month);
    t.wDay = static_cast<plat::WORD>(day);
    t.wHour = static_cast<plat::WORD>(hour);
    t.wMinute = static_cast<plat::WORD>(minute);
    t.wSecond = static_cast<plat::WORD>(second);
    return t;
}

ChosenImage Image(std::int32_t size, const char* extension) {
    ChosenImage image;
    image.size = size;
    image.extension = extension;
    return image;
}

TEST(ImageNames, DatedNamesAndBackupPaths) {
    const auto march = At(2024, 3, 7, 9, 5, 1);
    EXPECT_EQ(ImageName("shot", march, "png"), "shot_2024_03_07_09_05_01.png");
    EXPECT_EQ(ImageName("", At(987, 12, 31, 23, 59, 59), "jpg"), "_0987_12_31_23_59_59.jpg");
    EXPECT_EQ(ImageName("a b", At(12345, 1, 1, 0, 0, 0), "jpg"), "a b_12345_01_01_00_00_00.jpg");

    EXPECT_EQ(BackupPath("backup", "shot", march, "png"), "backup/shot_2024_03_07_09_05_01.png");
    // The slash is added whatever separators the directory already has.
    EXPECT_EQ(BackupPath("C:\\shots\\", "shot", march, "jpg"), "C:\\shots\\/shot_2024_03_07_09_05_01.jpg");
}

TEST(ImageNames, LongestFieldsAreNotCut) {
    const std::string prefix(255, 'p'), directory(255, 'd');
    const auto t = At(2024, 3, 7, 9, 5, 1);
    EXPECT_EQ(BackupPath(directory.c_str(), prefix.c_str(), t, "png").size(), 535u);
    EXPECT_EQ(FormatLink(directory.c_str(), prefix.c_str(), t, Image(2147483647, "png"), true).size(),
              255u + 255u + 7 + 1 + 24 + 1 + 7 + 2);
}

TEST(Links, SizeUnitsAndPrefixes) {
    const auto t = At(2024, 3, 7, 9, 5, 1);
    const std::string base = "http://L/shot_2024_03_07_09_05_01.png";
    struct Case {
        std::int32_t size;
        std::string suffix;
    };
    const Case sized[] = {{1024, " 1024b"}, {1025, " 1kb"}, {2047, " 1kb"}, {2048, " 2kb"},
                          {0, " 0b"},       {1, " 1b"},     {12800, " 12kb"}};
    for (const Case& c : sized) {
        EXPECT_EQ(FormatLink("L", "shot", t, Image(c.size, "png"), true), base + c.suffix) << c.size;
        EXPECT_EQ(FormatLink("L", "shot", t, Image(c.size, "png"), false), base) << "no trailing space";
    }
    EXPECT_EQ(FormatLink("", "shot", t, Image(5, "jpg"), false), "http:///shot_2024_03_07_09_05_01.jpg");
    EXPECT_EQ(FormatLink("example.org/img", "", t, Image(5, "jpg"), true),
              "http://example.org/img/_2024_03_07_09_05_01.jpg 5b");
}

TEST(Encoders, CommandLines) {
    EXPECT_STREQ(JpegCommandLine(true), "cjpeg -quality 98 -optimize -dct float temp.bmp temp.jpg");
    EXPECT_STREQ(JpegCommandLine(false), "cjpeg -sample 2x1,1x1,1x1 -quality 70 -optimize -dct float temp.bmp temp.jpg");
    EXPECT_STREQ(pngCommandLine, "optipng -o3 -q temp.bmp");
}

TEST(Encoders, TheSmallerOutputWinsAndAFailureNeverDoes) {
    struct Case {
        std::int32_t jpg, png;
        bool png_chosen;
    };
    const Case cases[] = {
        {100, 99, true},  {99, 100, false}, {100, 100, false},  // equal sizes: the JPEG
        {-1, 5000, true}, {5000, -1, false}, {-1, 1, true},      // -1 ranks above every real size
        {1, 2147483647, false}, {2147483647, 1, true},
    };
    for (const Case& c : cases) EXPECT_EQ(PngIsChosen(c.jpg, c.png), c.png_chosen) << c.jpg << " vs " << c.png;
}

TEST(Encoders, MeasuringAnOutput) {
    TempWorkingDirectory dir;
    EXPECT_EQ(MeasureOutput("temp.jpg"), -1) << "missing";
    WriteFileBytes("temp.jpg", "");
    EXPECT_EQ(MeasureOutput("temp.jpg"), -1) << "an empty output is no image";
    WriteFileBytes("temp.jpg", std::string(5000, 'x'));
    EXPECT_EQ(MeasureOutput("temp.jpg"), 5000);
}

}  // namespace
