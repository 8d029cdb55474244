#include "ftp/control_io.h"

#include "app/log.h"
#include "ftp/ftp_session.h"

#include <cstring>

using namespace plat;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWithCode(const char* line, int length) {
    return length >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

int FailReply(SOCKET connection) {
    LogLine("Select or Receive failed\r\n");
    closesocket(connection);
    return -1;
}

}  // namespace

int SendCommand(SOCKET connection, const char* text, int length) {
    // A command cut short on the wire would be read by the server as a
    // different command, so a short send goes on with the rest.
    int sent = 0;
    while (sent < length) {
        plat::timeval limit{commandWaitSeconds, 0};
        // Only a time-out stops here; a failing select counts as ready and
        // the send that follows reports the error.
        if (select(connection, SelectFor::write, &limit) == 0) return -1;
        int count = send(connection, text + sent, length - sent, 0);
        // A blocking send never takes 0 bytes of a non-empty command; if one
        // did, retrying would never end.
        if (count == SOCKET_ERROR || count <= 0) return -2;
        sent += count;
    }
    return sent;
}

int ReadReply(SOCKET connection, char* buffer) {
    // A reply ends by the FTP rule, not by a pause: a greeting or multi-line
    // reply that arrives in several pieces is read whole, so its tail is
    // never taken for the reply to the next command.
    char* position = buffer;
    char* const last = buffer + textBufferSize - 1;  // room for the zero byte
    *position = 0;
    int lastPiece = 0;
    for (;;) {
        // A reply that fills the buffer ends there; there is no room to wait for more.
        if (position == last) return lastPiece;
        plat::timeval limit{replyPieceWaitSeconds, 0};
        if (select(connection, SelectFor::read, &limit) == 0) return FailReply(connection);
        int count = recv(connection, position, static_cast<int>(last - position), 0);
        // The end of the stream keeps a socket readable for ever; a reply
        // still incomplete then can never be judged.
        if (count == SOCKET_ERROR || count <= 0) return FailReply(connection);
        position += count;
        *position = 0;
        lastPiece = count;
        if (ReplyComplete(buffer, static_cast<int>(position - buffer))) return lastPiece;
    }
}

bool ReplyStartsWith(const char* buffer, const char* code) {
    return std::strncmp(buffer, code, std::strlen(code)) == 0;
}

bool ReplyComplete(const char* text, int length) {
    const char* end = text + length;
    const char* lineEnd = static_cast<const char*>(std::memchr(text, '\n', static_cast<std::size_t>(length)));
    if (!lineEnd) return false;
    int firstLength = static_cast<int>(lineEnd - text);
    bool multiLine = StartsWithCode(text, firstLength) && firstLength >= 4 && text[3] == '-';
    if (!multiLine) return true;
    // "ddd-" lines go on until a line with the same code and a blank.
    for (const char* line = lineEnd + 1; line < end;) {
        const char* next = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        if (!next) return false;
        int lineLength = static_cast<int>(next - line);
        if (lineLength >= 4 && std::memcmp(line, text, 3) == 0 && line[3] == ' ') return true;
        line = next + 1;
    }
    return false;
}
