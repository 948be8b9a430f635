#include "picture/Cutout.h"

#include "picture/BitPlane.h"

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

// A shown pixel that touches the cut-away area: its figure is a shown pixel further in (one
// that touches none), within two pixels; for a stroke too thin to have one, a neighbour
// further from the mask colour than itself. Among the figures it is a blend of, the one it
// holds most of decides. Nothing for a pixel that is no blend: it stays as it is.
std::optional<std::uint32_t> Matte(const Picture& picture, const BitPlane& shown,
                                   const BitPlane& nearCut, int x, int y, Edges edges) {
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
    // The nearest figures first: beside the pixel, then two pixels off.
    bool further = false;
    for (int r = 1; r <= 2 && !further; ++r)
        for (int fy = std::max(0, y - r); fy <= std::min(picture.height - 1, y + r); ++fy)
            for (int fx = std::max(0, x - r); fx <= std::min(picture.width - 1, x + r); ++fx)
                if ((std::abs(fx - x) == r || std::abs(fy - y) == r) && shown.at(fx, fy) &&
                    !nearCut.at(fx, fy)) {
                    further = true;
                    consider(fx, fy);
                }
    if (!further) {
        const int own = KeyDistance2(p);
        for (int fy = std::max(0, y - 1); fy <= std::min(picture.height - 1, y + 1); ++fy)
            for (int fx = std::max(0, x - 1); fx <= std::min(picture.width - 1, x + 1); ++fx)
                if (shown.at(fx, fy) && KeyDistance2(Channels(picture.at(fx, fy))) > own)
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
void OwnAlpha(const Picture& picture, BitPlane& shown, std::vector<EdgePixel>& edges) {
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t i = std::uint32_t(y) * std::uint32_t(picture.width) + x;
            const std::uint32_t own = picture.ownAlpha[i];
            const bool clear = (own >> 24) == 0 || (own & 0xFFFFFF) == kMaskColor;
            shown.set(x, y, !clear);
            if (!clear && (own >> 24) != 0xFF)
                edges.push_back({i, Premultiply(own)});
        }
}

} // namespace

Cutout MakeCutout(const Picture& picture, Edges edges, std::size_t maxRects) {
    const int width = picture.width, height = picture.height;
    BitPlane shown(std::max(width, 0), std::max(height, 0));
    if (!shown.adopt(ShownBits(picture)) || width <= 0 || height <= 0)
        return {};
    Cutout cut;
    cut.width = width;
    cut.height = height;
    if (edges == Edges::Soft && picture.ownAlpha.size() == picture.pixels.size()) {
        OwnAlpha(picture, shown, cut.edges);
    } else if (edges != Edges::Hard) {
        const BitPlane nearCut = shown.Dilated(1, true);
        BitPlane::ForEach(shown, shown, nearCut, [&](int x, int y) {
            if (auto px = Matte(picture, shown, nearCut, x, y, edges))
                cut.edges.push_back({std::uint32_t(y) * std::uint32_t(width) + x, *px});
        });
    }
    cut.shown = shown.take();
    cut.outline = ShapeFromBits(cut.shown, width, height, maxRects);
    return cut;
}

bool PaintCutout(const Picture& picture, const Cutout& cut, std::uint32_t* out) {
    const int width = cut.width;
    const std::size_t words = (std::size_t(std::max(width, 0)) + kBitWord - 1) / kBitWord;
    if (width <= 0 || picture.width != width || picture.height != cut.height ||
        picture.pixels.size() != std::size_t(width) * std::size_t(cut.height) ||
        cut.shown.size() != words * std::size_t(cut.height))
        return false;
    for (int y = 0; y < cut.height; ++y) {
        const std::uint32_t* in = picture.pixels.data() + std::size_t(y) * width;
        std::uint32_t* o = out + std::size_t(y) * width;
        const std::uint64_t* bits = cut.shown.data() + std::size_t(y) * words;
        for (std::size_t i = 0; i < words; ++i) {
            const int base = int(i) * kBitWord, n = std::min(kBitWord, width - base);
            const std::uint64_t w = bits[i];
            if (w == 0) {
                std::fill_n(o + base, n, 0u);
            } else if (w == (n == kBitWord ? ~0ull : (1ull << n) - 1)) {
                for (int k = 0; k < n; ++k)
                    o[base + k] = in[base + k] | 0xFF000000u;
            } else {
                for (int k = 0; k < n; ++k)
                    o[base + k] = (w >> k & 1) ? in[base + k] | 0xFF000000u : 0u;
            }
        }
    }
    for (const EdgePixel& e : cut.edges)
        out[e.index] = e.argb;
    return true;
}

std::size_t CutoutBytes(const Cutout& cut) {
    return cut.shown.size() * sizeof(std::uint64_t) + cut.edges.size() * sizeof(EdgePixel) +
           cut.outline.rects.size() * sizeof(Rect);
}

} // namespace zorvane
