// The settings window "Vorlune settings": eight edit boxes, three check boxes
// and the buttons Ok, Cancel and Exit. The buttons only set request flags
// (WindowProc); the main loop runs Ok and Cancel below.
#pragma once

#include <string>

// Creates the hidden window and its 21 controls from appState.settings, the
// password box holding the clear password, and sets the check boxes.
void CreateSettingsWindow();
// Ok: takes the boxes and check boxes into the settings, adds or removes the
// tray icon when its switch changed, saves settings.ini, creates the backup
// directory and hides the window. A value settings.ini could not give back
// unchanged (a tab in a text box; a password that scrambling would cut or
// that would scramble to a tab) is refused with a message box naming the
// box: the window stays open and neither the settings nor the file change.
// Clears okPressed either way.
void ApplySettingsWindow();
// Cancel: puts the settings back into every box and check box and hides the
// window. Clears cancelPressed.
void RevertSettingsWindow();

// The texts of the eight boxes, the password in clear as its box holds it.
struct SettingsWindowTexts {
    const char* host;
    const char* portText;
    const char* login;
    const char* password;
    const char* ftpDirectory;
    const char* linkPrefix;
    const char* imagePrefix;
    const char* backupDirectory;
};
// Why Ok must refuse these texts, naming the first box whose value
// settings.ini cannot carry back; empty when every value can be stored.
std::string UnstorableSettingsReason(const SettingsWindowTexts& texts);
