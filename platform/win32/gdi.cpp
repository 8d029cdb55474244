// The Win32 layer's painting and screen capture: gdi32 and the painting
// calls of user32.
#include "platform/win32/win32.h"

#include <vector>

using namespace plat::win;

namespace plat {

// ===========================================================================
// Painting
// ===========================================================================
namespace {
// EndPaint needs the system's whole record back (its reserved fields
// included), so each paint's record is kept here until then. Painting runs
// on the window's own thread, so one small list per thread is enough.
struct OpenPaint {
    ::HWND window;
    ::PAINTSTRUCT record;
};
thread_local std::vector<OpenPaint> openPaints;
}  // namespace

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    ::PAINTSTRUCT system{};
    ::HDC dc = ::BeginPaint(W(window), &system);
    paint->hdc = P(dc);
    paint->fErase = system.fErase;
    paint->rcPaint = {system.rcPaint.left, system.rcPaint.top, system.rcPaint.right, system.rcPaint.bottom};
    if (dc) openPaints.push_back({W(window), system});
    return P(dc);
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    for (auto it = openPaints.begin(); it != openPaints.end(); ++it) {
        if (it->window != W(window) || it->record.hdc != D(paint->hdc)) continue;
        ::PAINTSTRUCT system = it->record;
        openPaints.erase(it);
        return ::EndPaint(W(window), &system);
    }
    return 0;
}

int GetDeviceCaps(HDC dc, int index) { return ::GetDeviceCaps(D(dc), index); }

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char* face) {
    return PG(::CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                           outPrecision, clipPrecision, quality, pitchAndFamily, face));
}

HBRUSH CreateSolidBrush(COLORREF colour) { return PG(::CreateSolidBrush(colour)); }
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) { return PG(::SelectObject(D(dc), G(object))); }
BOOL DeleteObject(HGDIOBJ object) { return ::DeleteObject(G(object)); }
COLORREF SetBkColor(HDC dc, COLORREF colour) { return ::SetBkColor(D(dc), colour); }
COLORREF SetTextColor(HDC dc, COLORREF colour) { return ::SetTextColor(D(dc), colour); }

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
    return ::SetRect(reinterpret_cast<::RECT*>(rect), left, top, right, bottom);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    return ::FillRect(D(dc), reinterpret_cast<const ::RECT*>(rect), As<::HBRUSH>(brush));
}

int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT format) {
    return ::DrawTextA(D(dc), text, length, reinterpret_cast<::RECT*>(rect), format);
}

// ===========================================================================
// Screen capture
// ===========================================================================
HWND GetDesktopWindow() { return P(::GetDesktopWindow()); }
HDC GetDC(HWND window) { return P(::GetDC(W(window))); }
int ReleaseDC(HWND window, HDC dc) { return ::ReleaseDC(W(window), D(dc)); }
HDC CreateCompatibleDC(HDC dc) { return P(::CreateCompatibleDC(D(dc))); }
BOOL DeleteDC(HDC dc) { return ::DeleteDC(D(dc)); }

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    return PG(reinterpret_cast<::HGDIOBJ>(::CreateCompatibleBitmap(D(dc), width, height)));
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    return ::BitBlt(D(destination), x, y, width, height, D(source), sourceX, sourceY, rop);
}

int GetObjectA(HGDIOBJ object, int size, void* description) {
    static_assert(sizeof(BITMAP) == sizeof(::BITMAP));
    return ::GetObjectA(G(object), size, description);
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT firstRow, UINT rows, void* bits, BITMAPINFOHEADER* header,
              UINT usage) {
    return ::GetDIBits(D(dc), As<::HBITMAP>(bitmap), firstRow, rows, bits, reinterpret_cast<::BITMAPINFO*>(header),
                       usage);
}

}  // namespace plat
