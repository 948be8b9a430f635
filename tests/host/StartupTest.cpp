#include "fake/ProgramFixture.h"

namespace zorvane::fake {
namespace {

using Startup = ProgramTest;

TEST_F(Startup, FirstStartShowsOnlyTheTrayIcon) {
    Start();
    EXPECT_TRUE(m.ScaleOn);
    EXPECT_TRUE(rt.Checked(MenuItem::p_scale));
    EXPECT_FALSE(rt.Checked(MenuItem::p_top));
    EXPECT_EQ(rt.Existing(FormName::C_Disp), nullptr);
    ASSERT_EQ(rt.tray.size(), 1u);
    EXPECT_EQ(rt.tray[0].message, kNimAdd);
    EXPECT_TRUE(Logged("TIMESTMP.Hide"));
    EXPECT_TRUE(rt.msgBoxes.empty());
    EXPECT_TRUE(rt.saveOrder.empty()); // startup never writes
}

TEST_F(Startup, SecondInstanceUnloadsAndTouchesNothing) {
    SaveUsualSettings();
    rt.prevInstance = true;
    Start();
    EXPECT_TRUE(rt.forms.at(FormName::TIMESTMP)->unloaded);
    // It tells the running copy, which decides what that means, and ends.
    EXPECT_EQ(After("CallRunningCopy"), std::vector<std::string>{"TIMESTMP.Unload"});
    EXPECT_TRUE(rt.tray.empty());
    EXPECT_EQ(rt.Existing(FormName::C_Disp), nullptr);
    EXPECT_TRUE(rt.msgBoxes.empty());
    EXPECT_EQ(m.PicturePath, "");
}

TEST_F(Startup, SavedPictureStandsAtItsPlaceAtItsSize) {
    SaveUsualSettings();
    Start();
    FakeForm& disp = rt.Disp();
    EXPECT_TRUE(disp.visible);
    EXPECT_EQ(disp.rect, (TwipsRect{3000, 1500, 64 * 15, 48 * 15}));
    EXPECT_TRUE(rt.shape->shaped);
    EXPECT_TRUE(rt.shape->autoSize);
    EXPECT_TRUE(rt.shape->dragMovesForm);
    EXPECT_FALSE(disp.topmost);
    EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");
}

struct SavedFlag {
    const char* name;
    const char* text;
    bool on;
};

// Transparent and smooth edges are on unless their saved value is exactly the word for off.
struct SavedOption {
    const char* name;
    const char* key;
    const char* text;
    bool Module1::*value;
    MenuItem item;
    bool on;
};

using OptionIsOffOnlyForExactlyItsOffWord = ProgramRows<SavedOption>;
TEST_P(OptionIsOffOnlyForExactlyItsOffWord, AtStartup) {
    const SavedOption& c = GetParam();
    rt.SetSaved(c.key, c.text);
    Start();
    EXPECT_EQ(m.*c.value, c.on);
    EXPECT_EQ(rt.Checked(c.item), c.on);
}
constexpr auto kScale = &Module1::ScaleOn;
constexpr auto kSmooth = &Module1::Smooth;
INSTANTIATE_TEST_SUITE_P(
    Startup, OptionIsOffOnlyForExactlyItsOffWord,
    ::testing::Values(
        SavedOption{"ScaleFalse", "Scale", "False", kScale, MenuItem::p_scale, false},
        SavedOption{"ScaleTrue", "Scale", "True", kScale, MenuItem::p_scale, true},
        SavedOption{"ScaleLowerCaseFalse", "Scale", "false", kScale, MenuItem::p_scale, true},
        SavedOption{"ScaleZero", "Scale", "0", kScale, MenuItem::p_scale, true},
        SavedOption{"ScaleEmpty", "Scale", "", kScale, MenuItem::p_scale, true},
        SavedOption{"ScaleFalseAndABlank", "Scale", "False ", kScale, MenuItem::p_scale, true},
        SavedOption{"SmoothZero", "Smooth", "0", kSmooth, MenuItem::p_smooth, false},
        SavedOption{"SmoothOne", "Smooth", "1", kSmooth, MenuItem::p_smooth, true},
        SavedOption{"SmoothAbsentInOlderSettings", "Smooth", "", kSmooth, MenuItem::p_smooth, true},
        SavedOption{"SmoothZeroAndABlank", "Smooth", "0 ", kSmooth, MenuItem::p_smooth, true}),
    RowName());

using AlwaysOnTopOnlyForExactlyOne = ProgramRows<SavedFlag>;
TEST_P(AlwaysOnTopOnlyForExactlyOne, AtStartup) {
    const SavedFlag& c = GetParam();
    rt.SetSaved("Always", c.text);
    Start();
    EXPECT_EQ(rt.Checked(MenuItem::p_top), c.on);
    FakeForm* disp = rt.Existing(FormName::C_Disp);
    // Turning it on creates the picture window, hidden; off leaves it alone.
    EXPECT_EQ(disp != nullptr, c.on);
    if (disp) {
        EXPECT_TRUE(disp->topmost);
        EXPECT_FALSE(disp->visible);
    }
    EXPECT_EQ(m.AlwaysFlag, c.text);
}
INSTANTIATE_TEST_SUITE_P(Startup, AlwaysOnTopOnlyForExactlyOne,
                         ::testing::Values(SavedFlag{"One", "1", true},
                                           SavedFlag{"Zero", "0", false},
                                           SavedFlag{"Empty", "", false},
                                           SavedFlag{"OneAndABlank", "1 ", false},
                                           SavedFlag{"True", "True", false}),
                         RowName());

TEST_F(Startup, SaveOfBlanksShowsNothingButKeepsTheText) {
    rt.SetSaved("Save", "   ");
    Start();
    EXPECT_EQ(m.PicturePath, "   ");
    EXPECT_EQ(Count("StartLoad(   )"), 0u);
    EXPECT_EQ(rt.Existing(FormName::C_Disp), nullptr);
}

TEST_F(Startup, EmptyLeftKeepsTheWindowsOwnLeftEdge) {
    SaveUsualSettings();
    rt.SetSaved("Left", "");
    rt.SetSaved("Top", "4500");
    Start();
    EXPECT_EQ(rt.Disp().rect.left, 2085);
    EXPECT_EQ(rt.Disp().rect.top, 4500);
}

struct BadPosition {
    const char* name;
    const char* left;
};

using PositionThatIsNoFiniteNumberIsIgnored = ProgramRows<BadPosition>;
TEST_P(PositionThatIsNoFiniteNumberIsIgnored, AtStartup) {
    rt.AddPicture("p.bmp", 10, 10);
    rt.SetSaved("Save", "p.bmp");
    rt.SetSaved("Left", GetParam().left);
    rt.SetSaved("Top", "300");
    Start();
    EXPECT_EQ(rt.Disp().rect.left, 2085);
    EXPECT_EQ(rt.Disp().rect.top, 300);
    EXPECT_TRUE(rt.Disp().visible);
}
INSTANTIATE_TEST_SUITE_P(Startup, PositionThatIsNoFiniteNumberIsIgnored,
                         ::testing::Values(BadPosition{"NotANumber", "nan"},
                                           BadPosition{"Infinity", "inf"},
                                           BadPosition{"BeyondSingle", "-1e308"},
                                           BadPosition{"Letters", "abc"},
                                           BadPosition{"Hexadecimal", "0x10"}),
                         RowName());

TEST_F(Startup, PictureThatCannotBeShownIsReportedOnceAndTheProgramRunsOn) {
    rt.SetSaved("Save", "C:\\gone\\missing.jpg");
    rt.SetSaved("Left", "100");
    Start();
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].style, vbCritical);
    EXPECT_EQ(rt.msgBoxes[0].title, "Zorvane Ver1.1");
    EXPECT_NE(rt.msgBoxes[0].text.find("C:\\gone\\missing.jpg"), std::string::npos);
    EXPECT_EQ(m.PicturePath, "C:\\gone\\missing.jpg");
    EXPECT_FALSE(rt.ended);
    EXPECT_EQ(rt.tray.size(), 1u);
    EXPECT_TRUE(rt.saveOrder.empty());
    FakeForm* disp = rt.Existing(FormName::C_Disp);
    EXPECT_TRUE(disp == nullptr || !disp->visible);
}

TEST_F(Startup, PlaceOffEveryMonitorIsBroughtBackButNotRewritten) {
    SaveUsualSettings();
    rt.SetSaved("Left", "90000");
    rt.SetSaved("Top", "-50000");
    Start();
    const TwipsRect& r = rt.Disp().rect;
    EXPECT_EQ(r.left, 1024 * 15 - 64 * 15);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(rt.Saved("Left"), "90000");
}

TEST_F(Startup, PictureLoadsBeforeTheWindowIsTouched) {
    SaveUsualSettings();
    Start();
    const std::vector<std::string> before = Before("PictureLoaded(C:\\pics\\cat.bmp)");
    EXPECT_EQ(std::count(before.begin(), before.end(), "C_Disp.Visible=False"), 0);
}

TEST_F(Startup, TrayIconAnswersWhileTheSavedPictureStillLoads) {
    SaveUsualSettings();
    rt.holdLoads = true;
    Start();
    ASSERT_EQ(rt.loads.size(), 1u);
    EXPECT_EQ(Before("StartLoad(C:\\pics\\cat.bmp)").front(), "create TIMESTMP");
    EXPECT_TRUE(Logged("NIM_ADD"));
    EXPECT_FALSE(rt.Disp().visible);
    // The menu opens from the icon, and Help answers, before the picture has decoded.
    program.TIMESTMP_Form_MouseMove(0, 0, kTrayRightDown * 15.0f, 0);
    EXPECT_EQ(rt.popups.size(), 1u);
    program.C_Menu_Click(MenuItem::p_help);
    EXPECT_EQ(rt.msgBoxes.size(), 1u);

    rt.CompleteLoad(0);
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_EQ(rt.Disp().rect, (TwipsRect{3000, 1500, 64 * 15, 48 * 15})); // at the saved place
}

TEST_F(Startup, SavedPictureThatFailsIsReportedWhenItsLoadEnds) {
    rt.SetSaved("Save", "C:\\gone.bmp");
    rt.holdLoads = true;
    Start();
    EXPECT_TRUE(rt.msgBoxes.empty());
    rt.CompleteLoad(0);
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].text,
              "次のファイルを表示できませんでした。\r\n\r\nC:\\gone.bmp\r\n\r\nfile not found");
    EXPECT_EQ(m.PicturePath, "C:\\gone.bmp"); // kept for the next start
}

TEST_F(Startup, ExitWhileTheSavedPictureLoadsEndsAtOnce) {
    SaveUsualSettings();
    rt.holdLoads = true;
    Start();
    program.C_Menu_Click(MenuItem::p_end);
    EXPECT_TRUE(rt.ended);
    EXPECT_EQ(rt.log.back(), "End");
}

} // namespace
} // namespace zorvane::fake
