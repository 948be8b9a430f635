#pragma once

#include <cstdint>

// Places and sizes on the screen, in pixels from the primary monitor's top left corner.
namespace zorvane {

struct PixelPoint {
    int x = 0, y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct Monitor {
    PixelRect bounds;
    PixelRect workArea;
};

} // namespace zorvane
