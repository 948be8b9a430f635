#include "core/Conversions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

namespace zorvane {
namespace {

TEST(Rounding, HalvesGoToEven) {
    const struct {
        double in;
        int out;
    } cases[] = {{0.5, 0},          {1.5, 2},           {2.5, 2},    {-0.5, 0},
                 {-1.5, -2},        {2.4999, 2},        {2.5001, 3}, {7.5, 8},
                 {1e12, INT32_MAX}, {-1e12, INT32_MIN}, {NAN, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

TEST(Text, TrimRightAndUpperCase) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\tx\t"), "\tx\t"); // blanks only
    EXPECT_EQ(Right("picture.bmp", 3), "bmp");
    EXPECT_EQ(Right("ab", 3), "ab");
    EXPECT_EQ(Right("画像.gif", 3), "gif");
    EXPECT_EQ(Right("写真画像", 3), "真画像"); // characters, not bytes
    EXPECT_EQ(UCase("x.Bmp"), "X.BMP");
    EXPECT_EQ(UCase("ä画"), "ä画");
}

TEST(Numbers, SingleTextIsShortestAndLocaleFree) {
    EXPECT_EQ(SingleToText(2085), "2085");
    EXPECT_EQ(SingleToText(1234.5f), "1234.5");
    EXPECT_EQ(SingleToText(-15), "-15");
}

TEST(Numbers, EverySingleReadsBackAsWritten) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::uint32_t> bits;
    int checked = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t b = bits(rng);
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (!std::isfinite(f))
            continue;
        const auto back = TextToSingle(SingleToText(f));
        ASSERT_TRUE(back) << SingleToText(f);
        ASSERT_EQ(*back, f) << SingleToText(f);
        ++checked;
    }
    EXPECT_GT(checked, 190000);
}

TEST(Numbers, ReadsWhatOtherWritersLeftAndRefusesTheRest) {
    const struct {
        const char* text;
        std::optional<float> value;
    } cases[] = {
        {"1234,5", 1234.5f}, {" 12", 12.0f}, {"12 ", 12.0f}, {"+7", 7.0f}, {"-1170", -1170.f},
        {"1e3", 1000.f},     {"", {}},       {"   ", {}},    {"nan", {}},  {"inf", {}},
        {"-inf", {}},        {"1e308", {}},  {"-1e308", {}}, {"0x10", {}}, {"12abc", {}},
        {"1,2,3", {}},       {"+-5", {}},    {"1.5,5", {}},  {"１２", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextToSingle(c.text), c.value) << '"' << c.text << '"';
    EXPECT_FALSE(TextToSingle(std::string(10000, '9')));
    // The largest single as written, and the first text past it that rounds to infinity.
    EXPECT_EQ(TextToSingle("3.4028235e+38"), FLT_MAX);
    EXPECT_EQ(TextToSingle("-3.4028235e+38"), -FLT_MAX);
    EXPECT_FALSE(TextToSingle("3.4028236e38"));
}

} // namespace
} // namespace zorvane
