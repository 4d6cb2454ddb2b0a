#pragma once
// Where a label goes when its text is wider than its template rectangle, in
// pixels, for every view. A face wider than the template's (the Latin glyphs
// of CJK fallbacks often are) would otherwise clip it.

#include <vector>

struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool intersects(const PixelRect& other) const {
        return x < other.x + other.w && other.x < x + w && y < other.y + other.h && other.y < y + h;
    }
};

// A right-aligned label grows to its left, keeping the edge its text is
// aligned to, unless that would leave the dialog or one of others stands on
// its row to the left; otherwise it grows to its right, keeping its left
// edge. A label its text fits keeps its rectangle.
PixelRect fitLabel(const PixelRect& rect, int textWidth, bool rightAligned, const std::vector<PixelRect>& others);
