#pragma once

#include "core/Picture.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

// The rules both picture loaders share: the formats they take, how they read a header before
// decoding, the time a load may take, and what becomes of partly see-through pixels.
namespace zorvane::load {

enum class Format { Bmp, Jpeg, Gif, Ico };

// The format from a file's first bytes (at least 8 read, fewer when the file is shorter), never
// from its name: only these four are ever decoded.
inline std::optional<Format> SniffFormat(const unsigned char* head, std::size_t n) {
    if (n >= 2 && head[0] == 'B' && head[1] == 'M')
        return Format::Bmp;
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return Format::Jpeg;
    if (n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
        return Format::Gif;
    if (n >= 6 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0 &&
        (head[4] | head[5]) != 0)
        return Format::Ico;
    return std::nullopt;
}

// What a BMP's header says of its pixels; the first 34 bytes of the file (the old core
// header needs 26).
struct BmpHeader {
    std::int64_t width = 0, height = 0; // a negative height: rows top down
    std::uint32_t bits = 0, compression = 0;
    std::uint64_t pixelsAt = 0;

    static std::optional<BmpHeader> Read(const unsigned char* head, std::size_t n) {
        const auto u16 = [&](std::size_t at) {
            return std::uint32_t(head[at]) | std::uint32_t(head[at + 1]) << 8;
        };
        const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
        BmpHeader h;
        if (n >= 26 && u32(14) == 12) { // 16-bit sizes
            h.width = u16(18), h.height = u16(20), h.bits = u16(24);
        } else if (n >= 34 && u32(14) >= 40) {
            h.width = std::int32_t(u32(18)), h.height = std::int32_t(u32(22));
            h.bits = u16(28), h.compression = u32(30);
        } else {
            return std::nullopt;
        }
        h.pixelsAt = u32(10);
        return h;
    }

    // Both sides, when they make sense as a size.
    bool HasSize() const { return width > 0 && height != 0; }
    std::uint64_t rows() const { return std::uint64_t(height < 0 ? -height : height); }

    // Uncompressed rows (RGB or bit fields) that lie past the file's end. A decoder may show
    // them as its memory held them; Windows refuses the file as damaged. Compressed data has
    // an end of its own, which the decoder finds.
    bool RowsPastEnd(std::uint64_t fileSize) const {
        if ((compression != 0 && compression != 3 && compression != 6) || !HasSize() || bits == 0 ||
            bits > 32)
            return false;
        const std::uint64_t rowBits = std::uint64_t(width) * bits;
        const std::uint64_t stride = (rowBits + 31) / 32 * 4;
        // The last row's padding may be missing: some writers leave it out.
        return pixelsAt + stride * (rows() - 1) + (rowBits + 7) / 8 > fileSize;
    }
};

// JPEG keeps colours only approximately; the others give back what was painted.
inline constexpr bool IsLossy(Format f) {
    return f == Format::Jpeg;
}

// The most one picture may take to load. Neither system's decoders can be cancelled; the
// loaders bound what passes through their hands: every read from the file, and the copy.
inline constexpr std::chrono::seconds kDecodeTimeLimit{15};

// A mostly transparent pixel becomes the mask colour, so the shape cuts it away;
// every other pixel is shown opaque.
inline constexpr std::uint32_t OpaqueOrMask(std::uint32_t argb) {
    return (argb >> 24) < 0x80 ? (0xFF000000u | kMaskColor) : (argb | 0xFF000000u);
}

// Makes the decoded pixels (straight alpha) the picture's: opaque or the mask colour, the
// file's own pixels kept beside them when some are partly see-through (soft edges).
inline void FinishPixels(Picture& picture) {
    for (std::uint32_t px : picture.pixels) {
        const std::uint32_t alpha = px >> 24;
        if (alpha != 0 && alpha != 0xFF) {
            picture.ownAlpha = picture.pixels;
            break;
        }
    }
    for (std::uint32_t& px : picture.pixels)
        px = OpaqueOrMask(px);
}

} // namespace zorvane::load
