// The user's settings, the file settings.ini that keeps them between runs,
// the password scrambling and the backup-directory rule.
#pragma once

#include <cstddef>
#include <cstdint>

// Every text field holds at most 255 bytes and its terminating 0.
constexpr std::size_t settingsFieldSize = 256;

struct Settings {
    char host[settingsFieldSize] = {};
    char portText[settingsFieldSize] = {};
    char login[settingsFieldSize] = {};
    char password[settingsFieldSize] = {};  // held scrambled
    char ftpDirectory[settingsFieldSize] = {};
    char linkPrefix[settingsFieldSize] = {};
    char imagePrefix[settingsFieldSize] = {};
    char backupDirectory[settingsFieldSize] = {};
    std::int32_t port = 0;
    bool addSizeToLink = true;
    bool showTrayIcon = true;
    bool bestQuality = false;
};

// The file's name, relative to the working directory.
extern const char* const settingsFileName;

// The fixed key of the password scrambling.
extern const unsigned char PasswordKey[8];

// Fills the settings from settings.ini, or with the defaults when the file
// cannot be opened; true when the file could be opened.
bool LoadSettings(Settings& settings);
// Fills the settings from the bytes of a settings.ini; the switches stay as
// they were where the content ends before them. Reads nothing past size.
void ParseSettings(const char* data, std::size_t size, Settings& settings);
// The defaults of a first start, the password held scrambled.
void ApplyDefaultSettings(Settings& settings);
// Writes settings.ini: a new file beside the old one, renamed into place, so
// a failed write never leaves a truncated file. False (after a message box)
// when the file could not be written; the old file then stays as it was.
bool SaveSettings(const Settings& settings);
// The exact bytes SaveSettings writes.
std::size_t FormatSettingsFile(const Settings& settings, char* out, std::size_t outSize);
// XORs the text in place with PasswordKey, byte i with key byte i mod 8,
// measuring the text again before each byte; applying it twice gives the
// text back unless a byte became 0.
void ScramblePassword(char* password);
// The port rule: leading white space, an optional sign, decimal digits.
std::int32_t PortFromText(const char* text);
// Creates the backup directory when one is set; a failure other than an
// existing directory shows "Failed to create directory".
void CreateBackupDirectory(const Settings& settings);
// Copies text into a settings field, cut to 255 bytes.
void CopySettingsField(char* field, const char* text);
