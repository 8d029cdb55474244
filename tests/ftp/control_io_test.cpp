// The control connection's primitives on a real connection to a scripted
// server: how a reply is framed from its pieces, the full buffer, the
// failures that close, and commands sent whole.
#include "ftp/control_io.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/support/scripted_server.h"

#include <cstring>
#include <filesystem>
#include <functional>

namespace ftptest {
namespace {

class ControlIo : public FtpTest {
protected:
    plat::SOCKET Connect(int port) {
        plat::SOCKET s = plat::socket(plat::AF_INET, plat::SOCK_STREAM, 0);
        plat::sockaddr_in address{};
        address.sin_family = plat::AF_INET;
        address.sin_port = plat::htons(static_cast<std::uint16_t>(port));
        address.sin_addr = plat::htonl(0x7F000001u);
        EXPECT_EQ(plat::connect(s, &address, sizeof address), 0);
        return s;
    }
    int Read(plat::SOCKET s) { return ReadReply(s, session.textBuffer); }
    std::string Text() const { return session.textBuffer; }
    static int Closes(plat::SOCKET s) {
        for (auto& r : sim::Sockets())
            if (r.socket == s) return r.closes;
        return -1;
    }
};

TEST_F(ControlIo, AReplyIsEveryPieceUpToItsLastLine) {
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        std::string reply;
        int result;  // the count of the last piece
    } cases[] = {
        {"one piece", {{0, "220 Ready\r\n"}}, "220 Ready\r\n", 11},
        {"two pieces 2 ms apart", {{0, "220 Re"}, {2, "ady\r\n"}}, "220 Ready\r\n", 5},
        {"two pieces 50 ms apart", {{0, "220 Re"}, {50, "ady\r\n"}}, "220 Ready\r\n", 5},
        {"two lines in one burst", {{0, "220-Welcome\r\n220 Ready\r\n"}}, "220-Welcome\r\n220 Ready\r\n", 24},
        {"multi-line across pieces", {{0, "220-Welcome\r\n"}, {30, "220-Rules\r\n"}, {30, "220 Ready\r\n"}},
         "220-Welcome\r\n220-Rules\r\n220 Ready\r\n", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server({Turn{Turn::nothing, c.pieces, Turn::keep}});
        plat::SOCKET s = Connect(server.port());
        EXPECT_EQ(Read(s), c.result);
        EXPECT_EQ(Text(), c.reply);
        EXPECT_TRUE(ReplyStartsWith(session.textBuffer, "22"));
        EXPECT_EQ(Closes(s), 0);
        plat::closesocket(s);
    }
    EXPECT_EQ(LogText(), "");
}

TEST_F(ControlIo, AReplyThatArrivesAfterACompleteOneIsTheNextReply) {
    ScriptedServer server({Turn{Turn::nothing, {{0, "220 Ready\r\n"}, {3, "230 Logged in\r\n"}}, Turn::keep}});
    plat::SOCKET s = Connect(server.port());
    ASSERT_GT(Read(s), 0);
    // Pieces that come together may share a read; those that come apart never do.
    std::string first = Text();
    if (first == "220 Ready\r\n") {
        ASSERT_GT(Read(s), 0);
        EXPECT_EQ(Text(), "230 Logged in\r\n");
    } else {
        EXPECT_EQ(first, "220 Ready\r\n230 Logged in\r\n");
    }
    plat::closesocket(s);
}

TEST_F(ControlIo, AReplyThatFillsTheBufferEndsThere) {
    std::string lines = "220-";
    while (lines.size() < 9000) lines += "a long line of the welcome text\r\n";
    lines += "220 Ready\r\n";
    ScriptedServer server({Greeting(lines)});
    plat::SOCKET s = Connect(server.port());
    EXPECT_GT(Read(s), 0);
    EXPECT_EQ(std::strlen(session.textBuffer), static_cast<std::size_t>(textBufferSize - 1));
    EXPECT_EQ(Text(), lines.substr(0, textBufferSize - 1));
    // The rest is still on the connection for the next read.
    EXPECT_GT(Read(s), 0);
    EXPECT_TRUE(lines.substr(textBufferSize - 1).starts_with(Text())) << Text();
    EXPECT_EQ(Closes(s), 0);
    plat::closesocket(s);
}

TEST_F(ControlIo, NoWholeReplyLogsClosesAndFails) {
    struct Case {
        const char* name;
        Turn turn;
        std::function<void()> fault;
    } cases[] = {
        {"end of stream before anything", Turn{Turn::nothing, {}, Turn::close}, nullptr},
        {"end of stream mid-line", Turn{Turn::nothing, {{0, "220 Rea"}}, Turn::close}, nullptr},
        {"end of stream inside a multi-line reply", Turn{Turn::nothing, {{0, "220-Welcome\r\n"}}, Turn::close},
         nullptr},
        {"a receive error", Greeting("220 Ready\r\n"),
         [] { sim::FailCall("recv", 1, plat::ERROR_ACCESS_DENIED); }},
        {"silence for 10 s after the first piece", Turn{Turn::nothing, {{0, "220-Welcome\r\n"}}, Turn::keep},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        CloseLog();
        std::filesystem::remove("log.txt");
        OpenLog();
        ScriptedServer server({c.turn});
        plat::SOCKET s = Connect(server.port());
        if (c.fault) c.fault();
        EXPECT_EQ(Read(s), -1);
        EXPECT_EQ(LogText(), "Select or Receive failed\r\n");
        EXPECT_EQ(Closes(s), 1);
    }
}

TEST_F(ControlIo, ACommandIsSentWhole) {
    const std::string command = "STOR " + imageName + "\r\n";
    for (int limit : {0, 1, 7}) {
        SCOPED_TRACE(limit);
        sim::Reset();
        sim::LimitSendSize(limit);
        ScriptedServer server({});
        plat::SOCKET s = Connect(server.port());
        EXPECT_EQ(SendCommand(s, command.data(), static_cast<int>(command.size())), static_cast<int>(command.size()));
        plat::closesocket(s);
        EXPECT_EQ(server.Commands(), command);
    }
}

TEST_F(ControlIo, AFailedSendIsMinusTwoAndLeavesTheConnectionOpen) {
    for (int nth : {1, 3}) {
        SCOPED_TRACE(nth);
        sim::Reset();
        sim::LimitSendSize(4);
        sim::FailCall("send", nth, plat::ERROR_ACCESS_DENIED);
        ScriptedServer server({});
        plat::SOCKET s = Connect(server.port());
        EXPECT_EQ(SendCommand(s, "TYPE I\r\nUSER x\r\n", 16), -2);
        EXPECT_EQ(Closes(s), 0);
        plat::closesocket(s);
        // What went out before the failure stays out; nothing is sent twice.
        EXPECT_EQ(server.Commands(), std::string("TYPE I\r\nUSER x\r\n").substr(0, static_cast<std::size_t>(4 * (nth - 1))));
    }
    EXPECT_EQ(LogText(), "") << "the caller writes the line";
}

}  // namespace
}  // namespace ftptest
