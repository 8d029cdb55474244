// settings.ini as a damaged or hostile file may hold it: every field must end
// inside its buffer, nothing may be read past the content, the port must be
// the number its text starts with, the file read must give what the bytes
// give, and any record the format can carry must come back unchanged.
#include "settings/settings.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Field = char (Settings::*)[settingsFieldSize];
constexpr Field textFields[] = {&Settings::host,         &Settings::portText,   &Settings::login,
                                &Settings::password,     &Settings::ftpDirectory, &Settings::linkPrefix,
                                &Settings::imagePrefix,  &Settings::backupDirectory};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings fuzz: %s\n", what);
    std::abort();
}

// A record as a first start has it before the file is read.
Settings Fresh() {
    Settings s;
    s.port = -12345;
    return s;
}

void CheckTerminated(const Settings& s) {
    for (Field f : textFields)
        if (!std::memchr(s.*f, 0, settingsFieldSize)) Fail("a text field runs past its buffer");
}

bool SameRecord(const Settings& a, const Settings& b) {
    for (Field f : textFields)
        if (std::strcmp(a.*f, b.*f) != 0) return false;
    return a.port == b.port && a.addSizeToLink == b.addSizeToLink && a.showTrayIcon == b.showTrayIcon &&
           a.bestQuality == b.bestQuality;
}

bool HoldsTab(const Settings& s) {
    for (Field f : textFields)
        if (std::strchr(s.*f, '\t')) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // LoadSettings reads settings.ini from the working directory: a private
    // one keeps the runs from touching anybody's file.
    char pattern[] = "/tmp/vorlune-settings-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) Fail("no working directory");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read one byte past the content is caught.
    std::vector<char> content(data, data + size);
    Settings parsed = Fresh();
    ParseSettings(content.data(), content.size(), parsed);
    CheckTerminated(parsed);
    if (parsed.port != PortFromText(parsed.portText)) Fail("port disagrees with its text");

    // The first field is the content's first text, cut to 255 bytes.
    const std::size_t hostLength = size ? strnlen(content.data(), size) : 0;
    if (std::strlen(parsed.host) != (hostLength > 255 ? 255 : hostLength) ||
        (hostLength && std::memcmp(parsed.host, content.data(), std::strlen(parsed.host)) != 0))
        Fail("host is not the content's first text");

    // The file path gives what the bytes give.
    if (std::FILE* f = std::fopen(settingsFileName, "wb")) {
        const bool whole = std::fwrite(data, 1, size, f) == size;
        if (std::fclose(f) == 0 && whole) {
            Settings loaded = Fresh();
            if (!LoadSettings(loaded)) Fail("an existing settings.ini counted as missing");
            if (!SameRecord(loaded, parsed)) Fail("LoadSettings differs from the bytes it read");
        }
    }

    // Whatever the format can carry (no tab in a field) survives a save and
    // a load unchanged.
    if (!HoldsTab(parsed)) {
        char record[8 * 255 + 3 + 11 + 1];
        const std::size_t length = FormatSettingsFile(parsed, record, sizeof record);
        std::vector<char> saved(record, record + length);
        Settings again = Fresh();
        ParseSettings(saved.data(), saved.size(), again);
        if (!SameRecord(again, parsed)) Fail("a saved record does not load back unchanged");
    }
    return 0;
}
