#include "fake/ProgramFixture.h"

namespace zorvane::fake {
namespace {

using TrayIcon = ProgramTest;

TEST_F(TrayIcon, RecordIsFilledAsTheShellExpects) {
    Start();
    ASSERT_EQ(rt.tray.size(), 1u);
    const TrayIconRecord& r = rt.tray[0].record;
    EXPECT_EQ(r.uID, 1u);
    EXPECT_EQ(r.uFlags, 7u); // message, icon and tip
    EXPECT_EQ(r.uCallbackMessage, 512u);
    ASSERT_EQ(r.szTip.size(), 64u);
    EXPECT_EQ(r.szTip.substr(0, 15), std::string("Zorvane Ver1.1") + '\0');
    EXPECT_EQ(r.szTip.find_first_not_of(' ', 15), std::string::npos);
}

TEST_F(TrayIcon, OnlyARightButtonPressOpensTheMenuAtTheLowerRight) {
    Start();
    // Mouse messages arrive in X, scaled from pixels to twips.
    for (int message : {0x200, 0x201, 0x202, 0x203, 0x205, 0x206, 0x207, 0x208})
        program.TIMESTMP_Form_MouseMove(0, 0, message * 15.0f, 0);
    EXPECT_TRUE(rt.popups.empty());
    program.TIMESTMP_Form_MouseMove(0, 0, 516 * 15.0f, 0);
    ASSERT_EQ(rt.popups.size(), 1u);
    EXPECT_EQ(rt.popups[0], std::make_pair(1014, 758));
}

TEST_F(TrayIcon, DeletedOnTerminateWithTheSameRecordAndOnlyOnce) {
    Start();
    program.TIMESTMP_Form_Terminate();
    program.TIMESTMP_Form_Terminate();
    ASSERT_EQ(rt.tray.size(), 2u);
    EXPECT_EQ(rt.tray[1].message, kNimDelete);
    EXPECT_EQ(rt.tray[1].record.szTip, rt.tray[0].record.szTip);
}

TEST_F(TrayIcon, ComesBackWhenTheTaskbarIsRecreated) {
    Start();
    program.TIMESTMP_TaskbarCreated();
    ASSERT_EQ(rt.tray.size(), 2u);
    EXPECT_EQ(rt.tray[1].message, kNimAdd);
}

// Started at sign-in before the taskbar: the shell refuses the first adds.
struct RefusedAdd {
    const char* name;
    int refusals;      // adds refused before one is taken
    int ticks;         // retry timer ticks that follow
    bool taskbarComes; // then the taskbar announces itself
    int adds;          // NIM_ADD calls in all
    bool shown;        // the icon is in the tray at the end
    bool timerRunning; // still retrying at the end
};

using ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes = ProgramRows<RefusedAdd>;
TEST_P(ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes, AtStartup) {
    const RefusedAdd& c = GetParam();
    rt.trayRefusals = c.refusals;
    Start();
    ASSERT_EQ(rt.timers.count(TimerId::TrayRetry), 1u);
    EXPECT_EQ(rt.timers.at(TimerId::TrayRetry), kTrayRetryMs);
    for (int i = 0; i < c.ticks && rt.timers.count(TimerId::TrayRetry); ++i)
        program.Timer(TimerId::TrayRetry);
    if (c.taskbarComes)
        program.TIMESTMP_TaskbarCreated();
    EXPECT_EQ(std::count_if(rt.tray.begin(), rt.tray.end(),
                            [](const auto& call) { return call.message == kNimAdd; }),
              c.adds);
    EXPECT_EQ(rt.timers.count(TimerId::TrayRetry), c.timerRunning ? 1u : 0u);
    // Only an icon the shell took is deleted at the end.
    program.TIMESTMP_Form_Terminate();
    EXPECT_EQ(rt.tray.back().message == kNimDelete, c.shown);
    EXPECT_TRUE(rt.timers.empty());
}
INSTANTIATE_TEST_SUITE_P(
    TrayIcon, ARefusedAddIsRetriedForABoundedTimeAndWhenTheTaskbarComes,
    ::testing::Values(
        RefusedAdd{"TakenAtTheFirstRetry", 1, 1, false, 2, true, false},
        RefusedAdd{"TakenAtTheThirdRetry", 3, 5, false, 4, true, false},
        RefusedAdd{"StillRefusedAndRetrying", 1000, 10, false, 11, false, true},
        RefusedAdd{"GivenUpAfterTwoMinutes", 1000, kTrayRetries + 5, false, 1 + kTrayRetries,
                   false, false},
        RefusedAdd{"TaskbarComesDuringTheRetries", 2, 1, true, 3, true, false},
        RefusedAdd{"TaskbarComesAfterTheRetriesGaveUp", kTrayRetries + 1, kTrayRetries, true,
                   kTrayRetries + 2, true, false}),
    RowName());

TEST_F(TrayIcon, AnAddThatTimedOutYetTookTheIconCountsAsAdded) {
    rt.trayRefusals = 1;
    rt.trayHasIcon = true;
    Start();
    EXPECT_TRUE(rt.timers.empty());
    program.TIMESTMP_Form_Terminate();
    ASSERT_GE(rt.tray.size(), 3u);
    EXPECT_EQ(rt.tray[0].message, kNimAdd);
    EXPECT_EQ(rt.tray[1].message, kNimModify);
    EXPECT_EQ(rt.tray.back().message, kNimDelete);
}

using Points = std::vector<std::pair<int, int>>; // where menus opened

// A second start reaches the running copy; what it does then depends on the icon.
struct StartedAgain {
    const char* name;
    bool trayHost;
    int refusals; // adds the taskbar refuses
    bool menu;    // the command menu opens at the mouse pointer
};

using ASecondStartOpensTheMenuOnlyWhereNoIconShows = ProgramRows<StartedAgain>;
TEST_P(ASecondStartOpensTheMenuOnlyWhereNoIconShows, InTheRunningCopy) {
    const StartedAgain& c = GetParam();
    SaveUsualSettings();
    rt.trayHost = c.trayHost;
    rt.trayRefusals = c.refusals;
    Start();
    rt.mouse = {-200, 40000}; // on a monitor left of the primary; past 16 bits
    program.TIMESTMP_StartedAgain();
    EXPECT_EQ(rt.popups, (c.menu ? Points{{-200, 32767}} : Points{}));
    EXPECT_TRUE(rt.msgBoxes.empty());
    EXPECT_TRUE(rt.saveOrder.empty());
}
INSTANTIATE_TEST_SUITE_P(TrayIcon, ASecondStartOpensTheMenuOnlyWhereNoIconShows,
                         ::testing::Values(StartedAgain{"IconInTheTray", true, 0, false},
                                           StartedAgain{"NoTray", false, 0, true},
                                           StartedAgain{"TaskbarRefusesTheIcon", true, 1000, true}),
                         RowName());

TEST_F(TrayIcon, ASecondStartWhileTheMenuIsOpenOrAfterTheIconCameChangesNothingMore) {
    rt.trayRefusals = 1;
    Start();
    program.TIMESTMP_StartedAgain();
    program.Timer(TimerId::TrayRetry); // the taskbar takes it now
    program.TIMESTMP_StartedAgain();
    EXPECT_EQ(rt.popups.size(), 1u);
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

using AStartShowingNothingWithoutATrayTellsHowToReachIt = ProgramRows<Announce>;
TEST_P(AStartShowingNothingWithoutATrayTellsHowToReachIt, Once) {
    const Announce& c = GetParam();
    if (c.picture)
        SaveUsualSettings();
    rt.trayHost = c.trayHost;
    rt.notificationService = c.notifications;
    Start();
    EXPECT_TRUE(rt.popups.empty()); // nothing under startup itself
    if (c.trayComesMeantime)
        rt.trayHost = true;
    for (int i = 0; i < 3 && rt.timers.count(TimerId::Announce); ++i)
        program.Timer(TimerId::Announce);
    EXPECT_EQ(rt.timers.count(TimerId::Announce), 0u);
    ASSERT_EQ(rt.notifications.size(), c.notified ? 1u : 0u);
    if (c.notified) {
        EXPECT_EQ(rt.notifications[0].title, "Zorvane Ver1.1");
        EXPECT_EQ(rt.notifications[0].text, kReachText);
    }
    EXPECT_EQ(rt.popups, (c.menu ? Points{{512, 384}} : Points{}));
    EXPECT_TRUE(rt.msgBoxes.empty());
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

TEST_F(TrayIcon, ASecondInstanceNeverAddsOne) {
    rt.prevInstance = true;
    Start();
    program.TIMESTMP_TaskbarCreated();
    program.TIMESTMP_Form_Terminate();
    EXPECT_TRUE(rt.tray.empty());
}

} // namespace
} // namespace zorvane::fake
