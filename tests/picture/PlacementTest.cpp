#include "picture/Placement.h"

#include <gtest/gtest.h>

namespace zorvane {
namespace {

// Layouts in pixels at 96 dpi (15 twips a pixel); the primary monitor is at (0, 0)
// with a 40-pixel taskbar along its bottom.
Monitor Px(float x, float y, float w, float h, float taskbar = 0) {
    return {{x * 15, y * 15, w * 15, h * 15}, {x * 15, y * 15, w * 15, (h - taskbar) * 15}};
}
TwipsRect PxRect(float x, float y, float w, float h) {
    return {x * 15, y * 15, w * 15, h * 15};
}

const Monitor kPrimary = Px(0, 0, 1920, 1080, 40);
const std::vector<Monitor> kRight = {kPrimary, Px(1920, 0, 1280, 1024)};
const std::vector<Monitor> kLeft = {kPrimary, Px(-1280, 56, 1280, 1024)};
const std::vector<Monitor> kAbove = {kPrimary, Px(320, -1080, 1920, 1080, 40)};
const std::vector<Monitor> kPrimaryAlone = {kPrimary};

struct Case {
    const char* name;
    const std::vector<Monitor>* monitors;
    TwipsRect saved;
    TwipsRect shown;
};

const Case kCases[] = {
    {"on the primary", &kRight, {2085, 1170, 4800, 3600}, {2085, 1170, 4800, 3600}},
    {"partly off the left edge", &kRight, {-4000, -1000, 4800, 3600}, {-4000, -1000, 4800, 3600}},
    {"on the second monitor", &kRight, PxRect(3000, 500, 20, 20), PxRect(3000, 500, 20, 20)},
    {"across both monitors", &kRight, PxRect(1900, 10, 120, 80), PxRect(1900, 10, 120, 80)},
    // Negative twips are a place like any other.
    {"on a monitor left of the primary", &kLeft, PxRect(-1000, 100, 120, 80),
     PxRect(-1000, 100, 120, 80)},
    {"on a monitor above the primary", &kAbove, PxRect(400, -900, 120, 80),
     PxRect(400, -900, 120, 80)},
    // Where no monitor is, the nearest one's work area takes the whole picture.
    {"beyond the right monitor", &kRight, PxRect(5000, 100, 200, 100), PxRect(3000, 100, 200, 100)},
    {"below the primary: above its taskbar", &kRight, PxRect(100, 2000, 200, 100),
     PxRect(100, 940, 200, 100)},
    {"in the gap left of the left monitor's top", &kLeft, PxRect(-1100, 0, 120, 40),
     PxRect(-1100, 56, 120, 40)},
    // The monitor the place was saved on is gone.
    {"left monitor removed", &kPrimaryAlone, PxRect(-1000, 100, 120, 80), PxRect(0, 100, 120, 80)},
    {"upper monitor removed", &kPrimaryAlone, PxRect(400, -900, 120, 80), PxRect(400, 0, 120, 80)},
    {"right monitor removed", &kPrimaryAlone, PxRect(3000, 1000, 120, 80),
     PxRect(1800, 960, 120, 80)},
    {"removed, corner to corner", &kPrimaryAlone, PxRect(-500, -500, 120, 80),
     PxRect(0, 0, 120, 80)},
    // Larger than every monitor: where it touches one it stays; otherwise its top
    // left corner goes to the nearest work area's.
    {"larger than all, on screen", &kLeft, PxRect(-1500, -20, 4000, 2000),
     PxRect(-1500, -20, 4000, 2000)},
    {"larger than all, far right", &kRight, PxRect(9000, 300, 4000, 2000),
     PxRect(1920, 0, 4000, 2000)},
    {"larger than all, far away",
     &kRight,
     {-1e30f, -1e30f, 4000 * 15, 2000 * 15},
     PxRect(0, 0, 4000, 2000)},
    {"larger than all, upper monitor removed", &kPrimaryAlone, PxRect(-100, -3000, 2500, 1500),
     PxRect(0, 0, 2500, 1500)},
};

TEST(KeepOnScreen, MonitorLayouts) {
    for (const Case& c : kCases)
        EXPECT_EQ(KeepOnScreen(c.saved, *c.monitors), c.shown) << c.name;
}

TEST(KeepOnScreen, ScaledScreensKeepTheRule) {
    // At 192 dpi a pixel is 7.5 twips: a place saved there on the left monitor
    // stays, and once that monitor is gone lands at the primary's edge.
    const float t = 7.5f;
    const std::vector<Monitor> left = {
        {{0, 0, 2560 * t, 1600 * t}, {0, 0, 2560 * t, 1552 * t}},
        {{-1920 * t, 0, 1920 * t, 1080 * t}, {-1920 * t, 0, 1920 * t, 1080 * t}}};
    const TwipsRect saved{-333 * t, 401 * t, 121 * t, 81 * t};
    EXPECT_EQ(KeepOnScreen(saved, left), saved);
    EXPECT_EQ(KeepOnScreen(saved, {left[0]}), (TwipsRect{0, 401 * t, 121 * t, 81 * t}));
}

TEST(KeepOnScreen, WithoutMonitorsKeepsThePlace) {
    const TwipsRect r{-99999, -99999, 10, 10};
    EXPECT_EQ(KeepOnScreen(r, {}), r);
}

} // namespace
} // namespace zorvane
