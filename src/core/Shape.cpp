#include "core/Shape.h"

#include "core/BitPlane.h"

#include <algorithm>
#include <array>
#include <bit>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(ZORVANE_NO_SIMD)
#include <emmintrin.h>
#define ZORVANE_SHAPE_SSE2 1
#endif

namespace zorvane {

namespace {

constexpr int kBlock = 64;

// Bit i set when pixel i is part of the picture (not the mask colour); n <= 64.
std::uint64_t OpaqueBitsScalar(const std::uint32_t* px, int n, int tolerance) {
    std::uint64_t bits = 0;
    for (int i = 0; i < n; ++i)
        bits |= std::uint64_t(!IsMaskPixel(px[i], tolerance)) << i;
    return bits;
}

// How a pixel is told from the mask colour at one tolerance; made once for many pixels.
struct MaskTest {
    explicit MaskTest(int tolerance) : tolerance(tolerance) {
#ifdef ZORVANE_SHAPE_SSE2
        // Each byte of a pixel within the tolerance is in [low, low + width]: (byte - low),
        // wrapping, less width with saturation, leaves nothing. Alpha's range is all 256.
        std::uint32_t lo = 0, w = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const int key = int(kMaskColor >> shift & 0xFF);
            const int from = std::max(0, key - tolerance), to = std::min(255, key + tolerance);
            lo |= std::uint32_t(from) << shift;
            w |= std::uint32_t(to - from) << shift;
        }
        low = _mm_set1_epi32(static_cast<int>(lo));
        width = _mm_set1_epi32(static_cast<int>(w));
#endif
    }
    int tolerance;
#ifdef ZORVANE_SHAPE_SSE2
    __m128i low, width;
    // All-ones for each of four pixels that is mask.
    __m128i Mask(__m128i v) const {
        return _mm_cmpeq_epi32(_mm_subs_epu8(_mm_sub_epi8(v, low), width), _mm_setzero_si128());
    }
#endif
};

#ifdef ZORVANE_SHAPE_SSE2
// Bits of the 64 pixels that are mask, for each of N tests (one read of the pixels); mask(k, v)
// gives all-ones for each of four pixels v that test k takes as mask.
template <std::size_t N, typename Mask>
void MaskBits64(const std::uint32_t* px, const Mask& mask, std::uint64_t (&bits)[N]) {
    for (std::size_t k = 0; k < N; ++k)
        bits[k] = 0;
    for (int i = 0; i < kBlock; i += 16) {
        __m128i v[4];
        for (int j = 0; j < 4; ++j)
            v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i + 4 * j));
        for (std::size_t k = 0; k < N; ++k) {
            // The compare results are all-ones or zero, so saturating packs keep them intact.
            __m128i a = _mm_packs_epi32(mask(k, v[0]), mask(k, v[1]));
            __m128i b = _mm_packs_epi32(mask(k, v[2]), mask(k, v[3]));
            auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
            bits[k] |= std::uint64_t(m) << i;
        }
    }
}
#endif

// Bit i set when pixel i is part of the picture (not mask at the test's tolerance); n <= 64.
// The exact colour has a plainer compare (the low 24 bits), as fast as a scan can be.
template <bool Exact>
std::uint64_t OpaqueBits(const std::uint32_t* px, int n, const MaskTest& test) {
#ifdef ZORVANE_SHAPE_SSE2
    if (n == kBlock) {
        std::uint64_t mask[1];
        if constexpr (Exact) {
            const __m128i low24 = _mm_set1_epi32(0xFFFFFF);
            const __m128i key = _mm_set1_epi32(static_cast<int>(kMaskColor));
            MaskBits64(
                px,
                [&](std::size_t, __m128i v) {
                    return _mm_cmpeq_epi32(_mm_and_si128(v, low24), key);
                },
                mask);
        } else {
            MaskBits64(
                px, [&](std::size_t, __m128i v) { return test.Mask(v); }, mask);
        }
        return ~mask[0];
    }
#endif
    return OpaqueBitsScalar(px, n, test.tolerance);
}

// Bits of pixels [0, n) within each of two tolerances; n <= 64. One read of the pixels.
void NearBits(const std::uint32_t* px, int n, const MaskTest& first, const MaskTest& second,
              std::uint64_t (&near)[2]) {
#ifdef ZORVANE_SHAPE_SSE2
    if (n == kBlock) {
        MaskBits64(
            px, [&](std::size_t k, __m128i v) { return k == 0 ? first.Mask(v) : second.Mask(v); },
            near);
        return;
    }
#endif
    const std::uint64_t valid = n == kBlock ? ~0ull : (1ull << n) - 1;
    near[0] = ~OpaqueBitsScalar(px, n, first.tolerance) & valid;
    near[1] = ~OpaqueBitsScalar(px, n, second.tolerance) & valid;
}

int ClampTolerance(int tolerance) {
    return std::clamp(tolerance, 0, 255);
}

// Appends the runs of set bits of one row of `width` pixels; bitsAt(base, n) gives the bits of
// pixels [base, base + n), n <= 64.
template <typename BitsAt> void AppendRuns(int width, std::vector<Run>& out, const BitsAt& bitsAt) {
    bool inRun = false;
    int start = 0;
    for (int base = 0; base < width; base += kBlock) {
        const int n = std::min(kBlock, width - base);
        const std::uint64_t bits = bitsAt(base, n);
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

} // namespace

void FindRowRuns(const std::uint32_t* row, int width, std::vector<Run>& out, int tolerance) {
    const MaskTest test(ClampTolerance(tolerance));
    if (test.tolerance == 0)
        AppendRuns(width, out,
                   [&](int base, int n) { return OpaqueBits<true>(row + base, n, test); });
    else
        AppendRuns(width, out,
                   [&](int base, int n) { return OpaqueBits<false>(row + base, n, test); });
}

namespace {

// The pixels within each of two tolerances of the mask colour.
std::array<BitPlane, 2> NearPlanes(const Picture& p, int first, int second) {
    std::array<BitPlane, 2> planes{BitPlane(p.width, p.height), BitPlane(p.width, p.height)};
    const MaskTest a(first), b(second);
    const int words = planes[0].words();
    for (int y = 0; y < p.height; ++y) {
        const std::uint32_t* px = p.pixels.data() + std::size_t(y) * p.width;
        for (int i = 0; i < words; ++i) {
            const int base = i * kBlock;
            std::uint64_t near[2];
            NearBits(px + base, std::min(kBlock, p.width - base), a, b, near);
            planes[0].row(y)[i] = near[0];
            planes[1].row(y)[i] = near[1];
        }
    }
    return planes;
}

} // namespace

std::vector<std::uint64_t> LossyOpaqueBits(const Picture& picture) {
    const int width = picture.width, height = picture.height;
    if (width <= 0 || height <= 0 ||
        picture.pixels.size() != std::size_t(width) * std::size_t(height))
        return {};
    auto [cut, noise] = NearPlanes(picture, kLossyMaskTolerance, kNoiseTolerance);
    BitPlane opaque = cut.Inverted();

    // Colour bleed, judged on the plain near-colour cut.
    {
        const BitPlane nearCut = cut.Dilated(2);
        const BitPlane nearStrong = noise.Dilated(3, true);
        BitPlane::ForEach(noise, nearCut, nearStrong,
                          [&](int x, int y) { opaque.set(x, y, false); });
    }

    // Specks: peeled until none is left. Taking pixels away only adds see-through neighbours,
    // so the order does not change the result.
    {
        std::vector<std::pair<int, int>> work;
        BitPlane::ForEach(opaque, noise, opaque.Dilated(1, true),
                          [&](int x, int y) { work.emplace_back(x, y); });
        while (!work.empty()) {
            const auto [x, y] = work.back();
            work.pop_back();
            if (!opaque.at(x, y) || opaque.ClearNeighbours(x, y) < 5)
                continue;
            opaque.set(x, y, false);
            for (int yy = std::max(0, y - 1); yy <= std::min(height - 1, y + 1); ++yy)
                for (int xx = std::max(0, x - 1); xx <= std::min(width - 1, x + 1); ++xx)
                    if (opaque.at(xx, yy) && noise.at(xx, yy))
                        work.emplace_back(xx, yy);
        }
    }

    // Pin-holes, judged all at once on the state the specks left.
    {
        cut = opaque.Inverted();
        std::vector<std::pair<int, int>> back;
        BitPlane::ForEach(cut, cut, opaque.Dilated(1), [&](int x, int y) {
            if (opaque.Neighbours(x, y) >= 7)
                back.emplace_back(x, y);
        });
        for (const auto& [x, y] : back)
            opaque.set(x, y, true);
    }
    return opaque.take();
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

// The rectangles of the bands, within maxRects (see BuildShapeRects).
ShapeRects WithinLimit(const Bands& bands, int width, std::size_t maxRects) {
    ShapeRects result;
    maxRects = std::max<std::size_t>(maxRects, 1);
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

bool Whole(const Picture& picture) {
    return picture.width > 0 && picture.height > 0 &&
           picture.pixels.size() == std::size_t(picture.width) * std::size_t(picture.height);
}

} // namespace

void FindBitRuns(const std::uint64_t* row, int width, std::vector<Run>& out) {
    AppendRuns(width, out, [&](int base, int) { return row[base / kBlock]; });
}

ShapeRects ShapeFromRuns(const std::vector<Run>& runs, const std::vector<std::uint32_t>& rowStart,
                         int width, std::size_t maxRects) {
    if (width <= 0 || rowStart.size() < 2 || rowStart.back() != runs.size())
        return {};
    Bands bands;
    bands.runs.reserve(runs.size());
    for (std::size_t y = 0; y + 1 < rowStart.size(); ++y) {
        const std::size_t begin = bands.runs.size();
        bands.runs.insert(bands.runs.end(), runs.begin() + rowStart[y],
                          runs.begin() + rowStart[y + 1]);
        bands.close(int(y), int(y) + 1, begin);
    }
    return WithinLimit(bands, width, maxRects);
}

ShownRows::ShownRows(const Picture& picture) : picture_(picture) {
    valid_ = Whole(picture);
    if (!valid_)
        return;
    words_ = (picture.width + kBlock - 1) / kBlock;
    if (picture.lossy)
        lossy_ = LossyOpaqueBits(picture);
}

void ShownRows::Row(int y, std::uint64_t* out) const {
    if (picture_.lossy) {
        std::copy_n(lossy_.data() + std::size_t(y) * words_, words_, out);
        return;
    }
    const std::uint32_t* px = picture_.pixels.data() + std::size_t(y) * picture_.width;
    const MaskTest exact(0);
    for (int i = 0; i < words_; ++i) {
        const int base = i * kBlock;
        out[i] = OpaqueBits<true>(px + base, std::min(kBlock, picture_.width - base), exact);
    }
}

ShapeRects BuildShapeRects(const Picture& picture, std::size_t maxRects) {
    if (!Whole(picture))
        return {};
    if (picture.lossy) {
        const ShownRows rows(picture);
        std::vector<std::uint64_t> bits(std::size_t(rows.words()));
        Bands bands;
        for (int y = 0; y < picture.height; ++y) {
            const std::size_t begin = bands.runs.size();
            rows.Row(y, bits.data());
            FindBitRuns(bits.data(), picture.width, bands.runs);
            bands.close(y, y + 1, begin);
        }
        return WithinLimit(bands, picture.width, maxRects);
    }
    Bands bands;
    for (int y = 0; y < picture.height; ++y) {
        const std::size_t begin = bands.runs.size();
        FindRowRuns(picture.pixels.data() + std::size_t(y) * picture.width, picture.width,
                    bands.runs);
        bands.close(y, y + 1, begin);
    }
    return WithinLimit(bands, picture.width, maxRects);
}

} // namespace zorvane
