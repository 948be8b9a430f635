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

TEST_F(Startup, ScaleIsOffOnlyForExactlyFalse) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {{"False", false}, {"True", true}, {"false", true},
                 {"0", true},      {"", true},     {"False ", true}};
    for (const auto& c : cases) {
        FakeRuntime rt;
        Program program(rt);
        rt.SetSaved("Scale", c.text);
        program.TIMESTMP_Form_Load();
        EXPECT_EQ(program.shared().ScaleOn, c.on) << c.text;
        EXPECT_EQ(rt.Checked(MenuItem::p_scale), c.on) << c.text;
    }
}

TEST_F(Startup, AlwaysOnTopOnlyForExactlyOne) {
    const struct {
        const char* text;
        bool on;
    } cases[] = {{"1", true}, {"0", false}, {"", false}, {"1 ", false}, {"True", false}};
    for (const auto& c : cases) {
        FakeRuntime rt;
        Program program(rt);
        rt.SetSaved("Always", c.text);
        program.TIMESTMP_Form_Load();
        EXPECT_EQ(rt.Checked(MenuItem::p_top), c.on) << c.text;
        FakeForm* disp = rt.Existing(FormName::C_Disp);
        // Turning it on creates the picture window, hidden; off leaves it alone.
        EXPECT_EQ(disp != nullptr, c.on) << c.text;
        if (disp) {
            EXPECT_TRUE(disp->topmost);
            EXPECT_FALSE(disp->visible);
        }
        EXPECT_EQ(program.shared().AlwaysFlag, c.text);
    }
}

TEST_F(Startup, SaveOfBlanksShowsNothingButKeepsTheText) {
    rt.SetSaved("Save", "   ");
    Start();
    EXPECT_EQ(m.PicturePath, "   ");
    EXPECT_EQ(Count("LoadPicture(   )"), 0u);
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

TEST_F(Startup, PositionThatIsNoFiniteNumberIsIgnored) {
    for (const char* bad : {"nan", "inf", "-1e308", "abc", "0x10"}) {
        FakeRuntime rt;
        Program program(rt);
        rt.AddPicture("p.bmp", 10, 10);
        rt.SetSaved("Save", "p.bmp");
        rt.SetSaved("Left", bad);
        rt.SetSaved("Top", "300");
        program.TIMESTMP_Form_Load();
        EXPECT_EQ(rt.Disp().rect.left, 2085) << bad;
        EXPECT_EQ(rt.Disp().rect.top, 300) << bad;
        EXPECT_TRUE(rt.Disp().visible) << bad;
    }
}

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
    const auto load = std::find(rt.log.begin(), rt.log.end(), "LoadPicture(C:\\pics\\cat.bmp)");
    const auto hide = std::find(rt.log.begin(), rt.log.end(), "C_Disp.Visible=False");
    ASSERT_NE(load, rt.log.end());
    EXPECT_LT(load, hide);
}

} // namespace
} // namespace zorvane::fake
