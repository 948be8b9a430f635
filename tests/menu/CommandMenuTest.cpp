#include "fake/ProgramFixture.h"
#include "menu/MenuTable.h"

namespace zorvane::fake {
namespace {

using CommandMenu = ProgramTest;

// Both builds make the command menu from this table.
TEST(CommandMenuTable, HoldsTheCommandsInOrderWithTheirSeparatorsAndOneCheckMark) {
    const std::pair<MenuItem, const char*> expected[] = {
        {MenuItem::p_PicSelect, "画像交換(&P)"},
        {MenuItem::p_top, "常に手前表示(&T)"},
        {MenuItem::p_scale, "透過(&W)"},
        {MenuItem::p_smooth, "輪郭をなめらかに(&M)"},
        {MenuItem::p_savepic, "現在の状態を保存(&S)"},
        {MenuItem::p_savepic, nullptr},
        {MenuItem::p_help, "Help(&H)"},
        {MenuItem::p_help, nullptr},
        {MenuItem::p_about, "About(&A)"},
        {MenuItem::p_about, nullptr},
        {MenuItem::p_end, "Exit(&E)"},
    };
    ASSERT_EQ(std::size(kCommandMenu), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(kCommandMenu[i].item, expected[i].first) << i;
        if (expected[i].second)
            EXPECT_STREQ(kCommandMenu[i].caption, expected[i].second) << i;
        else
            EXPECT_EQ(kCommandMenu[i].caption, nullptr) << i;
    }
    EXPECT_EQ(kCheckedAtFirst, MenuItem::p_scale);
}

TEST_F(CommandMenu, RightClickOnThePictureOpensTheMenuUnderTheMouse) {
    SaveUsualSettings(); // window at 3000, 1500 twips = 200, 100 px
    Start();
    program.C_Disp_Vesquin1_MouseEvent(vbRightButton, 0, 37 * 15, 12 * 15);
    ASSERT_EQ(rt.popups.size(), 1u);
    EXPECT_EQ(rt.popups[0], std::make_pair(237, 112));
    EXPECT_NE(rt.Existing(FormName::C_Menu), nullptr);
}

TEST_F(CommandMenu, OtherButtonsOpenNothing) {
    SaveUsualSettings();
    Start();
    for (int button : {0, vbLeftButton, vbMiddleButton, vbLeftButton | vbMiddleButton})
        program.C_Disp_Vesquin1_MouseEvent(button, 0, 10, 10);
    EXPECT_TRUE(rt.popups.empty());
    program.C_Disp_Vesquin1_MouseEvent(vbRightButton | vbLeftButton, 0, 0, 0);
    EXPECT_EQ(rt.popups.size(), 1u);
}

TEST_F(CommandMenu, AlwaysOnTopTurnsOverFromNoSavedValue) {
    Start();
    program.C_Menu_Click(MenuItem::p_top);
    EXPECT_TRUE(rt.Checked(MenuItem::p_top));
    EXPECT_EQ(m.AlwaysFlag, "1");
    EXPECT_TRUE(rt.Disp().topmost);
    EXPECT_FALSE(rt.Disp().visible);
    program.C_Menu_Click(MenuItem::p_top);
    EXPECT_FALSE(rt.Checked(MenuItem::p_top));
    EXPECT_EQ(m.AlwaysFlag, "0");
    EXPECT_FALSE(rt.Disp().topmost);
}

TEST_F(CommandMenu, TransparentTwiceTakesTheShapeOffAndPutsItBack) {
    SaveUsualSettings();
    Start();
    rt.log.clear();
    program.C_Menu_Click(MenuItem::p_scale);
    EXPECT_FALSE(m.ScaleOn);
    EXPECT_FALSE(rt.Checked(MenuItem::p_scale));
    EXPECT_FALSE(rt.shape->shaped);
    program.C_Menu_Click(MenuItem::p_scale);
    EXPECT_TRUE(m.ScaleOn);
    EXPECT_TRUE(rt.Checked(MenuItem::p_scale));
    EXPECT_TRUE(rt.shape->shaped);
    // Not hidden, reloaded or moved.
    EXPECT_EQ(rt.log,
              (std::vector<std::string>{"Vesquin1.PlainRectangle", "Vesquin1.CutTo"}));
}

TEST_F(CommandMenu, TransparentBeforeAnyPictureShowsNothing) {
    Start();
    program.C_Menu_Click(MenuItem::p_scale);
    ASSERT_NE(rt.Existing(FormName::C_Disp), nullptr);
    EXPECT_FALSE(rt.Disp().visible);
    EXPECT_FALSE(m.ScaleOn);
}

TEST_F(CommandMenu, SmoothEdgesTurnOverFollowTheDesktopAndAreSaved) {
    // A red picture whose left edge is anti-aliased on the mask green: key, a half blend, red.
    auto picture = std::make_shared<Picture>();
    picture->width = 4;
    picture->height = 1;
    picture->pixels = {0xFF008000, 0xFF804000, 0xFFFF0000, 0xFFFF0000};
    rt.pictures["C:\\pics\\disk.bmp"] = picture;
    SaveUsualSettings();
    rt.SetSaved("Save", "C:\\pics\\disk.bmp");
    Start();
    auto edge = [&] {
        std::vector<std::uint32_t> shown(4);
        EXPECT_TRUE(PaintCutout(*picture, rt.shape->cut, shown.data()));
        return shown[1];
    };
    EXPECT_TRUE(m.Smooth);
    EXPECT_EQ(edge(), 0x80800000u) << "half see-through, the green taken out";

    program.C_Menu_Click(MenuItem::p_smooth);
    EXPECT_FALSE(m.Smooth);
    EXPECT_FALSE(rt.Checked(MenuItem::p_smooth));
    EXPECT_EQ(edge(), 0xFF804000u) << "hard edges: the picture as it is";

    rt.shape->blends = false; // the compositor went away
    program.C_Menu_Click(MenuItem::p_smooth);
    EXPECT_EQ(edge(), 0xFFFF0000u) << "a desktop that only cuts: opaque, in the figure's colour";
    program.C_Menu_Click(MenuItem::p_savepic);
    EXPECT_EQ(rt.Saved("Smooth"), "1");

    // With Transparent off the window is not cut again.
    program.C_Menu_Click(MenuItem::p_scale);
    rt.log.clear();
    program.C_Menu_Click(MenuItem::p_smooth);
    EXPECT_TRUE(rt.log.empty());
    EXPECT_FALSE(rt.shape->shaped);
    program.C_Menu_Click(MenuItem::p_savepic);
    EXPECT_EQ(rt.Saved("Smooth"), "0");
}

TEST_F(CommandMenu, SaveWritesTheValuesInOrder) {
    SaveUsualSettings();
    rt.SetSaved("Scale", "False");
    rt.SetSaved("Always", "1");
    Start();
    rt.Disp().rect.left = 1234.5f;
    program.C_Menu_Click(MenuItem::p_savepic);
    EXPECT_EQ(rt.saveOrder,
              (std::vector<std::string>{"Save", "Left", "Top", "Scale", "Always", "Smooth"}));
    EXPECT_EQ(rt.Saved("Save"), "C:\\pics\\cat.bmp");
    EXPECT_EQ(rt.Saved("Left"), "1234.5");
    EXPECT_EQ(rt.Saved("Top"), "1500");
    EXPECT_EQ(rt.Saved("Scale"), "False");
    EXPECT_EQ(rt.Saved("Always"), "1");
    EXPECT_EQ(rt.Saved("Smooth"), "1"); // settings of before it: on
    EXPECT_TRUE(rt.msgBoxes.empty());
}

TEST_F(CommandMenu, SaveOnAFirstStartWritesTheHiddenWindowsPlace) {
    Start();
    program.C_Menu_Click(MenuItem::p_savepic);
    EXPECT_EQ(rt.Saved("Save"), "");
    EXPECT_EQ(rt.Saved("Left"), "2085");
    EXPECT_EQ(rt.Saved("Top"), "1170");
    EXPECT_EQ(rt.Saved("Scale"), "True");
    EXPECT_EQ(rt.Saved("Always"), "");
    EXPECT_FALSE(rt.Disp().visible);
}

TEST_F(CommandMenu, FailedSaveIsReported) {
    Start();
    rt.failSaves = true;
    program.C_Menu_Click(MenuItem::p_savepic);
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].style, vbCritical);
    EXPECT_EQ(rt.msgBoxes[0].title, "Zorvane Ver1.1");
    EXPECT_FALSE(rt.ended);
}

struct MessageCommand {
    const char* name;
    MenuItem item;
    int style;
    bool alwaysOnTop;
};

using HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne = ProgramRows<MessageCommand>;
TEST_P(HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne, WithTheirMessage) {
    const MessageCommand& c = GetParam();
    rt.SetSaved("Always", c.alwaysOnTop ? "1" : "0");
    Start();
    rt.log.clear();
    program.C_Menu_Click(c.item);
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].style, c.style);
    EXPECT_EQ(rt.msgBoxes[0].title, "Zorvane Ver1.1");
    const std::vector<std::string> before = Before("MsgBox");
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.back(), "C_Disp.Topmost=Off");
    EXPECT_EQ(rt.Disp().topmost, c.alwaysOnTop);
    EXPECT_EQ(rt.Checked(MenuItem::p_top), c.alwaysOnTop);
}
INSTANTIATE_TEST_SUITE_P(
    CommandMenu, HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne,
    ::testing::Values(MessageCommand{"Help", MenuItem::p_help, vbInformation, false},
                      MessageCommand{"HelpOnTop", MenuItem::p_help, vbInformation, true},
                      MessageCommand{"About", MenuItem::p_about, vbOKOnly, false},
                      MessageCommand{"AboutOnTop", MenuItem::p_about, vbOKOnly, true}),
    RowName());

TEST_F(CommandMenu, HelpTextIsFourLines) {
    Start();
    program.C_Menu_Click(MenuItem::p_help);
    EXPECT_EQ(rt.msgBoxes.at(0).text,
              "タスクトレイにあるｱｲｺﾝまたは\r\n表示されている画像を右クリックし、\r\n"
              "表示したい画像(*.BMP *.JPG *.ICO *.GIF 等)を \r\n選択するだけです！");
}

TEST_F(CommandMenu, ExitRemovesTheTrayIconAndEndsWithoutSaving) {
    SaveUsualSettings();
    Start();
    rt.settings.clear();
    program.C_Menu_Click(MenuItem::p_end);
    EXPECT_TRUE(rt.ended);
    ASSERT_EQ(rt.tray.size(), 2u);
    EXPECT_EQ(rt.tray[1].message, kNimDelete);
    EXPECT_EQ(rt.log.back(), "End");
    EXPECT_TRUE(rt.settings.empty());
}

} // namespace
} // namespace zorvane::fake
