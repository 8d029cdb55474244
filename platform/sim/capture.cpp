// The simulated desktop's screen capture: the desktop's DC reads the screen
// framebuffer, memory DCs hold bitmaps, and GetDIBits lays pixels out as
// Windows does (bottom row first, rows padded to 4 bytes).
#include "platform/sim/desktop.h"

#include <algorithm>
#include <cstring>

using namespace sim::detail;

namespace {

std::uintptr_t Key(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

DcData* FindDc(Desktop& d, plat::HDC dc) {
    auto it = d.dcs.find(Key(dc));
    return it == d.dcs.end() || it->second.released ? nullptr : &it->second;
}

GdiObject* FindBitmap(Desktop& d, plat::HGDIOBJ object) {
    auto it = d.objects.find(Key(object));
    if (it == d.objects.end() || it->second.deleted || it->second.kind != GdiObject::bitmap) return nullptr;
    return &it->second;
}

plat::HDC NewDc(Desktop& d, DcKind kind, plat::HWND window) {
    auto handle = NewHandle();
    DcData dc;
    dc.kind = kind;
    dc.window = window;
    d.dcs[handle] = dc;
    return reinterpret_cast<plat::HDC>(handle);
}

}  // namespace

namespace plat {

HWND GetDesktopWindow() { return HandleOf(desktopWindowId); }

HDC GetDC(HWND window) {
    if (Injected("GetDC")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (window == HandleOf(desktopWindowId)) return NewDc(d, DcKind::screen, window);
    if (!Find(window)) return nullptr;
    return NewDc(d, DcKind::window, window);
}

int ReleaseDC(HWND window, HDC dc) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data || data->kind == DcKind::memory || data->window != window) return 0;
    d.dcs.erase(Key(dc));
    return 1;
}

HDC CreateCompatibleDC(HDC dc) {
    if (Injected("CreateCompatibleDC")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    if (dc && !FindDc(d, dc)) return nullptr;
    return NewDc(d, DcKind::memory, nullptr);
}

BOOL DeleteDC(HDC dc) {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data || data->kind != DcKind::memory) return 0;
    // Its bitmap is no longer selected anywhere and may now be deleted.
    d.dcs.erase(Key(dc));
    return 1;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    if (Injected("CreateCompatibleBitmap")) return nullptr;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* data = FindDc(d, dc);
    if (!data || width < 0 || height < 0) return nullptr;
    GdiObject bitmap;
    bitmap.kind = GdiObject::bitmap;
    if (width == 0 || height == 0) {
        // As Windows does: an empty size gives a 1 x 1 monochrome bitmap.
        bitmap.width = bitmap.height = 1;
        bitmap.bitsPerPixel = 1;
    } else {
        bitmap.width = width;
        bitmap.height = height;
        // A memory DC's own depth is that of the bitmap selected into it,
        // monochrome until one is; the screen's is the display's.
        int bits = d.screenBits;
        if (data->kind == DcKind::memory) {
            auto* selected = FindBitmap(d, data->bitmap);
            bits = selected ? selected->bitsPerPixel : 1;
        }
        bitmap.bitsPerPixel = bits;
    }
    bitmap.pixels.assign(static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height), 0);
    auto handle = NewHandle();
    d.objects[handle] = std::move(bitmap);
    return reinterpret_cast<HBITMAP>(handle);
}

BOOL BitBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    if (Injected("BitBlt")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* to = FindDc(d, destination);
    auto* from = FindDc(d, source);
    if (!to || !from || rop != SRCCOPY || to->kind != DcKind::memory || from->kind != DcKind::screen) return 0;
    auto* bitmap = FindBitmap(d, to->bitmap);
    if (!bitmap) return 0;
    // Row by row, the part inside the bitmap; off the screen there is
    // nothing to read: black.
    for (int row = 0; row < height; ++row) {
        const int ty = y + row;
        const int sy = sourceY + row;
        if (ty < 0 || ty >= bitmap->height) continue;
        const int first = std::max(0, -x);
        const int last = std::min(width, bitmap->width - x);
        std::uint32_t* rowPixels = &bitmap->pixels[static_cast<std::size_t>(ty) * static_cast<std::size_t>(bitmap->width)];
        for (int column = first; column < last; ++column) {
            const int sx = sourceX + column;
            rowPixels[x + column] = sx >= 0 && sy >= 0 && sx < d.screenWidth && sy < d.screenHeight
                                 ? d.screen[static_cast<std::size_t>(sy) * static_cast<std::size_t>(d.screenWidth) +
                                            static_cast<std::size_t>(sx)]
                                 : 0;
        }
    }
    return 1;
}

int GetObjectA(HGDIOBJ object, int size, void* description) {
    if (Injected("GetObjectA")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* bitmap = FindBitmap(d, object);
    // Windows refuses a buffer smaller than the record (24 bytes on a 64-bit
    // build, where the record is 32).
    if (!bitmap || !description || size < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = bitmap->width;
    info.bmHeight = bitmap->height;
    info.bmWidthBytes = (bitmap->width * bitmap->bitsPerPixel + 15) / 16 * 2;
    info.bmPlanes = 1;
    info.bmBitsPixel = static_cast<WORD>(bitmap->bitsPerPixel);
    info.bmBits = nullptr;
    std::memcpy(description, &info, sizeof info);
    return static_cast<int>(sizeof info);
}

int GetDIBits(HDC dc, HBITMAP bitmap, UINT firstRow, UINT rows, void* bits, BITMAPINFOHEADER* header,
              UINT usage) {
    if (Injected("GetDIBits")) return 0;
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    auto* source = FindBitmap(d, bitmap);
    if (!FindDc(d, dc) || !source || !header || header->biSize < sizeof(BITMAPINFOHEADER) ||
        usage != DIB_RGB_COLORS || header->biCompression != BI_RGB ||
        (header->biBitCount != 24 && header->biBitCount != 32) || header->biPlanes != 1)
        return 0;
    const int bytesPerPixel = header->biBitCount / 8;
    const std::size_t stride =
        ((static_cast<std::size_t>(source->width) * header->biBitCount + 31) & ~std::size_t{31}) / 8;
    if (!bits) {
        header->biWidth = source->width;
        header->biHeight = source->height;
        header->biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(source->height));
        return 1;
    }
    if (firstRow >= static_cast<UINT>(source->height)) return 0;
    const UINT count = std::min(rows, static_cast<UINT>(source->height) - firstRow);
    // A negative height asks for the top row first.
    const bool topDown = header->biHeight < 0;
    auto* out = static_cast<unsigned char*>(bits);
    for (UINT i = 0; i < count; ++i) {
        const UINT dibRow = firstRow + i;
        const int y = topDown ? static_cast<int>(dibRow) : source->height - 1 - static_cast<int>(dibRow);
        const std::uint32_t* from = &source->pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(source->width)];
        unsigned char* to = out + static_cast<std::size_t>(i) * stride;
        for (int x = 0; x < source->width; ++x) {
            const std::uint32_t rgb = from[x];
            to[0] = static_cast<unsigned char>(rgb);        // blue
            to[1] = static_cast<unsigned char>(rgb >> 8);   // green
            to[2] = static_cast<unsigned char>(rgb >> 16);  // red
            if (bytesPerPixel == 4) to[3] = 0;
            to += bytesPerPixel;
        }
        std::memset(to, 0, stride - static_cast<std::size_t>(source->width) * static_cast<std::size_t>(bytesPerPixel));
    }
    return static_cast<int>(count);
}

}  // namespace plat

namespace sim {

GdiInUse LiveGdiResources() {
    auto& d = TheDesktop();
    std::lock_guard lock(d.mutex);
    GdiInUse counts;
    for (auto& [handle, dc] : d.dcs)
        if (!dc.released && (dc.kind == DcKind::screen || dc.kind == DcKind::memory)) counts.captureDcs++;
    for (auto& [handle, object] : d.objects)
        if (object.kind == GdiObject::bitmap && !object.deleted) counts.bitmaps++;
    return counts;
}

}  // namespace sim
