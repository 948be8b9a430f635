#include "core/IconImages.h"

#include "core/Picture.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace zorvane {
namespace {

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint32_t Be32(const unsigned char* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

constexpr std::size_t kHeaderBytes = 24; // enough for a PNG's IHDR and a bitmap's sizes

bool Fits(const unsigned char* h, std::size_t n) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 24 && std::equal(kPng, kPng + 8, h) && std::equal(h + 12, h + 16, "IHDR"))
        return PictureSizeAllowed(Be32(h + 16), Be32(h + 20));
    if (n < 12)
        return true;
    std::int64_t width = 0, height = 0;
    if (Le32(h) == 12) { // BITMAPCOREHEADER: 16-bit sizes
        width = std::int16_t(h[4] | h[5] << 8);
        height = std::int16_t(h[6] | h[7] << 8);
    } else if (Le32(h) >= 40 && Le32(h) <= 124) { // BITMAPINFOHEADER to BITMAPV5HEADER
        width = std::int32_t(Le32(h + 4));
        height = std::int32_t(Le32(h + 8));
    } else {
        return true;
    }
    // The height counts the image and its mask; some files give the image's alone.
    const std::uint64_t rows = std::max<std::uint64_t>(1, std::uint64_t(std::llabs(height)) / 2);
    return width > 0 && height != 0 && PictureSizeAllowed(std::uint64_t(width), rows);
}

} // namespace

std::vector<bool> IconImagesThatFit(ByteReader& in) {
    unsigned char dir[6];
    if (in.Read(dir, 6) != 6 || dir[0] || dir[1] || dir[2] != 1 || dir[3])
        return {};
    const std::size_t count = std::size_t(dir[4] | dir[5] << 8);
    std::vector<std::pair<std::uint32_t, std::size_t>> at; // offset, entry
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char entry[16];
        if (in.Read(entry, 16) != 16)
            return {};
        at.emplace_back(Le32(entry + 12), i);
    }
    // The reader only goes forward: the headers in the order they lie in the file.
    std::sort(at.begin(), at.end());
    std::vector<bool> fits(count, true);
    std::uint64_t pos = 6 + 16 * std::uint64_t(count);
    unsigned char head[kHeaderBytes];
    std::size_t got = 0;
    std::uint64_t headAt = ~std::uint64_t(0);
    for (const auto& [offset, entry] : at) {
        if (offset != headAt) {
            if (offset < pos) {
                continue; // inside the directory or an earlier header: the decoder decides
            }
            if (in.Skip(offset - pos) != offset - pos)
                break;
            got = in.Read(head, kHeaderBytes);
            headAt = offset;
            pos = offset + got;
        }
        fits[entry] = Fits(head, got);
    }
    return fits;
}

} // namespace zorvane
