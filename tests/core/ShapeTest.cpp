#include "core/Shape.h"
#include "core/PerPixelRuns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace zorvane {
namespace {

constexpr std::uint32_t kMask = 0xFF008000;
constexpr std::uint32_t kInk = 0xFF102030;
// Inside TEST bodies, a bare Run names testing::Test::Run.
using Runs = std::vector<zorvane::Run>;

// '#' is picture, anything else mask.
Picture FromArt(const std::vector<std::string>& art) {
    Picture p;
    p.height = int(art.size());
    p.width = art.empty() ? 0 : int(art[0].size());
    for (const auto& line : art)
        for (char c : line)
            p.pixels.push_back(c == '#' ? kInk : kMask);
    return p;
}

// Rows with equal runs, top to bottom, share one band.
std::vector<Rect> NaiveRects(const Picture& p) {
    std::vector<Rect> rects;
    Runs prev;
    std::size_t bandStart = 0;
    for (int y = 0; y < p.height; ++y) {
        Runs runs;
        for (int x = 0; x < p.width; ++x) {
            if (IsMaskPixel(p.at(x, y)))
                continue;
            if (!runs.empty() && runs.back().right == x)
                runs.back().right = x + 1;
            else
                runs.push_back({x, x + 1});
        }
        if (!runs.empty() && runs == prev && rects.back().bottom == y) {
            for (std::size_t i = bandStart; i < rects.size(); ++i)
                rects[i].bottom = y + 1;
        } else {
            bandStart = rects.size();
            for (const Run& r : runs)
                rects.push_back({r.left, y, r.right, y + 1});
        }
        prev = runs;
    }
    return rects;
}

// Y-X banded: bands sorted and apart, each band's rects sorted and apart.
void ExpectBanded(const std::vector<Rect>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        ASSERT_LT(r.left, r.right) << i;
        ASSERT_LT(r.top, r.bottom) << i;
        if (i == 0)
            continue;
        const Rect& q = rects[i - 1];
        if (q.top == r.top) {
            ASSERT_EQ(q.bottom, r.bottom) << i;
            ASSERT_LT(q.right, r.left) << "touching or overlapping in a band at " << i;
        } else {
            ASSERT_LE(q.bottom, r.top) << "bands out of order at " << i;
        }
    }
}

// How many rects cover each pixel; rects outside the picture fail.
std::vector<int> Coverage(const Picture& p, const std::vector<Rect>& rects) {
    std::vector<int> cover(p.pixels.size(), 0);
    for (const Rect& r : rects) {
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= p.width && r.bottom <= p.height);
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, p.height); ++y)
            for (int x = std::max(r.left, 0); x < std::min(r.right, p.width); ++x)
                ++cover[std::size_t(y) * p.width + x];
    }
    return cover;
}

void ExpectExact(const Picture& p, const ShapeRects& s) {
    EXPECT_FALSE(s.approximated);
    ExpectBanded(s.rects);
    EXPECT_EQ(s.rects, NaiveRects(p));
    const auto cover = Coverage(p, s.rects);
    for (std::size_t i = 0; i < cover.size(); ++i)
        ASSERT_EQ(cover[i], IsMaskPixel(p.pixels[i]) ? 0 : 1) << "pixel " << i;
}

void ExpectApproximation(const Picture& p, const ShapeRects& s, std::size_t limit) {
    EXPECT_TRUE(s.approximated);
    EXPECT_LE(s.rects.size(), limit);
    ExpectBanded(s.rects);
    const auto cover = Coverage(p, s.rects);
    for (std::size_t i = 0; i < cover.size(); ++i) {
        ASSERT_LE(cover[i], 1) << "overlap at pixel " << i;
        if (!IsMaskPixel(p.pixels[i])) {
            ASSERT_EQ(cover[i], 1) << "picture pixel " << i << " left out";
        }
    }
}

TEST(FindRowRuns, Rows) {
    struct Case {
        std::string row;
        Runs runs;
    };
    const std::string w63(63, '#'), w64(64, '#'), gap64(64, '.');
    const std::vector<Case> cases = {
        {"", {}},
        {".", {}},
        {"#", {{0, 1}}},
        {"#.#", {{0, 1}, {2, 3}}},
        {"..##..###", {{2, 4}, {6, 9}}},
        {w63 + "." + w64 + "#", {{0, 63}, {64, 129}}},
        {gap64 + "#", {{64, 65}}},
        {w64 + gap64, {{0, 64}}},
        {"." + w63 + w64 + ".", {{1, 128}}},
        {gap64 + gap64 + w64, {{128, 192}}},
    };
    for (const auto& c : cases) {
        const Picture p = FromArt({c.row});
        Runs fast{{-1, -1}}, slow{{-1, -1}};
        FindRowRuns(p.pixels.data(), p.width, fast);
        FindRowRunsPerPixel(p.pixels.data(), p.width, slow);
        Runs expected{{-1, -1}};
        expected.insert(expected.end(), c.runs.begin(), c.runs.end());
        EXPECT_EQ(fast, expected) << "'" << c.row << "' (runs are appended)";
        EXPECT_EQ(slow, expected) << "'" << c.row << "'";
    }
}

TEST(FindRowRuns, ComparesColourOnlyNotAlphaWithinTheTolerance) {
    // Alpha never counts; each of red, green and blue may be up to the tolerance off, either way.
    const std::vector<std::uint32_t> row = {
        0x00008000, 0xFF008000, 0x7F008000, 0x00008001, 0xFF018000, 0x00008100, 0x00000000,
        0xFF00FF00, 0xFF0C740C, 0xFF0C8C0C, 0xFF0D8000, 0xFF00730C, 0xFF00800D, 0xFF008D00};
    const std::pair<int, Runs> cases[] = {
        {0, {{3, 14}}}, {1, {{6, 14}}}, {12, {{6, 8}, {10, 14}}}, {13, {{6, 8}}}, {255, {}},
    };
    for (const auto& [tolerance, runs] : cases) {
        Runs fast, slow;
        FindRowRuns(row.data(), int(row.size()), fast, tolerance);
        FindRowRunsPerPixel(row.data(), int(row.size()), slow, tolerance);
        EXPECT_EQ(fast, runs) << "tolerance " << tolerance;
        EXPECT_EQ(slow, runs) << "tolerance " << tolerance;
    }
}

TEST(FindRowRuns, AgreesWithPerPixelScanOnRandomRows) {
    std::mt19937 rng(1234);
    // Near-miss colours catch a scan that compares too few bits, includes alpha or is one off
    // at a tolerance's edge (12 and 56 are the lossy rule's).
    const std::uint32_t palette[] = {0x00008000, 0xFF008000, 0x12008000, 0x00008001,
                                     0x00018000, 0x00009000, 0xFF000000, 0xFFFFFFFF,
                                     0xFF0C8C0C, 0xFF0D7300, 0xFF38B838, 0xFF008039,
                                     0xFF408040, 0xFF41C000, 0xFF00FF00, 0xFFFF80FF};
    const int tolerances[] = {0, 1, kLossyMaskTolerance, 13, kNoiseTolerance, 57, 64, 255};
    for (int iter = 0; iter < 3000; ++iter) {
        const int width = int(rng() % 300);
        const int tolerance = tolerances[rng() % std::size(tolerances)];
        const unsigned maskChance = rng() % 101;
        const unsigned runLen = 1 + rng() % 70;
        std::vector<std::uint32_t> row(width);
        bool mask = false;
        for (int x = 0; x < width; ++x) {
            if (rng() % runLen == 0)
                mask = rng() % 100 < maskChance;
            row[x] = mask ? palette[rng() % 3] : palette[3 + rng() % 13];
        }
        Runs fast, slow;
        FindRowRuns(row.data(), width, fast, tolerance);
        FindRowRunsPerPixel(row.data(), width, slow, tolerance);
        ASSERT_EQ(fast, slow) << "iteration " << iter << " width " << width << " tolerance "
                              << tolerance;
    }
}

TEST(BuildShapeRects, SmallShapes) {
    struct Case {
        const char* name;
        std::vector<std::string> art;
        std::vector<Rect> rects;
    };
    const std::vector<Case> cases = {
        {"all mask", {"...", "..."}, {}},
        {"no mask", {"###", "###"}, {{0, 0, 3, 2}}},
        {"single pixel", {"#"}, {{0, 0, 1, 1}}},
        {"single mask pixel", {"."}, {}},
        {"equal rows join",
         {"#.#", "#.#", "##.", "##."},
         {{0, 0, 1, 2}, {2, 0, 3, 2}, {0, 2, 2, 4}}},
        {"empty row splits bands", {"##", "..", "##"}, {{0, 0, 2, 1}, {0, 2, 2, 3}}},
        {"ring", {"###", "#.#", "###"}, {{0, 0, 3, 1}, {0, 1, 1, 2}, {2, 1, 3, 2}, {0, 2, 3, 3}}},
        {"one column", {"#", "#", ".", "#"}, {{0, 0, 1, 2}, {0, 3, 1, 4}}},
        {"one row", {"#.##.#"}, {{0, 0, 1, 1}, {2, 0, 4, 1}, {5, 0, 6, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture p = FromArt(c.art);
        const ShapeRects s = BuildShapeRects(p);
        EXPECT_EQ(s.rects, c.rects);
        ExpectExact(p, s);
    }
}

TEST(BuildShapeRects, MatchesNaiveOnRandomMasks) {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 1500; ++iter) {
        Picture p;
        p.width = 1 + int(rng() % 90);
        p.height = 1 + int(rng() % 40);
        const unsigned density = rng() % 101;
        // A few row patterns, repeated, so that bands form as they do in real pictures.
        std::vector<std::vector<std::uint32_t>> patterns(1 + rng() % 4);
        for (auto& row : patterns)
            for (int x = 0; x < p.width; ++x)
                row.push_back(rng() % 100 < density ? kInk : kMask);
        std::size_t pattern = 0;
        for (int y = 0; y < p.height; ++y) {
            if (rng() % 3 == 0)
                pattern = rng() % patterns.size();
            p.pixels.insert(p.pixels.end(), patterns[pattern].begin(), patterns[pattern].end());
        }
        SCOPED_TRACE(testing::Message()
                     << "iteration " << iter << ", " << p.width << "x" << p.height);
        ExpectExact(p, BuildShapeRects(p));
    }
}

TEST(BuildShapeRects, RefusesPixelsThatDoNotMatchTheSize) {
    Picture p = FromArt({"##", "##"});
    p.pixels.pop_back();
    EXPECT_TRUE(BuildShapeRects(p).rects.empty());
    EXPECT_TRUE(BuildShapeRects(Picture{}).rects.empty());
}

TEST(BuildShapeRects, FillsNarrowestGapsFirst) {
    // Gaps of 1, 3, 1 and 2: a limit of 3 fills both 1-wide gaps and keeps the others.
    const Picture p = FromArt({"#.#...#.#..#", "#.#...#.#..#"});
    const ShapeRects s = BuildShapeRects(p, 3);
    ExpectApproximation(p, s, 3);
    EXPECT_EQ(s.rects, (std::vector<Rect>{{0, 0, 3, 2}, {6, 0, 9, 2}, {11, 0, 12, 2}}));
}

TEST(BuildShapeRects, ExactlyAtTheLimitIsNotApproximated) {
    const Picture p = FromArt({"#.#.#", "#.#.#"});
    ExpectExact(p, BuildShapeRects(p, 3));
    ExpectApproximation(p, BuildShapeRects(p, 2), 2);
}

TEST(BuildShapeRects, RowsThatBecomeEqualJoinAfterFilling) {
    // Different gaps per row, so no band forms until the gaps are filled.
    const Picture p = FromArt({"#.##", "##.#", "#.##", "##.#"});
    const ShapeRects s = BuildShapeRects(p, 4);
    ExpectApproximation(p, s, 4);
    EXPECT_EQ(s.rects, (std::vector<Rect>{{0, 0, 4, 4}}));
}

TEST(BuildShapeRects, FineStripesNeedApproximation) {
    struct Case {
        int width, height;
        bool alternateRows; // checkerboard rather than vertical stripes
        std::size_t limit;
    };
    const std::vector<Case> cases = {
        {200, 50, false, 20},
        {200, 50, true, 60},
        {201, 7, true, 5},
        {64, 64, true, 1},
        {3000, 60, true, kMaxShapeRects},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " limit " << c.limit);
        Picture p;
        p.width = c.width;
        p.height = c.height;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                p.pixels.push_back((x + (c.alternateRows ? y : 0)) % 2 ? kMask : kInk);
        ExpectApproximation(p, BuildShapeRects(p, c.limit), c.limit);
    }
}

TEST(BuildShapeRects, RandomMasksWithSmallLimits) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 800; ++iter) {
        Picture p;
        p.width = 1 + int(rng() % 60);
        p.height = 1 + int(rng() % 30);
        const unsigned density = rng() % 101;
        for (int i = 0; i < p.width * p.height; ++i)
            p.pixels.push_back(rng() % 100 < density ? kInk : kMask);
        const std::size_t limit = 1 + rng() % 40;
        SCOPED_TRACE(testing::Message() << "iteration " << iter << " limit " << limit);
        const ShapeRects s = BuildShapeRects(p, limit);
        if (NaiveRects(p).size() <= limit)
            ExpectExact(p, s);
        else
            ExpectApproximation(p, s, limit);
    }
}

// Lossy pictures: '.' the mask colour, ',' JPEG noise on it (5 off), ';' a speck's colour
// (20 off), 'g' RGB(0,150,0), 'G' RGB(30,128,30), 'R' a strong red, 'o' one level off.
Picture FromColourArt(const std::vector<std::string>& art, bool lossy) {
    Picture p;
    p.lossy = lossy;
    p.height = int(art.size());
    p.width = art.empty() ? 0 : int(art[0].size());
    for (const auto& line : art)
        for (char c : line) {
            switch (c) {
            case ',':
                p.pixels.push_back(0xFF058504);
                break;
            case ';':
                p.pixels.push_back(0xFF148C0A);
                break;
            case 'g':
                p.pixels.push_back(0xFF009600);
                break;
            case 'G':
                p.pixels.push_back(0xFF1E801E);
                break;
            case 'R':
                p.pixels.push_back(0xFFC81E1E);
                break;
            case 'o':
                p.pixels.push_back(0xFF008100);
                break;
            default:
                p.pixels.push_back(kMask);
                break;
            }
        }
    return p;
}

TEST(BuildShapeRects, LossyPicturesTakeNearColoursAndDropNoise) {
    struct Case {
        const char* name;
        std::vector<std::string> art;
        std::vector<std::string> lossyShown, exactShown; // '#' shown
    };
    const std::vector<Case> cases = {
        {"noise on the mask is see-through",
         {",.,.", ".,,.", "..,,"},
         {"....", "....", "...."},
         {"#.#.", ".##.", "..##"}},
        {"a lone speck and a thin line go",
         {".......", ".;.....", ".......", "..;;;;.", "......."},
         {".......", ".......", ".......", ".......", "......."},
         {".......", ".#.....", ".......", "..####.", "......."}},
        {"a block of RGB(0,150,0) stays but for its outer corners",
         {".......", ".ggggg.", ".ggggg.", ".ggggg.", ".ggggg.", "......."},
         {".......", "..###..", ".#####.", ".#####.", "..###..", "......."},
         {".......", ".#####.", ".#####.", ".#####.", ".#####.", "......."}},
        {"so does RGB(30,128,30)",
         {".......", ".GGGGG.", ".GGGGG.", ".GGGGG.", ".GGGGG.", "......."},
         {".......", "..###..", ".#####.", ".#####.", "..###..", "......."},
         {".......", ".#####.", ".#####.", ".#####.", ".#####.", "......."}},
        {"colour bleed beside a strong colour goes",
         {"........", "..;;;;..", "..;RR;..", "..;RR;..", "..;;;;..", "........"},
         {"........", "........", "...##...", "...##...", "........", "........"},
         {"........", "..####..", "..####..", "..####..", "..####..", "........"}},
        {"a pin-hole in a drawing is filled",
         {"RRR", "R.R", "RRR"},
         {"###", "###", "###"},
         {"###", "#.#", "###"}},
        {"one level off the mask is see-through only when lossy",
         {"...", ".o.", "..."},
         {"...", "...", "..."},
         {"...", ".#.", "..."}},
    };
    for (const auto& c : cases) {
        for (bool lossy : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.name << (lossy ? " (lossy)" : " (exact)"));
            const Picture p = FromColourArt(c.art, lossy);
            const ShapeRects s = BuildShapeRects(p);
            EXPECT_FALSE(s.approximated);
            ExpectBanded(s.rects);
            const auto cover = Coverage(p, s.rects);
            const auto& want = lossy ? c.lossyShown : c.exactShown;
            for (int y = 0; y < p.height; ++y) {
                std::string row;
                for (int x = 0; x < p.width; ++x)
                    row += cover[std::size_t(y) * p.width + x] ? '#' : '.';
                EXPECT_EQ(row, want[std::size_t(y)]) << "row " << y;
            }
            if (!lossy)
                ExpectExact(p, s);
        }
    }
}

TEST(BuildShapeRects, LossyShapeIsTheCleanedPlane) {
    // Random noisy pictures: the rects cover exactly the pixels LossyOpaqueBits keeps, and no
    // shown pixel near the mask colour is left with 5 or more see-through neighbours.
    std::mt19937 rng(42);
    const std::uint32_t colours[] = {kMask,      0xFF058504, 0xFF148C0A, 0xFF009600,
                                     0xFF1E801E, 0xFFC81E1E, 0xFF40A040, 0xFF0C740C};
    for (int iter = 0; iter < 400; ++iter) {
        Picture p;
        p.lossy = true;
        p.width = 1 + int(rng() % 150);
        p.height = 1 + int(rng() % 30);
        const unsigned spread = 1 + rng() % 8;
        for (int i = 0; i < p.width * p.height; ++i)
            p.pixels.push_back(colours[rng() % spread]);
        SCOPED_TRACE(testing::Message() << "iteration " << iter);
        const std::vector<std::uint64_t> bits = LossyOpaqueBits(p);
        const int words = (p.width + 63) / 64;
        ASSERT_EQ(bits.size(), std::size_t(words) * p.height);
        const ShapeRects s = BuildShapeRects(p);
        ExpectBanded(s.rects);
        const auto cover = Coverage(p, s.rects);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const bool kept = bits[std::size_t(y) * words + x / 64] >> (x % 64) & 1;
                ASSERT_EQ(cover[std::size_t(y) * p.width + x], kept ? 1 : 0) << x << "," << y;
            }
        const auto shown = [&](int x, int y) { return cover[std::size_t(y) * p.width + x] == 1; };
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                if (!shown(x, y) || MaskDistance(p.at(x, y)) > kNoiseTolerance)
                    continue;
                int clear = 0;
                for (int yy = std::max(0, y - 1); yy <= std::min(p.height - 1, y + 1); ++yy)
                    for (int xx = std::max(0, x - 1); xx <= std::min(p.width - 1, x + 1); ++xx)
                        clear += !shown(xx, yy);
                ASSERT_LT(clear, 5) << "speck left at " << x << "," << y;
            }
        for (int y = 0; y < p.height; ++y)
            for (int i = 0; i < words; ++i) {
                const int n = std::min(64, p.width - i * 64);
                if (n < 64) {
                    ASSERT_EQ(bits[std::size_t(y) * words + i] >> n, 0u) << "bits past the width";
                }
            }
    }
    Picture broken = FromColourArt({"RR", "RR"}, true);
    broken.pixels.pop_back();
    EXPECT_TRUE(LossyOpaqueBits(broken).empty());
    EXPECT_TRUE(BuildShapeRects(broken).rects.empty());
}

TEST(BuildShapeRects, ZeroLimitCountsAsOne) {
    const Picture p = FromArt({"#.#", ".#."});
    const ShapeRects s = BuildShapeRects(p, 0);
    ExpectApproximation(p, s, 1);
    EXPECT_EQ(s.rects, (std::vector<Rect>{{0, 0, 3, 2}}));
}

} // namespace
} // namespace zorvane
