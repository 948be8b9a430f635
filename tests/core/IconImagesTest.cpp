#include "core/IconImages.h"

#include "GifBytes.h"

#include <gtest/gtest.h>

namespace zorvane {
namespace icon_images_test {

std::string Le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += char(v >> (8 * i) & 0xFF);
    return s;
}
std::string Be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16 & 0xFF), char(v >> 8 & 0xFF), char(v & 0xFF)};
}
std::string Bitmap(std::int32_t width, std::int32_t height) {
    return Le(40, 4) + Le(std::uint32_t(width), 4) + Le(std::uint32_t(height), 4) +
           std::string(28, '\0');
}
std::string Core(std::int16_t width, std::int16_t height) {
    return Le(12, 4) + Le(std::uint16_t(width), 2) + Le(std::uint16_t(height), 2) +
           std::string(4, '\0');
}
std::string Png(std::uint32_t width, std::uint32_t height) {
    return std::string("\x89PNG\r\n\x1A\n", 8) + Be32(13) + "IHDR" + Be32(width) + Be32(height);
}
// An icon file of these images, laid out in the order given, the directory naming them in
// `order` (indices into images).
std::string Icon(const std::vector<std::string>& images, std::vector<int> order = {}) {
    if (order.empty())
        for (int i = 0; i < int(images.size()); ++i)
            order.push_back(i);
    std::vector<std::uint32_t> offsets;
    std::uint32_t at = 6 + 16 * std::uint32_t(order.size());
    for (const std::string& image : images) {
        offsets.push_back(at);
        at += std::uint32_t(image.size());
    }
    std::string file = Le(0, 2) + Le(1, 2) + Le(std::uint32_t(order.size()), 2);
    for (int i : order)
        file += std::string(8, '\0') + Le(std::uint32_t(images[std::size_t(i)].size()), 4) +
                Le(offsets[std::size_t(i)], 4);
    for (const std::string& image : images)
        file += image;
    return file;
}
std::vector<bool> Fits(const std::string& file) {
    test::StringReader in(file);
    return IconImagesThatFit(in);
}

TEST(IconImages, EachImageJudgedByItsOwnHeader) {
    const struct {
        const char* name;
        std::string image;
        bool fits;
    } cases[] = {
        {"bitmap 32x32 (height with its mask)", Bitmap(32, 64), true},
        {"bitmap 256x256", Bitmap(256, 512), true},
        {"bitmap whose height leaves out the mask", Bitmap(32, 32), true},
        {"bitmap 65535 wide", Bitmap(65535, 131070), false},
        {"bitmap of negative width", Bitmap(-16, -32), false},
        {"bitmap of zero height", Bitmap(16, 0), false},
        {"bitmap 16384x16384, past the memory budget", Bitmap(16384, 32768), false},
        {"core header 48x48", Core(48, 96), true},
        {"core header of negative width", Core(-1, 2), false},
        {"PNG 256x256", Png(256, 256), true},
        {"PNG 65535x65535", Png(65535, 65535), false},
        {"PNG of zero width", Png(0, 16), false},
        {"neither: left to the decoder", std::string(40, '\x7F'), true},
        {"header cut short: left to the decoder", Bitmap(65535, 65535).substr(0, 8), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Fits(Icon({c.image})), std::vector<bool>{c.fits}) << c.name;
}

TEST(IconImages, DirectoryOrderAndSharedOrMissingImages) {
    // Entries in another order than their images.
    EXPECT_EQ(Fits(Icon({Bitmap(16, 32), Bitmap(65535, 2), Png(48, 48)}, {2, 1, 0})),
              (std::vector<bool>{true, false, true}));
    // Two entries naming one image.
    EXPECT_EQ(Fits(Icon({Bitmap(70000, 2)}, {0, 0})), (std::vector<bool>{false, false}));
    // An entry whose image lies past the file's end.
    std::string file = Icon({Bitmap(16, 32)});
    file.replace(6 + 12, 4, Le(1u << 30, 4));
    EXPECT_EQ(Fits(file), std::vector<bool>{true});
}

TEST(IconImages, UnreadableDirectoryGivesNothing) {
    EXPECT_TRUE(Fits("").empty());
    EXPECT_TRUE(Fits(Le(0, 2) + Le(2, 2) + Le(1, 2)).empty());       // a cursor
    EXPECT_TRUE(Fits(Le(0, 2) + Le(1, 2) + Le(3, 2) + "x").empty()); // entries cut off
    EXPECT_TRUE(Fits(Icon({})).empty());                             // no images
}

} // namespace icon_images_test
} // namespace zorvane
