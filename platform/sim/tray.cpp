// The simulated desktop's notification area. (Filled in with the tray icon.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

BOOL Shell_NotifyIconA(DWORD, NOTIFYICONDATAA*) { return 0; }

}  // namespace plat
