// The control connection's reply reader against a scripted server, and the
// PASV address parser on whatever the reader took in.
//
// The input is the server's side of the connection: its first byte chooses
// how the stream ends once the script runs out (0: closed, 1: silence,
// 2: a receive error), the rest is the bytes the server sends, cut into
// pieces at each 0x1F byte. The reader must never write past its buffer,
// must stop at the first piece that completes a reply (so the next reply
// is not eaten), must return that piece's count or -1, and must close the
// connection exactly once on -1 and never otherwise.
#include "app/log.h"
#include "ftp/control_io.h"
#include "ftp/ftp_session.h"
#include "ftp/passive_address.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr plat::SOCKET scriptedSocket = 7;

struct Script {
    std::vector<std::string> pieces;
    int end = 0;  // 0 closed, 1 silence, 2 error
    std::size_t piece = 0, offset = 0;
    int selects = 0, closes = 0, logLines = 0;
    bool silent = false;  // select has reported the time-out
    std::vector<std::size_t> boundaries;  // bytes delivered after each recv
    std::size_t delivered = 0;
};
Script script;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "reply fuzz: %s\n", what);
    std::abort();
}

bool ScriptLeft() { return script.piece < script.pieces.size(); }

// An independent reading of "(h1,h2,h3,h4,p1,p2)".
bool OracleAddress(const char* reply, std::uint32_t& address, std::uint16_t& port) {
    const char* p = std::strchr(reply, '(');
    if (!p) return false;
    ++p;
    unsigned values[6];
    for (int i = 0; i < 6; ++i) {
        if (i && *p++ != ',') return false;
        while (*p == ' ' || *p == '\t') ++p;
        const char* digits = p;
        while (*p >= '0' && *p <= '9') ++p;
        if (p == digits) return false;
        // Leading zeros do not make a number larger.
        while (p - digits > 3 && *digits == '0') ++digits;
        if (p - digits > 3) return false;
        auto [next, error] = std::from_chars(digits, p, values[i]);
        if (error != std::errc() || next != p || values[i] > 255) return false;
    }
    address = values[0] << 24 | values[1] << 16 | values[2] << 8 | values[3];
    port = static_cast<std::uint16_t>(values[4] << 8 | values[5]);
    return true;
}

}  // namespace

// The connection's side of the platform, played from the script.
namespace plat {
int select(SOCKET socket, SelectFor what, const timeval* limit) {
    if (socket != scriptedSocket || what != SelectFor::read || !limit) Fail("select on the wrong terms");
    if (script.closes) Fail("select after close");
    ++script.selects;
    if (script.selects > 100000) Fail("the reader does not stop");
    if (!ScriptLeft() && script.end == 1) {
        script.silent = true;
        return 0;
    }
    return 1;
}
int recv(SOCKET socket, char* buffer, int length, int) {
    if (socket != scriptedSocket) Fail("recv on the wrong socket");
    if (script.silent) Fail("recv after a time-out");
    if (length <= 0) Fail("recv asked for no bytes");
    if (!ScriptLeft()) return script.end == 2 ? SOCKET_ERROR : 0;
    const std::string& piece = script.pieces[script.piece];
    std::size_t n = piece.size() - script.offset;
    if (n > static_cast<std::size_t>(length)) n = static_cast<std::size_t>(length);
    // The whole range the reader offered must be its own to write.
    std::memset(buffer, 0xCC, static_cast<std::size_t>(length));
    std::memcpy(buffer, piece.data() + script.offset, n);
    script.offset += n;
    if (script.offset == piece.size()) {
        ++script.piece;
        script.offset = 0;
    }
    script.delivered += n;
    script.boundaries.push_back(script.delivered);
    return static_cast<int>(n);
}
int send(SOCKET, const char*, int, int) { Fail("the reader sent something"); }
int closesocket(SOCKET socket) {
    if (socket != scriptedSocket) Fail("closesocket on the wrong socket");
    ++script.closes;
    return 0;
}
}  // namespace plat

void LogLine(const char* format, ...) {
    if (std::strcmp(format, "Select or Receive failed\r\n") != 0) Fail("unexpected log line");
    ++script.logLines;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    script = Script{};
    if (size) {
        script.end = data[0] % 3;
        std::string piece;
        for (std::size_t i = 1; i < size; ++i) {
            if (data[i] == 0x1F) {
                if (!piece.empty()) script.pieces.push_back(piece);
                piece.clear();
            } else {
                piece.push_back(static_cast<char>(data[i]));
            }
        }
        if (!piece.empty()) script.pieces.push_back(piece);
    }
    std::string sent;
    for (const std::string& p : script.pieces) sent += p;

    // The buffer of exactly its size, so one byte more is caught.
    std::vector<char> buffer(textBufferSize);
    const int result = ReadReply(scriptedSocket, buffer.data());
    const std::size_t n = script.delivered;

    if (n > textBufferSize - 1) Fail("more bytes than the buffer holds");
    if (buffer[n] != 0) Fail("reply not terminated after its bytes");
    if (std::memcmp(buffer.data(), sent.data(), n) != 0) Fail("reply bytes differ from what was sent");
    // Complete at no boundary before the last, so a reply is never read past.
    for (std::size_t i = 0; i + 1 < script.boundaries.size(); ++i)
        if (ReplyComplete(buffer.data(), static_cast<int>(script.boundaries[i])))
            Fail("went on reading after a complete reply");
    // Once complete, a reply stays complete whatever follows it.
    if (n && ReplyComplete(buffer.data(), static_cast<int>(n)))
        for (std::size_t more = n; more <= sent.size() && more < textBufferSize; more += 1 + more / 3)
            if (!ReplyComplete(sent.data(), static_cast<int>(more))) Fail("a complete reply became incomplete");

    if (result == -1) {
        if (script.closes != 1 || script.logLines != 1) Fail("a failed read must log once and close once");
        if (n && ReplyComplete(buffer.data(), static_cast<int>(n))) Fail("a complete reply reported as failed");
        if (ScriptLeft() && n < textBufferSize - 1) Fail("failed while the server still had bytes");
    } else {
        if (script.closes || script.logLines) Fail("a read that succeeded closed or logged");
        if (result <= 0 || script.boundaries.empty()) Fail("success without bytes");
        const std::size_t last = script.boundaries.back();
        const std::size_t before = script.boundaries.size() > 1 ? script.boundaries[script.boundaries.size() - 2] : 0;
        if (static_cast<std::size_t>(result) != last - before) Fail("result is not the last piece's count");
        if (n < textBufferSize - 1 && !ReplyComplete(buffer.data(), static_cast<int>(n)))
            Fail("returned with an incomplete reply and room left");
    }

    // Whatever came in goes to the PASV parser as the session hands it on.
    PassiveAddress parsed{0xDEADBEEF, 0xBEEF};
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    const bool expected = OracleAddress(buffer.data(), address, port);
    const bool taken = ParsePassiveAddress(buffer.data(), &parsed);
    if (taken != expected) Fail("PASV parser and the reading here disagree");
    if (taken && (parsed.address != address || parsed.port != port)) Fail("PASV address or port");
    if (!taken && (parsed.address != 0xDEADBEEF || parsed.port != 0xBEEF)) Fail("a refused reply changed the result");
    return 0;
}
