// The settings window "Vorlune settings": eight edit boxes, three check boxes
// and the buttons Ok, Cancel and Exit.
#pragma once

// Creates the hidden window and its controls from appState.settings.
void CreateSettingsWindow();
// Ok: takes the boxes into the settings, saves them and hides the window.
void ApplySettingsWindow();
// Cancel: puts the settings back into the boxes and hides the window.
void RevertSettingsWindow();
