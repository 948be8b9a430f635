#pragma once

#include "picture/Shape.h"
#include "platform/win32/Handles.h"

#include <vector>

namespace zorvane::win32 {

// A region from Y-X banded rectangles: small pieces made with ExtCreateRegion,
// joined in a balanced pairwise merge so that the cost stays near-linear.
UniqueHrgn MakeRegion(const std::vector<Rect>& rects);

} // namespace zorvane::win32
