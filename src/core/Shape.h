#pragma once

#include "core/Picture.h"

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

// Appends the runs of non-mask pixels of one row, left to right. A pixel is mask when it is at
// most `tolerance` from the mask colour (IsMaskPixel): 0 for the exact colour.
void FindRowRuns(const std::uint32_t* row, int width, std::vector<Run>& out, int tolerance = 0);

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
// In a lossy picture the mask is every pixel near the mask colour (kLossyMaskTolerance), cleaned
// of the decoder's noise along the outline: see LossyOpaqueBits.
// Past the limit, gaps within rows are filled first; only when one rectangle per band is still
// too many are neighbouring bands joined into their bounding boxes. A limit of 0 counts as 1.
// A picture whose pixels do not match its size has no shape.
ShapeRects BuildShapeRects(const Picture& picture, std::size_t maxRects = kMaxShapeRects);

// Which pixels of each row stay on screen with Transparent on: those not the mask colour
// exactly, or in a lossy picture LossyOpaqueBits. One bit a pixel (bit x % 64 of word x / 64),
// (width + 63) / 64 words a row, bits past the width clear; a row at a time, so that a large
// picture needs no plane of its own (but a lossy one, whose rule looks around).
class ShownRows {
  public:
    // A picture whose pixels do not match its size has no rows.
    explicit ShownRows(const Picture& picture);
    bool valid() const { return valid_; }
    int words() const { return words_; }
    void Row(int y, std::uint64_t* out) const;

  private:
    const Picture& picture_;
    bool valid_ = false;
    int words_ = 0;
    std::vector<std::uint64_t> lossy_;
};

// Appends the runs of set bits of one row of `width` pixels (laid out as ShownRows gives them).
void FindBitRuns(const std::uint64_t* row, int width, std::vector<Run>& out);

// The rectangles covering the runs, within maxRects as BuildShapeRects keeps them; row y's runs
// are runs[rowStart[y], rowStart[y + 1]).
ShapeRects ShapeFromRuns(const std::vector<Run>& runs, const std::vector<std::uint32_t>& rowStart,
                         int width, std::size_t maxRects = kMaxShapeRects);

// Which pixels of a lossy picture stay on screen: one bit a pixel (bit x % 64 of word x / 64 of
// its row), rows of (width + 63) / 64 words. Near the mask colour, then, for pixels within
// kNoiseTolerance of it:
//  - colour bleed: one with a see-through pixel within 2 pixels and a pixel farther off than
//    kNoiseTolerance within 3 lies between the background and a strongly coloured drawing: its
//    colour is the two mixed (JPEG keeps colour at half resolution and rings at edges); it goes;
//  - specks: one with at least 5 of its 8 neighbours see-through goes, again and again until
//    none is left (dots, thin lines and spurs of noise);
// and last, pin-holes: a see-through pixel with at least 7 of its 8 neighbours shown is shown.
// Greens that are not the mask and fill an area stay: their inside has no see-through
// neighbours and no strong colour near.
inline constexpr int kNoiseTolerance = 56;
std::vector<std::uint64_t> LossyOpaqueBits(const Picture& picture);

} // namespace zorvane
