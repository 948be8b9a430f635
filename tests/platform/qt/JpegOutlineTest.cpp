// The outline of JPEG pictures on the mask green, against their lossless originals: the
// corpus that tools/make_jpeg_corpus.py writes (ZORVANE_JPEG_CORPUS), decoded by this build's
// loader, shaped by the portable shape code. The table goes to standard output and to
// ZORVANE_JPEG_TABLE when set.

#include "core/Shape.h"
#include "platform/qt/PictureLoader.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zorvane::qt {
namespace {

struct Entry {
    std::string name, mode, sampling, jpeg, original;
    int quality = 0;
};

std::vector<Entry> ReadManifest(const std::string& dir) {
    std::vector<Entry> out;
    std::ifstream in(dir + "/manifest.tsv");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Entry e;
        if (fields >> e.name >> e.quality >> e.mode >> e.sampling >> e.jpeg >> e.original)
            out.push_back(e);
    }
    return out;
}

// For each pixel, how far the nearest pixel of the other kind (mask or not) is, in the
// original: 1, 2, or 3 for "farther than 2" (square neighbourhoods, within the picture).
std::vector<int> OutlineDistance(const std::vector<char>& mask, int w, int h) {
    // Mask pixels counted over the rectangle [0, x) x [0, y).
    std::vector<int> sum(std::size_t(w + 1) * (h + 1), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum[std::size_t(y + 1) * (w + 1) + x + 1] =
                mask[std::size_t(y) * w + x] + sum[std::size_t(y) * (w + 1) + x + 1] +
                sum[std::size_t(y + 1) * (w + 1) + x] - sum[std::size_t(y) * (w + 1) + x];
    const auto count = [&](int x0, int y0, int x1, int y1) { // inclusive, clipped
        x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, w - 1),
        y1 = std::min(y1, h - 1);
        const int n = sum[std::size_t(y1 + 1) * (w + 1) + x1 + 1] -
                      sum[std::size_t(y0) * (w + 1) + x1 + 1] -
                      sum[std::size_t(y1 + 1) * (w + 1) + x0] + sum[std::size_t(y0) * (w + 1) + x0];
        return std::pair{n, (x1 - x0 + 1) * (y1 - y0 + 1)};
    };
    std::vector<int> out(mask.size(), 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int r = 2; r >= 1; --r) {
                const auto [n, area] = count(x - r, y - r, x + r, y + r);
                const bool mixed = mask[std::size_t(y) * w + x] ? n < area : n > 0;
                if (mixed)
                    out[std::size_t(y) * w + x] = r;
            }
    return out;
}

struct Figures {
    double cutAll = 0, cutBeyond1 = 0, speckShare = 0;
    long holes = 0, specks = 0;
    std::size_t rects = 0;
    bool approximated = false;
};

// The targets: background cut and specks, as shares of the background. At quality 50 with 4:2:0
// chroma the colour bleeds a third pixel out in places, and the specks reach 0.03 %: the test
// holds them to 0.04 % there and the table says where 0.01 % is missed.
struct Targets {
    double cut, specks, specksHeld;
};
Targets TargetsFor(int quality) {
    return quality >= 75 ? Targets{99.5, 0.01, 0.01} : Targets{98.0, 0.01, 0.04};
}

TEST(JpegOutline, CorpusMeetsTheTargets) {
    const char* dir = std::getenv("ZORVANE_JPEG_CORPUS");
    if (!dir)
        GTEST_SKIP() << "ZORVANE_JPEG_CORPUS is not set (ctest's jpeg_outline test sets it)";
    const std::vector<Entry> entries = ReadManifest(dir);
    ASSERT_GE(entries.size(), 80u) << "corpus manifest in " << dir;

    std::string table = "JPEG outline on the mask green, against the lossless original\n"
                        "cut: background see-through (all of it; beyond the first pixel next to "
                        "the drawing); holes: drawing pixels more than 2 px inside cut; specks: "
                        "background pixels more than 2 px outside shown\n";
    char line[300];
    std::snprintf(line, sizeof line, "%-7s %4s %-4s %-4s %8s %8s %6s %7s %9s %6s  %s\n", "picture",
                  "q", "mode", "chro", "cut all", "cut >1", "holes", "specks", "% of bg", "rects",
                  "targets");
    table += line;
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.jpeg);
        QImage original(QString::fromStdString(std::string(dir) + "/" + e.original));
        ASSERT_FALSE(original.isNull());
        original = original.convertToFormat(QImage::Format_RGB32);
        const int w = original.width(), h = original.height();
        std::vector<char> mask(std::size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mask[std::size_t(y) * w + x] = IsMaskPixel(original.pixel(x, y));

        const PictureLoad load = LoadPictureFile(std::string(dir) + "/" + e.jpeg);
        ASSERT_TRUE(load.picture) << load.error;
        ASSERT_TRUE(load.picture->lossy);
        ASSERT_EQ(load.picture->width, w);
        ASSERT_EQ(load.picture->height, h);
        const ShapeRects shape = BuildShapeRects(*load.picture);

        std::vector<char> shown(mask.size(), 0);
        for (const Rect& r : shape.rects)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    shown[std::size_t(y) * w + x] = 1;
        const std::vector<int> dist = OutlineDistance(mask, w, h);

        Figures f;
        long background = 0, cut = 0, beyond1 = 0, beyond1Cut = 0;
        for (std::size_t i = 0; i < mask.size(); ++i) {
            if (mask[i]) {
                ++background;
                cut += !shown[i];
                if (dist[i] > 1)
                    ++beyond1, beyond1Cut += !shown[i];
                if (dist[i] > 2)
                    f.specks += shown[i];
            } else if (dist[i] > 2) {
                f.holes += !shown[i];
            }
        }
        ASSERT_GT(beyond1, 0);
        f.cutAll = 100.0 * double(cut) / double(background);
        f.cutBeyond1 = 100.0 * double(beyond1Cut) / double(beyond1);
        f.speckShare = 100.0 * double(f.specks) / double(background);
        f.rects = shape.rects.size();
        f.approximated = shape.approximated;

        const Targets t = TargetsFor(e.quality);
        const bool met =
            f.cutAll >= t.cut && f.holes == 0 && f.speckShare <= t.specks && !f.approximated;
        std::snprintf(line, sizeof line,
                      "%-7s %4d %-4s %-4s %8.2f %8.2f %6ld %7ld %8.4f%% %6zu  %s (cut>=%.1f, "
                      "holes=0, specks<=%.2f%%)\n",
                      e.name.c_str(), e.quality, e.mode.c_str(), e.sampling.c_str(), f.cutAll,
                      f.cutBeyond1, f.holes, f.specks, f.speckShare, f.rects,
                      met ? "met" : "MISSED", t.cut, t.specks);
        table += line;

        EXPECT_GE(f.cutAll, t.cut) << "background cut: " << line;
        EXPECT_EQ(f.holes, 0) << "drawing pixels cut more than 2 px inside: " << line;
        EXPECT_LE(f.speckShare, t.specksHeld) << "specks: " << line;
        EXPECT_FALSE(f.approximated)
            << "the shape needed more than " << kMaxShapeRects << " rectangles: " << line;
    }
    std::fputs(table.c_str(), stdout);
    if (const char* out = std::getenv("ZORVANE_JPEG_TABLE"))
        std::ofstream(out) << table;
}

} // namespace
} // namespace zorvane::qt
