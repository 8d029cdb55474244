// The notification-area icon: one record, built once and used unchanged for
// every add and delete.
#include "app/tray_icon.h"

#include "app/app_state.h"
#include "app/log.h"

#include <cstring>

using namespace plat;

namespace {
// The size of the record in its form with balloon and identifier fields as
// the 32-bit system lays it out; the platform layer puts in its own size
// for the same form.
constexpr DWORD recordSize = 504;
constexpr UINT iconId = 50;
constexpr UINT callbackMessage = WM_APP + 1;
const char tip[] = "Vorlune is running";
}  // namespace

void BuildTrayIcon() {
    NOTIFYICONDATAA& data = appState.trayIcon.data;
    data = NOTIFYICONDATAA{};
    data.cbSize = recordSize;
    data.hWnd = appState.settingsWindow;
    data.uID = iconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = LoadIconA(nullptr, IDI_INFORMATION);
    static_assert(sizeof tip <= sizeof data.szTip);
    std::memcpy(data.szTip, tip, sizeof tip);
    // Without NIF_INFO and with no balloon text this shows nothing.
    data.dwInfoFlags = NIIF_INFO;
    appState.trayIcon.iconAdded = false;
    appState.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
}

void AddTrayIcon() {
    if (!Shell_NotifyIconA(NIM_ADD, &appState.trayIcon.data)) LogLine("Failed to create tray window\r\n");
    appState.trayIcon.iconAdded = true;
}

void RemoveTrayIcon() { Shell_NotifyIconA(NIM_DELETE, &appState.trayIcon.data); }
