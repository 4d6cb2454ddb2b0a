#include <gtest/gtest.h>

#include "window/minimised_icon.h"

namespace {

struct Case {
    int width, height, cx, cy;
    int x, y;
};

TEST(MinimisedIcon, CentresAndTruncatesTowardZero) {
    const Case cases[] = {
        {36, 36, 32, 32, 2, 2}, {30, 36, 32, 32, 0, 2}, // -1 / 2 is 0, not -1
        {37, 38, 32, 32, 3, 3}, {29, 32, 32, 32, -1, 0}, {160, 24, 32, 16, 64, 4},
    };
    for (const Case& c : cases) {
        const IconOrigin at = iconOrigin(c.width, c.height, c.cx, c.cy);
        EXPECT_EQ(at.x, c.x) << c.width << "x" << c.height;
        EXPECT_EQ(at.y, c.y) << c.width << "x" << c.height;
    }
}

} // namespace
