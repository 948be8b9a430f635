#include "platform/win32/Region.h"

namespace zorvane::win32 {
UniqueHrgn MakeRegion(const std::vector<Rect>&) { return UniqueHrgn{}; }
} // namespace zorvane::win32
