#include "platform/win32/Region.h"

#include <gtest/gtest.h>

#include <random>

namespace zorvane::win32 {
namespace {

constexpr std::uint32_t kMask = 0xFF008000;
constexpr std::uint32_t kInk = 0xFF404040;

// One CombineRgn per rect: slow, but with nothing to get wrong.
UniqueHrgn NaiveRegion(const std::vector<Rect>& rects) {
    UniqueHrgn all(::CreateRectRgn(0, 0, 0, 0));
    for (const Rect& r : rects) {
        UniqueHrgn one(::CreateRectRgn(r.left, r.top, r.right, r.bottom));
        ::CombineRgn(all.get(), all.get(), one.get(), RGN_OR);
    }
    return all;
}

Picture RandomPicture(std::mt19937& rng, int width, int height, unsigned density) {
    Picture p;
    p.width = width;
    p.height = height;
    for (int i = 0; i < width * height; ++i)
        p.pixels.push_back(rng() % 100 < density ? kInk : kMask);
    return p;
}

class MakeRegionTest : public testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(UniqueHrgn::live(), live_) << "regions leaked"; }

  private:
    long live_ = UniqueHrgn::live();
};

TEST_F(MakeRegionTest, EqualsRegionBuiltOneRectAtATime) {
    struct Case {
        int width, height;
        unsigned density;
    };
    // From one rect to several pieces' worth, with an odd piece left over in some rounds.
    const std::vector<Case> cases = {{1, 1, 100},  {5, 3, 50},    {40, 30, 50}, {64, 64, 90},
                                     {97, 61, 30}, {300, 40, 50}, {512, 9, 60}};
    std::mt19937 rng(42);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const Picture p = RandomPicture(rng, c.width, c.height, c.density);
        const auto rects = BuildShapeRects(p).rects;
        UniqueHrgn fast = MakeRegion(rects);
        UniqueHrgn slow = NaiveRegion(rects);
        ASSERT_TRUE(fast);
        EXPECT_TRUE(::EqualRgn(fast.get(), slow.get()));
    }
}

TEST_F(MakeRegionTest, HoldsExactlyThePicturePixels) {
    std::mt19937 rng(5);
    const Picture p = RandomPicture(rng, 70, 50, 40);
    UniqueHrgn rgn = MakeRegion(BuildShapeRects(p).rects);
    ASSERT_TRUE(rgn);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            ASSERT_EQ(bool(::PtInRegion(rgn.get(), x, y)), !IsMaskPixel(p.at(x, y)))
                << x << "," << y;
}

TEST_F(MakeRegionTest, ManyPieces) {
    // Diagonal dots: no two neighbouring rows alike, one rect per dot.
    Picture p;
    p.width = 1500;
    p.height = 40;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            p.pixels.push_back((x + y) % 3 ? kMask : kInk);
    const auto shape = BuildShapeRects(p);
    ASSERT_EQ(shape.rects.size(), 20000u);
    UniqueHrgn rgn = MakeRegion(shape.rects);
    ASSERT_TRUE(rgn);
    UniqueHrgn slow = NaiveRegion(shape.rects);
    EXPECT_TRUE(::EqualRgn(rgn.get(), slow.get()));
    RECT box{};
    EXPECT_EQ(::GetRgnBox(rgn.get(), &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 1500);
    EXPECT_EQ(box.bottom, 40);
}

TEST_F(MakeRegionTest, NoRectsMakeAnEmptyRegion) {
    UniqueHrgn rgn = MakeRegion({});
    ASSERT_TRUE(rgn);
    RECT box{};
    EXPECT_EQ(::GetRgnBox(rgn.get(), &box), NULLREGION);
}

} // namespace
} // namespace zorvane::win32
