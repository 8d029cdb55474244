#include "capture/screen_capture.h"

#include "app/app_state.h"

#include <cstring>
#include <memory>
#include <new>

using namespace plat;

const char* const bitmapFileName = "temp.bmp";

namespace {

constexpr std::uint32_t fileHeaderSize = 14;
constexpr std::uint32_t infoHeaderSize = 40;
constexpr std::uint32_t pixelDataOffset = fileHeaderSize + infoHeaderSize;

unsigned char* Put16(unsigned char* p, std::uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    return p + 2;
}

unsigned char* Put32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
    return p + 4;
}

// The row length of a DIB at the depth, rounded up to 4 bytes, as the
// fetched rows are laid out.
std::size_t SourceStride(std::int32_t width, int depth) {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 31) & ~std::size_t{31}) / 8;
}

// The source depth, bits per pixel times planes. Both are 16-bit, so their
// product need not fit an int; anything above 32 bits is refused anyway and
// is given as 0.
int SourceDepth(WORD planes, WORD bitsPerPixel) {
    const std::uint32_t depth = std::uint32_t{planes} * std::uint32_t{bitsPerPixel};
    return depth > 32 ? 0 : static_cast<int>(depth);
}

}  // namespace

std::uint32_t BitmapStride(std::int32_t width) {
    return static_cast<std::uint32_t>(SourceStride(width, 24));
}

namespace {

// The 54 header bytes of a file of the size; the caller has checked the size.
void PutHeaders(std::int32_t width, std::int32_t height, WORD planes, unsigned char* p) {
    const std::uint32_t dataSize = BitmapStride(width) * static_cast<std::uint32_t>(height);
    *p++ = 'B';
    *p++ = 'M';
    p = Put32(p, pixelDataOffset + dataSize);
    p = Put16(p, 0);
    p = Put16(p, 0);
    p = Put32(p, pixelDataOffset);
    p = Put32(p, infoHeaderSize);
    p = Put32(p, static_cast<std::uint32_t>(width));
    // A positive height: the rows are stored bottom-up, as fetched.
    p = Put32(p, static_cast<std::uint32_t>(height));
    p = Put16(p, planes);
    p = Put16(p, 24);
    p = Put32(p, BI_RGB);
    p = Put32(p, dataSize);
    for (int i = 0; i < 4; ++i) p = Put32(p, 0);  // resolutions, colours used, important colours
}

// Whether a bitmap of this size and depth can become a file at all.
bool Writable(std::int32_t width, std::int32_t height, int depth) {
    if ((depth != 24 && depth != 32) || width <= 0 || height <= 0) return false;
    // The size fields are 32 bits wide; a larger file could not describe itself.
    return SourceStride(width, 24) * static_cast<std::size_t>(height) <= 0x7FFFFFFFu - pixelDataOffset;
}

// Turns fetched rows into the file's rows in place. 24-bit rows already are;
// 32-bit ones keep blue, green and red of each pixel, drop the unused fourth
// byte and are padded with zeros to the 24-bit stride. A file row is never
// longer than its fetched row, so moving forward never overwrites unread
// bytes.
void PackRows(std::int32_t width, std::int32_t height, int depth, unsigned char* pixels) {
    if (depth == 24) return;
    const std::size_t stride = SourceStride(width, 24);
    const std::size_t sourceStride = SourceStride(width, 32);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (std::int32_t row = 0; row < height; ++row) {
        const unsigned char* from = pixels + static_cast<std::size_t>(row) * sourceStride;
        unsigned char* to = pixels + static_cast<std::size_t>(row) * stride;
        for (std::int32_t x = 0; x < width; ++x) {
            const unsigned char blue = from[0], green = from[1], red = from[2];
            to[0] = blue;
            to[1] = green;
            to[2] = red;
            to += 3;
            from += 4;
        }
        std::memset(to, 0, stride - rowBytes);
    }
}

}  // namespace

bool BuildBitmapFile(std::int32_t width, std::int32_t height, WORD planes, WORD bitsPerPixel,
                     const unsigned char* pixels, std::vector<unsigned char>& out) {
    out.clear();
    const int depth = SourceDepth(planes, bitsPerPixel);
    if (!Writable(width, height, depth)) return false;
    const std::size_t fetched = SourceStride(width, depth) * static_cast<std::size_t>(height);
    out.resize(pixelDataOffset + fetched);
    PutHeaders(width, height, planes, out.data());
    std::memcpy(out.data() + pixelDataOffset, pixels, fetched);
    PackRows(width, height, depth, out.data() + pixelDataOffset);
    out.resize(pixelDataOffset + BitmapStride(width) * static_cast<std::size_t>(height));
    return true;
}

ScreenCapture CaptureSelection() {
    const SelectionRect s = appState.selection;
    const int width = s.right - s.left;
    const int height = s.bottom - s.top;
    ScreenCapture capture;
    capture.desktop = GetDesktopWindow();
    capture.screenDc = GetDC(capture.desktop);
    capture.memoryDc = CreateCompatibleDC(capture.screenDc);
    capture.bitmap = CreateCompatibleBitmap(capture.screenDc, width, height);
    SelectObject(capture.memoryDc, capture.bitmap);
    BitBlt(capture.memoryDc, 0, 0, width, height, capture.screenDc, s.left, s.top, SRCCOPY);
    return capture;
}

bool WriteBitmapFile(HBITMAP bitmap, HDC screenDc) {
    // The description record's own size: 32 bytes on 64-bit Windows, where
    // a 24-byte buffer makes GetObjectA fail.
    BITMAP description{};
    if (GetObjectA(bitmap, static_cast<int>(sizeof description), &description) == 0) return false;
    const int depth = SourceDepth(description.bmPlanes, description.bmBitsPixel);
    if (depth != 24 && depth != 32) return false;
    // A click without a drag gives an empty selection: there is nothing to
    // encode, and an older temp.bmp must not be published in its place.
    if (!Writable(description.bmWidth, description.bmHeight, depth)) return false;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = description.bmWidth;
    header.biHeight = description.bmHeight;
    header.biPlanes = description.bmPlanes;
    header.biBitCount = description.bmBitsPixel;
    header.biCompression = BI_RGB;
    header.biSizeImage =
        static_cast<DWORD>(SourceStride(description.bmWidth, depth) * static_cast<std::size_t>(description.bmHeight));

    // Large enough for either layout: a padded 24-bit row never exceeds 4
    // bytes a pixel.
    const std::size_t bufferSize =
        static_cast<std::size_t>(description.bmWidth) * static_cast<std::size_t>(description.bmHeight) * 4;
    std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[bufferSize]);
    if (!pixels) return false;
    if (GetDIBits(screenDc, bitmap, 0, static_cast<UINT>(description.bmHeight), pixels.get(), &header,
                  DIB_RGB_COLORS) == 0)
        return false;

    // The rows are packed where they were fetched, then written with the
    // headers in two calls: the same bytes as pixel by pixel, at a fraction
    // of the calls and without a second copy of the image.
    const std::int32_t width = description.bmWidth, height = description.bmHeight;
    PackRows(width, height, depth, pixels.get());
    unsigned char headers[pixelDataOffset];
    PutHeaders(width, height, description.bmPlanes, headers);
    const std::size_t dataSize = BitmapStride(width) * static_cast<std::size_t>(height);

    FileStream* out = FileOpen(bitmapFileName, "wb");
    if (!out) return false;
    const bool written = FileWrite(headers, 1, sizeof headers, out) == sizeof headers &&
                         FileWrite(pixels.get(), 1, dataSize, out) == dataSize;
    const bool closed = FileClose(out) == 0;
    // "wb" has already emptied the earlier file; a cut one is no use to
    // anybody and must not be taken for a capture.
    if (!(written && closed)) DeleteFileA(bitmapFileName);
    return written && closed;
}

void ReleaseScreenCapture(const ScreenCapture& capture) {
    // The DC goes first, so the bitmap is no longer selected when deleted.
    DeleteDC(capture.memoryDc);
    DeleteObject(capture.bitmap);
    ReleaseDC(capture.desktop, capture.screenDc);
}
