// The upload dialogue: greeting, login, directory, type, passive mode, STOR,
// the blocks, the final reply. Every failure logs its line, closes what is
// open (each connection exactly once) and returns the user's message.
#include "ftp/ftp_session.h"

#include "app/log.h"
#include "capture/report_stage.h"
#include "ftp/control_io.h"
#include "ftp/passive_address.h"

#include <cstdarg>
#include <cstdio>
#include <string>

using namespace plat;

namespace {

constexpr int blockSize = 32768;
constexpr long dataWaitSeconds = 10;
constexpr DWORD pauseBeforeUpload = 50;

void Close(SOCKET& connection) {
    if (connection == INVALID_SOCKET) return;
    closesocket(connection);
    connection = INVALID_SOCKET;
}

// Formats a command into the text buffer and sends it; true when sent.
bool Send(FtpSession& session, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool Send(FtpSession& session, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(session.textBuffer, textBufferSize, format, arguments);
    va_end(arguments);
    if (length < 0 || length >= textBufferSize) return false;
    int result = SendCommand(session.controlConnection, session.textBuffer, length);
    return result != -1 && result != -2;
}

// Reads one reply and tests it. A reply that failed to arrive has closed the
// control connection already, and that counts as its closing.
bool Expect(FtpSession& session, const char* code) {
    int result = ReadReply(session.controlConnection, session.textBuffer);
    if (result == -1) session.controlConnection = INVALID_SOCKET;
    return result > 0 && ReplyStartsWith(session.textBuffer, code);
}

// The wipe goes through a volatile pointer so the compiler cannot drop it as
// a store to memory that is never read again.
void Wipe(char* buffer, int length) {
    volatile char* p = buffer;
    for (int i = 0; i < length; ++i) p[i] = 0;
}

// PASS with the clear password: unscrambled in place only while the command
// is formatted, and the command's bytes wiped once they are sent.
bool SendPassword(FtpSession& session, Settings& settings) {
    ScramblePassword(settings.password);
    int length = std::snprintf(session.textBuffer, textBufferSize, "PASS %s\r\n", settings.password);
    ScramblePassword(settings.password);
    int result = length > 0 && length < textBufferSize
                     ? SendCommand(session.controlConnection, session.textBuffer, length)
                     : -2;
    Wipe(session.textBuffer, textBufferSize);
    return result != -1 && result != -2;
}

const char* FailControl(FtpSession& session, const char* message) {
    Close(session.controlConnection);
    return message;
}

const char* FailBoth(FtpSession& session, SOCKET& data, const char* message) {
    Close(data);
    Close(session.controlConnection);
    return message;
}

// The image's blocks; false after a failed send (logged here).
bool SendBlocks(SOCKET data, const ChosenImage& image) {
    const std::int32_t total = image.size;
    std::int32_t remaining = total;
    const unsigned char* position = image.data.data();
    char progress[128];
    while (remaining > 0) {
        LogLine("Sending packet, pending: %d\r\n", remaining);
        int length = remaining < blockSize ? remaining : blockSize;
        int count = send(data, reinterpret_cast<const char*>(position), length, 0);
        // The error text is taken before logging can touch the last error.
        std::string error = count == SOCKET_ERROR || count <= 0 ? SystemErrorText() : std::string();
        LogLine("Send %d bytes\r\n", count);
        // A blocking send takes at least one byte or fails; 0 would never end.
        if (count == SOCKET_ERROR || count <= 0) {
            LogLine("Failed to store file (%s)\r\n", error.c_str());
            return false;
        }
        remaining -= count;
        position += count;
        double left = static_cast<double>(remaining) / static_cast<double>(total);
        std::snprintf(progress, sizeof progress, "Sending data, %d of %d bytes sent (%.2f%%)", total - remaining, total,
                      (1.0 - left) * 100.0);
        ReportStage(progress, 1.0 - 0.5 * left);
    }
    return true;
}

}  // namespace

const char* UploadImage(FtpSession& session, Settings& settings, const ChosenImage& image,
                        const SYSTEMTIME& captureTime) {
    ReportStage("Creating socket...");
    session.controlConnection = socket(AF_INET, SOCK_STREAM, 0);
    if (session.controlConnection == INVALID_SOCKET) {
        LogLine("Failed to create socket (%s)\r\n", SystemErrorText().c_str());
        return "Failed to create socket";
    }

    std::uint32_t serverAddress = 0;
    if (!gethostbyname(settings.host, &serverAddress)) {
        LogLine("Failed to resolve server address\r\n");
        return FailControl(session, "Failed to resolve server address");
    }

    ReportStage("Connecting to server...");
    sockaddr_in server{};
    server.sin_family = AF_INET;
    // Only the port's low 16 bits count.
    server.sin_port = htons(static_cast<std::uint16_t>(settings.port));
    server.sin_addr = serverAddress;
    if (connect(session.controlConnection, &server, sizeof server) == SOCKET_ERROR) {
        LogLine("Failed to connect (%s)\r\n", SystemErrorText().c_str());
        return FailControl(session, "Failed to connect to server");
    }

    ReportStage("Getting response from server...");
    if (!Expect(session, "22")) {
        LogLine("Negative response from server\r\n");
        return FailControl(session, "Negative response from server");
    }

    ReportStage("Sending login...");
    if (!Send(session, "USER %s\r\n", settings.login)) {
        LogLine("Select or Receive failed (USER)\r\n");
        return FailControl(session, "Failed to send user information");
    }
    int userReply = ReadReply(session.controlConnection, session.textBuffer);
    if (userReply == -1) session.controlConnection = INVALID_SOCKET;
    // A server that logs the user in on USER alone (230, as anonymous logins
    // do) wants no password.
    bool loggedIn = userReply > 0 && ReplyStartsWith(session.textBuffer, "23");
    if (!loggedIn) {
        if (userReply <= 0 || !ReplyStartsWith(session.textBuffer, "33")) {
            LogLine("Login incorrect\r\n");
            return FailControl(session, "Login incorrect");
        }
        ReportStage("Sending password...");
        if (!SendPassword(session, settings)) {
            LogLine("Select or Receive failed (PASS)\r\n");
            return FailControl(session, "Failed to send password");
        }
        if (!Expect(session, "23")) {
            LogLine("Password incorrect\r\n");
            return FailControl(session, "Password is incorrect");
        }
    }

    ReportStage("Selecting directory...", static_cast<double>(0.4f));
    if (!Send(session, "CWD %s\r\n", settings.ftpDirectory)) {
        LogLine("Select or Receive failed (CWD)\r\n");
        return FailControl(session, "Failed to send CWD");
    }
    if (!Expect(session, "25")) {
        LogLine("Failed to change directory\r\n");
        return FailControl(session, "Failed to change directory");
    }

    ReportStage("Changing connection data type...");
    if (!Send(session, "TYPE I\r\n")) {
        LogLine("Select or Receive failed (TYPE I)\r\n");
        return FailControl(session, "Failed to send TYPE I");
    }
    if (!Expect(session, "20")) {
        LogLine("Failed to change mode to I\r\n");
        return FailControl(session, "Failed to change mode to I");
    }

    ReportStage("Entering passive mode...");
    if (!Send(session, "PASV \r\n")) {
        LogLine("Select or Receive failed (PASV)\r\n");
        return FailControl(session, "Failed to send PASV");
    }
    if (!Expect(session, "22")) {
        LogLine("Failed to enter passive mode\r\n");
        return FailControl(session, "Failed to enter passive mode");
    }
    // Connecting to an address that was never read would send the image
    // somewhere nobody chose.
    PassiveAddress passive;
    if (!ParsePassiveAddress(session.textBuffer, &passive)) {
        LogLine("Failed to read passive address\r\n");
        return FailControl(session, "Failed to enter passive mode");
    }

    SOCKET data = socket(AF_INET, SOCK_STREAM, 0);
    if (data == INVALID_SOCKET) {
        LogLine("Failed to create socket for passive connection(%s)\r\n", SystemErrorText().c_str());
        return FailControl(session, "Failed to create socket for passive connection");
    }

    ReportStage("Connecting to passive socket...");
    sockaddr_in dataAddress{};
    dataAddress.sin_family = AF_INET;
    dataAddress.sin_port = htons(passive.port);
    dataAddress.sin_addr = htonl(passive.address);
    if (connect(data, &dataAddress, sizeof dataAddress) == SOCKET_ERROR) {
        LogLine("Failed to connect socket for passive connection(%s)\r\n", SystemErrorText().c_str());
        return FailBoth(session, data, "Failed to connect socket for passive connection");
    }

    ReportStage("Creating file...");
    if (!Send(session, "STOR %s_%.4d_%.2d_%.2d_%.2d_%.2d_%.2d.%s\r\n", settings.imagePrefix, captureTime.wYear,
              captureTime.wMonth, captureTime.wDay, captureTime.wHour, captureTime.wMinute, captureTime.wSecond,
              image.extension.c_str())) {
        LogLine("Select or Receive failed (STOR)\r\n");
        return FailBoth(session, data, "Failed to send STOR");
    }
    int storReply = ReadReply(session.controlConnection, session.textBuffer);
    if (storReply == -1) session.controlConnection = INVALID_SOCKET;
    if (storReply <= 0 ||
        !(ReplyStartsWith(session.textBuffer, "15") || ReplyStartsWith(session.textBuffer, "12"))) {
        LogLine("Data connection wasn't accepted\r\n");
        return FailBoth(session, data, "Data connection wasn't accepted");
    }

    ReportStage("Starting file upload...", 0.5);
    Sleep(pauseBeforeUpload);
    plat::timeval limit{dataWaitSeconds, 0};
    if (select(data, SelectFor::write, &limit) == 0) {
        LogLine("Failed to store file (select failed) %s\r\n", SystemErrorText().c_str());
        return FailBoth(session, data, "Failed to store file (select failed)");
    }
    if (!SendBlocks(data, image)) {
        Close(data);
        Close(session.controlConnection);
        LogLine("Failed to get result\r\n");
        return "Failed to get result";
    }

    // The server sends its final reply once the data connection has ended.
    Close(data);
    int finalReply = ReadReply(session.controlConnection, session.textBuffer);
    if (finalReply == -1) session.controlConnection = INVALID_SOCKET;
    if (finalReply <= 0) {
        LogLine("Failed to get result\r\n");
        return FailControl(session, "Failed to get result");
    }
    LogLine("%s", session.textBuffer);
    // Only a 2xx reply means the file is there; any other would leave the
    // user a link to a file that does not exist.
    if (!ReplyStartsWith(session.textBuffer, "2")) {
        LogLine("Failed to store file\r\n");
        return FailControl(session, "Failed to store file");
    }
    return nullptr;
}

bool SendQuit(FtpSession& session) {
    int length = std::snprintf(session.textBuffer, textBufferSize, "QUIT \r\n");
    int result = SendCommand(session.controlConnection, session.textBuffer, length);
    bool sent = result != -1 && result != -2;
    if (!sent) LogLine("Select or Receive failed (QUIT)\r\n");
    Close(session.controlConnection);
    return sent;
}
