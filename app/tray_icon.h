// The notification-area icon "Vorlune is running". A double-click on it
// shows the settings window (WindowProc); it has no menu.
#pragma once

// Builds the icon's record once, owned by the settings window (which must
// exist), and registers "TaskbarCreated" so WindowProc can put the icon back
// when the shell rebuilds the notification area.
void BuildTrayIcon();
// Adds the icon; logs "Failed to create tray window" when the system refuses.
// Marks iconAdded either way (it is never cleared).
void AddTrayIcon();
// Deletes the icon; the result is ignored and iconAdded stays as it is.
void RemoveTrayIcon();
