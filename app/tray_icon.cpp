// Placeholder until the tray icon is built.
#include "app/tray_icon.h"

#include "app/app_state.h"

void BuildTrayIcon() { appState.trayIcon = TrayIcon{}; }
void AddTrayIcon() { appState.trayIcon.iconAdded = true; }
void RemoveTrayIcon() {}
