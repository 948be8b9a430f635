#include "picture/Shape.h"

#include <algorithm>
#include <bit>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(ZORVANE_NO_SIMD)
#include <emmintrin.h>
#define ZORVANE_SHAPE_SSE2 1
#endif

namespace zorvane {

namespace {

constexpr int kBlock = 64;

// Bit i set when pixel i is part of the picture (not the mask colour); n <= 64.
std::uint64_t OpaqueBitsScalar(const std::uint32_t* px, int n) {
    std::uint64_t bits = 0;
    for (int i = 0; i < n; ++i)
        bits |= std::uint64_t(!IsMaskPixel(px[i])) << i;
    return bits;
}

std::uint64_t OpaqueBits64(const std::uint32_t* px) {
#ifdef ZORVANE_SHAPE_SSE2
    const __m128i low24 = _mm_set1_epi32(0xFFFFFF);
    const __m128i key = _mm_set1_epi32(static_cast<int>(kMaskColor));
    std::uint64_t maskBits = 0;
    for (int i = 0; i < kBlock; i += 16) {
        auto eq = [&](int k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i + k));
            return _mm_cmpeq_epi32(_mm_and_si128(v, low24), key);
        };
        // The compare results are all-ones or zero, so saturating packs keep them intact.
        __m128i a = _mm_packs_epi32(eq(0), eq(4));
        __m128i b = _mm_packs_epi32(eq(8), eq(12));
        auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
        maskBits |= std::uint64_t(m) << i;
    }
    return ~maskBits;
#else
    return OpaqueBitsScalar(px, kBlock);
#endif
}

} // namespace

void FindRowRuns(const std::uint32_t* row, int width, std::vector<Run>& out) {
    bool inRun = false;
    int start = 0;
    for (int base = 0; base < width; base += kBlock) {
        const int n = std::min(kBlock, width - base);
        const std::uint64_t bits =
            n == kBlock ? OpaqueBits64(row + base) : OpaqueBitsScalar(row + base, n);
        const std::uint64_t valid = n == kBlock ? ~0ull : (1ull << n) - 1;
        // Hop from one change of state to the next; a block with none costs one test.
        int pos = 0;
        while (pos < n) {
            const std::uint64_t t = (inRun ? ~bits : bits) & valid & (~0ull << pos);
            if (t == 0)
                break;
            pos = std::countr_zero(t);
            if (inRun)
                out.push_back({start, base + pos});
            else
                start = base + pos;
            inRun = !inRun;
        }
    }
    if (inRun)
        out.push_back({start, width});
}

void FindRowRunsPerPixel(const std::uint32_t* row, int width, std::vector<Run>& out) {
    int x = 0;
    while (x < width) {
        while (x < width && IsMaskPixel(row[x]))
            ++x;
        if (x == width)
            break;
        const int start = x;
        while (x < width && !IsMaskPixel(row[x]))
            ++x;
        out.push_back({start, x});
    }
}

namespace {

// Rows [top, bottom) that all have the runs runs[begin, end).
struct Band {
    int top, bottom;
    std::size_t begin, end;
};

struct Bands {
    std::vector<Band> bands;
    std::vector<Run> runs;

    // Adds rows [top, bottom) with the runs at the tail of `runs` from `begin`, joining the
    // previous band when it ends right above with the same runs.
    void close(int top, int bottom, std::size_t begin) {
        const std::size_t n = runs.size() - begin;
        if (n == 0)
            return;
        if (!bands.empty()) {
            Band& last = bands.back();
            if (last.bottom == top && last.end - last.begin == n &&
                std::equal(runs.begin() + last.begin, runs.begin() + last.end,
                           runs.begin() + begin)) {
                last.bottom = bottom;
                runs.resize(begin);
                return;
            }
        }
        bands.push_back({top, bottom, begin, runs.size()});
    }
};

// Fills every gap of width <= maxGap within each band, joining bands that become equal.
Bands FillGaps(const Bands& in, int maxGap) {
    Bands out;
    out.runs.reserve(in.runs.size());
    for (const Band& b : in.bands) {
        const std::size_t begin = out.runs.size();
        for (std::size_t i = b.begin; i < b.end; ++i) {
            const Run r = in.runs[i];
            if (out.runs.size() > begin && r.left - out.runs.back().right <= maxGap)
                out.runs.back().right = r.right;
            else
                out.runs.push_back(r);
        }
        out.close(b.top, b.bottom, begin);
    }
    return out;
}

// Each band down to one run by now: join neighbouring bands into bounding boxes.
std::vector<Rect> GroupBands(const Bands& in, std::size_t maxRects) {
    const std::size_t count = in.bands.size();
    const std::size_t per = (count + maxRects - 1) / maxRects;
    std::vector<Rect> rects;
    rects.reserve((count + per - 1) / per);
    for (std::size_t i = 0; i < count; i += per) {
        const std::size_t last = std::min(count, i + per) - 1;
        Rect r{in.runs[in.bands[i].begin].left, in.bands[i].top, in.runs[in.bands[i].begin].right,
               in.bands[last].bottom};
        for (std::size_t j = i + 1; j <= last; ++j) {
            const Run run = in.runs[in.bands[j].begin];
            r.left = std::min(r.left, run.left);
            r.right = std::max(r.right, run.right);
        }
        rects.push_back(r);
    }
    return rects;
}

std::vector<Rect> ToRects(const Bands& in) {
    std::vector<Rect> rects;
    rects.reserve(in.runs.size());
    for (const Band& b : in.bands)
        for (std::size_t i = b.begin; i < b.end; ++i)
            rects.push_back({in.runs[i].left, b.top, in.runs[i].right, b.bottom});
    return rects;
}

} // namespace

ShapeRects BuildShapeRects(const Picture& picture, std::size_t maxRects) {
    ShapeRects result;
    const int width = picture.width, height = picture.height;
    if (width <= 0 || height <= 0 ||
        picture.pixels.size() != std::size_t(width) * std::size_t(height))
        return result;
    maxRects = std::max<std::size_t>(maxRects, 1);

    Bands bands;
    for (int y = 0; y < height; ++y) {
        const std::size_t begin = bands.runs.size();
        FindRowRuns(picture.pixels.data() + std::size_t(y) * width, width, bands.runs);
        bands.close(y, y + 1, begin);
    }
    if (bands.runs.size() <= maxRects) {
        result.rects = ToRects(bands);
        return result;
    }

    // Each gap filled saves one rect in its band: take the narrowest gaps that save enough.
    std::vector<std::size_t> gapCount(std::size_t(width) + 1, 0);
    for (const Band& b : bands.bands)
        for (std::size_t i = b.begin + 1; i < b.end; ++i)
            ++gapCount[bands.runs[i].left - bands.runs[i - 1].right];
    const std::size_t excess = bands.runs.size() - maxRects;
    int maxGap = width;
    std::size_t saved = 0;
    for (int g = 1; g <= width; ++g) {
        saved += gapCount[g];
        if (saved >= excess) {
            maxGap = g;
            break;
        }
    }
    Bands filled = FillGaps(bands, maxGap);
    result.approximated = true;
    result.rects = filled.runs.size() <= maxRects ? ToRects(filled) : GroupBands(filled, maxRects);
    return result;
}

} // namespace zorvane
