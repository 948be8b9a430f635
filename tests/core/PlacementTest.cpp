#include "core/Placement.h"

#include <gtest/gtest.h>

namespace zorvane {
namespace {

// The primary monitor is at (0, 0) with a 40-pixel taskbar along its bottom.
Monitor Px(int x, int y, int w, int h, int taskbar = 0) {
    return {{x, y, w, h}, {x, y, w, h - taskbar}};
}
PixelRect PxRect(int x, int y, int w, int h) {
    return {x, y, w, h};
}

const Monitor kPrimary = Px(0, 0, 1920, 1080, 40);
const std::vector<Monitor> kRight = {kPrimary, Px(1920, 0, 1280, 1024)};
const std::vector<Monitor> kLeft = {kPrimary, Px(-1280, 56, 1280, 1024)};
const std::vector<Monitor> kAbove = {kPrimary, Px(320, -1080, 1920, 1080, 40)};
const std::vector<Monitor> kPrimaryAlone = {kPrimary};
const std::vector<Monitor> kLeftOfLarge = {Px(0, 0, 2560, 1600, 48), Px(-1920, 0, 1920, 1080)};
const std::vector<Monitor> kLargeAlone = {kLeftOfLarge[0]};

struct Case {
    const char* name;
    const std::vector<Monitor>* monitors;
    PixelRect saved;
    PixelRect shown;
};

const Case kCases[] = {
    {"on the primary", &kRight, PxRect(139, 78, 320, 240), PxRect(139, 78, 320, 240)},
    {"partly off the left edge", &kRight, PxRect(-267, -67, 320, 240), PxRect(-267, -67, 320, 240)},
    {"on the second monitor", &kRight, PxRect(3000, 500, 20, 20), PxRect(3000, 500, 20, 20)},
    {"across both monitors", &kRight, PxRect(1900, 10, 120, 80), PxRect(1900, 10, 120, 80)},
    // Negative coordinates are a place like any other.
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
    {"larger than all, far away", &kRight, PxRect(-30000, -30000, 4000, 2000),
     PxRect(0, 0, 4000, 2000)},
    {"larger than all, upper monitor removed", &kPrimaryAlone, PxRect(-100, -3000, 2500, 1500),
     PxRect(0, 0, 2500, 1500)},
    // A large primary screen (a 192 dpi laptop) with a monitor left of it.
    {"left of a large primary", &kLeftOfLarge, PxRect(-333, 401, 121, 81),
     PxRect(-333, 401, 121, 81)},
    {"left of a large primary, removed", &kLargeAlone, PxRect(-333, 401, 121, 81),
     PxRect(0, 401, 121, 81)},
};

TEST(KeepOnScreen, MonitorLayouts) {
    for (const Case& c : kCases)
        EXPECT_EQ(KeepOnScreen(c.saved, *c.monitors), c.shown) << c.name;
}

TEST(KeepOnScreen, WithoutMonitorsKeepsThePlace) {
    const PixelRect r{-29999, -29999, 10, 10};
    EXPECT_EQ(KeepOnScreen(r, {}), r);
}

} // namespace
} // namespace zorvane
