// The settings window: its 21 controls, Ok and Cancel.
//
// The window and its controls live for the whole run; it is only shown and
// hidden. Ok and Cancel run from the main loop, never inside WindowProc, and
// may run while a capture is under way: they hold settingsLock while they
// rewrite the settings, and the worker takes its copy under the same lock.
#include "settings/settings_window.h"

#include "app/app_state.h"
#include "app/tray_icon.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <mutex>

using namespace plat;

namespace {

constexpr DWORD settingsWindowStyle = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
constexpr DWORD labelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD passwordStyle = editStyle | ES_PASSWORD;
constexpr DWORD buttonStyle = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
constexpr DWORD checkBoxStyle = WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_LEFTTEXT;
// GetWindowTextA's count, the terminator included: at most 254 characters
// of a longer box are taken.
constexpr int boxTextCount = 255;

HWND CreateControl(const char* className, const char* text, DWORD style, int x, int y, int width, int height) {
    return CreateWindowExA(0, className, text, style, x, y, width, height, appState.settingsWindow, nullptr,
                           appState.instance, nullptr);
}

void SetCheck(HWND box, bool on) { SendMessageA(box, BM_SETCHECK, on ? 1 : 0, 0); }
bool Checked(HWND box) { return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The held password in clear, taken from a copy: the held value itself is
// never transformed here, so a password read from a damaged file that does
// not unscramble cleanly is never cut in place.
void ClearPassword(const Settings& settings, char (&clear)[settingsFieldSize]) {
    std::memcpy(clear, settings.password, sizeof clear);
    ScramblePassword(clear);
}

void Wipe(char* buffer, std::size_t size) {
    volatile char* p = buffer;
    for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

// The eight boxes with the field each one feeds, in the order Ok takes them.
struct BoxField {
    HWND SettingsBoxes::*box;
    char (Settings::*field)[settingsFieldSize];
};
constexpr BoxField boxFields[] = {
    {&SettingsBoxes::hostBox, &Settings::host},
    {&SettingsBoxes::portBox, &Settings::portText},
    {&SettingsBoxes::loginBox, &Settings::login},
    {&SettingsBoxes::passwordBox, &Settings::password},
    {&SettingsBoxes::ftpDirectoryBox, &Settings::ftpDirectory},
    {&SettingsBoxes::linkPrefixBox, &Settings::linkPrefix},
    {&SettingsBoxes::imagePrefixBox, &Settings::imagePrefix},
    {&SettingsBoxes::backupDirectoryBox, &Settings::backupDirectory},
};
constexpr std::size_t passwordIndex = 3;

}  // namespace

std::string UnstorableSettingsReason(const SettingsWindowTexts& texts) {
    // settings.ini separates its fields with 0 bytes that are written as
    // tabs and then replaced, so a tab inside a field would shift every
    // later field on the next start.
    const struct {
        const char* name;
        const char* text;
    } plain[] = {
        {"FTP Host Name", texts.host},         {"Port", texts.portText},
        {"FTP Login", texts.login},            {"FTP Directory", texts.ftpDirectory},
        {"Link prefix", texts.linkPrefix},     {"Image file prefix", texts.imagePrefix},
        {"Local directory name for image backup", texts.backupDirectory},
    };
    auto tabIn = [](const char* name, const char* text) -> std::string {
        if (!std::strchr(text, '\t')) return {};
        return std::string(name) + " contains a tab character, which settings.ini cannot store.";
    };
    // Box order, so the first box the user would look at is named.
    for (int i = 0; i < 3; ++i)
        if (auto reason = tabIn(plain[i].name, plain[i].text); !reason.empty()) return reason;

    // The password is stored scrambled: a byte equal to its key byte
    // scrambles to 0 and ends the password there, and one that scrambles to
    // a tab becomes a separator in the file. The position is given, never
    // the character.
    for (std::size_t i = 0; texts.password[i]; ++i) {
        auto clear = static_cast<unsigned char>(texts.password[i]);
        unsigned char key = PasswordKey[i % 8];
        char reason[160];
        if (clear == key) {
            std::snprintf(reason, sizeof reason,
                          "The FTP password cannot be stored: its character %zu would cut it short in settings.ini.",
                          i + 1);
            return reason;
        }
        if ((clear ^ key) == '\t') {
            std::snprintf(reason, sizeof reason,
                          "The FTP password cannot be stored: its character %zu would corrupt settings.ini.", i + 1);
            return reason;
        }
    }

    for (std::size_t i = 3; i < std::size(plain); ++i)
        if (auto reason = tabIn(plain[i].name, plain[i].text); !reason.empty()) return reason;
    return {};
}

void CreateSettingsWindow() {
    int x = appState.screenSize.width / 2 - 200;
    int y = appState.screenSize.height / 2 - 100;
    appState.settingsWindow = CreateWindowExA(WS_EX_APPWINDOW, "VORLUNE", "Vorlune settings", settingsWindowStyle, x,
                                              y, 400, 300, nullptr, nullptr, appState.instance, nullptr);

    Settings settings;
    char password[settingsFieldSize];
    {
        std::lock_guard lock(appState.settingsLock);
        settings = appState.settings;
    }
    ClearPassword(settings, password);

    SettingsBoxes& boxes = appState.boxes;
    CreateControl("STATIC", "FTP Host Name: ", labelStyle, 10, 10, 120, 20);
    boxes.hostBox = CreateControl("EDIT", settings.host, editStyle, 130, 10, 150, 20);
    CreateControl("STATIC", "Port:", labelStyle, 280, 10, 30, 20);
    boxes.portBox = CreateControl("EDIT", settings.portText, editStyle, 310, 10, 40, 20);
    CreateControl("STATIC", "FTP Login: ", labelStyle, 10, 30, 120, 20);
    boxes.loginBox = CreateControl("EDIT", settings.login, editStyle, 130, 30, 100, 20);
    boxes.passwordBox = CreateControl("EDIT", password, passwordStyle, 230, 30, 120, 20);
    CreateControl("STATIC", "FTP Directory: ", labelStyle, 10, 50, 120, 20);
    boxes.ftpDirectoryBox = CreateControl("EDIT", settings.ftpDirectory, editStyle, 130, 50, 220, 20);
    CreateControl("STATIC", "Link prefix: ", labelStyle, 10, 70, 120, 20);
    boxes.linkPrefixBox = CreateControl("EDIT", settings.linkPrefix, editStyle, 130, 70, 220, 20);
    CreateControl("STATIC", "Image file prefix: ", labelStyle, 10, 90, 120, 20);
    boxes.imagePrefixBox = CreateControl("EDIT", settings.imagePrefix, editStyle, 130, 90, 220, 20);
    CreateControl("STATIC", "Local directory name for image backup (optional):", labelStyle, 10, 110, 340, 20);
    boxes.backupDirectoryBox = CreateControl("EDIT", settings.backupDirectory, editStyle, 10, 135, 340, 20);
    appState.okButton = CreateControl("BUTTON", "Ok", buttonStyle, 5, 240, 125, 30);
    appState.cancelButton = CreateControl("BUTTON", "Cancel", buttonStyle, 135, 240, 125, 30);
    appState.exitButton = CreateControl("BUTTON", "Exit", buttonStyle, 265, 240, 125, 30);
    appState.addSizeCheckBox = CreateControl("BUTTON", "Add size to link:", checkBoxStyle, 10, 170, 140, 20);
    appState.trayCheckBox = CreateControl("BUTTON", "Show tray icon:", checkBoxStyle, 10, 190, 140, 20);
    appState.bestQualityCheckBox = CreateControl("BUTTON", "Best quality:", checkBoxStyle, 10, 210, 140, 20);
    Wipe(password, sizeof password);

    // Boxes of switches that are off stay unchecked as created.
    if (settings.addSizeToLink) SetCheck(appState.addSizeCheckBox, true);
    if (settings.showTrayIcon) SetCheck(appState.trayCheckBox, true);
    if (settings.bestQuality) SetCheck(appState.bestQualityCheckBox, true);
}

void ApplySettingsWindow() {
    char texts[std::size(boxFields)][settingsFieldSize] = {};
    for (std::size_t i = 0; i < std::size(boxFields); ++i)
        GetWindowTextA(appState.boxes.*boxFields[i].box, texts[i], boxTextCount);

    std::string refusal = UnstorableSettingsReason(
        {texts[0], texts[1], texts[2], texts[3], texts[4], texts[5], texts[6], texts[7]});
    if (!refusal.empty()) {
        Wipe(texts[passwordIndex], settingsFieldSize);
        // Nothing is taken: the window stays open for the user to change
        // the value, and the settings and the file stay as they were.
        MessageBoxA(nullptr, refusal.c_str(), "Error", MB_OK | MB_ICONEXCLAMATION);
        appState.flags.okPressed = false;
        return;
    }

    bool addSizeToLink = Checked(appState.addSizeCheckBox);
    bool bestQuality = Checked(appState.bestQualityCheckBox);
    bool showTrayIcon = Checked(appState.trayCheckBox);
    bool trayChanged = false;
    {
        std::lock_guard lock(appState.settingsLock);
        Settings& settings = appState.settings;
        for (std::size_t i = 0; i < std::size(boxFields); ++i) CopySettingsField(settings.*boxFields[i].field, texts[i]);
        ScramblePassword(settings.password);
        // Any text is taken; the port is whatever number it starts with.
        settings.port = PortFromText(settings.portText);
        settings.addSizeToLink = addSizeToLink;
        settings.bestQuality = bestQuality;
        trayChanged = settings.showTrayIcon != showTrayIcon;
        settings.showTrayIcon = showTrayIcon;
    }
    Wipe(texts[passwordIndex], settingsFieldSize);

    // An unchanged switch leaves the icon alone, shown or not.
    if (trayChanged) {
        if (showTrayIcon)
            AddTrayIcon();
        else
            RemoveTrayIcon();
    }
    // Only the UI thread writes the settings, so reading them here needs no
    // lock. A failed save shows its own message; the new settings are in
    // effect for this run either way.
    SaveSettings(appState.settings);
    CreateBackupDirectory(appState.settings);
    ShowWindow(appState.settingsWindow, SW_HIDE);
    appState.flags.okPressed = false;
}

void RevertSettingsWindow() {
    Settings settings;
    {
        std::lock_guard lock(appState.settingsLock);
        settings = appState.settings;
    }
    char password[settingsFieldSize];
    ClearPassword(settings, password);
    for (std::size_t i = 0; i < std::size(boxFields); ++i)
        SetWindowTextA(appState.boxes.*boxFields[i].box, i == passwordIndex ? password : settings.*boxFields[i].field);
    Wipe(password, sizeof password);

    SetCheck(appState.addSizeCheckBox, settings.addSizeToLink);
    SetCheck(appState.trayCheckBox, settings.showTrayIcon);
    SetCheck(appState.bestQualityCheckBox, settings.bestQuality);
    ShowWindow(appState.settingsWindow, SW_HIDE);
    appState.flags.cancelPressed = false;
}
