#pragma once

// What the benchmarks share: the outlines they measure, a picture's run count, and a clock.

#include "core/Shape.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace zorvane::bench {

// Stripes run diagonally so that no two neighbouring rows have the same runs: every row is
// then a band of its own, the hard case for a region.
enum class Outline { Ellipse, WideStripes, FineStripes, Noise6, Noise25 };

// For the tables, and (id) for the RESULT and TARGET lines scripts/bench reads; in the
// order of Outline.
struct OutlineText {
    const char* name;
    const char* id;
};
inline constexpr OutlineText kOutlineText[] = {{"ellipse", "ellipse"},
                                               {"wide stripes", "wide_stripes"},
                                               {"fine stripes", "fine_stripes"},
                                               {"6% noise", "noise6"},
                                               {"25% noise", "noise25"}};
inline const char* Name(Outline o) {
    return kOutlineText[int(o)].name;
}
inline const char* Id(Outline o) {
    return kOutlineText[int(o)].id;
}

// Whether pixel (x, y) of a w x h picture is drawn (not see-through). The noise outlines
// draw from rng: ask for the pixels row by row.
inline bool Ink(Outline o, int x, int y, int w, int h, std::mt19937& rng) {
    switch (o) {
    case Outline::Ellipse: {
        const double dx = (x + 0.5 - w / 2.0) / (0.475 * w), dy = (y + 0.5 - h / 2.0) / (0.467 * h);
        return dx * dx + dy * dy < 1;
    }
    case Outline::WideStripes:
        return (x + y) / 40 % 2 == 0;
    case Outline::FineStripes:
        return (x + y) / 4 % 2 == 0;
    case Outline::Noise6:
        return rng() >= std::uint32_t(0.06 * 4294967296.0);
    case Outline::Noise25:
        return rng() >= std::uint32_t(0.25 * 4294967296.0);
    }
    return true;
}

inline std::size_t CountRuns(const Picture& p) {
    std::vector<Run> runs;
    std::size_t n = 0;
    for (int y = 0; y < p.height; ++y) {
        runs.clear();
        FindRowRuns(p.pixels.data() + std::size_t(y) * p.width, p.width, runs);
        n += runs.size();
    }
    return n;
}

// Wall-clock seconds from an arbitrary start.
inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace zorvane::bench
