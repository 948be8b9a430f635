#pragma once

#include "core/Picture.h"
#include "core/Shape.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvane {

// How the outline's edge meets the desktop.
enum class Edges {
    // Every pixel the outline keeps is shown opaque, exactly as the picture has it.
    Hard,
    // A pixel along the outline that is a blend of the figure and the mask colour (an
    // anti-aliased edge drawn on the green) keeps the figure's share of itself: the green
    // goes, and the rest lets the desktop through. For a desktop that blends pixel by pixel.
    Soft,
    // The same blends shown opaque in the figure's colour, the green taken out: for a
    // desktop that can only cut.
    SoftOpaque,
};

// A pixel is taken for a blend when it lies within this many levels (the largest of its red,
// green and blue differences) of the nearest mix of the figure's colour and the mask colour.
// Anti-aliasing on the exact green lands within 1 or 2; a dark outline drawn on purpose lies
// 50 and more away.
inline constexpr int kBlendTolerance = 12;

// A pixel the window shows otherwise than the picture has it.
struct EdgePixel {
    std::uint32_t index; // y * width + x
    std::uint32_t argb;  // premultiplied
    friend bool operator==(const EdgePixel&, const EdgePixel&) = default;
};

// How the window shows a picture with Transparent on: which pixels, and the few along the
// outline that differ from the picture.
struct Cutout {
    int width = 0, height = 0;
    // The pixels not wholly see-through, row by row: row y's runs are
    // runs[rowStart[y], rowStart[y + 1]).
    std::vector<Run> runs;
    std::vector<std::uint32_t> rowStart;
    // In order of index.
    std::vector<EdgePixel> edges;
    // The shown pixels as rectangles: where the window shows and answers the mouse.
    ShapeRects outline;
};

// Which pixels are cut is the outline's rule (ShownRows); only the shown pixels that touch
// the cut-away area are looked at for blends. A picture with its own partial alpha
// (ownAlpha) keeps that alpha with Soft edges. A picture whose pixels do not match its size
// has an empty cutout.
Cutout MakeCutout(const Picture& picture, Edges edges, std::size_t maxRects = kMaxShapeRects);

// The window's pixels for the picture the cutout was made from: premultiplied 0xAARRGGBB,
// 0 where cut away. `out` holds width * height pixels. False, writing nothing, when the
// picture is not of the cutout's size.
bool PaintCutout(const Picture& picture, const Cutout& cutout, std::uint32_t* out);

// The memory a cutout holds, for budgets.
std::size_t CutoutBytes(const Cutout& cutout);

} // namespace zorvane
