// The settings window: its layout, the first start's defaults, Ok, Cancel,
// the 254-character limit and the values Ok refuses.
#include "tests/scenario/overlay_fixture.h"

#include <filesystem>

namespace {

using namespace overlay_test;
using namespace std::string_literals;
namespace fs = std::filesystem;

const unsigned char key[8] = {0xa3, 0xf1, 0x9e, 0x86, 0xc4, 0xba, 0x8d, 0xe7};

std::string Scrambled(const std::string& clear) {
    std::string out = clear;
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(static_cast<unsigned char>(out[i]) ^ key[i % 8]);
    return out;
}

plat::HWND* BoxHandles[] = {
    &appState.boxes.hostBox,      &appState.boxes.portBox,         &appState.boxes.loginBox,
    &appState.boxes.passwordBox,  &appState.boxes.ftpDirectoryBox, &appState.boxes.linkPrefixBox,
    &appState.boxes.imagePrefixBox, &appState.boxes.backupDirectoryBox,
};

std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (plat::HWND* box : BoxHandles) texts.push_back(sim::Window(*box).text);
    return texts;
}

std::vector<int> Checks() {
    return {sim::Window(appState.addSizeCheckBox).check, sim::Window(appState.trayCheckBox).check,
            sim::Window(appState.bestQualityCheckBox).check};
}

bool PressAndWaitHidden(plat::HWND button) {
    auto hides = Count(appState.settingsWindow, sim::WindowEvent::hide);
    sim::ClickButton(button);
    return WaitForMore(appState.settingsWindow, sim::WindowEvent::hide, hides);
}

TEST(SettingsWindow, LayoutOfTheWindowAndItsControls) {
    const struct {
        int width, height, x, y;
    } screens[] = {{1920, 1080, 760, 440}, {1366, 768, 483, 284}, {1025, 601, 312, 200}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.width);
        Desk desk({.settingsFile = false, .width = screen.width, .height = screen.height});
        ASSERT_TRUE(desk.running);
        auto window = sim::Window(appState.settingsWindow);
        EXPECT_EQ(window.text, "Vorlune settings");
        EXPECT_EQ(window.className, "VORLUNE");
        EXPECT_EQ(window.style, 0x06C80000u);
        EXPECT_EQ(window.exStyle, 0x40000u);
        EXPECT_EQ(window.rect.left, screen.x);
        EXPECT_EQ(window.rect.top, screen.y);
        EXPECT_EQ(window.rect.right - window.rect.left, 400);
        EXPECT_EQ(window.rect.bottom - window.rect.top, 300);
    }

    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    const struct {
        const char* className;
        std::string text;
        int x, y, width, height;
        plat::DWORD style;
        plat::HWND handle;
    } controls[] = {
        {"STATIC", "FTP Host Name: ", 10, 10, 120, 20, 0x50000000, nullptr},
        {"EDIT", "ftp.example.com", 130, 10, 150, 20, 0x50800080, appState.boxes.hostBox},
        {"STATIC", "Port:", 280, 10, 30, 20, 0x50000000, nullptr},
        {"EDIT", "21", 310, 10, 40, 20, 0x50800080, appState.boxes.portBox},
        {"STATIC", "FTP Login: ", 10, 30, 120, 20, 0x50000000, nullptr},
        {"EDIT", "login", 130, 30, 100, 20, 0x50800080, appState.boxes.loginBox},
        {"EDIT", "tulipbox", 230, 30, 120, 20, 0x508000A0, appState.boxes.passwordBox},
        {"STATIC", "FTP Directory: ", 10, 50, 120, 20, 0x50000000, nullptr},
        {"EDIT", "public_html/images/", 130, 50, 220, 20, 0x50800080, appState.boxes.ftpDirectoryBox},
        {"STATIC", "Link prefix: ", 10, 70, 120, 20, 0x50000000, nullptr},
        {"EDIT", "www.example.com/images", 130, 70, 220, 20, 0x50800080, appState.boxes.linkPrefixBox},
        {"STATIC", "Image file prefix: ", 10, 90, 120, 20, 0x50000000, nullptr},
        {"EDIT", "image", 130, 90, 220, 20, 0x50800080, appState.boxes.imagePrefixBox},
        {"STATIC", "Local directory name for image backup (optional):", 10, 110, 340, 20, 0x50000000, nullptr},
        {"EDIT", "", 10, 135, 340, 20, 0x50800080, appState.boxes.backupDirectoryBox},
        {"BUTTON", "Ok", 5, 240, 125, 30, 0x50000000, appState.okButton},
        {"BUTTON", "Cancel", 135, 240, 125, 30, 0x50000000, appState.cancelButton},
        {"BUTTON", "Exit", 265, 240, 125, 30, 0x50000000, appState.exitButton},
        {"BUTTON", "Add size to link:", 10, 170, 140, 20, 0x50000023, appState.addSizeCheckBox},
        {"BUTTON", "Show tray icon:", 10, 190, 140, 20, 0x50000023, appState.trayCheckBox},
        {"BUTTON", "Best quality:", 10, 210, 140, 20, 0x50000023, appState.bestQualityCheckBox},
    };
    auto children = sim::Children(appState.settingsWindow);
    ASSERT_EQ(children.size(), std::size(controls));
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const auto& c = controls[i];
        EXPECT_EQ(children[i].className, c.className);
        EXPECT_EQ(children[i].text, c.text);
        EXPECT_EQ(children[i].rect.left, c.x);
        EXPECT_EQ(children[i].rect.top, c.y);
        EXPECT_EQ(children[i].rect.right - children[i].rect.left, c.width);
        EXPECT_EQ(children[i].rect.bottom - children[i].rect.top, c.height);
        EXPECT_EQ(children[i].style, c.style);
        EXPECT_EQ(children[i].exStyle, 0u);
        if (c.handle) {
            EXPECT_EQ(children[i].handle, c.handle);
        }
    }
    // The first start: visible, the defaults, size and tray checked.
    EXPECT_TRUE(Visible(appState.settingsWindow));
    EXPECT_EQ(Checks(), (std::vector<int>{1, 1, 0}));
}

TEST(SettingsWindow, OkTakesEveryBoxSavesAndHides) {
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    const std::string typed[] = {"ftp.vorlune.test", " 2121x", "anna", "s3cret:9", "up/", "img.vorlune.test/i", "pic",
                                 "bk"};
    for (std::size_t i = 0; i < std::size(typed); ++i) sim::TypeText(*BoxHandles[i], typed[i]);
    sim::ClickButton(appState.addSizeCheckBox);      // off
    sim::ClickButton(appState.bestQualityCheckBox);  // on
    ASSERT_TRUE(PressAndWaitHidden(appState.okButton));
    ASSERT_TRUE(sim::WaitUntil([] { return fs::exists("settings.ini"); }));
    EXPECT_EQ(ReadFileBytes("settings.ini"), "ftp.vorlune.test\0 2121x\0anna\0"s + Scrambled("s3cret:9") +
                                                  "\0up/\0img.vorlune.test/i\0pic\0" "0\0" "1\0" "1\0" "bk\0"s);
    EXPECT_TRUE(fs::is_directory("bk")) << "the backup directory is made after saving";
    EXPECT_TRUE(sim::MessageBoxes().empty());
    desk.Exit();
    EXPECT_EQ(appState.settings.port, 2121);
    EXPECT_FALSE(appState.settings.addSizeToLink);
    EXPECT_TRUE(appState.settings.bestQuality);
    EXPECT_EQ(std::string(appState.settings.password), Scrambled("s3cret:9"));
}

TEST(SettingsWindow, OkWithoutChangesRewritesTheSameBytes) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
    ASSERT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
    EXPECT_EQ(sim::Window(appState.boxes.passwordBox).text, "tulipbox") << "the box holds the clear password";
    int opens = sim::CallCount("FileOpen");
    ASSERT_TRUE(PressAndWaitHidden(appState.okButton));
    EXPECT_GT(sim::CallCount("FileOpen"), opens) << "the file was written again";
    EXPECT_EQ(ReadFileBytes("settings.ini"), desk.fileAtStart);
}

TEST(SettingsWindow, CancelRestoresEveryBoxAndCheckBox) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
    ASSERT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
    auto texts = BoxTexts();
    auto checks = Checks();
    for (plat::HWND* box : BoxHandles) sim::TypeText(*box, "changed");
    for (plat::HWND box : {appState.addSizeCheckBox, appState.trayCheckBox, appState.bestQualityCheckBox})
        sim::ClickButton(box);
    ASSERT_NE(Checks(), checks);
    ASSERT_TRUE(PressAndWaitHidden(appState.cancelButton));
    EXPECT_EQ(BoxTexts(), texts);
    EXPECT_EQ(texts[3], "tulipbox");
    EXPECT_EQ(Checks(), checks);
    EXPECT_EQ(ReadFileBytes("settings.ini"), desk.fileAtStart) << "Cancel writes nothing";
    EXPECT_EQ(sim::Tray().deletes, 0) << "nor touches the icon";
}

TEST(SettingsWindow, ABoxOfThreeHundredCharactersGivesItsFirst254) {
    Desk desk({.settingsFile = false});
    ASSERT_TRUE(desk.running);
    const std::string longText(300, 'q');
    sim::TypeText(appState.boxes.linkPrefixBox, longText);
    ASSERT_TRUE(PressAndWaitHidden(appState.okButton));
    ASSERT_TRUE(sim::WaitUntil([] { return fs::exists("settings.ini"); }));
    EXPECT_NE(ReadFileBytes("settings.ini").find("\0"s + std::string(254, 'q') + "\0"s), std::string::npos);
    EXPECT_EQ(sim::Window(appState.boxes.linkPrefixBox).text, longText) << "the box keeps all it holds";
}

// Values settings.ini would not give back as they were: Ok refuses them and
// says which box, the window stays open, nothing is saved or changed.
TEST(SettingsWindow, OkRefusesValuesTheFileCannotCarry) {
    const struct {
        const char* name;
        std::size_t box;
        std::string text;
        std::string message;
    } cases[] = {
        {"a tab in the host", 0, "ftp\t.test", "FTP Host Name contains a tab character, which settings.ini cannot store."},
        {"a tab in the backup directory", 7, "shots\t",
         "Local directory name for image backup contains a tab character, which settings.ini cannot store."},
        // 0x9e is the third key byte: scrambled it would become 0 and cut
        // the password to two bytes.
        {"a password byte equal to its key byte", 3, "ab\x9e" "cd",
         "The FTP password cannot be stored: its character 3 would cut it short in settings.ini."},
        // 0xaa scrambles with the first key byte to 0x09, a separator.
        {"a password that scrambles to a tab", 3, "\xaa" "bc",
         "The FTP password cannot be stored: its character 1 would corrupt settings.ini."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Desk desk;
        ASSERT_TRUE(desk.running);
        sim::PressHotkey(ctrlAlt, plat::VK_OEM_3);
        ASSERT_TRUE(sim::WaitUntil([] { return Visible(appState.settingsWindow); }));
        sim::TypeText(*BoxHandles[c.box], c.text);
        sim::ClickButton(appState.trayCheckBox);  // a change that must not be taken either
        sim::ClickButton(appState.okButton);
        ASSERT_TRUE(sim::WaitUntil([] { return !sim::MessageBoxes().empty(); }));
        auto box = sim::MessageBoxes().front();
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.type, 0x30u);
        EXPECT_EQ(box.text, c.message);
        EXPECT_TRUE(Visible(appState.settingsWindow)) << "the window stays open";
        EXPECT_EQ(ReadFileBytes("settings.ini"), desk.fileAtStart);
        EXPECT_EQ(sim::Tray().deletes, 0);
        EXPECT_EQ(sim::Window(*BoxHandles[c.box]).text, c.text) << "the box keeps the value to be mended";

        // Mended, the same Ok goes through.
        sim::TypeText(*BoxHandles[c.box], "fine");
        ASSERT_TRUE(PressAndWaitHidden(appState.okButton));
        EXPECT_EQ(sim::MessageBoxes().size(), 1u);
        EXPECT_EQ(sim::Tray().deletes, 1);
        desk.Exit();
        EXPECT_FALSE(appState.settings.showTrayIcon);
    }
}

// Accepted although unusual: nothing of these is lost on the way through
// the file.
TEST(SettingsWindow, OkTakesValuesTheFileCarries) {
    Desk desk;
    ASSERT_TRUE(desk.running);
    sim::TypeText(appState.boxes.passwordBox, "tab\there");  // stored scrambled, without a tab
    sim::TypeText(appState.boxes.portBox, "letters");
    sim::TypeText(appState.boxes.hostBox, "");
    ASSERT_TRUE(PressAndWaitHidden(appState.okButton));
    EXPECT_TRUE(sim::MessageBoxes().empty());
    desk.Exit();
    Settings loaded;
    ASSERT_TRUE(LoadSettings(loaded));
    EXPECT_EQ(std::string(loaded.password), Scrambled("tab\there"));
    EXPECT_EQ(std::string(loaded.portText), "letters");
    EXPECT_EQ(loaded.port, 0);
    EXPECT_EQ(std::string(loaded.host), "");
    EXPECT_EQ(std::string(loaded.imagePrefix), "image");
}

}  // namespace
