// The FTP upload: from the control connection's creation to the server's
// final reply, then QUIT.
#pragma once

#include "capture/chosen_image.h"
#include "platform/platform.h"
#include "settings/settings.h"

// The worker's text buffer holds in turn each command and each reply.
constexpr int textBufferSize = 8192;

struct FtpSession {
    plat::SOCKET controlConnection = plat::INVALID_SOCKET;
    char* textBuffer = nullptr;  // textBufferSize bytes, the worker's
};

// Runs the dialogue with the server in settings (the worker's own copy; its
// password is unscrambled in place only while PASS is formatted and sent).
// Returns null on success, with the control connection still open, or the
// failure message, with every connection closed.
const char* UploadImage(FtpSession& session, Settings& settings, const ChosenImage& image,
                        const plat::SYSTEMTIME& captureTime);
// Sends QUIT, closes the control connection; false when QUIT was not sent.
bool SendQuit(FtpSession& session);
