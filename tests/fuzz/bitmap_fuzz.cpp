// The size arithmetic of temp.bmp for any description a bitmap may report:
// width and height (signed 32-bit), planes and bits per pixel (16-bit each).
// Sizes are worked out here in 128-bit arithmetic; a description whose file
// cannot describe itself in 32-bit size fields must be refused, and every
// file that is built must have exactly the size, headers and rows the
// fetched pixels give.
#include "capture/screen_capture.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Wide = unsigned __int128;

// Images larger than this are not built here, only judged writable or not:
// building them would only measure the allocator.
constexpr Wide buildLimit = 4u << 20;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "bitmap fuzz: %s\n", what);
    std::abort();
}

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto width = Take<std::int32_t>(data, size);
    const auto height = Take<std::int32_t>(data, size);
    const auto planes = Take<std::uint16_t>(data, size);
    const auto bitsPerPixel = Take<std::uint16_t>(data, size);

    const Wide depth = Wide{planes} * bitsPerPixel;
    const bool sized = width > 0 && height > 0;
    const Wide stride = width > 0 ? (Wide(width) * 3 + 3) / 4 * 4 : 0;
    const Wide sourceStride = width > 0 ? (Wide(width) * depth + 31) / 32 * 4 : 0;
    const Wide fileSize = 54 + stride * Wide(sized ? height : 0);
    const bool writable = (depth == 24 || depth == 32) && sized && fileSize <= 0x7FFFFFFF;

    // The stride is 32 bits wide like the header's fields; only a width
    // whose row fits there has one.
    if (width > 0 && stride <= 0xFFFFFFFFu && Wide(BitmapStride(width)) != stride)
        Fail("BitmapStride is not 3 bytes a pixel rounded to 4");

    // Pixels the fuzzer chose, repeated; a refused description gets a buffer
    // of one byte, which a file built anyway would read past.
    const Wide fetched = writable ? sourceStride * Wide(height) : 0;
    if (writable && fetched > buildLimit) return 0;
    std::vector<unsigned char> pixels(writable ? static_cast<std::size_t>(fetched) : 1);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = size ? data[i % size] : static_cast<unsigned char>(i * 7);

    std::vector<unsigned char> file{1, 2, 3};
    const bool built = BuildBitmapFile(width, height, planes, bitsPerPixel, pixels.data(), file);
    if (!writable) {
        if (built) Fail("a description that cannot become a file was built");
        if (!file.empty()) Fail("a refused file left bytes behind");
        return 0;
    }
    if (!built) Fail("a writable description was refused");
    if (Wide(file.size()) != fileSize) Fail("file size");
    if (file[0] != 'B' || file[1] != 'M') Fail("signature");
    if (Wide(U32(file, 2)) != fileSize) Fail("file size field");
    if (U32(file, 10) != 54 || U32(file, 14) != 40) Fail("offsets");
    if (U32(file, 18) != static_cast<std::uint32_t>(width) || U32(file, 22) != static_cast<std::uint32_t>(height))
        Fail("dimensions");
    if ((file[28] | file[29] << 8) != 24) Fail("depth field");
    if (Wide(U32(file, 34)) != fileSize - 54) Fail("image size field");

    // Each row: blue, green, red of each fetched pixel, bottom row first; a
    // 32-bit source loses its fourth byte and gets zero padding, a 24-bit one
    // goes out as fetched.
    const auto w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const auto bytesPerPixel = static_cast<std::size_t>(depth / 8);
    for (std::size_t row = 0; row < h; ++row) {
        const unsigned char* from = pixels.data() + row * static_cast<std::size_t>(sourceStride);
        const unsigned char* to = file.data() + 54 + row * static_cast<std::size_t>(stride);
        if (bytesPerPixel == 3) {
            if (std::memcmp(from, to, static_cast<std::size_t>(stride)) != 0) Fail("24-bit row changed");
            continue;
        }
        for (std::size_t x = 0; x < w; ++x)
            if (std::memcmp(from + 4 * x, to + 3 * x, 3) != 0) Fail("32-bit pixel");
        for (std::size_t pad = 3 * w; pad < static_cast<std::size_t>(stride); ++pad)
            if (to[pad] != 0) Fail("padding not zero");
    }
    return 0;
}
