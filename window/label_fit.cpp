#include "window/label_fit.h"

PixelRect fitLabel(const PixelRect& rect, int textWidth, bool rightAligned, const std::vector<PixelRect>& others) {
    if (textWidth <= rect.w) return rect;
    const PixelRect leftward{rect.x + rect.w - textWidth, rect.y, textWidth, rect.h};
    // Even short of covering it, growing towards a control on its row would
    // eat the gap the template left between them (a unit against its box).
    const PixelRect rowToTheLeft{0, rect.y, rect.x + rect.w, rect.h};
    bool blocked = !rightAligned || leftward.x < 0;
    for (const PixelRect& other : others) blocked = blocked || other.intersects(rowToTheLeft);
    return blocked ? PixelRect{rect.x, rect.y, textWidth, rect.h} : leftward;
}
