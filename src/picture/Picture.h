#pragma once

#include <cstdint>
#include <vector>

namespace zorvane {

// A decoded picture: 32-bit pixels, top row first, each 0xAARRGGBB (BGRA in memory).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// The see-through colour, RGB(0,128,0), as a 0x00RRGGBB value. Alpha is not compared.
inline constexpr std::uint32_t kMaskColor = 0x008000;

inline constexpr bool IsMaskPixel(std::uint32_t px) { return (px & 0xFFFFFF) == kMaskColor; }

// Pictures beyond these are refused before any pixel memory is allocated.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr std::uint64_t kMaxPictureBytes = 256ull << 20;

inline constexpr bool PictureSizeAllowed(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height * 4 <= kMaxPictureBytes;
}

} // namespace zorvane
