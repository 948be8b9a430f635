#include "core/Placement.h"

#include <algorithm>
#include <limits>

namespace zorvane {
namespace {

bool Overlaps(const PixelRect& a, const PixelRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

// Squared distance between the two rectangles' nearest points.
double Distance2(const PixelRect& a, const PixelRect& b) {
    const double dx = std::max({0.0, double(b.left) - (double(a.left) + a.width),
                                double(a.left) - (double(b.left) + b.width)});
    const double dy = std::max({0.0, double(b.top) - (double(a.top) + a.height),
                                double(a.top) - (double(b.top) + b.height)});
    return dx * dx + dy * dy;
}

int ClampInto(int pos, int size, int areaPos, int areaSize) {
    return std::max(areaPos, std::min(pos, areaPos + areaSize - size));
}

} // namespace

PixelRect KeepOnScreen(const PixelRect& window, const std::vector<Monitor>& monitors) {
    if (monitors.empty())
        return window;
    const Monitor* nearest = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const Monitor& m : monitors) {
        if (Overlaps(window, m.bounds))
            return window;
        const double d = Distance2(window, m.bounds);
        if (!nearest || d < best) {
            nearest = &m;
            best = d;
        }
    }
    PixelRect moved = window;
    const PixelRect& area = nearest->workArea;
    moved.left = ClampInto(window.left, window.width, area.left, area.width);
    moved.top = ClampInto(window.top, window.height, area.top, area.height);
    return moved;
}

} // namespace zorvane
