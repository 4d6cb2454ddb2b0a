#pragma once
// Where the icon goes in the client area of a minimised window.

struct IconOrigin {
    int x;
    int y;
};

// Centres an icon of cx x cy px in a client area of width x height px.
// Division truncates toward zero, so an icon one pixel wider than the area
// still starts at 0, not -1.
constexpr IconOrigin iconOrigin(int width, int height, int cx, int cy) {
    return {(width - cx + 1) / 2, (height - cy + 1) / 2};
}
