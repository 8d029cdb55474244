// The two encoders as real programs on the simulated desktop: the real
// cjpeg and optipng, and stand-ins that write a chosen number of bytes, exit
// without output, write nothing, are missing or hang past the time limit.
#include "capture/encoding.h"
#include "capture/screen_capture.h"
#include "tests/scenario/capture_fixture.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

void AppendEvent(const char* text) {
    std::ofstream("events", std::ios::app) << text << "\n";
}

struct Stage {
    std::string text;
    double fraction;
};
std::vector<Stage>& Stages() {
    static std::vector<Stage> stages;
    return stages;
}
void RecordStage(const char* text, std::optional<double> fraction, bool firstStage) {
    Stages().push_back({text, fraction.value_or(-1)});
    EXPECT_FALSE(firstStage);
    AppendEvent(text);
}

std::string Writes(const char* file, int bytes, int exitCode = 0) {
    return "echo ${0##*/} >> events\nprintf '%0" + std::to_string(bytes) + "d' 0 > " + file + "\nexit " +
           std::to_string(exitCode);
}

void WriteSampleBitmap(int width, int height) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>((i * 7) ^ (i >> 5));
    std::vector<unsigned char> file;
    ASSERT_TRUE(BuildBitmapFile(width, height, 1, 32, pixels.data(), file));
    WriteFileBytes("temp.bmp", std::string(file.begin(), file.end()));
}

TEST(Encoding, StandInsDecideTheChoiceAndTheLog) {
    struct Case {
        const char* name;
        std::string jpeg;  // the stand-in cjpeg's script; empty: no such program
        std::string png;
        std::string log;
        const char* failure;
        const char* extension;
        std::int32_t size;
    };
    const Case cases[] = {
        {"smaller PNG", Writes("temp.jpg", 900), Writes("temp.png", 800),
         "PNG size: 800, JPG size: 900\r\nSelected size: 800\r\n", nullptr, "png", 800},
        {"equal sizes choose the JPEG", Writes("temp.jpg", 700), Writes("temp.png", 700),
         "PNG size: 700, JPG size: 700\r\nSelected size: 700\r\n", nullptr, "jpg", 700},
        {"JPEG missing", "", Writes("temp.png", 5000),
         "Failed to save jpeg\r\nPNG size: 5000, JPG size: -1\r\nSelected size: 5000\r\n", nullptr, "png", 5000},
        {"PNG exits without output", Writes("temp.jpg", 300), "exit 0",
         "Failed to save png\r\nPNG size: -1, JPG size: 300\r\nSelected size: 300\r\n", nullptr, "jpg", 300},
        {"an empty JPEG is a failed one", ": > temp.jpg", Writes("temp.png", 9000),
         "Failed to save jpeg\r\nPNG size: 9000, JPG size: -1\r\nSelected size: 9000\r\n", nullptr, "png", 9000},
        {"an error exit that leaves a file is not detected", Writes("temp.jpg", 10, 3), Writes("temp.png", 20),
         "PNG size: 20, JPG size: 10\r\nSelected size: 10\r\n", nullptr, "jpg", 10},
        {"both missing", "", "", "Failed to save jpeg\r\nFailed to save png\r\nFailed to save image\r\n",
         "Failed to save image", "", 0},
        {"both empty", ": > temp.jpg", ": > temp.png",
         "Failed to save jpeg\r\nFailed to save png\r\nFailed to save image\r\n", "Failed to save image", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureDesk desk;
        SearchPath path(NoEncoderPath());
        // Left by an earlier capture: never to be taken for this one's.
        WriteFileBytes("temp.jpg", "old jpeg");
        WriteFileBytes("temp.png", "old png");
        if (!c.jpeg.empty()) WriteProgram("cjpeg", c.jpeg);
        if (!c.png.empty()) WriteProgram("optipng", c.png);
        Stages().clear();
        ChosenImage image;
        const char* failure = EncodeAndChoose(false, &RecordStage, image);
        EXPECT_EQ(LogText(), c.log);
        ASSERT_EQ(Stages().size(), 2u);
        EXPECT_EQ(Stages()[0].text, "Creating optimized PNG image...");
        EXPECT_EQ(Stages()[0].fraction, static_cast<double>(0.2f));
        EXPECT_EQ(Stages()[1].text, "Selecting image...");
        EXPECT_EQ(Stages()[1].fraction, static_cast<double>(0.3f));
        EXPECT_EQ(sim::OpenHandles(), 0);
        if (c.failure) {
            EXPECT_STREQ(failure, c.failure);
            continue;
        }
        ASSERT_EQ(failure, nullptr);
        EXPECT_EQ(image.extension, c.extension);
        EXPECT_EQ(image.size, c.size);
        EXPECT_EQ(std::string(image.data.begin(), image.data.end()), ReadFileBytes(std::string("temp.") + c.extension));
    }
}

TEST(Encoding, TheEncodersRunInTurnAroundTheStageReport) {
    CaptureDesk desk;
    SearchPath path(NoEncoderPath());
    WriteProgram("cjpeg", Writes("temp.jpg", 10));
    WriteProgram("optipng", Writes("temp.png", 20));
    ChosenImage image;
    ASSERT_EQ(EncodeAndChoose(true, &RecordStage, image), nullptr);
    EXPECT_EQ(ReadFileBytes("events"), "cjpeg\nCreating optimized PNG image...\noptipng\nSelecting image...\n");
}

TEST(Encoding, ExactCommandLinesInTheWorkingDirectory) {
    for (bool best : {true, false}) {
        CaptureDesk desk;
        SearchPath path(NoEncoderPath());
        WriteProgram("cjpeg", "printf '%s' \"$*\" > jpeg.args\npwd > jpeg.cwd");
        WriteProgram("optipng", "printf '%s' \"$*\" > png.args");
        ChosenImage image;
        EncodeAndChoose(best, &RecordStage, image);
        EXPECT_EQ("cjpeg " + ReadFileBytes("jpeg.args"), JpegCommandLine(best));
        EXPECT_EQ("optipng " + ReadFileBytes("png.args"), "optipng -o3 -q temp.bmp");
        EXPECT_EQ(fs::path(ReadFileBytes("jpeg.cwd").substr(0, ReadFileBytes("jpeg.cwd").size() - 1)),
                  fs::current_path());
    }
}

TEST(Encoding, AnEncoderStillRunningAtTheLimitIsStoppedAndFails) {
    CaptureDesk desk;
    SearchPath path(NoEncoderPath());
    // It has written a file before hanging: a half-written image is no image.
    WriteProgram("cjpeg", "printf 'partial' > temp.jpg\necho $$ > cjpeg.pid\nexec /bin/sleep 30");
    WriteProgram("optipng", Writes("temp.png", 64));
    ChosenImage image;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(EncodeAndChoose(false, &RecordStage, image), nullptr);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(encoderTimeLimit));
    EXPECT_LT(waited, std::chrono::milliseconds(encoderTimeLimit + 5000));
    EXPECT_EQ(LogText(),
              "JPEG compression took too long and was terminated\r\n"
              "Failed to save jpeg\r\n"
              "PNG size: 64, JPG size: -1\r\n"
              "Selected size: 64\r\n");
    EXPECT_EQ(image.extension, "png");
    const int pid = std::stoi(ReadFileBytes("cjpeg.pid"));
    EXPECT_NE(::kill(pid, 0), 0) << "the hung encoder is gone";
    EXPECT_EQ(sim::OpenHandles(), 0);
}

TEST(Encoding, TheChosenFileUnreadableEndsTheCapture) {
    CaptureDesk desk;
    SearchPath path(NoEncoderPath());
    WriteProgram("cjpeg", Writes("temp.jpg", 10));
    WriteProgram("optipng", Writes("temp.png", 20));
    sim::FailCall("FileRead", 1, plat::ERROR_ACCESS_DENIED);
    ChosenImage image;
    EXPECT_STREQ(EncodeAndChoose(false, &RecordStage, image), "Failed to read image");
    EXPECT_EQ(LogText(), "PNG size: 20, JPG size: 10\r\nFailed to read image\r\n");
    EXPECT_TRUE(image.data.empty());
}

TEST(Encoding, TheRealEncoders) {
    for (bool best : {false, true}) {
        SCOPED_TRACE(best);
        CaptureDesk desk;
        SearchPath path(RealEncoderPath());
        WriteSampleBitmap(64, 48);
        ChosenImage image;
        ASSERT_EQ(EncodeAndChoose(best, &RecordStage, image), nullptr) << LogText();
        const auto jpg = static_cast<std::int32_t>(fs::file_size("temp.jpg"));
        const auto png = static_cast<std::int32_t>(fs::file_size("temp.png"));
        ASSERT_GT(jpg, 0);
        ASSERT_GT(png, 0);
        EXPECT_EQ(ReadFileBytes("temp.jpg").substr(0, 2), "\xFF\xD8");
        EXPECT_EQ(ReadFileBytes("temp.png").substr(1, 3), "PNG");
        const bool pngWins = png < jpg;
        EXPECT_EQ(image.extension, pngWins ? "png" : "jpg");
        EXPECT_EQ(LogText(), "PNG size: " + std::to_string(png) + ", JPG size: " + std::to_string(jpg) +
                                 "\r\nSelected size: " + std::to_string(image.size) + "\r\n");
        EXPECT_EQ(std::string(image.data.begin(), image.data.end()), ReadFileBytes(pngWins ? "temp.png" : "temp.jpg"));
    }
}

}  // namespace
