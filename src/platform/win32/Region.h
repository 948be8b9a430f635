#pragma once

#include "core/Shape.h"
#include "platform/win32/Handles.h"

#include <cstddef>
#include <vector>

namespace zorvane::win32 {

// A region from Y-X banded rectangles: small pieces made with ExtCreateRegion,
// joined in a balanced pairwise merge so that the cost stays near-linear.
UniqueHrgn MakeRegion(const std::vector<Rect>& rects);

// One ExtCreateRegion over `count` rectangles (at least one), built in `buffer`.
UniqueHrgn RegionFromRects(const Rect* rects, std::size_t count, std::vector<std::byte>& buffer);

} // namespace zorvane::win32
