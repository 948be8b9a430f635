#include "core/Cutout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zorvane {
namespace {

constexpr std::uint32_t kKey = 0xFF000000u | kMaskColor;
constexpr std::uint32_t kRed = 0xFFE01010;

int Channel(std::uint32_t px, int shift) {
    return int(px >> shift & 0xFF);
}

// a * (1 - t) + b * t, channel by channel, rounded: what anti-aliasing draws.
std::uint32_t Mix(std::uint32_t a, std::uint32_t b, double t) {
    std::uint32_t out = 0xFF000000u;
    for (int shift : {16, 8, 0})
        out |= std::uint32_t(std::lround(Channel(a, shift) * (1 - t) + Channel(b, shift) * t))
               << shift;
    return out;
}

// A premultiplied pixel over an opaque desktop colour, as a compositor blends it.
std::uint32_t Over(std::uint32_t premultiplied, std::uint32_t desktop) {
    const int a = Channel(premultiplied, 24);
    std::uint32_t out = 0xFF000000u;
    for (int shift : {16, 8, 0})
        out |= std::uint32_t(
                   std::min(255, Channel(premultiplied, shift) +
                                     int(std::lround(Channel(desktop, shift) * (255 - a) / 255.0))))
               << shift;
    return out;
}

int Distance(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int shift : {16, 8, 0})
        worst = std::max(worst, std::abs(Channel(a, shift) - Channel(b, shift)));
    return worst;
}

// The window's pixels for the picture.
std::vector<std::uint32_t> Painted(const Picture& p, const Cutout& cut) {
    std::vector<std::uint32_t> out(p.pixels.size(), 0xDEADBEEF);
    EXPECT_TRUE(PaintCutout(p, cut, out.data()));
    return out;
}
std::vector<std::uint32_t> Painted(const Picture& p, Edges edges) {
    return Painted(p, MakeCutout(p, edges));
}

// A row: the mask green, the pixel under test, then the figure: the pixel touches the
// cut-away area, and the figure lies further in.
Picture Row(std::uint32_t edge, std::uint32_t figure) {
    Picture p;
    p.width = 5;
    p.height = 1;
    p.pixels = {kKey, edge, figure, figure, figure};
    return p;
}

struct EdgeRow {
    const char* name;
    std::uint32_t edge, figure;
    int alpha;            // expected, within 2 levels; 255 for a pixel kept as it is
    std::uint32_t opaque; // SoftOpaque's colour for it
};

class EdgePixel : public ::testing::TestWithParam<EdgeRow> {};

TEST_P(EdgePixel, IsMattedOnlyWhenItIsABlendOfTheFigureAndTheMaskColour) {
    const EdgeRow& c = GetParam();
    const Picture p = Row(c.edge, c.figure);
    const Cutout soft = MakeCutout(p, Edges::Soft);
    const std::vector<std::uint32_t> shown = Painted(p, soft);
    const std::uint32_t px = shown[1];
    EXPECT_NEAR(Channel(px, 24), c.alpha, 2);
    if (c.alpha == 255) {
        EXPECT_EQ(px, c.edge) << "kept as it is";
    } else {
        // Over any desktop: the figure blended with it at the pixel's share, within 8 levels.
        const double t = c.alpha / 255.0;
        for (std::uint32_t desktop : {0xFFFFFFFFu, 0xFF000000u, 0xFF3060A0u})
            EXPECT_LE(Distance(Over(px, desktop), Mix(desktop, c.figure, t)), 8)
                << std::hex << desktop;
    }
    EXPECT_EQ(shown[0], 0u) << "the mask colour is cut away";
    EXPECT_EQ(shown[4], c.figure) << "inside, the picture as it is";
    EXPECT_EQ(soft.edges.size(), c.alpha == 255 ? 0u : 1u) << "only what differs is kept";
    EXPECT_EQ(soft.outline.rects, (std::vector<Rect>{{1, 0, 5, 1}})) << "the same outline";

    EXPECT_LE(Distance(Painted(p, Edges::SoftOpaque)[1], c.opaque), 8);
    EXPECT_EQ(Painted(p, Edges::Hard)[1], c.edge);
}

INSTANTIATE_TEST_SUITE_P(
    Cutout, EdgePixel,
    ::testing::Values(EdgeRow{"QuarterRed", Mix(kKey, kRed, 0.25), kRed, 64, kRed},
                      EdgeRow{"HalfRed", Mix(kKey, kRed, 0.5), kRed, 128, kRed},
                      EdgeRow{"ThreeQuartersRed", Mix(kKey, kRed, 0.75), kRed, 191, kRed},
                      EdgeRow{"HalfWhite", Mix(kKey, 0xFFFFFFFF, 0.5), 0xFFFFFFFF, 128, 0xFFFFFFFF},
                      EdgeRow{"QuarterBlack", Mix(kKey, 0xFF000000, 0.25), 0xFF000000, 64,
                              0xFF000000},
                      EdgeRow{"BlendALittleOff", Mix(kKey, kRed, 0.5) + 0x000302, kRed, 128, kRed},
                      // Not blends: what the artist drew stays opaque, as it is.
                      EdgeRow{"DarkOutlineOnRed", 0xFF000000, kRed, 255, 0xFF000000},
                      EdgeRow{"DarkGreenOutlineOnYellow", 0xFF005000, 0xFFFFE000, 255, 0xFF005000},
                      EdgeRow{"PixelArtNeighbour", 0xFF2040C0, 0xFFF0C080, 255, 0xFF2040C0},
                      EdgeRow{"TheFigureItself", kRed, kRed, 255, kRed},
                      EdgeRow{"GreenFigureOnGreen", 0xFF00A000, 0xFF00A000, 255, 0xFF00A000},
                      EdgeRow{"PastTheTolerance", Mix(kKey, kRed, 0.5) + 0x002000, kRed, 255,
                              Mix(kKey, kRed, 0.5) + 0x002000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cutout, OnlyPixelsTouchingTheCutAwayAreaAreLookedAt) {
    // The same half blend inside the figure, two pixels from the green: kept as it is.
    Picture p = Row(kRed, kRed);
    p.pixels[3] = Mix(kKey, kRed, 0.5);
    EXPECT_EQ(Painted(p, Edges::Soft)[3], p.pixels[3]);
    // A picture without any of the mask colour is shown whole.
    Picture plain = Row(kRed, kRed);
    plain.pixels[0] = kRed;
    EXPECT_EQ(Painted(plain, Edges::Soft), plain.pixels);
    // Pixels that do not match the size: nothing, and nothing painted.
    Picture broken = Row(kRed, kRed);
    broken.pixels.pop_back();
    const Cutout none = MakeCutout(broken, Edges::Soft);
    EXPECT_TRUE(none.runs.empty() && none.outline.rects.empty());
    std::vector<std::uint32_t> out(5, 7);
    EXPECT_FALSE(PaintCutout(p, none, out.data()));
    EXPECT_FALSE(PaintCutout(broken, MakeCutout(p, Edges::Soft), out.data()));
    EXPECT_EQ(out, std::vector<std::uint32_t>(5, 7));
}

TEST(Cutout, APicturesOwnAlphaIsKeptAndItsFaintestPixelsStay) {
    // A 32-bit icon's soft edge: 25 % and 75 % red, and a clear pixel; the loader shows
    // what is under half as the mask colour.
    Picture p;
    p.width = 4;
    p.height = 1;
    p.ownAlpha = {0x00000000, 0x40FF0000, 0xC0FF0000, 0xFFFF0000};
    p.pixels = {kKey, kKey, 0xFFFF0000, 0xFFFF0000};
    const Cutout soft = MakeCutout(p, Edges::Soft);
    EXPECT_EQ(Painted(p, soft),
              (std::vector<std::uint32_t>{0, 0x40400000, 0xC0C00000, 0xFFFF0000}));
    EXPECT_EQ(soft.outline.rects, (std::vector<Rect>{{1, 0, 4, 1}}));
    // Where the desktop cannot blend: the outline and colours of the pixels as loaded.
    const Cutout opaque = MakeCutout(p, Edges::SoftOpaque);
    EXPECT_EQ(Painted(p, opaque), (std::vector<std::uint32_t>{0, 0, 0xFFFF0000, 0xFFFF0000}));
    EXPECT_EQ(opaque.outline.rects, (std::vector<Rect>{{2, 0, 4, 1}}));
}

// A disk of `colour` on the mask green, anti-aliased by supersampling each pixel n x n;
// coverage receives each pixel's share of the disk.
Picture Disk(int size, int n, std::uint32_t colour, std::vector<double>& coverage) {
    Picture p;
    p.width = p.height = size;
    const double c = size / 2.0, r = size / 2.0 - 3;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            int inside = 0;
            for (int sy = 0; sy < n; ++sy)
                for (int sx = 0; sx < n; ++sx) {
                    const double dx = x + (sx + 0.5) / n - c, dy = y + (sy + 0.5) / n - c;
                    inside += dx * dx + dy * dy <= r * r;
                }
            const double t = double(inside) / (n * n);
            coverage.push_back(t);
            p.pixels.push_back(Mix(kKey, colour, t));
        }
    return p;
}

// Pixels that carry the mask green onto the desktop: greener than the red figure and the
// grey desktops can make them.
int Rim(const std::vector<std::uint32_t>& screen) {
    int rim = 0;
    for (std::uint32_t px : screen)
        rim += Channel(px, 8) > Channel(px, 0) + 16;
    return rim;
}

TEST(Cutout, AnAntiAliasedDiskStandsOnAnyDesktopWithoutARim) {
    for (int n : {4, 16}) {
        std::vector<double> coverage;
        const Picture disk = Disk(120, n, kRed, coverage);
        const std::vector<std::uint32_t> hard = Painted(disk, Edges::Hard);
        const std::vector<std::uint32_t> soft = Painted(disk, Edges::Soft);
        for (std::uint32_t desktop : {0xFFFFFFFFu, 0xFF000000u}) {
            std::vector<std::uint32_t> before, after;
            int worst = 0;
            for (std::size_t i = 0; i < disk.pixels.size(); ++i) {
                before.push_back(Over(hard[i], desktop));
                after.push_back(Over(soft[i], desktop));
                worst = std::max(worst, Distance(after.back(), Mix(desktop, kRed, coverage[i])));
            }
            std::printf("[ rim      ] disk at %dx sampling over %06X: %d rim pixels before, %d "
                        "after; worst pixel %d levels from the ideal blend\n",
                        n, desktop & 0xFFFFFF, Rim(before), Rim(after), worst);
            EXPECT_GT(Rim(before), 0);
            EXPECT_EQ(Rim(after), 0);
            EXPECT_LE(worst, 8);
        }
    }
}

} // namespace
} // namespace zorvane
