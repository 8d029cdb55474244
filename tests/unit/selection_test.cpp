// NormaliseSelection: the two drag points in any order give one rectangle
// with left <= right and top <= bottom, compared as signed numbers.
#include "app/app_state.h"
#include "app/window_proc.h"

#include <gtest/gtest.h>

namespace {

TEST(NormaliseSelection, AnyTwoCornersGiveTheSameRectangle) {
    const struct {
        const char* name;
        plat::POINT start, current;
        SelectionRect expected;
    } cases[] = {
        {"down and right", {10, 20}, {110, 220}, {10, 20, 110, 220}},
        {"up and left", {110, 220}, {10, 20}, {10, 20, 110, 220}},
        {"up and right", {10, 220}, {110, 20}, {10, 20, 110, 220}},
        {"down and left", {110, 20}, {10, 220}, {10, 20, 110, 220}},
        {"a click", {640, 480}, {640, 480}, {640, 480, 640, 480}},
        {"a horizontal line", {300, 5}, {100, 5}, {100, 5, 300, 5}},
        // Left of and above the primary screen the coordinates are negative.
        {"negative coordinates", {-50, 30}, {20, -40}, {-50, -40, 20, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        appState.dragStart = c.start;
        appState.dragCurrent = c.current;
        NormaliseSelection();
        EXPECT_EQ(appState.selection.left, c.expected.left);
        EXPECT_EQ(appState.selection.top, c.expected.top);
        EXPECT_EQ(appState.selection.right, c.expected.right);
        EXPECT_EQ(appState.selection.bottom, c.expected.bottom);
    }
    appState.dragStart = appState.dragCurrent = plat::POINT{0, 0};
    appState.selection = SelectionRect{};
}

}  // namespace
