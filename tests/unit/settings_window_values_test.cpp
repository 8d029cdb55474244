// Which values the settings window's Ok refuses because settings.ini could
// not give them back, and how it names them.
#include "settings/settings_window.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Boxes {
    std::string host = "ftp.example.com", port = "21", login = "login", password = "tulipbox",
                directory = "public_html/images/", link = "www.example.com/images", image = "image", backup = "";
    std::string Reason() const {
        return UnstorableSettingsReason({host.c_str(), port.c_str(), login.c_str(), password.c_str(),
                                         directory.c_str(), link.c_str(), image.c_str(), backup.c_str()});
    }
};

// Messages written out whole: GCC 12 at -O3 warns falsely (-Wrestrict) on
// some std::string concatenations.
#define TAB_TAIL " contains a tab character, which settings.ini cannot store."
#define CUT " would cut it short in settings.ini."
#define CORRUPT " would corrupt settings.ini."
#define PASSWORD "The FTP password cannot be stored: its character "

TEST(UnstorableSettings, ATabInAnyTextBoxIsNamed) {
    const struct {
        std::string Boxes::*box;
        const char* message;
    } cases[] = {
        {&Boxes::host, "FTP Host Name" TAB_TAIL},
        {&Boxes::port, "Port" TAB_TAIL},
        {&Boxes::login, "FTP Login" TAB_TAIL},
        {&Boxes::directory, "FTP Directory" TAB_TAIL},
        {&Boxes::link, "Link prefix" TAB_TAIL},
        {&Boxes::image, "Image file prefix" TAB_TAIL},
        {&Boxes::backup, "Local directory name for image backup" TAB_TAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        for (const char* text : {"\t", "a\tb", "end\t"}) {
            Boxes boxes;
            boxes.*c.box = text;
            EXPECT_EQ(boxes.Reason(), c.message);
        }
    }
}

// The password is stored scrambled with the key a3 f1 9e 86 c4 ba 8d e7.
TEST(UnstorableSettings, PasswordsThatScramblingWouldCutOrTurnIntoATab) {
    const struct {
        const char* name;
        std::string password;
        std::string reason;  // empty: accepted
    } cases[] = {
        {"the default", "tulipbox", ""},
        {"a clear tab is stored scrambled", "a\tb", ""},
        {"empty", "", ""},
        {"first byte equal to its key byte", "\xa3" "bc", PASSWORD "1" CUT},
        {"ninth byte uses the first key byte again", "12345678\xa3", PASSWORD "9" CUT},
        {"last key byte", "1234567\xe7", PASSWORD "8" CUT},
        {"scrambles to a tab", "ab\x97", PASSWORD "3" CORRUPT},
        {"the first fault is named", "x\xf8\xa3\xf1\x9e", PASSWORD "2" CORRUPT},
        // The same bytes at other places are harmless.
        {"key bytes in other places", "\xf1\x9e\xa3", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Boxes boxes;
        boxes.password = c.password;
        EXPECT_EQ(boxes.Reason(), c.reason);
    }
}

TEST(UnstorableSettings, TheFirstBoxInTheWindowsOrderIsNamed) {
    EXPECT_EQ((Boxes{.login = "l\t", .password = "\xa3", .backup = "b\t"}.Reason()), "FTP Login" TAB_TAIL);
    EXPECT_EQ((Boxes{.login = "l", .password = "\xa3", .backup = "b\t"}.Reason()), PASSWORD "1" CUT);
    EXPECT_EQ((Boxes{.login = "l", .password = "p", .backup = "b\t"}.Reason()),
              "Local directory name for image backup" TAB_TAIL);
}

TEST(UnstorableSettings, OrdinaryAndEmptyValuesAreStored) {
    Boxes boxes;
    EXPECT_EQ(boxes.Reason(), "");
    Boxes empty{"", "", "", "", "", "", "", ""};
    EXPECT_EQ(empty.Reason(), "");
    Boxes odd;
    odd.port = "letters";
    odd.host = std::string(254, 'h');
    odd.backup = "C:\\shots dir";
    EXPECT_EQ(odd.Reason(), "");
}

}  // namespace
