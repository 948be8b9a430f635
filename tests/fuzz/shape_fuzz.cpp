#include "core/PerPixelRuns.h"
#include "core/Shape.h"

#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

using namespace zorvane;

namespace {

// Rows alike from top to bottom share one band, so this is the exact rect count.
template <typename Kept> std::size_t NaiveRectCount(const Picture& p, const Kept& kept) {
    std::size_t count = 0;
    std::vector<Run> prev;
    for (int y = 0; y < p.height; ++y) {
        std::vector<Run> runs;
        for (int x = 0; x < p.width; ++x) {
            if (!kept(x, y))
                continue;
            if (!runs.empty() && runs.back().right == x)
                ++runs.back().right;
            else
                runs.push_back({x, x + 1});
        }
        if (runs != prev)
            count += runs.size();
        prev = std::move(runs);
    }
    return count;
}

} // namespace

// Input: width, height, limit and kind, then one bit per pixel (cycled; none means all mask).
// Widths reach past two 64-pixel blocks; alpha and near-miss colours come from the bytes. A
// lossy picture takes its mask pixels from the mask colour and JPEG-like noise on it, and its
// ink from colours at the edges of the lossy rule's tolerances.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    Picture p;
    p.width = 1 + data[0] % 160;
    p.height = 1 + data[1] % 48;
    p.lossy = data[2] & 0x40;
    const std::size_t limit = data[2] & 0x80 ? data[2] & 0x3F : kMaxShapeRects;
    const std::uint8_t* bits = data + 3;
    const std::size_t nbits = (size - 3) * 8;
    const std::uint32_t exactInk[] = {0x008001, 0x018000, 0x000000};
    const std::uint32_t lossyInk[] = {0x0C8C0C, 0x0D8000, 0x148C0A, 0x009600,
                                      0x38B838, 0x39B000, 0x408040, 0xC81E1E};
    const std::uint32_t lossyMask[] = {kMaskColor, 0x058504, 0x0C740C};
    p.pixels.resize(std::size_t(p.width) * p.height);
    for (std::size_t i = 0; i < p.pixels.size(); ++i) {
        const std::size_t b = nbits ? i % nbits : 0;
        const bool ink = nbits && (bits[b / 8] >> (b % 8) & 1);
        const std::uint32_t alpha = std::uint32_t(i * 37 % 256) << 24;
        const std::uint32_t colour = p.lossy ? (ink ? lossyInk[i % 8] : lossyMask[i % 3])
                                             : (ink ? exactInk[i % 3] : kMaskColor);
        p.pixels[i] = alpha | colour;
    }

    for (int tolerance : {0, kLossyMaskTolerance, kNoiseTolerance}) {
        for (int y = 0; y < p.height; ++y) {
            std::vector<Run> fast, slow;
            FindRowRuns(&p.pixels[std::size_t(y) * p.width], p.width, fast, tolerance);
            FindRowRunsPerPixel(&p.pixels[std::size_t(y) * p.width], p.width, slow, tolerance);
            CHECK(fast == slow);
        }
    }

    // What must be shown: the exact rule, or the lossy rule's cleaned plane.
    const std::vector<std::uint64_t> plane =
        p.lossy ? LossyOpaqueBits(p) : std::vector<std::uint64_t>{};
    const int words = (p.width + 63) / 64;
    CHECK(!p.lossy || plane.size() == std::size_t(words) * p.height);
    const auto kept = [&](int x, int y) {
        if (!p.lossy)
            return !IsMaskPixel(p.at(x, y));
        return bool(plane[std::size_t(y) * words + x / 64] >> (x % 64) & 1);
    };

    const ShapeRects shape = BuildShapeRects(p, limit);
    const std::size_t exact = NaiveRectCount(p, kept);
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
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int c = cover[std::size_t(y) * p.width + x];
            if (kept(x, y))
                CHECK(c == 1);
            else if (!shape.approximated)
                CHECK(c == 0);
        }
    return 0;
}
