#include "picture/Cutout.h"

#include "picture/BitPlane.h"

#include <algorithm>
#include <cmath>

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
    const double d[3] = {double(p.r - kKey.r), double(p.g - kKey.g), double(p.b - kKey.b)};
    const double f[3] = {double(figure.r - kKey.r), double(figure.g - kKey.g),
                         double(figure.b - kKey.b)};
    const double ff = f[0] * f[0] + f[1] * f[1] + f[2] * f[2];
    if (ff == 0)
        return {0, 256}; // the figure is the mask colour: nothing to mix
    const double t = std::clamp((d[0] * f[0] + d[1] * f[1] + d[2] * f[2]) / ff, 0.0, 1.0);
    double worst = 0;
    for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(d[c] - t * f[c]));
    return {t, int(std::lround(worst))};
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
// holds most of decides; a pixel that is no blend stays as it is.
std::uint32_t Matte(const Picture& picture, const BitPlane& shown, const BitPlane& nearCut, int x,
                    int y, Edges edges) {
    const std::uint32_t px = picture.at(x, y);
    const Rgb p = Channels(px);
    double best = -1;
    auto consider = [&](int fx, int fy) {
        const Mix mix = NearestMix(p, Channels(picture.at(fx, fy)));
        if (mix.residual <= kBlendTolerance)
            best = std::max(best, mix.t);
    };
    bool further = false;
    for (int fy = std::max(0, y - 2); fy <= std::min(picture.height - 1, y + 2); ++fy)
        for (int fx = std::max(0, x - 2); fx <= std::min(picture.width - 1, x + 2); ++fx)
            if (shown.at(fx, fy) && !nearCut.at(fx, fy)) {
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
        return px | 0xFF000000u;
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
Cutout OwnAlphaCutout(const Picture& picture, std::size_t maxRects) {
    auto out = std::make_shared<Picture>();
    out->width = picture.width;
    out->height = picture.height;
    out->pixels.resize(picture.ownAlpha.size());
    BitPlane visible(picture.width, picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const std::size_t i = std::size_t(y) * picture.width + x;
            const std::uint32_t own = picture.ownAlpha[i];
            const bool clear = (own >> 24) == 0 || (own & 0xFFFFFF) == kMaskColor;
            out->pixels[i] = clear ? 0 : Premultiply(own);
            visible.set(x, y, !clear);
        }
    Cutout cut;
    cut.outline = ShapeFromBits(visible.take(), picture.width, picture.height, maxRects);
    cut.pixels = std::move(out);
    return cut;
}

} // namespace

Cutout MakeCutout(const Picture& picture, Edges edges, std::size_t maxRects) {
    const int width = picture.width, height = picture.height;
    BitPlane shown(std::max(width, 0), std::max(height, 0));
    if (!shown.adopt(ShownBits(picture)) || width <= 0 || height <= 0)
        return {};
    if (edges == Edges::Soft && picture.ownAlpha.size() == picture.pixels.size())
        return OwnAlphaCutout(picture, maxRects);

    auto out = std::make_shared<Picture>();
    out->width = width;
    out->height = height;
    out->pixels.resize(picture.pixels.size());
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* in = picture.pixels.data() + std::size_t(y) * width;
        std::uint32_t* o = out->pixels.data() + std::size_t(y) * width;
        for (int i = 0; i < shown.words(); ++i) {
            const int base = i * kBitWord, n = std::min(kBitWord, width - base);
            const std::uint64_t bits = shown.row(y)[i];
            if (bits == 0) {
                std::fill_n(o + base, n, 0u);
            } else if (bits == shown.valid(i)) {
                for (int k = 0; k < n; ++k)
                    o[base + k] = in[base + k] | 0xFF000000u;
            } else {
                for (int k = 0; k < n; ++k)
                    o[base + k] = (bits >> k & 1) ? in[base + k] | 0xFF000000u : 0u;
            }
        }
    }
    if (edges != Edges::Hard) {
        const BitPlane nearCut = shown.Dilated(1, true);
        BitPlane::ForEach(shown, shown, nearCut, [&](int x, int y) {
            out->pixels[std::size_t(y) * width + x] = Matte(picture, shown, nearCut, x, y, edges);
        });
    }
    Cutout cut;
    cut.outline = ShapeFromBits(shown.take(), width, height, maxRects);
    cut.pixels = std::move(out);
    return cut;
}

std::size_t CutoutBytes(const Cutout& cutout) {
    return (cutout.pixels ? cutout.pixels->pixels.size() * sizeof(std::uint32_t) : 0) +
           cutout.outline.rects.size() * sizeof(Rect);
}

} // namespace zorvane
