#pragma once

#include <cstdint>
#include <vector>

namespace zorvane {

// A decoded picture: 32-bit pixels, top row first, each 0xAARRGGBB (BGRA in memory).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    // Decoded from JPEG data, whose colours are only near what was saved: the mask green
    // comes back a few levels off, so the outline takes near colours as the mask too.
    bool lossy = false;
    // The file's own pixels, straight 0xAARRGGBB, kept only when some are partly see-through
    // (a 32-bit icon's soft edges); `pixels` holds them opaque or as the mask colour.
    std::vector<std::uint32_t> ownAlpha;

    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// The see-through colour, RGB(0,128,0), as a 0x00RRGGBB value. Alpha is not compared.
inline constexpr std::uint32_t kMaskColor = 0x008000;

// How far a pixel's colour is from the mask colour: the largest difference of its red, green
// and blue levels. Alpha is not compared.
inline constexpr int MaskDistance(std::uint32_t px) {
    const auto diff = [](std::uint32_t a, std::uint32_t b) { return int(a > b ? a - b : b - a); };
    const int r = diff((px >> 16) & 0xFF, (kMaskColor >> 16) & 0xFF);
    const int g = diff((px >> 8) & 0xFF, (kMaskColor >> 8) & 0xFF);
    const int b = diff(px & 0xFF, kMaskColor & 0xFF);
    return r > g ? (r > b ? r : b) : (g > b ? g : b);
}

// A pixel counts as the mask colour when it is at most `tolerance` from it: exactly (0) in a
// lossless picture, whose pixels are what the user painted.
inline constexpr bool IsMaskPixel(std::uint32_t px, int tolerance = 0) {
    return tolerance == 0 ? (px & 0xFFFFFF) == kMaskColor : MaskDistance(px) <= tolerance;
}

// The tolerance in a lossy picture. A flat RGB(0,128,0) comes back from a JPEG within 2 to 5
// levels even at quality 50; RGB(0,150,0) and RGB(30,128,30), which are not the mask, come
// back no nearer than 13. Pixels farther off near the outline are left to the shape builder.
inline constexpr int kLossyMaskTolerance = 12;

// Pictures beyond these are refused before any pixel memory is allocated.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr std::uint64_t kMaxPictureBytes = 256ull << 20;

inline constexpr bool PictureSizeAllowed(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height * 4 <= kMaxPictureBytes;
}

} // namespace zorvane
