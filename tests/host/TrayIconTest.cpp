#include "fake/ProgramFixture.h"

namespace zorvane::fake {
namespace {

using TrayIcon = ProgramTest;

TEST_F(TrayIcon, RecordIsFilledAsTheShellExpects) {
    Start();
    ASSERT_EQ(rt.tray.size(), 1u);
    const TrayIconRecord& r = rt.tray[0].record;
    EXPECT_EQ(r.cbSize, 88u);
    EXPECT_EQ(r.hWnd, FormName::TIMESTMP);
    EXPECT_EQ(r.uID, 1u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 512u);
    EXPECT_TRUE(r.hIcon);
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

TEST_F(TrayIcon, ASecondInstanceNeverAddsOne) {
    rt.prevInstance = true;
    Start();
    program.TIMESTMP_TaskbarCreated();
    program.TIMESTMP_Form_Terminate();
    EXPECT_TRUE(rt.tray.empty());
}

} // namespace
} // namespace zorvane::fake
