// Saving settings.ini under injected faults: a full disk at each step of the
// write, a rename that fails. The settings the user had must survive every
// one of them byte for byte, no settings.ini.new may be left, the user is
// told, and the next save goes through.
#include "settings/settings.h"
#include "platform/sim/sim.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr plat::DWORD diskFull = 112;  // ERROR_DISK_FULL
constexpr plat::DWORD accessDenied = 5;

Settings Named(const char* host) {
    Settings s;
    ApplyDefaultSettings(s);
    CopySettingsField(s.host, host);
    return s;
}

TEST(SettingsFaults, AFailedSaveKeepsTheOldFileWhole) {
    struct Case {
        const char* name;
        const char* operation;
        plat::DWORD error;
        bool oldFile;  // whether a settings.ini was there before
    };
    const Case cases[] = {
        {"the new file cannot be created", "FileOpen", diskFull, true},
        {"the disk fills during the write", "FileWrite", diskFull, true},
        {"the disk fills when the close flushes", "FileClose", diskFull, true},
        {"the rename is refused", "MoveFileExA", accessDenied, true},
        {"a first save that fails leaves no file", "FileWrite", diskFull, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Reset();
        TempWorkingDirectory dir;
        std::string before;
        if (c.oldFile) {
            ASSERT_TRUE(SaveSettings(Named("old.example.com")));
            before = ReadFileBytes("settings.ini");
            ASSERT_FALSE(before.empty());
        }

        sim::FailCall(c.operation, 1, c.error);
        EXPECT_FALSE(SaveSettings(Named("new.example.com")));

        ASSERT_EQ(sim::MessageBoxes().size(), 1u);
        EXPECT_EQ(sim::MessageBoxes()[0].text, "Failed to save settings");
        EXPECT_EQ(sim::MessageBoxes()[0].caption, "Error");
        EXPECT_EQ(sim::MessageBoxes()[0].type, 0x30u);
        EXPECT_EQ(sim::MessageBoxes()[0].owner, nullptr);
        EXPECT_FALSE(fs::exists("settings.ini.new")) << "no half-written file beside it";
        if (c.oldFile) {
            EXPECT_EQ(ReadFileBytes("settings.ini"), before) << "the old settings stay byte for byte";
            Settings loaded;
            EXPECT_TRUE(LoadSettings(loaded));
            EXPECT_STREQ(loaded.host, "old.example.com");
        } else {
            EXPECT_FALSE(fs::exists("settings.ini"));
        }

        // Without the fault the next save goes through.
        EXPECT_TRUE(SaveSettings(Named("next.example.com")));
        EXPECT_EQ(sim::MessageBoxes().size(), 1u);
        Settings loaded;
        EXPECT_TRUE(LoadSettings(loaded));
        EXPECT_STREQ(loaded.host, "next.example.com");
        EXPECT_FALSE(fs::exists("settings.ini.new"));
        sim::Reset();
    }
}

}  // namespace
