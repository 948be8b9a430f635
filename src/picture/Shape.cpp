#include "picture/Shape.h"

namespace zorvane {

void FindRowRuns(const std::uint32_t*, int, std::vector<Run>&) {}
ShapeRects BuildShapeRects(const Picture&, std::size_t) { return {}; }

} // namespace zorvane
