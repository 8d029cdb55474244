// The simulated desktop's notification area: one icon at most, as the
// program uses it, recorded for tests in Desktop::tray.
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    if (Injected("Shell_NotifyIconA")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    sim::TrayRecord& tray = d.tray;
    if (message == NIM_ADD) {
        tray.adds++;
        // The shell refuses a second icon of the same window and id.
        if (d.refuseTray || tray.shown) return 0;
        tray.shown = true;
        tray.data = *data;
        return 1;
    }
    if (message == NIM_DELETE) {
        tray.deletes++;
        if (!tray.shown || tray.data.hWnd != data->hWnd || tray.data.uID != data->uID) return 0;
        tray.shown = false;
        return 1;
    }
    return 0;
}

}  // namespace plat
