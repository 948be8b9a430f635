#include "core/Decoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorvane::load {
namespace {

// The first 34 bytes of a BMP: pixels at 54, an info header (or the old core one).
std::vector<unsigned char> Head(int width, int height, int bits, int compression = 0,
                                bool core = false) {
    std::vector<unsigned char> b(34, 0);
    const auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put(10, 54, 4);
    put(14, core ? 12 : 40, 4);
    if (core) {
        put(18, std::uint32_t(width), 2), put(20, std::uint32_t(height), 2), put(24, bits, 2);
    } else {
        put(18, std::uint32_t(width), 4), put(22, std::uint32_t(height), 4), put(28, bits, 2);
        put(30, std::uint32_t(compression), 4);
    }
    return b;
}

TEST(BmpHeader, RowsPastTheFilesEnd) {
    // 3 x 2 at 24 bits: rows of 9 bytes padded to 12; pixels from 54 to 54 + 12 + 12.
    const struct {
        const char* name;
        std::vector<unsigned char> head;
        std::uint64_t fileSize;
        bool past;
    } rows[] = {
        {"whole", Head(3, 2, 24), 78, false},
        {"the last row's padding missing", Head(3, 2, 24), 75, false},
        {"a byte of the last row missing", Head(3, 2, 24), 74, true},
        {"top down", Head(3, -2, 24), 74, true},
        {"the old core header", Head(3, 2, 24, 0, true), 74, true},
        {"bit fields", Head(3, 2, 32, 3), 54 + 12 + 11, true},
        {"run lengths end on their own", Head(3, 2, 8, 1), 60, false},
        {"no size to say", Head(0, 2, 24), 60, false},
        {"2 billion rows, top down", Head(1, -0x7FFFFFFF, 1), 1 << 20, true},
    };
    for (const auto& row : rows) {
        const std::optional<BmpHeader> h = BmpHeader::Read(row.head.data(), row.head.size());
        ASSERT_TRUE(h) << row.name;
        EXPECT_EQ(h->RowsPastEnd(row.fileSize), row.past) << row.name;
    }
    EXPECT_FALSE(BmpHeader::Read(Head(3, 2, 24).data(), 25)) << "too short to read";
    EXPECT_EQ(BmpHeader::Read(Head(3, -2, 24).data(), 34)->rows(), 2u);
}

} // namespace
} // namespace zorvane::load
