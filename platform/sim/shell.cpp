// The simulated desktop's clipboard and global memory. (Filled in with the link.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

BOOL OpenClipboard(HWND) { return 0; }
BOOL EmptyClipboard() { return 0; }
HANDLE SetClipboardData(UINT, HGLOBAL) { return nullptr; }
BOOL CloseClipboard() { return 0; }
HGLOBAL GlobalAlloc(UINT, std::size_t) { return nullptr; }
void* GlobalLock(HGLOBAL) { return nullptr; }
BOOL GlobalUnlock(HGLOBAL) { return 0; }
HGLOBAL GlobalFree(HGLOBAL memory) { return memory; }

}  // namespace plat
