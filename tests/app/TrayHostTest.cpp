#include "app/Texts.h"
#include "fake/AppFixture.h"

namespace zorvane::fake {
namespace {

using TrayIcon = AppTest;

TEST_F(TrayIcon, OnlyARightButtonOpensTheMenuAtTheLowerRight) {
    Start();
    for (MouseButton button : {MouseButton::Left, MouseButton::Middle})
        app.TrayIconClicked(button);
    EXPECT_TRUE(platform.menus.empty());
    app.TrayIconClicked(MouseButton::Right);
    EXPECT_EQ(platform.menus, (std::vector<PixelPoint>{{1014, 758}}));
}

TEST_F(TrayIcon, RemovedOnlyOnceAtTheEnd) {
    Start();
    app.Ending();
    app.Ending();
    EXPECT_EQ(platform.tray, (std::vector<std::string>{"Add", "Remove"}));
}

TEST_F(TrayIcon, ComesBackWhenTheTaskbarIsRecreated) {
    Start();
    app.TrayRestarted();
    EXPECT_EQ(platform.tray, (std::vector<std::string>{"Add", "Add"}));
}

// Started at sign-in before the taskbar: the shell refuses the first adds.
struct RefusedAdd {
    const char* name;
    int refusals;      // adds refused before one is taken
    int ticks;         // retry timer ticks that follow
    bool taskbarComes; // then the taskbar announces itself
    int adds;          // adds in all
    bool shown;        // the icon is in the tray at the end
    bool timerRunning; // still retrying at the end
};

using ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes = AppRows<RefusedAdd>;
TEST_P(ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes, AtStartup) {
    const RefusedAdd& c = GetParam();
    platform.trayRefusals = c.refusals;
    Start();
    ASSERT_EQ(platform.timers.count(TimerId::TrayRetry), 1u);
    EXPECT_EQ(platform.timers.at(TimerId::TrayRetry), kTrayRetryMs);
    for (int i = 0; i < c.ticks && platform.timers.count(TimerId::TrayRetry); ++i)
        app.Timer(TimerId::TrayRetry);
    if (c.taskbarComes)
        app.TrayRestarted();
    EXPECT_EQ(std::count(platform.tray.begin(), platform.tray.end(), "Add"), c.adds);
    EXPECT_EQ(platform.timers.count(TimerId::TrayRetry), c.timerRunning ? 1u : 0u);
    // Only an icon the shell took is deleted at the end.
    app.Ending();
    EXPECT_EQ(platform.tray.back() == "Remove", c.shown);
    EXPECT_TRUE(platform.timers.empty());
}
INSTANTIATE_TEST_SUITE_P(
    TrayIcon, ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes,
    ::testing::Values(RefusedAdd{"TakenAtTheFirstRetry", 1, 1, false, 2, true, false},
                      RefusedAdd{"TakenAtTheThirdRetry", 3, 5, false, 4, true, false},
                      RefusedAdd{"StillRefusedAndRetrying", 1000, 10, false, 11, false, true},
                      RefusedAdd{"GivenUpAfterTwoMinutes", 1000, kTrayRetries + 5, false,
                                 1 + kTrayRetries, false, false},
                      RefusedAdd{"TaskbarComesDuringTheRetries", 2, 1, true, 3, true, false},
                      RefusedAdd{"TaskbarComesAfterTheRetriesGaveUp", kTrayRetries + 1,
                                 kTrayRetries, true, kTrayRetries + 2, true, false}),
    RowName());

TEST_F(TrayIcon, AnAddThatTimedOutYetTookTheIconCountsAsAdded) {
    platform.trayRefusals = 1;
    platform.trayHasIcon = true;
    Start();
    EXPECT_TRUE(platform.timers.empty());
    app.Ending();
    EXPECT_EQ(platform.tray, (std::vector<std::string>{"Add", "Modify", "Remove"}));
}

using Points = std::vector<PixelPoint>; // where menus opened

// A second start reaches the running copy; what it does then depends on the icon.
struct StartedAgain {
    const char* name;
    bool trayHost;
    int refusals; // adds the taskbar refuses
    bool menu;    // the command menu opens at the mouse pointer
};

using ASecondStartOpensTheMenuOnlyWhereNoIconShows = AppRows<StartedAgain>;
TEST_P(ASecondStartOpensTheMenuOnlyWhereNoIconShows, InTheRunningCopy) {
    const StartedAgain& c = GetParam();
    SaveUsualSettings();
    platform.trayHost = c.trayHost;
    platform.trayRefusals = c.refusals;
    Start();
    platform.mouse = {-200, 40}; // on a monitor left of the primary
    app.StartedAgain();
    EXPECT_EQ(platform.menus, (c.menu ? Points{{-200, 40}} : Points{}));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.saveOrder.empty());
}
INSTANTIATE_TEST_SUITE_P(TrayIcon, ASecondStartOpensTheMenuOnlyWhereNoIconShows,
                         ::testing::Values(StartedAgain{"IconInTheTray", true, 0, false},
                                           StartedAgain{"NoTray", false, 0, true},
                                           StartedAgain{"TaskbarRefusesTheIcon", true, 1000, true}),
                         RowName());

TEST_F(TrayIcon, ASecondStartWhileTheMenuIsOpenOrAfterTheIconCameChangesNothingMore) {
    platform.trayRefusals = 1;
    Start();
    app.StartedAgain();
    app.Timer(TimerId::TrayRetry); // the taskbar takes it now
    app.StartedAgain();
    EXPECT_EQ(platform.menus.size(), 1u);
}

// A first start that shows nothing on a desktop without a tray tells the user how to reach the
// program, once the main loop runs: by a notification, or else by its menu in the middle.
struct Announce {
    const char* name;
    bool trayHost;
    bool picture;       // a saved picture to show
    bool notifications; // a notification service runs
    bool trayComesMeantime;
    bool notified;
    bool menu; // at the screen's centre
};

using AStartShowingNothingWithoutATrayTellsHowToReachIt = AppRows<Announce>;
TEST_P(AStartShowingNothingWithoutATrayTellsHowToReachIt, Once) {
    const Announce& c = GetParam();
    if (c.picture)
        SaveUsualSettings();
    platform.trayHost = c.trayHost;
    platform.notificationService = c.notifications;
    Start();
    EXPECT_TRUE(platform.menus.empty()); // nothing under startup itself
    if (c.trayComesMeantime)
        platform.trayHost = true;
    for (int i = 0; i < 3 && platform.timers.count(TimerId::Announce); ++i)
        app.Timer(TimerId::Announce);
    EXPECT_EQ(platform.timers.count(TimerId::Announce), 0u);
    ASSERT_EQ(platform.notifications.size(), c.notified ? 1u : 0u);
    if (c.notified) {
        EXPECT_EQ(platform.notifications[0], kReachText);
    }
    EXPECT_EQ(platform.menus, (c.menu ? Points{{512, 384}} : Points{}));
    EXPECT_TRUE(platform.messages.empty());
}
INSTANTIATE_TEST_SUITE_P(
    TrayIcon, AStartShowingNothingWithoutATrayTellsHowToReachIt,
    ::testing::Values(
        Announce{"TrayPresent", true, false, true, false, false, false},
        Announce{"NoTrayNotified", false, false, true, false, true, false},
        Announce{"NoTrayNoNotificationsMenuInTheMiddle", false, false, false, false, false, true},
        Announce{"NoTrayButAPictureToShow", false, true, false, false, false, false},
        Announce{"TrayCameBeforeTheLoopRan", false, false, false, true, false, false}),
    RowName());

TEST_F(TrayIcon, ASecondCopyNeverAddsOne) {
    platform.anotherCopy = true;
    Start();
    app.TrayRestarted();
    app.Ending();
    EXPECT_TRUE(platform.tray.empty());
}

} // namespace
} // namespace zorvane::fake
