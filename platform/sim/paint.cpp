// The simulated desktop's painting: paint device contexts, fonts, colours,
// and a record of every fill and text drawn into a window, which tests read
// with sim::DrawOps and sim::PaintedPixel.
#include "platform/sim/desktop.h"

#include <cstring>

using namespace sim::detail;

namespace plat {

namespace {

DcData* FindDc(Desktop& d, HDC dc) {
    auto it = d.dcs.find(reinterpret_cast<std::uintptr_t>(dc));
    return it == d.dcs.end() ? nullptr : &it->second;
}

GdiObject* FindObject(Desktop& d, HGDIOBJ object) {
    auto it = d.objects.find(reinterpret_cast<std::uintptr_t>(object));
    return it == d.objects.end() || it->second.deleted ? nullptr : &it->second;
}

// A draw into a window's device context, with the client area it is
// clipped to and whether the window's own thread drew it. Needs the lock.
bool StartDraw(Desktop& d, const DcData& dc, sim::DrawOp& op) {
    if (dc.kind != DcKind::paint && dc.kind != DcKind::window) return false;
    auto* w = Find(dc.window);
    if (!w || w->destroyed) return false;
    op.window = dc.window;
    op.fromOwnerThread = std::this_thread::get_id() == w->owner;
    op.clip = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    (void)d;
    return true;
}

}  // namespace

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    *paint = PAINTSTRUCT{};
    auto* w = Find(window);
    if (!w || w->destroyed) return nullptr;
    // Painting validates the window: no further WM_PAINT until something
    // invalidates it again.
    w->invalid = false;
    DcData dc;
    dc.kind = DcKind::paint;
    dc.window = window;
    dc.painter = std::this_thread::get_id();
    auto handle = NewHandle();
    d.dcs[handle] = dc;
    d.events.push_back({sim::WindowEvent::paint, window, w->rect, 0});
    paint->hdc = reinterpret_cast<HDC>(handle);
    paint->rcPaint = {0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
    return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    // The paint device context is gone afterwards; drawing into it does nothing.
    return d.dcs.erase(reinterpret_cast<std::uintptr_t>(paint->hdc)) ? 1 : 0;
}

int GetDeviceCaps(HDC dc, int index) {
    constexpr int LOGPIXELSX = 88;
    constexpr int BITSPIXEL = 12;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (!FindDc(d, dc)) return 0;
    if (index == LOGPIXELSY || index == LOGPIXELSX) return d.dpi;
    if (index == BITSPIXEL) return d.screenBits;
    return 0;
}

HFONT CreateFontA(int height, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  const char* face) {
    if (Injected("CreateFontA")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    GdiObject font;
    font.kind = GdiObject::font;
    font.fontHeight = height;
    font.fontFace = face ? face : "";
    auto handle = NewHandle();
    d.objects[handle] = font;
    return reinterpret_cast<HFONT>(handle);
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data) return 0xFFFFFFFFu;  // CLR_INVALID
    COLORREF previous = data->background;
    data->background = colour;
    return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data) return 0xFFFFFFFFu;
    COLORREF previous = data->textColour;
    data->textColour = colour;
    return previous;
}

BOOL SetRect(RECT* rect, int left, int top, int right, int bottom) {
    *rect = {left, top, right, bottom};
    return 1;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    auto* object = FindObject(d, brush);
    if (!data || !object || object->kind != GdiObject::brush) return 0;
    // An empty rectangle fills nothing, and so leaves nothing in the record.
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    sim::DrawOp op{};
    if (!StartDraw(d, *data, op)) return 0;
    op.kind = sim::DrawOp::fill;
    op.rect = *rect;
    op.colour = object->colour;
    d.draws.push_back(op);
    return 1;
}

int DrawTextA(HDC dc, const char* text, int length, RECT* rect, UINT) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data || !text) return 0;
    sim::DrawOp op{};
    if (!StartDraw(d, *data, op)) return 0;
    op.kind = sim::DrawOp::drawText;
    op.rect = *rect;
    op.colour = data->textColour;
    op.background = data->background;
    if (auto* font = FindObject(d, data->font)) {
        op.fontHeight = font->fontHeight;
        op.fontFace = font->fontFace;
    }
    op.text = length < 0 ? std::string(text) : std::string(text, static_cast<std::size_t>(length));
    d.draws.push_back(op);
    // The height of one line, as DrawTextA reports it.
    return op.fontHeight < 0 ? -op.fontHeight : (op.fontHeight ? op.fontHeight : 16);
}

}  // namespace plat
