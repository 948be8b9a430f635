#include "core/Cutout.h"

#include "core/BitPlane.h"

#include <bit>

#include <algorithm>
#include <cmath>
#include <optional>

namespace zorvane {

namespace {

struct Rgb {
    int r, g, b;
};

constexpr Rgb Channels(std::uint32_t px) {
    return {int(px >> 16 & 0xFF), int(px >> 8 & 0xFF), int(px & 0xFF)};
}

constexpr Rgb kKey = Channels(kMaskColor);

int KeyDistance2(Rgb p) {
    const int r = p.r - kKey.r, g = p.g - kKey.g, b = p.b - kKey.b;
    return r * r + g * g + b * b;
}

// The pixel as a mix of the figure's colour (share t) and the mask colour: the nearest such
// mix, and how far the pixel lies from it in levels.
struct Mix {
    double t = 0;
    int residual = 0;
};

Mix NearestMix(Rgb p, Rgb figure) {
    const float d[3] = {float(p.r - kKey.r), float(p.g - kKey.g), float(p.b - kKey.b)};
    const float f[3] = {float(figure.r - kKey.r), float(figure.g - kKey.g),
                        float(figure.b - kKey.b)};
    const float ff = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    if (ff == 0)
        return {0, 256}; // the figure is the mask colour: nothing to mix
    const float t = std::clamp((d[0] * f[0] + d[1] * f[1] + d[2] * f[2]) / ff, 0.0f, 1.0f);
    float worst = 0;
    for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(d[c] - t * f[c]));
    return {t, int(worst + 0.5f)};
}

std::uint32_t Pack(int a, int r, int g, int b) {
    return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 |
           std::uint32_t(b);
}

// The figure's share of the pixel, the green taken out: premultiplied with alpha t, or
// opaque in the figure's own colour.
std::uint32_t WithoutKey(Rgb p, double t, Edges edges) {
    const double k = 1 - t;
    const int channel[3] = {p.r, p.g, p.b}, key[3] = {kKey.r, kKey.g, kKey.b};
    int out[3];
    if (edges == Edges::Soft) {
        const int alpha = std::clamp(int(std::lround(t * 255)), 1, 255);
        for (int c = 0; c < 3; ++c)
            out[c] = std::clamp(int(std::lround(channel[c] - k * key[c])), 0, alpha);
        return Pack(alpha, out[0], out[1], out[2]);
    }
    for (int c = 0; c < 3; ++c)
        out[c] = std::clamp(int(std::lround((channel[c] - k * key[c]) / t)), 0, 255);
    return Pack(0xFF, out[0], out[1], out[2]);
}

// The shown bits of the rows around the one being matted, and which of their pixels touch
// the cut-away area: its figures lie up to two rows off.
class RowWindow {
  public:
    static constexpr int kRows = 8;
    RowWindow(int width, int height)
        : width_(width), height_(height), words_((width + kBitWord - 1) / kBitWord),
          shown_(std::size_t(words_) * kRows), near_(shown_.size()) {}

    std::uint64_t* row(int y) { return shown_.data() + std::size_t(y % kRows) * words_; }
    bool shown(int x, int y) const { return Bit(shown_, x, y); }
    // A pixel with a cut-away pixel among its neighbours (shown or not).
    bool nearCut(int x, int y) const { return Bit(near_, x, y); }

    // Works out nearCut for row y, once rows y - 1 to y + 1 are in.
    void Near(int y) {
        std::uint64_t* out = near_.data() + std::size_t(y % kRows) * words_;
        for (int i = 0; i < words_; ++i) {
            const int n = std::min(kBitWord, width_ - i * kBitWord);
            std::uint64_t c = 0;
            for (int yy = std::max(0, y - 1); yy <= std::min(height_ - 1, y + 1); ++yy)
                c |= ~row(yy)[i];
            out[i] = c & (n == kBitWord ? ~0ull : (1ull << n) - 1); // clear, for now
        }
        std::uint64_t before = 0;
        for (int i = 0; i < words_; ++i) {
            const std::uint64_t c = out[i], after = i + 1 < words_ ? out[i + 1] : 0;
            out[i] = c | c << 1 | c >> 1 | before >> 63 | after << 63;
            before = c;
        }
    }
    // Calls f(x) for each shown pixel of row y that touches the cut-away area.
    template <typename F> void ForEachBorder(int y, const F& f) {
        const std::uint64_t* shown = row(y);
        const std::uint64_t* near = near_.data() + std::size_t(y % kRows) * words_;
        for (int i = 0; i < words_; ++i)
            for (std::uint64_t b = shown[i] & near[i]; b; b &= b - 1)
                f(i * kBitWord + std::countr_zero(b));
    }

  private:
    bool Bit(const std::vector<std::uint64_t>& ring, int x, int y) const {
        return ring[std::size_t(y % kRows) * words_ + x / kBitWord] >> (x % kBitWord) & 1;
    }

    int width_, height_, words_;
    std::vector<std::uint64_t> shown_, near_;
};

// A shown pixel that touches the cut-away area: its figure is a shown pixel further in (one
// that touches none), beside it or two pixels off; for a stroke too thin to have one, a
// neighbour further from the mask colour than itself. Among the figures it is a blend of, the
// one it holds most of decides. Nothing for a pixel that is no blend: it stays as it is.
std::optional<std::uint32_t> Matte(const Picture& picture, const RowWindow& window, int x, int y,
                                   Edges edges) {
    const std::uint32_t px = picture.at(x, y);
    const Rgb p = Channels(px);
    double best = -1;
    std::uint32_t last = ~0u; // a figure of one colour is looked at once
    auto consider = [&](int fx, int fy) {
        const std::uint32_t figure = picture.at(fx, fy) & 0xFFFFFF;
        if (figure == last)
            return;
        last = figure;
        if (figure == (px & 0xFFFFFF)) {
            best = 1; // the figure's own colour
            return;
        }
        const Mix mix = NearestMix(p, Channels(figure));
        if (mix.residual <= kBlendTolerance)
            best = std::max(best, mix.t);
    };
    bool further = false;
    for (int r = 1; r <= 2 && !further; ++r)
        for (int fy = std::max(0, y - r); fy <= std::min(picture.height - 1, y + r); ++fy)
            for (int fx = std::max(0, x - r); fx <= std::min(picture.width - 1, x + r); ++fx)
                if ((std::abs(fx - x) == r || std::abs(fy - y) == r) && window.shown(fx, fy) &&
                    !window.nearCut(fx, fy)) {
                    further = true;
                    consider(fx, fy);
                }
    if (!further) {
        const int own = KeyDistance2(p);
        for (int fy = std::max(0, y - 1); fy <= std::min(picture.height - 1, y + 1); ++fy)
            for (int fx = std::max(0, x - 1); fx <= std::min(picture.width - 1, x + 1); ++fx)
                if (window.shown(fx, fy) && KeyDistance2(Channels(picture.at(fx, fy))) > own)
                    consider(fx, fy);
    }
    if (best < 0 || std::lround(best * 255) >= 255)
        return std::nullopt;
    return WithoutKey(p, best, edges);
}

std::uint32_t Premultiply(std::uint32_t argb) {
    const std::uint32_t a = argb >> 24;
    if (a == 0xFF)
        return argb;
    auto scale = [&](int shift) { return ((argb >> shift & 0xFF) * a + 127) / 255; };
    return Pack(int(a), int(scale(16)), int(scale(8)), int(scale(0)));
}

// Soft edges of the file's own: its alpha as it is, the mask colour cut away.
void OwnAlpha(const Picture& picture, Cutout& cut) {
    for (int y = 0; y < picture.height; ++y) {
        cut.rowStart.push_back(std::uint32_t(cut.runs.size()));
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t i = std::uint32_t(y) * std::uint32_t(picture.width) + x;
            const std::uint32_t own = picture.ownAlpha[i];
            if ((own >> 24) == 0 || (own & 0xFFFFFF) == kMaskColor)
                continue;
            if (!cut.runs.empty() && cut.runs.size() > cut.rowStart.back() &&
                cut.runs.back().right == x)
                ++cut.runs.back().right;
            else
                cut.runs.push_back({x, x + 1});
            if ((own >> 24) != 0xFF)
                cut.edges.push_back({i, Premultiply(own)});
        }
    }
    cut.rowStart.push_back(std::uint32_t(cut.runs.size()));
}

} // namespace

Cutout MakeCutout(const Picture& picture, Edges edges, std::size_t maxRects) {
    const ShownRows rows(picture);
    if (!rows.valid())
        return {};
    const int width = picture.width, height = picture.height;
    Cutout cut;
    cut.width = width;
    cut.height = height;
    cut.rowStart.reserve(std::size_t(height) + 1);
    if (edges == Edges::Soft && picture.ownAlpha.size() == picture.pixels.size()) {
        OwnAlpha(picture, cut);
    } else {
        // Row y is read as row y - 1 learns which of its pixels touch the cut-away area and
        // row y - 3 is matted: its figures, two rows off, are known by then.
        RowWindow window(width, height);
        constexpr int kAhead = 3;
        for (int y = 0; y < height + kAhead; ++y) {
            if (y < height) {
                rows.Row(y, window.row(y));
                cut.rowStart.push_back(std::uint32_t(cut.runs.size()));
                FindBitRuns(window.row(y), width, cut.runs);
            }
            if (y >= 1 && y <= height && edges != Edges::Hard)
                window.Near(y - 1);
            const int m = y - kAhead;
            if (m < 0 || edges == Edges::Hard)
                continue;
            window.ForEachBorder(m, [&](int x) {
                if (auto px = Matte(picture, window, x, m, edges))
                    cut.edges.push_back({std::uint32_t(m) * std::uint32_t(width) + x, *px});
            });
        }
        cut.rowStart.push_back(std::uint32_t(cut.runs.size()));
    }
    cut.outline = ShapeFromRuns(cut.runs, cut.rowStart, width, maxRects);
    return cut;
}

bool PaintCutout(const Picture& picture, const Cutout& cut, std::uint32_t* out) {
    const int width = cut.width;
    if (width <= 0 || picture.width != width || picture.height != cut.height ||
        picture.pixels.size() != std::size_t(width) * std::size_t(cut.height) ||
        cut.rowStart.size() != std::size_t(cut.height) + 1 ||
        cut.rowStart.back() != cut.runs.size())
        return false;
    for (int y = 0; y < cut.height; ++y) {
        const std::uint32_t* in = picture.pixels.data() + std::size_t(y) * width;
        std::uint32_t* o = out + std::size_t(y) * width;
        int x = 0;
        for (std::uint32_t r = cut.rowStart[y]; r < cut.rowStart[y + 1]; ++r) {
            const Run run = cut.runs[r];
            std::fill(o + x, o + run.left, 0u);
            for (int k = run.left; k < run.right; ++k)
                o[k] = in[k] | 0xFF000000u;
            x = run.right;
        }
        std::fill(o + x, o + width, 0u);
    }
    for (const EdgePixel& e : cut.edges)
        out[e.index] = e.argb;
    return true;
}

std::size_t CutoutBytes(const Cutout& cut) {
    return cut.runs.size() * sizeof(Run) + cut.rowStart.size() * sizeof(std::uint32_t) +
           cut.edges.size() * sizeof(EdgePixel) + cut.outline.rects.size() * sizeof(Rect);
}

} // namespace zorvane
