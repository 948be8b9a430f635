#include "picture/Shape.h"

#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

using namespace zorvane;

namespace {

// Rows alike from top to bottom share one band, so this is the exact rect count.
std::size_t NaiveRectCount(const Picture& p) {
    std::size_t count = 0;
    std::vector<Run> prev;
    for (int y = 0; y < p.height; ++y) {
        std::vector<Run> runs;
        FindRowRunsPerPixel(&p.pixels[std::size_t(y) * p.width], p.width, runs);
        if (runs != prev)
            count += runs.size();
        prev = std::move(runs);
    }
    return count;
}

} // namespace

// Input: width, height, limit, then one bit per pixel (cycled; none means all mask).
// Widths reach past two 64-pixel blocks; alpha and near-miss colours come from the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    Picture p;
    p.width = 1 + data[0] % 160;
    p.height = 1 + data[1] % 48;
    const std::size_t limit = data[2] & 0x80 ? data[2] & 0x3F : kMaxShapeRects;
    const std::uint8_t* bits = data + 3;
    const std::size_t nbits = (size - 3) * 8;
    p.pixels.resize(std::size_t(p.width) * p.height);
    for (std::size_t i = 0; i < p.pixels.size(); ++i) {
        const std::size_t b = nbits ? i % nbits : 0;
        const bool ink = nbits && (bits[b / 8] >> (b % 8) & 1);
        const std::uint32_t alpha = std::uint32_t(i * 37 % 256) << 24;
        const std::uint32_t nearMiss = i % 3 == 0 ? 0x008001 : i % 3 == 1 ? 0x018000 : 0x000000;
        p.pixels[i] = alpha | (ink ? nearMiss : kMaskColor);
    }

    for (int y = 0; y < p.height; ++y) {
        std::vector<Run> fast, slow;
        FindRowRuns(&p.pixels[std::size_t(y) * p.width], p.width, fast);
        FindRowRunsPerPixel(&p.pixels[std::size_t(y) * p.width], p.width, slow);
        CHECK(fast == slow);
    }

    const ShapeRects shape = BuildShapeRects(p, limit);
    const std::size_t exact = NaiveRectCount(p);
    const std::size_t effectiveLimit = limit ? limit : 1;
    CHECK(shape.approximated == (exact > effectiveLimit));
    CHECK(shape.rects.size() <= effectiveLimit);
    if (!shape.approximated)
        CHECK(shape.rects.size() == exact);

    std::vector<int> cover(p.pixels.size(), 0);
    for (std::size_t i = 0; i < shape.rects.size(); ++i) {
        const Rect& r = shape.rects[i];
        CHECK(0 <= r.left && r.left < r.right && r.right <= p.width);
        CHECK(0 <= r.top && r.top < r.bottom && r.bottom <= p.height);
        if (i > 0) {
            const Rect& q = shape.rects[i - 1];
            if (q.top == r.top)
                CHECK(q.bottom == r.bottom && q.right < r.left);
            else
                CHECK(q.bottom <= r.top);
        }
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                CHECK(++cover[std::size_t(y) * p.width + x] == 1);
    }
    for (std::size_t i = 0; i < p.pixels.size(); ++i) {
        if (!IsMaskPixel(p.pixels[i]))
            CHECK(cover[i] == 1);
        else if (!shape.approximated)
            CHECK(cover[i] == 0);
    }
    return 0;
}
