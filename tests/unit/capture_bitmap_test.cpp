// The temp.bmp bytes from pixels as GetDIBits delivers them: header fields,
// row padding, bottom row first, blue first, from 24- and 32-bit sources.
#include "capture/screen_capture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// A pixel whose three bytes tell its place: blue = x, green = row counted
// from the bottom, red = 0xA0 + bytes per pixel of the source.
struct Fetched {
    std::vector<unsigned char> bytes;
};
Fetched Fetch(int width, int height, int bitsPerPixel) {
    const int bytesPerPixel = bitsPerPixel / 8;
    const std::size_t stride = (static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32 * 4;
    Fetched f;
    // Stray values in every padding byte and unused fourth byte: none may
    // reach the file as pixel data.
    f.bytes.assign(stride * static_cast<std::size_t>(height), 0xEE);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &f.bytes[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(x * bytesPerPixel)];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(row);
            p[2] = static_cast<unsigned char>(0xA0 + bytesPerPixel);
        }
    return f;
}

TEST(BitmapFile, HeaderAndRowsForEachWidthAndSourceDepth) {
    struct Case {
        int width, height;
        std::uint32_t stride, padding, fileSize;
    };
    const Case cases[] = {
        {1, 1, 4, 1, 58},       {2, 1, 8, 2, 62},      {3, 2, 12, 3, 78},
        {4, 3, 12, 0, 90},      {5, 1, 16, 1, 70},     {100, 50, 300, 0, 15054},
    };
    for (int bits : {24, 32}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " from " << bits << " bits");
            Fetched source = Fetch(c.width, c.height, bits);
            std::vector<unsigned char> file;
            ASSERT_TRUE(BuildBitmapFile(c.width, c.height, 1, static_cast<plat::WORD>(bits), source.bytes.data(), file));
            EXPECT_EQ(BitmapStride(c.width), c.stride);
            ASSERT_EQ(file.size(), c.fileSize);
            EXPECT_EQ(file[0], 'B');
            EXPECT_EQ(file[1], 'M');
            EXPECT_EQ(U32(file, 2), c.fileSize);
            EXPECT_EQ(U32(file, 6), 0u);
            EXPECT_EQ(U32(file, 10), 54u);
            EXPECT_EQ(U32(file, 14), 40u);
            EXPECT_EQ(U32(file, 18), static_cast<std::uint32_t>(c.width));
            EXPECT_EQ(U32(file, 22), static_cast<std::uint32_t>(c.height));
            EXPECT_EQ(U16(file, 26), 1);
            EXPECT_EQ(U16(file, 28), 24);
            EXPECT_EQ(U32(file, 30), 0u);
            EXPECT_EQ(U32(file, 34), c.stride * static_cast<std::uint32_t>(c.height));
            for (std::size_t at = 38; at < 54; at += 4) EXPECT_EQ(U32(file, at), 0u) << at;
            for (int row = 0; row < c.height; ++row) {
                const std::size_t start = 54 + static_cast<std::size_t>(row) * c.stride;
                for (int x = 0; x < c.width; ++x) {
                    const std::size_t p = start + static_cast<std::size_t>(x) * 3;
                    ASSERT_EQ(file[p], x) << "blue first, row " << row;
                    ASSERT_EQ(file[p + 1], row) << "rows in fetched order, bottom first";
                    ASSERT_EQ(file[p + 2], 0xA0 + bits / 8);
                }
                if (bits == 24) continue;  // a 24-bit row goes out as fetched, padding included
                for (std::uint32_t i = 0; i < c.padding; ++i)
                    EXPECT_EQ(file[start + static_cast<std::size_t>(c.width) * 3 + i], 0) << "padding of row " << row;
            }
        }
    }
}

TEST(BitmapFile, AFetched24BitBufferIsCopiedUnchanged) {
    Fetched source = Fetch(5, 3, 24);
    std::vector<unsigned char> file;
    ASSERT_TRUE(BuildBitmapFile(5, 3, 1, 24, source.bytes.data(), file));
    EXPECT_EQ(std::vector<unsigned char>(file.begin() + 54, file.end()), source.bytes);
}

TEST(BitmapFile, OtherDepthsAndEmptySizesGiveNoFile) {
    struct Case {
        int width, height;
        plat::WORD planes, bits;
    };
    const Case cases[] = {{4, 4, 1, 16}, {4, 4, 1, 8}, {4, 4, 1, 1}, {0, 4, 1, 32}, {4, 0, 1, 24}, {-3, 4, 1, 32},
                          // planes times bits beyond an int: refused, not overflowed
                          {4, 4, 0xCE00, 0xCECE}, {4, 4, 0xFFFF, 0xFFFF}};
    std::vector<unsigned char> pixels(256, 0);
    for (const Case& c : cases) {
        std::vector<unsigned char> file{1, 2, 3};
        EXPECT_FALSE(BuildBitmapFile(c.width, c.height, c.planes, c.bits, pixels.data(), file))
            << c.width << "x" << c.height << " at " << c.bits;
        EXPECT_TRUE(file.empty());
    }
}

}  // namespace
