// A capture under injected faults: a full disk while temp.bmp or the backup
// copy is written, encoders that cannot be started, a clipboard that cannot
// be had, each socket call of the upload failing in turn. Each case checks what the capture ends with, that busy is 0 again,
// that no process handle or drawing resource is left open, that nothing
// half-written or stale is published, and that the next capture, without the
// fault, ends as a capture that never met one.
#include "capture/capture_worker.h"
#include "tests/scenario/capture_fixture.h"
#include "tests/support/scripted_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr plat::DWORD diskFull = 112;  // ERROR_DISK_FULL
constexpr plat::DWORD fileNotFound = 2;
constexpr plat::DWORD outOfMemory = 8;
constexpr plat::DWORD connectionReset = 10054;  // WSAECONNRESET

const plat::SYSTEMTIME firstTime{2024, 3, 4, 7, 9, 5, 1, 0};
const plat::SYSTEMTIME nextTime{2024, 3, 4, 7, 9, 6, 2, 0};

// The stand-in encoders write outputs of known sizes: the JPEG is smaller,
// so it is chosen whenever both are there.
const std::string jpegBytes = "jpeg-of-ten";
const std::string pngBytes = "png-twenty-bytes-long";

struct Outcome {
    plat::DWORD result = 99;
    std::string failure;
    std::string log;  // this capture's lines only
    std::string clipboard;
    bool barVisible = false;
};

class FaultDesk {
public:
    FaultDesk() : path_(NoEncoderPath()) {
        WriteProgram("cjpeg", "printf '" + jpegBytes + "' > temp.jpg");
        WriteProgram("optipng", "printf '" + pngBytes + "' > temp.png");
        desk_.TickAddSizeBox(false);
        CopySettingsField(appState.settings.imagePrefix, "shot");
        appState.selection = {10, 10, 40, 30};
    }

    // One capture on its own worker thread, the test thread answering it.
    Outcome Capture(const plat::SYSTEMTIME& time) {
        sim::SetLocalTime(&time);
        const std::size_t logBefore = ReadFileBytes("log.txt").size();
        {
            // The hotkey that starts a capture takes the last red bar's text away.
            std::lock_guard lock(appState.statusLock);
            appState.failureText.clear();
        }
        appState.busy = 1;
        Outcome out;
        EXPECT_TRUE(RunAsWorker([&] { out.result = CaptureWorker(&appState.busy); }));
        {
            std::lock_guard lock(appState.statusLock);
            out.failure = appState.failureText;
        }
        out.log = ReadFileBytes("log.txt").substr(logBefore);
        out.clipboard = sim::ClipboardHasText() ? sim::ClipboardText() : "";
        out.barVisible = sim::Window(appState.overlayWindow).visible;
        EXPECT_EQ(appState.busy, 0) << "busy must be cleared on every path";
        EXPECT_EQ(sim::OpenHandles(), 0) << "every encoder handle closed";
        EXPECT_EQ(sim::LiveGdiResources().captureDcs, 0);
        EXPECT_EQ(sim::LiveGdiResources().bitmaps, 0);
        return out;
    }

    // The capture after the fault: it must end exactly as one on a desk that
    // never met a fault (the upload, with nowhere to go, giving its own
    // message), with this capture's link.
    void ExpectNextCaptureWorks(const Outcome& healthy) {
        SCOPED_TRACE("the capture after the fault");
        Outcome next = Capture(nextTime);
        EXPECT_EQ(next.result, healthy.result);
        EXPECT_EQ(next.failure, healthy.failure);
        EXPECT_EQ(next.clipboard, "http://L/shot_2024_03_07_09_06_02.jpg");
        EXPECT_EQ(ReadFileBytes("temp.bmp").size(), 54u + 92u * 20u) << "a whole 30 x 20 bitmap";
    }

    CaptureDesk desk_;
    SearchPath path_;
};

// What a capture without any fault ends with, on a desk of its own.
Outcome HealthyCapture() {
    FaultDesk desk;
    fs::create_directory("backup");
    CopySettingsField(appState.settings.backupDirectory, "backup");
    Outcome out = desk.Capture(firstTime);
    EXPECT_EQ(out.clipboard, "http://L/shot_2024_03_07_09_05_01.jpg");
    EXPECT_EQ(ReadFileBytes("backup/shot_2024_03_07_09_05_01.jpg"), jpegBytes);
    EXPECT_TRUE(sim::MessageBoxes().empty());
    return out;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A server that takes the image as a well-behaved one does.
std::vector<ftptest::Turn> NormalDialogue() {
    using namespace ftptest;
    return {Greeting("220 Ready\r\n"), On("331 Password required\r\n"), On("230 Logged in\r\n"),
            On("250 Directory changed\r\n"), On("200 Type set to I\r\n"),
            On("227 Entering Passive Mode (%PASV%).\r\n"), On("150 Ok to send data\r\n"),
            AfterData("226 Transfer complete\r\n")};
}

void UseServer(const ftptest::ScriptedServer& server) {
    appState.settings.port = server.port();
    CopySettingsField(appState.settings.login, "user");
    CopySettingsField(appState.settings.password, "correct-horse");
    ScramblePassword(appState.settings.password);
    CopySettingsField(appState.settings.ftpDirectory, "img");
}

// temp.bmp cut short by a full disk: the capture stops before the encoders,
// so neither the cut file nor an earlier capture's outputs are encoded,
// linked or uploaded, and the cut file is not left behind.
TEST(CaptureFaults, AFullDiskWhileWritingTheBitmapStopsTheCapture) {
    const Outcome healthy = HealthyCapture();
    struct Case {
        const char* name;
        const char* operation;
        int nth;
    };
    const Case cases[] = {
        {"the headers' write", "FileWrite", 1},
        {"the pixels' write", "FileWrite", 2},
        {"the close that flushes the file", "FileClose", 1},
        {"the file cannot be created", "FileOpen", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultDesk desk;
        // What an earlier capture left: none of it may be published now.
        WriteFileBytes("temp.jpg", "old");
        WriteFileBytes("temp.png", "older");
        sim::FailCall(c.operation, c.nth, diskFull);
        Outcome out = desk.Capture(firstTime);
        EXPECT_EQ(out.result, 1u);
        EXPECT_EQ(out.failure, "Failed to capture screen");
        EXPECT_EQ(out.log, "Failed to write bitmap file\r\n");
        EXPECT_TRUE(out.barVisible) << "the failure is shown";
        EXPECT_EQ(sim::CallCount("CreateProcessA"), 0);
        EXPECT_FALSE(fs::exists("temp.bmp")) << "no cut bitmap is left";
        EXPECT_EQ(out.clipboard, "") << "no link to an image that was never made";
        EXPECT_TRUE(sim::Sockets().empty()) << "nothing uploaded";
        desk.ExpectNextCaptureWorks(healthy);
    }
}

// A backup copy the disk cannot hold costs a message box; the cut copy is
// removed and the capture goes on to the link and the upload.
TEST(CaptureFaults, AFullDiskWhileWritingTheBackupCopyShowsTheBoxAndGoesOn) {
    const Outcome healthy = HealthyCapture();
    struct Case {
        const char* name;
        const char* operation;
        // Which call of the operation the copy makes, counted from the
        // capture's start: temp.bmp's two writes and the log lines before it
        // come first, or temp.bmp's close, the two measurements and the read.
        int nth;
    };
    const int logLinesBeforeBackup = static_cast<int>(Count(healthy.log.substr(0, healthy.log.find("Putting")), "\r\n"));
    const Case cases[] = {
        {"the copy's write", "FileWrite", 2 + logLinesBeforeBackup + 1},
        {"the close that flushes the copy", "FileClose", 1 + 2 + 1 + 1},
        {"the copy cannot be created", "FileOpen", 1 + 2 + 1 + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultDesk desk;
        fs::create_directory("backup");
        CopySettingsField(appState.settings.backupDirectory, "backup");
        sim::FailCall(c.operation, c.nth, diskFull);
        Outcome out = desk.Capture(firstTime);
        ASSERT_EQ(sim::MessageBoxes().size(), 1u);
        EXPECT_EQ(sim::MessageBoxes()[0].text, "Failed to create backup file.");
        EXPECT_EQ(sim::MessageBoxes()[0].caption, "Error");
        EXPECT_EQ(sim::MessageBoxes()[0].type, 0x30u);
        EXPECT_EQ(sim::MessageBoxes()[0].owner, nullptr);
        EXPECT_FALSE(fs::exists("backup/shot_2024_03_07_09_05_01.jpg")) << "no cut copy is left";
        // The capture went on: the same end as without the fault.
        EXPECT_EQ(out.result, healthy.result);
        EXPECT_EQ(out.failure, healthy.failure);
        EXPECT_EQ(out.log, healthy.log);
        EXPECT_EQ(out.clipboard, "http://L/shot_2024_03_07_09_05_01.jpg");
        desk.ExpectNextCaptureWorks(healthy);
        EXPECT_EQ(ReadFileBytes("backup/shot_2024_03_07_09_06_02.jpg"), jpegBytes);
        EXPECT_EQ(sim::MessageBoxes().size(), 1u) << "no box for the healthy capture";
    }
}

// An encoder that cannot be started counts as one that wrote nothing: the
// other one's output is published, never an earlier capture's file.
TEST(CaptureFaults, EncodersThatCannotBeStarted) {
    const Outcome healthy = HealthyCapture();
    struct Case {
        const char* name;
        int nth, count;
        const char* failure;  // null: the capture goes on
        const char* logStart;
        const char* link;
    };
    const Case cases[] = {
        {"cjpeg", 1, 1, nullptr, "Failed to save jpeg\r\nPNG size: 21, JPG size: -1\r\nSelected size: 21\r\n",
         "http://L/shot_2024_03_07_09_05_01.png"},
        {"optipng", 2, 1, nullptr, "Failed to save png\r\nPNG size: -1, JPG size: 11\r\nSelected size: 11\r\n",
         "http://L/shot_2024_03_07_09_05_01.jpg"},
        {"both", 1, 2, "Failed to save image", "Failed to save jpeg\r\nFailed to save png\r\nFailed to save image\r\n",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultDesk desk;
        // Smaller than either new output, so a stale file would win the choice.
        WriteFileBytes("temp.jpg", "old");
        WriteFileBytes("temp.png", "old");
        sim::FailCall("CreateProcessA", c.nth, fileNotFound, c.count);
        Outcome out = desk.Capture(firstTime);
        EXPECT_EQ(out.log.substr(0, std::string(c.logStart).size()), c.logStart);
        EXPECT_EQ(out.clipboard, c.link);
        if (c.failure) {
            EXPECT_EQ(out.result, 1u);
            EXPECT_EQ(out.failure, c.failure);
            EXPECT_TRUE(out.barVisible);
            EXPECT_TRUE(sim::Sockets().empty()) << "nothing uploaded";
        } else {
            EXPECT_EQ(out.failure, healthy.failure) << "the capture goes on to the upload";
        }
        EXPECT_EQ(sim::CallCount("CreateProcessA"), 2) << "no retries";
        desk.ExpectNextCaptureWorks(healthy);
    }
}

// The clipboard cannot be had or cannot take the link: the image is still
// published, but the bar says the link is not there instead of vanishing as
// if all were well, since a paste would give the clipboard's old text. A
// clipboard held only for a moment is waited for. The next capture puts its
// link there.
TEST(CaptureFaults, AClipboardThatCannotTakeTheLink) {
    using namespace ftptest;
    const char* const notInClipboard = "Image uploaded, but the link is not in the clipboard";
    struct Case {
        const char* name;
        const char* operation;  // null: another program holds the clipboard throughout
        int failures;           // calls of the operation that fail
        const char* logTail;    // what the log shows after "Selected size"
        bool placed;
    };
    const Case cases[] = {
        {"held by another program", nullptr, 0, "Failed to open clipboard (Permission denied)\r\n", false},
        {"held for a moment", "OpenClipboard", 3,
         "Putting http://L/shot_2024_03_07_09_05_01.jpg in clipboard\r\nSetClipboardData (Success)\r\n", true},
        {"no memory for the text", "GlobalAlloc", 1,
         "Putting http://L/shot_2024_03_07_09_05_01.jpg in clipboard\r\nFailed to allocate clipboard memory\r\n",
         false},
        {"the hand-over refused", "SetClipboardData", 1,
         "Putting http://L/shot_2024_03_07_09_05_01.jpg in clipboard\r\nSetClipboardData (Permission denied)\r\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultDesk desk;
        {
            ScriptedServer server(NormalDialogue());
            UseServer(server);
            if (c.operation)
                sim::FailCall(c.operation, 1, plat::ERROR_ACCESS_DENIED, c.failures);
            else
                sim::HoldClipboardElsewhere(true);
            Outcome out = desk.Capture(firstTime);
            EXPECT_EQ(server.Data(), jpegBytes) << "the image is published all the same";
            const std::string afterChoice = out.log.substr(out.log.find("Selected size: 11\r\n") + 19);
            EXPECT_EQ(afterChoice.substr(0, std::string(c.logTail).size()), c.logTail);
            EXPECT_EQ(sim::GlobalBlocksHeld(), 0) << "a block the clipboard did not take is freed";
            if (c.placed) {
                EXPECT_EQ(out.clipboard, "http://L/shot_2024_03_07_09_05_01.jpg");
                EXPECT_EQ(out.failure, "");
                EXPECT_FALSE(out.barVisible);
            } else {
                EXPECT_EQ(out.clipboard, "");
                EXPECT_EQ(out.failure, notInClipboard);
                EXPECT_TRUE(out.barVisible) << "the red bar stays until the next key";
                EXPECT_EQ(out.result, 1u);
            }
            EXPECT_NE(out.log.find("226 Transfer complete\r\n"), std::string::npos);
            for (const sim::SocketRecord& socket : sim::Sockets()) EXPECT_EQ(socket.closes, 1);
        }
        sim::HoldClipboardElsewhere(false);
        SCOPED_TRACE("the capture after the fault");
        ScriptedServer server(NormalDialogue());
        UseServer(server);
        Outcome next = desk.Capture(nextTime);
        EXPECT_EQ(next.failure, "");
        EXPECT_EQ(next.clipboard, "http://L/shot_2024_03_07_09_06_02.jpg");
        EXPECT_EQ(server.Data(), jpegBytes);
    }
}

// Every socket call of the dialogue, each failing in its turn: the Nth call
// of each operation, for every N a whole upload makes. The capture must end
// with that step's message, close every socket exactly once and leave the
// next capture to publish its image.
TEST(CaptureFaults, EachSocketCallOfTheUploadFailingInTurn) {
    using namespace ftptest;
    const auto expectPublished = [](const Outcome& out, ScriptedServer& server, const char* link) {
        EXPECT_EQ(out.result, 0u);
        EXPECT_EQ(out.failure, "");
        EXPECT_FALSE(out.barVisible) << "success hides the bar";
        EXPECT_EQ(out.clipboard, link);
        EXPECT_EQ(server.Data(), jpegBytes);
    };

    // In calling order. Select failures have no step of their own: a failed
    // select counts as ready, and the send or receive after it decides.
    struct Operation {
        const char* name;
        plat::DWORD error;
        std::vector<const char*> messages;  // by N; empty: any outcome
    };
    const Operation operations[] = {
        {"socket", connectionReset, {"Failed to create socket", "Failed to create socket for passive connection"}},
        {"gethostbyname", 11001, {"Failed to resolve server address"}},
        {"connect", connectionReset, {"Failed to connect to server", "Failed to connect socket for passive connection"}},
        {"send", connectionReset,
         {"Failed to send user information", "Failed to send password", "Failed to send CWD", "Failed to send TYPE I",
          "Failed to send PASV", "Failed to send STOR", "Failed to get result",
          ""}},  // QUIT: the image is up, the bar gone; only the log tells
        {"recv", connectionReset,
         {"Negative response from server", "Login incorrect", "Password is incorrect", "Failed to change directory",
          "Failed to change mode to I", "Failed to enter passive mode", "Data connection wasn't accepted",
          "Failed to get result"}},
        {"select", connectionReset, {}},
    };

    std::map<std::string, int> calls;
    {
        SCOPED_TRACE("without a fault");
        FaultDesk desk;
        ScriptedServer server(NormalDialogue());
        UseServer(server);
        Outcome out = desk.Capture(firstTime);
        expectPublished(out, server, "http://L/shot_2024_03_07_09_05_01.jpg");
        for (const Operation& op : operations) calls[op.name] = sim::CallCount(op.name);
    }

    for (const Operation& op : operations) {
        if (!op.messages.empty()) {
            ASSERT_EQ(calls[op.name], static_cast<int>(op.messages.size())) << op.name << " calls of one upload";
        }
        for (int nth = 1; nth <= calls[op.name]; ++nth) {
            SCOPED_TRACE(testing::Message() << op.name << " call " << nth);
            FaultDesk desk;
            {
                ScriptedServer server(NormalDialogue());
                UseServer(server);
                sim::FailCall(op.name, nth, op.error);
                Outcome out = desk.Capture(firstTime);
                EXPECT_EQ(out.clipboard, "http://L/shot_2024_03_07_09_05_01.jpg") << "the link comes before the upload";
                if (!op.messages.empty()) {
                    const std::string message = op.messages[static_cast<std::size_t>(nth - 1)];
                    EXPECT_EQ(out.failure, message);
                    EXPECT_EQ(out.result, 1u);
                    EXPECT_EQ(out.barVisible, !message.empty()) << "a failure stays on the bar";
                    if (message.empty()) {
                        EXPECT_NE(out.log.find("Select or Receive failed (QUIT)\r\n"), std::string::npos);
                    }
                } else if (!out.failure.empty()) {
                    EXPECT_EQ(out.result, 1u);
                    EXPECT_TRUE(out.barVisible);
                }
                for (const sim::SocketRecord& s : sim::Sockets())
                    EXPECT_EQ(s.closes, 1) << "socket " << s.socket << " closed exactly once";
            }
            {
                SCOPED_TRACE("the capture after the fault");
                ScriptedServer server(NormalDialogue());
                UseServer(server);
                const std::size_t before = sim::Sockets().size();
                Outcome next = desk.Capture(nextTime);
                expectPublished(next, server, "http://L/shot_2024_03_07_09_06_02.jpg");
                const auto sockets = sim::Sockets();
                EXPECT_EQ(sockets.size(), before + 2) << "a control and a data connection";
                for (const sim::SocketRecord& s : sockets) EXPECT_EQ(s.closes, 1);
            }
        }
    }
}

}  // namespace
