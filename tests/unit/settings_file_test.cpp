// settings.ini: the exact bytes, the round trip, the switch and port rules,
// and files that are short, unterminated, over-long or random.
#include "settings/settings.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

using namespace std::string_literals;

std::string Clear(const char* scrambled) {
    char copy[settingsFieldSize];
    std::strcpy(copy, scrambled);
    ScramblePassword(copy);
    return copy;
}

Settings EmptyFields() {
    Settings s;  // switches at their initial values: on, on, off
    return s;
}

TEST(SettingsFile, EmptyFieldsAreFourteenBytesAndLoadBack) {
    TempWorkingDirectory dir;
    ASSERT_TRUE(SaveSettings(EmptyFields()));
    const std::string expected("\0\0\0\0\0\0\0" "1\0" "1\0" "0\0" "\0"s);
    ASSERT_EQ(expected.size(), 14u);
    EXPECT_EQ(ReadFileBytes("settings.ini"), expected);

    Settings loaded;
    loaded.addSizeToLink = false;
    loaded.showTrayIcon = false;
    loaded.bestQuality = true;
    EXPECT_TRUE(LoadSettings(loaded));
    EXPECT_TRUE(loaded.addSizeToLink);
    EXPECT_TRUE(loaded.showTrayIcon);
    EXPECT_FALSE(loaded.bestQuality);
    EXPECT_STREQ(loaded.host, "");
    EXPECT_STREQ(loaded.backupDirectory, "");
    EXPECT_EQ(loaded.port, 0);
}

TEST(SettingsFile, EveryFieldSurvivesARoundTrip) {
    TempWorkingDirectory dir;
    Settings s;
    CopySettingsField(s.host, "ftp.example.com");
    CopySettingsField(s.portText, "2121");
    s.port = 2121;
    CopySettingsField(s.login, "anna");
    CopySettingsField(s.password, "s3cret!");
    ScramblePassword(s.password);
    CopySettingsField(s.ftpDirectory, "www/shots");
    CopySettingsField(s.linkPrefix, "shots.example.com/s");
    CopySettingsField(s.imagePrefix, "shot");
    CopySettingsField(s.backupDirectory, "C:\\backup dir");
    s.addSizeToLink = false;
    s.showTrayIcon = true;
    s.bestQuality = true;
    ASSERT_TRUE(SaveSettings(s));

    std::string bytes = ReadFileBytes("settings.ini");
    EXPECT_EQ(bytes.size(), std::strlen(s.host) + 4 + 4 + std::strlen(s.password) + 9 + 19 + 4 + 13 + 14);
    EXPECT_EQ(bytes.find("s3cret"), std::string::npos) << "the password is stored scrambled";

    Settings loaded;
    EXPECT_TRUE(LoadSettings(loaded));
    EXPECT_STREQ(loaded.host, s.host);
    EXPECT_STREQ(loaded.portText, "2121");
    EXPECT_EQ(loaded.port, 2121);
    EXPECT_STREQ(loaded.login, "anna");
    EXPECT_STREQ(loaded.password, s.password);
    EXPECT_EQ(Clear(loaded.password), "s3cret!");
    EXPECT_STREQ(loaded.ftpDirectory, "www/shots");
    EXPECT_STREQ(loaded.linkPrefix, "shots.example.com/s");
    EXPECT_STREQ(loaded.imagePrefix, "shot");
    EXPECT_STREQ(loaded.backupDirectory, "C:\\backup dir");
    EXPECT_FALSE(loaded.addSizeToLink);
    EXPECT_TRUE(loaded.showTrayIcon);
    EXPECT_TRUE(loaded.bestQuality);
}

TEST(SettingsFile, MissingFileGivesTheDefaults) {
    TempWorkingDirectory dir;
    Settings s;
    EXPECT_FALSE(LoadSettings(s));
    EXPECT_STREQ(s.host, "ftp.example.com");
    EXPECT_STREQ(s.portText, "21");
    EXPECT_EQ(s.port, 21);
    EXPECT_STREQ(s.login, "login");
    EXPECT_EQ(Clear(s.password), "tulipbox");
    EXPECT_STRNE(s.password, "tulipbox");
    EXPECT_STREQ(s.ftpDirectory, "public_html/images/");
    EXPECT_STREQ(s.linkPrefix, "www.example.com/images");
    EXPECT_STREQ(s.imagePrefix, "image");
    EXPECT_STREQ(s.backupDirectory, "");
    EXPECT_TRUE(s.addSizeToLink);
    EXPECT_TRUE(s.showTrayIcon);
    EXPECT_FALSE(s.bestQuality);
}

TEST(SettingsFile, AnExistingEmptyFileCountsAsFound) {
    TempWorkingDirectory dir;
    WriteFileBytes("settings.ini", "");
    Settings s;
    EXPECT_TRUE(LoadSettings(s));
    EXPECT_STREQ(s.host, "");
    EXPECT_TRUE(s.addSizeToLink);
}

TEST(SettingsFile, SwitchBytes) {
    struct Case {
        char byte;
        bool on;
    };
    const Case cases[] = {{'0', false}, {'1', true}, {'x', true}, {'\0', true}, {'\xff', true}};
    for (const Case& c : cases) {
        TempWorkingDirectory dir;
        std::string file = "h\0" "21\0" "l\0" "p\0" "d\0" "k\0" "i\0"s;
        file += c.byte;
        file += '\0';
        file += c.byte;
        file += '\0';
        file += c.byte;
        file += '\0';
        file += "b\0"s;
        WriteFileBytes("settings.ini", file);
        Settings s;
        s.addSizeToLink = s.showTrayIcon = s.bestQuality = !c.on;
        ASSERT_TRUE(LoadSettings(s));
        EXPECT_EQ(s.addSizeToLink, c.on) << "byte " << int(c.byte);
        EXPECT_EQ(s.showTrayIcon, c.on) << "byte " << int(c.byte);
        EXPECT_EQ(s.bestQuality, c.on) << "byte " << int(c.byte);
        EXPECT_STREQ(s.backupDirectory, "b");
    }
}

TEST(SettingsFile, PortRule) {
    struct Case {
        const char* text;
        std::int32_t port;
    };
    const Case cases[] = {
        {"21", 21},       {" 21a", 21}, {"", 0},           {"ftp", 0},  {"70000", 70000},
        {"\t+8021", 8021}, {"-5", -5},  {"99999999999", INT32_MAX}, {"2 1", 2},
    };
    for (const Case& c : cases) EXPECT_EQ(PortFromText(c.text), c.port) << "'" << c.text << "'";

    TempWorkingDirectory dir;
    WriteFileBytes("settings.ini", "h\0 21a\0"s);
    Settings s;
    ASSERT_TRUE(LoadSettings(s));
    EXPECT_STREQ(s.portText, " 21a");
    EXPECT_EQ(s.port, 21);
}

TEST(SettingsFile, BytesAfterTheLastFieldAreIgnored) {
    TempWorkingDirectory dir;
    WriteFileBytes("settings.ini", "h\0p\0l\0w\0d\0k\0i\0" "0\0" "0\0" "1\0" "back\0trailing junk\0more"s);
    Settings s;
    ASSERT_TRUE(LoadSettings(s));
    EXPECT_STREQ(s.backupDirectory, "back");
    EXPECT_FALSE(s.addSizeToLink);
    EXPECT_FALSE(s.showTrayIcon);
    EXPECT_TRUE(s.bestQuality);
}

// Files the program did not write: every field stays within its 255 bytes
// and nothing is taken from beyond the content (ASan watches the reads).
TEST(SettingsFile, DamagedFilesLoadSafely) {
    const std::string longField(1000, 'x');
    struct Case {
        const char* name;
        std::string bytes;
        std::string host;
        std::string imagePrefix;
    };
    const Case cases[] = {
        {"three fields", "h\0" "21\0" "l"s, "h", ""},
        {"no terminators", "hostname-without-end"s, "hostname-without-end", ""},
        {"over-long host", longField + "\0" "21\0" "l\0" "p\0" "d\0" "k\0" "img\0" "1\0" "1\0" "0\0"s,
         std::string(255, 'x'), "img"},
        {"over-long last field", "h\0" "21\0" "l\0" "p\0" "d\0" "k\0" "i\0" "1\0" "1\0" "0\0"s + longField, "h", "i"},
        {"cut inside the switches", "h\0" "21\0" "l\0" "p\0" "d\0" "k\0" "i\0" "0"s, "h", "i"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempWorkingDirectory dir;
        WriteFileBytes("settings.ini", c.bytes);
        Settings s;
        ASSERT_TRUE(LoadSettings(s));
        for (const char* field : {s.host, s.portText, s.login, s.password, s.ftpDirectory, s.linkPrefix,
                                  s.imagePrefix, s.backupDirectory})
            EXPECT_LE(std::strlen(field), 255u);
        EXPECT_EQ(s.host, c.host);
        EXPECT_EQ(s.imagePrefix, c.imagePrefix);
    }
}

TEST(SettingsFile, RandomFilesLoadSafely) {
    std::mt19937 random(20261211);
    TempWorkingDirectory dir;
    for (int round = 0; round < 200; ++round) {
        std::string bytes(random() % 3000, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 4 == 0 ? 0 : random() % 256);
        WriteFileBytes("settings.ini", bytes);
        Settings s;
        ASSERT_TRUE(LoadSettings(s));
        for (const char* field : {s.host, s.portText, s.login, s.password, s.ftpDirectory, s.linkPrefix,
                                  s.imagePrefix, s.backupDirectory})
            ASSERT_LE(std::strlen(field), 255u);
    }
}

TEST(SettingsFile, SaveReplacesTheWholeFile) {
    TempWorkingDirectory dir;
    WriteFileBytes("settings.ini", std::string(5000, 'z'));
    Settings s;
    CopySettingsField(s.host, "h");
    ASSERT_TRUE(SaveSettings(s));
    EXPECT_EQ(ReadFileBytes("settings.ini").size(), 15u);
    EXPECT_FALSE(std::filesystem::exists("settings.ini.new"));
}

TEST(PasswordScrambling, IsItsOwnInverse) {
    const char* passwords[] = {"tulipbox", "", "a", "exactly8", "a longer password, past one key round"};
    for (const char* clear : passwords) {
        char text[settingsFieldSize];
        std::strcpy(text, clear);
        ScramblePassword(text);
        if (*clear) {
            EXPECT_STRNE(text, clear);
        }
        EXPECT_EQ(std::strlen(text), std::strlen(clear));
        ScramblePassword(text);
        EXPECT_STREQ(text, clear);
    }
}

TEST(PasswordScrambling, KeyBytesAndTheirOrder) {
    char text[] = "\x01\x01\x01\x01\x01\x01\x01\x01\x01";
    ScramblePassword(text);
    const unsigned char expected[] = {0xa2, 0xf0, 0x9f, 0x87, 0xc5, 0xbb, 0x8c, 0xe6, 0xa2};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(static_cast<unsigned char>(text[i]), expected[i]) << i;
}

TEST(PasswordScrambling, AByteEqualToItsKeyByteCutsThePassword) {
    // Byte 2 equals PasswordKey[2] (0x9e), so it scrambles to 0 and ends the text.
    char text[] = "ab\x9e" "cd";
    ScramblePassword(text);
    EXPECT_EQ(std::strlen(text), 2u);
    ScramblePassword(text);
    EXPECT_STREQ(text, "ab");
}

}  // namespace
