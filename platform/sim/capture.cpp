// The simulated desktop's screen capture. (Filled in with the capture pipeline.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

HWND GetDesktopWindow() { return HandleOf(desktopWindowId); }
HDC GetDC(HWND) { return nullptr; }
int ReleaseDC(HWND, HDC) { return 0; }
HDC CreateCompatibleDC(HDC) { return nullptr; }
BOOL DeleteDC(HDC) { return 0; }
HBITMAP CreateCompatibleBitmap(HDC, int, int) { return nullptr; }
BOOL BitBlt(HDC, int, int, int, int, HDC, int, int, DWORD) { return 0; }
int GetObjectA(HGDIOBJ, int, void*) { return 0; }
int GetDIBits(HDC, HBITMAP, UINT, UINT, void*, BITMAPINFOHEADER*, UINT) { return 0; }

}  // namespace plat
