#pragma once

#include "core/Shape.h"

#include <cstdint>
#include <vector>

namespace zorvane {

// FindRowRuns one pixel at a time: the reference the fast scan must agree with (the
// tests and the fuzz target), and the baseline it is measured against (the benchmark).
inline void FindRowRunsPerPixel(const std::uint32_t* row, int width, std::vector<Run>& out,
                                int tolerance = 0) {
    int x = 0;
    while (x < width) {
        while (x < width && IsMaskPixel(row[x], tolerance))
            ++x;
        if (x == width)
            break;
        const int start = x;
        while (x < width && !IsMaskPixel(row[x], tolerance))
            ++x;
        out.push_back({start, x});
    }
}

} // namespace zorvane
