#pragma once

#include "picture/Picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvane {

// Pixel rectangle, right and bottom exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// A horizontal run of non-mask pixels in one row: [left, right).
struct Run {
    int left = 0, right = 0;
    friend bool operator==(const Run&, const Run&) = default;
};

// Appends the runs of non-mask pixels of one row, left to right.
void FindRowRuns(const std::uint32_t* row, int width, std::vector<Run>& out);
// The same, one pixel at a time: the reference the fast scan must agree with.
void FindRowRunsPerPixel(const std::uint32_t* row, int width, std::vector<Run>& out);

// X11 (and so Wine) refuses window shapes beyond about 32,700 rectangles; stay well below.
inline constexpr std::size_t kMaxShapeRects = 32000;

struct ShapeRects {
    // Y-X banded: sorted by top then left; rows with the same runs share one band.
    std::vector<Rect> rects;
    // True when gaps were filled to keep within the limit: the shape then covers
    // some mask pixels, never fewer picture pixels.
    bool approximated = false;
};

// The rectangles covering exactly the non-mask pixels of the picture, at most maxRects of them.
// Past the limit, gaps within rows are filled first; only when one rectangle per band is still
// too many are neighbouring bands joined into their bounding boxes. A limit of 0 counts as 1.
// A picture whose pixels do not match its size has no shape.
ShapeRects BuildShapeRects(const Picture& picture, std::size_t maxRects = kMaxShapeRects);

} // namespace zorvane
