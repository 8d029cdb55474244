// The simulated desktop's painting. (Filled in with the overlay's painting.)
#include "platform/sim/desktop.h"

using namespace sim::detail;

namespace plat {

HDC BeginPaint(HWND, PAINTSTRUCT* paint) {
    *paint = PAINTSTRUCT{};
    return nullptr;
}
BOOL EndPaint(HWND, const PAINTSTRUCT*) { return 1; }
int GetDeviceCaps(HDC, int) { return 96; }
HFONT CreateFontA(int, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, const char*) {
    return nullptr;
}
COLORREF SetBkColor(HDC, COLORREF) { return 0; }
COLORREF SetTextColor(HDC, COLORREF) { return 0; }
BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
    *rect = {left, top, right, bottom};
    return 1;
}
int FillRect(HDC, const RECT*, HBRUSH) { return 0; }
int DrawTextA(HDC, const char*, int, RECT*, UINT) { return 0; }

}  // namespace plat
