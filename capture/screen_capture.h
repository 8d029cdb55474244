// The screen area under the selection, copied into an off-screen bitmap and
// written as the uncompressed 24-bit BMP file temp.bmp that the encoders read.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern const char* const bitmapFileName;

// What CaptureSelection obtains; owned by the worker until ReleaseScreenCapture.
struct ScreenCapture {
    plat::HWND desktop = nullptr;
    plat::HDC screenDc = nullptr;
    plat::HDC memoryDc = nullptr;
    plat::HBITMAP bitmap = nullptr;
};

// Copies appState.selection from the screen into a screen-compatible bitmap
// selected into a memory DC. The platform calls' results are not examined
// here: a failure surfaces as a false WriteBitmapFile.
ScreenCapture CaptureSelection();
// Writes temp.bmp from the bitmap (24 or 32 bits per pixel); false, with no
// file written, for an empty bitmap, another depth, a failed fetch or a
// buffer that cannot be had, and false when temp.bmp cannot be written whole
// (the cut file is then removed).
bool WriteBitmapFile(plat::HBITMAP bitmap, plat::HDC screenDc);
// Deletes the memory DC, then the bitmap, and gives the screen DC back.
void ReleaseScreenCapture(const ScreenCapture& capture);

// The row length of a 24-bit BMP: 3 bytes a pixel, rounded up to 4 bytes.
std::uint32_t BitmapStride(std::int32_t width);
// The whole temp.bmp for pixels as GetDIBits delivers them (bottom row
// first, rows padded to 4 bytes) at 24 or 32 bits per pixel; false (out left
// empty) for any other depth, an empty size or a file too large for the
// format's 32-bit size fields.
bool BuildBitmapFile(std::int32_t width, std::int32_t height, plat::WORD planes, plat::WORD bitsPerPixel,
                     const unsigned char* pixels, std::vector<unsigned char>& out);
