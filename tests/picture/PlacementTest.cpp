#include "picture/Placement.h"

#include <gtest/gtest.h>

namespace zorvane {
namespace {

const std::vector<Monitor> kTwoMonitors = {
    {{0, 0, 1920 * 15, 1080 * 15}, {0, 0, 1920 * 15, 1040 * 15}},
    {{1920 * 15, 0, 1280 * 15, 1024 * 15}, {1920 * 15, 0, 1280 * 15, 1024 * 15}},
};

TEST(KeepOnScreen, LeavesAWindowThatTouchesAMonitorAlone) {
    const TwipsRect cases[] = {
        {2085, 1170, 4800, 3600},
        {-4000, -1000, 4800, 3600},      // partly off the left edge
        {3000 * 15, 500 * 15, 300, 300}, // on the second monitor
    };
    for (const auto& r : cases)
        EXPECT_EQ(KeepOnScreen(r, kTwoMonitors), r);
}

TEST(KeepOnScreen, MovesAWindowOffEveryMonitorIntoTheNearestWorkArea) {
    // Beyond the right edge of the second monitor.
    EXPECT_EQ(KeepOnScreen({5000 * 15, 100 * 15, 200 * 15, 100 * 15}, kTwoMonitors),
              (TwipsRect{3000 * 15, 100 * 15, 200 * 15, 100 * 15}));
    // Below the first one: clamped above its taskbar.
    EXPECT_EQ(KeepOnScreen({100 * 15, 2000 * 15, 200 * 15, 100 * 15}, kTwoMonitors),
              (TwipsRect{100 * 15, 940 * 15, 200 * 15, 100 * 15}));
    // Far away, larger than the work area: its top left corner goes to the area's.
    EXPECT_EQ(KeepOnScreen({-1e30f, -1e30f, 4000 * 15, 2000 * 15}, kTwoMonitors),
              (TwipsRect{0, 0, 4000 * 15, 2000 * 15}));
}

TEST(KeepOnScreen, WithoutMonitorsKeepsThePlace) {
    const TwipsRect r{-99999, -99999, 10, 10};
    EXPECT_EQ(KeepOnScreen(r, {}), r);
}

} // namespace
} // namespace zorvane
