// The notification-area icon "Vorlune is running".
#pragma once

// Builds the icon's record, owned by the settings window.
void BuildTrayIcon();
// Adds the icon; logs "Failed to create tray window" when refused. Marks iconAdded.
void AddTrayIcon();
// Deletes the icon; the result is ignored.
void RemoveTrayIcon();
