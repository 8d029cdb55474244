// Placeholder until the FTP client is built: every upload fails.
#include "ftp/ftp_session.h"

const char* UploadImage(FtpSession&, Settings&, const ChosenImage&, const plat::SYSTEMTIME&) {
    return "Failed to create socket";
}

bool SendQuit(FtpSession&) { return false; }
