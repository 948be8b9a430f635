#pragma once

#include "core/Geometry.h"

#include <vector>

namespace zorvane {

// A window that touches no monitor (one was unplugged since its place was
// saved) is moved into the work area of the nearest monitor; otherwise it
// stays where it is.
PixelRect KeepOnScreen(const PixelRect& window, const std::vector<Monitor>& monitors);

} // namespace zorvane
