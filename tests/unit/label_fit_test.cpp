#include "window/label_fit.h"

#include <gtest/gtest.h>

namespace {

TEST(FitLabel, GrowsWhereItClipsNothing) {
    const PixelRect edit{100, 10, 50, 16}; // an edit box left of the unit label
    struct Case {
        const char* name;
        PixelRect label;
        int textWidth;
        bool rightAligned;
        PixelRect expected;
    };
    const Case cases[] = {
        {"text that fits keeps the rectangle", {152, 12, 20, 8}, 20, true, {152, 12, 20, 8}},
        {"right-aligned grows left over free space", {40, 40, 30, 8}, 45, true, {25, 40, 45, 8}},
        {"right-aligned grows right rather than cover the edit box", {152, 12, 20, 8}, 30, true, {152, 12, 30, 8}},
        {"right-aligned keeps its gap to the edit box", {156, 12, 20, 8}, 24, true, {156, 12, 24, 8}},
        {"right-aligned grows right rather than leave the dialog", {4, 40, 20, 8}, 30, true, {4, 40, 30, 8}},
        {"left-aligned grows right", {40, 40, 30, 8}, 45, false, {40, 40, 45, 8}},
    };
    for (const Case& c : cases) {
        const PixelRect got = fitLabel(c.label, c.textWidth, c.rightAligned, {edit});
        EXPECT_EQ(got.x, c.expected.x) << c.name;
        EXPECT_EQ(got.w, c.expected.w) << c.name;
        EXPECT_EQ(got.y, c.expected.y) << c.name;
        EXPECT_EQ(got.h, c.expected.h) << c.name;
    }
}

} // namespace
