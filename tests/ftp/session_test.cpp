// The upload dialogue against a scripted server: for each case the server's
// replies with their pieces and pauses, the exact bytes the client must send,
// the message, the log and the connections closed exactly once.
#include "ftp/control_io.h"
#include "ftp/ftp_session.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/support/scripted_server.h"

#include <cstring>
#include <functional>

namespace ftptest {
namespace {

const std::string userPass = "USER user\r\nPASS correct-horse-battery\r\n";
const std::string cwd = "CWD img/dir\r\n";
const std::string type = "TYPE I\r\n";
const std::string pasv = "PASV \r\n";
const std::string stor = "STOR " + imageName + "\r\n";
const std::string allCommands = userPass + cwd + type + pasv + stor;
const std::string tenBytes = "Sending packet, pending: 10\r\nSend 10 bytes\r\n";

const Turn greeting = Greeting("220 Ready\r\n");
const Turn user331 = On("331 Password required\r\n");
const Turn pass230 = On("230 Logged in\r\n");
const Turn cwd250 = On("250 Directory changed\r\n");
const Turn type200 = On("200 Type set to I\r\n");
const Turn pasv227 = On("227 Entering Passive Mode (%PASV%).\r\n");
const Turn stor150 = On("150 Ok to send data\r\n");
const Turn done226 = AfterData("226 Transfer complete\r\n");

std::vector<Turn> Normal() { return {greeting, user331, pass230, cwd250, type200, pasv227, stor150, done226}; }

// The normal script with the turn at index replaced.
std::vector<Turn> NormalWith(std::size_t index, Turn turn) {
    auto script = Normal();
    script[index] = std::move(turn);
    return script;
}

Turn Pieces(Turn::Before before, std::vector<Piece> pieces, Turn::After after = Turn::keep) {
    return Turn{before, std::move(pieces), after};
}

const Stage atStart{"Creating socket...", 576};
const Stage greetingStage{"Getting response from server...", 576};
const Stage cwdStage{"Selecting directory...", 768};
const Stage uploadStart{"Starting file upload...", 960};
const Stage tenSent{"Sending data, 10 of 10 bytes sent (100.00%)", 1920};

struct SessionCase {
    const char* name;
    std::vector<Turn> script;
    std::string commands;  // everything the client sends before QUIT
    const char* message;   // null: the upload succeeds
    std::string log;
    Stage lastStage;
    int sockets = 2;       // how many the upload creates
    int imageSize = 10;
    const char* login = "user";
    const char* directory = "img/dir";
    DataPlan data = {};
    int portOffset = 0;
    int port = 0;          // connect here instead of the server
    std::function<void()> faults = nullptr;
};

const std::vector<SessionCase>& Cases() {
    static const std::vector<SessionCase> cases = {
        {.name = "the normal dialogue", .script = Normal(), .commands = allCommands, .message = nullptr,
         .log = tenBytes + "226 Transfer complete\r\n", .lastStage = tenSent},
        {.name = "a greeting in two pieces 2 ms apart",
         .script = NormalWith(0, Pieces(Turn::nothing, {{0, "220-Welcome\r\n"}, {2, "220 Ready\r\n"}})),
         .commands = allCommands, .message = nullptr, .log = tenBytes + "226 Transfer complete\r\n",
         .lastStage = tenSent},
        {.name = "a greeting in two pieces 50 ms apart",
         .script = NormalWith(0, Pieces(Turn::nothing, {{0, "220-Welcome\r\n220 Rea"}, {50, "dy\r\n"}})),
         .commands = allCommands, .message = nullptr, .log = tenBytes + "226 Transfer complete\r\n",
         .lastStage = tenSent},
        {.name = "multi-line replies",
         .script = {greeting, Pieces(Turn::command, {{0, "331-Hello\r\n331 Password required\r\n"}}),
                    Pieces(Turn::command, {{0, "230-Rules:\r\n be nice\r\n"}, {20, "230-More\r\n"}, {5, "230 Ok\r\n"}}),
                    Pieces(Turn::command, {{0, "250-Now in img/dir\r\n250 Ok\r\n"}}), type200, pasv227, stor150,
                    Pieces(Turn::dataEnd, {{0, "226-Done\r\n"}, {10, "226 Transfer complete\r\n"}})},
         .commands = allCommands, .message = nullptr,
         .log = tenBytes + "226-Done\r\n226 Transfer complete\r\n", .lastStage = tenSent},
        {.name = "silence for 10 s after connect", .script = {Pieces(Turn::nothing, {})}, .commands = "",
         .message = "Negative response from server",
         .log = "Select or Receive failed\r\nNegative response from server\r\n", .lastStage = greetingStage,
         .sockets = 1},
        {.name = "a close mid-reply", .script = {Pieces(Turn::nothing, {{0, "220 Rea"}}, Turn::close)}, .commands = "",
         .message = "Negative response from server",
         .log = "Select or Receive failed\r\nNegative response from server\r\n", .lastStage = greetingStage,
         .sockets = 1},
        {.name = "a refusing greeting", .script = {Greeting("421 Too many users\r\n")}, .commands = "",
         .message = "Negative response from server", .log = "Negative response from server\r\n",
         .lastStage = greetingStage, .sockets = 1},
        {.name = "USER answered with 230 needs no password",
         .script = {greeting, On("230 Anonymous access granted\r\n"), cwd250, type200, pasv227, stor150, done226},
         .commands = "USER anonymous\r\n" + cwd + type + pasv + stor, .message = nullptr,
         .log = tenBytes + "226 Transfer complete\r\n", .lastStage = tenSent, .login = "anonymous"},
        {.name = "USER refused", .script = {greeting, On("530 Not allowed\r\n")}, .commands = "USER user\r\n",
         .message = "Login incorrect", .log = "Login incorrect\r\n", .lastStage = {"Sending login...", 576},
         .sockets = 1},
        {.name = "a wrong password", .script = {greeting, user331, On("530 Login incorrect\r\n")},
         .commands = userPass, .message = "Password is incorrect", .log = "Password incorrect\r\n",
         .lastStage = {"Sending password...", 576}, .sockets = 1},
        {.name = "CWD refused", .script = NormalWith(3, On("550 No such directory\r\n")),
         .commands = userPass + cwd, .message = "Failed to change directory",
         .log = "Failed to change directory\r\n", .lastStage = cwdStage, .sockets = 1},
        {.name = "an empty directory refused", .script = NormalWith(3, On("550 No such directory\r\n")),
         .commands = userPass + "CWD \r\n", .message = "Failed to change directory",
         .log = "Failed to change directory\r\n", .lastStage = cwdStage, .sockets = 1, .directory = ""},
        {.name = "TYPE refused", .script = NormalWith(4, On("504 Not implemented\r\n")),
         .commands = userPass + cwd + type, .message = "Failed to change mode to I",
         .log = "Failed to change mode to I\r\n", .lastStage = {"Changing connection data type...", 768},
         .sockets = 1},
        {.name = "PASV refused", .script = NormalWith(5, On("500 No passive mode\r\n")),
         .commands = userPass + cwd + type + pasv, .message = "Failed to enter passive mode",
         .log = "Failed to enter passive mode\r\n", .lastStage = {"Entering passive mode...", 768}, .sockets = 1},
        {.name = "a PASV reply without a parenthesis",
         .script = NormalWith(5, On("227 Entering Passive Mode 127,0,0,1,4,1\r\n")),
         .commands = userPass + cwd + type + pasv, .message = "Failed to enter passive mode",
         .log = "Failed to read passive address\r\n", .lastStage = {"Entering passive mode...", 768}, .sockets = 1},
        {.name = "a PASV reply with five numbers", .script = NormalWith(5, On("227 Entering Passive Mode (127,0,0,1,4)\r\n")),
         .commands = userPass + cwd + type + pasv, .message = "Failed to enter passive mode",
         .log = "Failed to read passive address\r\n", .lastStage = {"Entering passive mode...", 768}, .sockets = 1},
        {.name = "a PASV reply with a number over 255",
         .script = NormalWith(5, On("227 Entering Passive Mode (127,0,0,1,256,1)\r\n")),
         .commands = userPass + cwd + type + pasv, .message = "Failed to enter passive mode",
         .log = "Failed to read passive address\r\n", .lastStage = {"Entering passive mode...", 768}, .sockets = 1},
        {.name = "a PASV reply naming another local address", .script = Normal(), .commands = allCommands,
         .message = nullptr, .log = tenBytes + "226 Transfer complete\r\n", .lastStage = tenSent,
         .data = {.host = "127.0.0.2"}},
        {.name = "a passive port that refuses", .script = NormalWith(5, On("227 Entering Passive Mode (127,0,0,1,0,1)\r\n")),
         .commands = userPass + cwd + type + pasv, .message = "Failed to connect socket for passive connection",
         .log = "Failed to connect socket for passive connection(Connection refused)\r\n",
         .lastStage = {"Connecting to passive socket...", 768}},
        {.name = "STOR refused", .script = NormalWith(6, On("553 Could not create file\r\n")),
         .commands = allCommands, .message = "Data connection wasn't accepted",
         .log = "Data connection wasn't accepted\r\n", .lastStage = {"Creating file...", 768}},
        {.name = "no reply to STOR", .script = NormalWith(6, Pieces(Turn::command, {}, Turn::close)),
         .commands = allCommands, .message = "Data connection wasn't accepted",
         .log = "Select or Receive failed\r\nData connection wasn't accepted\r\n",
         .lastStage = {"Creating file...", 768}},
        {.name = "a block send failing mid-upload", .script = Normal(), .commands = allCommands,
         .message = "Failed to get result",
         .log = "Sending packet, pending: 40000\r\nSend 32768 bytes\r\nSending packet, pending: 7232\r\n"
                "Send -1 bytes\r\nFailed to store file (Permission denied)\r\nFailed to get result\r\n",
         .lastStage = {"Sending data, 32768 of 40000 bytes sent (81.92%)", 1746}, .imageSize = 40000,
         // Six commands go out before the blocks: the second block is send 8.
         .faults = [] { sim::FailCall("send", 8, plat::ERROR_ACCESS_DENIED); }},
        {.name = "a final 451", .script = NormalWith(7, AfterData("451 Local error in processing\r\n")),
         .commands = allCommands, .message = "Failed to store file",
         .log = tenBytes + "451 Local error in processing\r\nFailed to store file\r\n", .lastStage = tenSent},
        {.name = "no final reply", .script = NormalWith(7, Pieces(Turn::dataEnd, {}, Turn::close)),
         .commands = allCommands, .message = "Failed to get result",
         .log = tenBytes + "Select or Receive failed\r\nFailed to get result\r\n", .lastStage = tenSent},
        {.name = "a 0-byte image", .script = Normal(), .commands = allCommands, .message = nullptr,
         .log = "226 Transfer complete\r\n", .lastStage = uploadStart, .imageSize = 0},
        {.name = "port 21 + 65536 counts its low 16 bits", .script = Normal(), .commands = allCommands,
         .message = nullptr, .log = tenBytes + "226 Transfer complete\r\n", .lastStage = tenSent,
         .portOffset = 65536},
        {.name = "short sends go on with the rest", .script = Normal(), .commands = allCommands, .message = nullptr,
         .log = "Sending packet, pending: 10\r\nSend 3 bytes\r\nSending packet, pending: 7\r\nSend 3 bytes\r\n"
                "Sending packet, pending: 4\r\nSend 3 bytes\r\nSending packet, pending: 1\r\nSend 1 bytes\r\n"
                "226 Transfer complete\r\n",
         .lastStage = tenSent, .faults = [] { sim::LimitSendSize(3); }},
        {.name = "no socket", .script = {}, .commands = "", .message = "Failed to create socket",
         .log = "Failed to create socket (Cannot allocate memory)\r\n", .lastStage = atStart, .sockets = 0,
         .faults = [] { sim::FailCall("socket", 1, plat::ERROR_NOT_ENOUGH_MEMORY); }},
        {.name = "a host that does not resolve", .script = {}, .commands = "",
         .message = "Failed to resolve server address", .log = "Failed to resolve server address\r\n",
         .lastStage = atStart, .sockets = 1, .faults = [] { sim::FailCall("gethostbyname", 1, 11001); }},
        {.name = "a server that refuses the connection", .script = {}, .commands = "",
         .message = "Failed to connect to server", .log = "Failed to connect (Connection refused)\r\n",
         .lastStage = {"Connecting to server...", 576}, .sockets = 1, .port = 1},
        {.name = "USER not sent", .script = {greeting}, .commands = "", .message = "Failed to send user information",
         .log = "Select or Receive failed (USER)\r\n", .lastStage = {"Sending login...", 576}, .sockets = 1,
         .faults = [] { sim::FailCall("send", 1, plat::ERROR_ACCESS_DENIED); }},
        {.name = "PASS not sent", .script = {greeting, user331}, .commands = "USER user\r\n",
         .message = "Failed to send password", .log = "Select or Receive failed (PASS)\r\n",
         .lastStage = {"Sending password...", 576}, .sockets = 1,
         .faults = [] { sim::FailCall("send", 2, plat::ERROR_ACCESS_DENIED); }},
        {.name = "no socket for the passive connection", .script = Normal(), .commands = userPass + cwd + type + pasv,
         .message = "Failed to create socket for passive connection",
         .log = "Failed to create socket for passive connection(Cannot allocate memory)\r\n",
         .lastStage = {"Entering passive mode...", 768}, .sockets = 1,
         .faults = [] { sim::FailCall("socket", 2, plat::ERROR_NOT_ENOUGH_MEMORY); }},
    };
    return cases;
}

class UploadSession : public FtpTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(UploadSession, FollowsItsScript) {
    const SessionCase& c = Cases()[GetParam()];
    SCOPED_TRACE(c.name);
    ScriptedServer server(c.script, c.data);
    UseServer(c.port ? c.port : server.port() + c.portOffset, c.login, "correct-horse-battery", c.directory);
    if (c.faults) c.faults();
    ChosenImage image = MakeImage(c.imageSize);

    const char* message = UploadImage(session, settings, image, captureTime);

    if (c.message) {
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message, c.message);
        EXPECT_EQ(session.controlConnection, plat::INVALID_SOCKET);
    } else {
        ASSERT_EQ(message, nullptr) << message;
        EXPECT_NE(session.controlConnection, plat::INVALID_SOCKET);
        // Success leaves the control connection open and the data one closed.
        auto open = sim::Sockets();
        ASSERT_EQ(open.size(), 2u);
        EXPECT_EQ(open[0].closes, 0);
        EXPECT_EQ(open[1].closes, 1);
        EXPECT_TRUE(SendQuit(session));
        EXPECT_EQ(server.Data(), std::string(image.data.begin(), image.data.end()));
    }
    EXPECT_EQ(LogText(), c.log);
    ASSERT_FALSE(StageTrail().empty());
    EXPECT_EQ(StageTrail().back(), c.lastStage);

    auto sockets = sim::Sockets();
    EXPECT_EQ(static_cast<int>(sockets.size()), c.sockets);
    for (auto& s : sockets) {
        EXPECT_EQ(s.closes, 1) << "socket " << s.socket;
    }
    if (!c.script.empty()) {
        EXPECT_EQ(server.Commands(), c.commands + (c.message ? "" : "QUIT \r\n"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UploadSession, ::testing::Range<std::size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             std::string name;
                             for (const char* p = Cases()[param.param].name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

using UploadDetails = FtpTest;

TEST_F(UploadDetails, EveryStageInOrderWithItsWidth) {
    ScriptedServer server(Normal());
    UseServer(server.port());
    ChosenImage image = MakeImage(70000);
    ASSERT_EQ(UploadImage(session, settings, image, captureTime), nullptr);
    const std::vector<Stage> expected = {
        {"Creating socket...", 576},
        {"Connecting to server...", 576},
        {"Getting response from server...", 576},
        {"Sending login...", 576},
        {"Sending password...", 576},
        {"Selecting directory...", 768},
        {"Changing connection data type...", 768},
        {"Entering passive mode...", 768},
        {"Connecting to passive socket...", 768},
        {"Creating file...", 768},
        {"Starting file upload...", 960},
        {"Sending data, 32768 of 70000 bytes sent (46.81%)", 1409},
        {"Sending data, 65536 of 70000 bytes sent (93.62%)", 1858},
        {"Sending data, 70000 of 70000 bytes sent (100.00%)", 1920},
    };
    EXPECT_EQ(StageTrail(), expected);
    EXPECT_EQ(LogText(),
              "Sending packet, pending: 70000\r\nSend 32768 bytes\r\n"
              "Sending packet, pending: 37232\r\nSend 32768 bytes\r\n"
              "Sending packet, pending: 4464\r\nSend 4464 bytes\r\n"
              "226 Transfer complete\r\n");
    EXPECT_TRUE(SendQuit(session));
    EXPECT_EQ(server.Data(), std::string(image.data.begin(), image.data.end()));
}

TEST_F(UploadDetails, AResetInTheMiddleOfTheBlocksEndsTheUpload) {
    // The server takes a little and then resets; the client is still sending.
    ScriptedServer server(Normal(), {.resetAfter = 65536});
    UseServer(server.port());
    ChosenImage image = MakeImage(16 * 1024 * 1024);
    EXPECT_STREQ(UploadImage(session, settings, image, captureTime), "Failed to get result");
    std::string log = LogText();
    auto failed = log.find("Send -1 bytes\r\nFailed to store file (");
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_TRUE(log.ends_with(")\r\nFailed to get result\r\n")) << log;
    EXPECT_EQ(log.find("226"), std::string::npos) << "no final reply is read";
    auto sockets = sim::Sockets();
    ASSERT_EQ(sockets.size(), 2u);
    for (auto& s : sockets) {
        EXPECT_EQ(s.closes, 1);
    }
    EXPECT_EQ(server.Commands(), allCommands);
}

TEST_F(UploadDetails, ThePasswordIsClearOnlyOnTheWire) {
    ScriptedServer server({greeting, user331, On("530 Login incorrect\r\n")});
    UseServer(server.port());
    Settings before = settings;
    ChosenImage image = MakeImage(10);
    EXPECT_STREQ(UploadImage(session, settings, image, captureTime), "Password is incorrect");
    EXPECT_EQ(std::memcmp(before.password, settings.password, sizeof settings.password), 0)
        << "the settings copy holds the password scrambled again";
    // The reply is shorter than the PASS command: without the wipe its tail
    // would still stand in the buffer.
    std::string buffer(session.textBuffer, textBufferSize);
    EXPECT_EQ(buffer.find("battery"), std::string::npos);
    EXPECT_EQ(LogText().find("battery"), std::string::npos);
    EXPECT_EQ(server.Commands(), userPass);
}

TEST_F(UploadDetails, QuitThatCannotBeSentIsLoggedAndStillCloses) {
    ScriptedServer server(Normal());
    UseServer(server.port());
    ChosenImage image = MakeImage(10);
    ASSERT_EQ(UploadImage(session, settings, image, captureTime), nullptr);
    sim::FailCall("send", 1, plat::ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SendQuit(session));
    EXPECT_TRUE(LogText().ends_with("226 Transfer complete\r\nSelect or Receive failed (QUIT)\r\n"));
    for (auto& s : sim::Sockets()) {
        EXPECT_EQ(s.closes, 1);
    }
    EXPECT_EQ(session.controlConnection, plat::INVALID_SOCKET);
    EXPECT_EQ(server.Commands(), allCommands);
}

}  // namespace
}  // namespace ftptest
