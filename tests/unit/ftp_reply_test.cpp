// How replies are framed and judged, and how a PASV reply's address is read:
// pure text rules, so they run on every platform.
#include "ftp/control_io.h"
#include "ftp/passive_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FramingCase {
    const char* name;
    std::string text;
    bool complete;
};

TEST(ReplyFraming, EndsWhenTheLastLineIsCompleteByTheFtpRule) {
    const FramingCase cases[] = {
        {"one line", "220 Ready\r\n", true},
        {"bare LF", "220 Ready\n", true},
        {"code alone", "220\r\n", true},
        {"nothing yet", "", false},
        {"line not ended", "220 Rea", false},
        {"CR without LF", "220 Ready\r", false},
        {"multi-line opened", "220-Welcome\r\n", false},
        {"multi-line, inner lines", "220-Welcome\r\nplease behave\r\n  230 padded\r\n", false},
        {"multi-line closed", "220-Welcome\r\n220 Ready\r\n", true},
        {"multi-line, last line not ended", "220-Welcome\r\n220 Rea", false},
        {"multi-line, other code does not close", "220-Welcome\r\n230 Other\r\n", false},
        {"multi-line, same code with dash goes on", "220-Welcome\r\n220-More\r\n", false},
        {"multi-line closed after inner lines", "230-A\r\nB\r\n230-C\r\n230 Done\r\n", true},
        {"text without a code ends at its line", "hello\r\n", true},
        {"dash after fewer digits is no multi-line", "22-x\r\n", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyComplete(c.text.data(), static_cast<int>(c.text.size())), c.complete) << c.name;
}

TEST(ReplyFraming, LooksOnlyAtTheGivenLength) {
    std::string text = "220 Ready\r\n";
    EXPECT_FALSE(ReplyComplete(text.data(), 9));
    EXPECT_TRUE(ReplyComplete(text.data(), 11));
}

TEST(ReplyStartsWith, OnlyTheFirstTwoCharactersCount) {
    struct Case {
        const char* reply;
        const char* code;
        bool result;
    } cases[] = {
        {"220 Ready\r\n", "22", true}, {"221 Bye\r\n", "22", true},     {"227 (1,2,3,4,5,6)\r\n", "22", true},
        {"1220 Ready\r\n", "22", false}, {"", "22", false},             {"2", "22", false},
        {"331 Password\r\n", "33", true}, {"530 No\r\n", "23", false},  {"451 Failed\r\n", "2", false},
        {"226 Done\r\n", "2", true},
    };
    for (const auto& c : cases) EXPECT_EQ(ReplyStartsWith(c.reply, c.code), c.result) << c.reply << " / " << c.code;
}

TEST(PassiveAddress, ReadsTheSixNumbersAfterTheFirstParenthesis) {
    struct Case {
        const char* reply;
        std::uint32_t address;
        std::uint16_t port;
    } cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).\r\n", 0x7F000001u, 1025},
        {"227 (192,168,10,20,255,255)\r\n", 0xC0A80A14u, 65535},
        {"227 (0,0,0,0,0,0)\r\n", 0, 0},
        {"227 =( 10, 1, 2, 3, 0, 21)\r\n", 0x0A010203u, 21},
        {"227 (127,0,0,1,4,1) (10,0,0,1,0,1)\r\n", 0x7F000001u, 1025},
        {"227 (127,0,0,001,004,001\r\n", 0x7F000001u, 1025},
    };
    for (const auto& c : cases) {
        PassiveAddress a;
        ASSERT_TRUE(ParsePassiveAddress(c.reply, &a)) << c.reply;
        EXPECT_EQ(a.address, c.address) << c.reply;
        EXPECT_EQ(a.port, c.port) << c.reply;
    }
}

TEST(PassiveAddress, RefusesWhatItCannotRead) {
    const char* replies[] = {
        "227 Entering Passive Mode 127,0,0,1,4,1\r\n",  // no parenthesis
        "227 (127,0,0,1,4)\r\n",                        // five numbers
        "227 (127,0,0,1,4,)\r\n",
        "227 ()\r\n",
        "227 (127,0,0,256,4,1)\r\n",                    // out of range
        "227 (127,0,0,1,4,99999999999999999999)\r\n",   // would overflow
        "227 (127,0,0,-1,4,1)\r\n",
        "227 (127;0;0;1;4;1)\r\n",
        "227 (",
        "",
    };
    for (const char* reply : replies) {
        PassiveAddress a{1, 2};
        EXPECT_FALSE(ParsePassiveAddress(reply, &a)) << reply;
        EXPECT_EQ(a.address, 1u) << reply;
        EXPECT_EQ(a.port, 2) << reply;
    }
}

}  // namespace
