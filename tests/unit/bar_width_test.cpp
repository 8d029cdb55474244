// The bar's width for each stage: a fraction of the screen width, truncated.
// The tenths come as single-precision values widened to double, each a hair
// above its decimal, so they give whole tenths of the width rounded down.
#include "capture/report_stage.h"

#include <gtest/gtest.h>

namespace {

TEST(BarWidth, StageWidthsOnCommonScreens) {
    const double fractions[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5};
    const struct {
        int screenWidth;
        int widths[5];
    } cases[] = {
        {1920, {192, 384, 576, 768, 960}},
        {1366, {136, 273, 409, 546, 683}},
        {1280, {128, 256, 384, 512, 640}},
        {1024, {102, 204, 307, 409, 512}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screenWidth);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(BarWidth(fractions[i], c.screenWidth), c.widths[i]) << i;
    }
}

TEST(BarWidth, TheTenthsGiveWholeTenthsRoundedDown) {
    for (int width = 1; width <= 8192; ++width)
        for (int k = 1; k <= 4; ++k) {
            const float tenth[] = {0.1f, 0.2f, 0.3f, 0.4f};
            ASSERT_EQ(BarWidth(tenth[k - 1], width), width * k / 10) << width << " x " << k << "/10";
        }
}

// The upload's blocks: 1 - 0.5 x remaining / total, up to the whole width.
TEST(BarWidth, UploadBlocks) {
    const struct {
        int remaining, total, screenWidth, width;
    } cases[] = {
        {32768, 65536, 1920, 1440}, {0, 65536, 1920, 1920}, {32768, 65536, 1366, 1024},
        {0, 65536, 1366, 1366},     {1, 3, 1366, 1138},     {299999, 300000, 1920, 960},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remaining);
        double fraction = 1 - 0.5 * c.remaining / c.total;
        EXPECT_EQ(BarWidth(fraction, c.screenWidth), c.width);
    }
}

}  // namespace
