// settings.ini: eleven fields, each its bytes and a 0 byte, the password
// scrambled. Despite its name the file has no sections or keys; existing
// files must keep loading, so its layout never changes.
#include "settings/settings.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace plat;

const char* const settingsFileName = "settings.ini";
const unsigned char PasswordKey[8] = {0xa3, 0xf1, 0x9e, 0x86, 0xc4, 0xba, 0x8d, 0xe7};

namespace {
const char* const newSettingsFileName = "settings.ini.new";

// Copies the text that starts at position into field, at most 255 bytes of
// it, and returns the position after its terminator. Nothing at or past the
// end of the content is read; a field cut by the end of the file ends there.
std::size_t TakeField(const char* data, std::size_t size, std::size_t position, char* field) {
    std::size_t end = position;
    while (end < size && data[end] != 0) ++end;
    std::size_t length = end > position ? end - position : 0;
    if (length > settingsFieldSize - 1) length = settingsFieldSize - 1;
    if (length) std::memcpy(field, data + position, length);
    field[length] = 0;
    return end + 1;
}

// A switch byte: anything but "0" means on; a byte beyond the content leaves
// the switch as it was.
void TakeSwitch(const char* data, std::size_t size, std::size_t position, bool& value) {
    if (position < size) value = data[position] != '0';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

void CopySettingsField(char* field, const char* text) {
    std::size_t length = std::strlen(text);
    if (length > settingsFieldSize - 1) length = settingsFieldSize - 1;
    std::memmove(field, text, length);
    field[length] = 0;
}

std::int32_t PortFromText(const char* text) {
    while (IsSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    std::int64_t value = 0;
    // Saturates like strtol rather than overflowing on a long digit string.
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX) value = static_cast<std::int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

void ScramblePassword(char* password) {
    for (std::size_t i = 0; i < std::strlen(password); ++i)
        password[i] = static_cast<char>(static_cast<unsigned char>(password[i]) ^ PasswordKey[i % 8]);
}

void ApplyDefaultSettings(Settings& settings) {
    CopySettingsField(settings.host, "ftp.example.com");
    CopySettingsField(settings.portText, "21");
    settings.port = 21;
    CopySettingsField(settings.login, "login");
    CopySettingsField(settings.password, "tulipbox");
    ScramblePassword(settings.password);
    CopySettingsField(settings.ftpDirectory, "public_html/images/");
    CopySettingsField(settings.linkPrefix, "www.example.com/images");
    CopySettingsField(settings.imagePrefix, "image");
    settings.backupDirectory[0] = 0;
}

bool LoadSettings(Settings& settings) {
    FileStream* file = FileOpen(settingsFileName, "rb");
    if (!file) {
        ApplyDefaultSettings(settings);
        return false;
    }
    std::vector<char> content;
    if (FileSeek(file, 0, 2) == 0) {
        long length = FileTell(file);
        FileSeek(file, 0, 0);
        if (length > 0) {
            content.resize(static_cast<std::size_t>(length));
            // A file that shrank meanwhile gives fewer bytes: only those count.
            content.resize(FileRead(content.data(), 1, content.size(), file));
        }
    }
    FileClose(file);

    ParseSettings(content.data(), content.size(), settings);
    return true;
}

void ParseSettings(const char* data, std::size_t size, Settings& settings) {
    std::size_t at = 0;
    at = TakeField(data, size, at, settings.host);
    at = TakeField(data, size, at, settings.portText);
    settings.port = PortFromText(settings.portText);
    at = TakeField(data, size, at, settings.login);
    at = TakeField(data, size, at, settings.password);
    at = TakeField(data, size, at, settings.ftpDirectory);
    at = TakeField(data, size, at, settings.linkPrefix);
    at = TakeField(data, size, at, settings.imagePrefix);
    // The switches are one byte each, so they are taken by position.
    TakeSwitch(data, size, at, settings.addSizeToLink);
    TakeSwitch(data, size, at + 2, settings.showTrayIcon);
    TakeSwitch(data, size, at + 4, settings.bestQuality);
    TakeField(data, size, at + 6, settings.backupDirectory);
}

std::size_t FormatSettingsFile(const Settings& settings, char* out, std::size_t outSize) {
    int length = std::snprintf(out, outSize, "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%c\t%c\t%c\t%s\t", settings.host,
                               settings.portText, settings.login, settings.password, settings.ftpDirectory,
                               settings.linkPrefix, settings.imagePrefix, settings.addSizeToLink ? '1' : '0',
                               settings.showTrayIcon ? '1' : '0', settings.bestQuality ? '1' : '0',
                               settings.backupDirectory);
    if (length < 0) return 0;
    auto size = static_cast<std::size_t>(length);
    if (size >= outSize) size = outSize - 1;
    for (std::size_t i = 0; i < size; ++i)
        if (out[i] == '\t') out[i] = 0;
    return size;
}

bool SaveSettings(const Settings& settings) {
    // Eight fields of at most 255 bytes, three switches and eleven separators.
    char record[8 * 255 + 3 + 11 + 1];
    std::size_t length = FormatSettingsFile(settings, record, sizeof record);

    bool written = false;
    if (FileStream* file = FileOpen(newSettingsFileName, "wb")) {
        written = FileWrite(record, 1, length, file) == length;
        written = FileClose(file) == 0 && written;
        written = written && MoveFileExA(newSettingsFileName, settingsFileName,
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!written) DeleteFileA(newSettingsFileName);
    }
    if (!written) MessageBoxA(nullptr, "Failed to save settings", "Error", MB_OK | MB_ICONEXCLAMATION);
    return written;
}

void CreateBackupDirectory(const Settings& settings) {
    if (settings.backupDirectory[0] == 0) return;
    if (!CreateDirectoryA(settings.backupDirectory, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        MessageBoxA(nullptr, "Failed to create directory", "Error", MB_OK | MB_ICONEXCLAMATION);
}
