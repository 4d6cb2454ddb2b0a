#include "window/label_fit.h"

PixelRect fitLabel(const PixelRect& rect, int textWidth, bool rightAligned, const std::vector<PixelRect>& others) {
    if (textWidth <= rect.w) return rect;
    const PixelRect leftward{rect.x + rect.w - textWidth, rect.y, textWidth, rect.h};
    bool covers = !rightAligned || leftward.x < 0;
    for (const PixelRect& other : others) covers = covers || other.intersects(leftward);
    return covers ? PixelRect{rect.x, rect.y, textWidth, rect.h} : leftward;
}
