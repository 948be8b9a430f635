#include "fake/ProgramFixture.h"

namespace zorvane::fake {
namespace {

using PictureWindow = ProgramTest;

TEST_F(PictureWindow, UsersCloseOnlyHidesIt) {
    SaveUsualSettings();
    Start();
    EXPECT_TRUE(program.C_Disp_Form_QueryUnload(vbFormControlMenu));
    EXPECT_FALSE(rt.Disp().visible);
    EXPECT_FALSE(rt.ended);
}

TEST_F(PictureWindow, OtherReasonsLetItUnload) {
    SaveUsualSettings();
    Start();
    EXPECT_FALSE(program.C_Disp_Form_QueryUnload(vbAppWindows));
    EXPECT_TRUE(rt.Disp().visible);
}

TEST_F(PictureWindow, ShowSequenceLoadsThenFitsShapesAndShows) {
    SaveUsualSettings();
    rt.SetSaved("Scale", "False");
    Start();
    EXPECT_EQ(After("PictureLoaded(C:\\pics\\cat.bmp)"),
              (std::vector<std::string>{"create C_Disp", "C_Disp.Visible=False", "Vesquin1.Picture",
                                        "C_Disp.Visible=False", "Vesquin1.PlainRectangle",
                                        "C_Disp.Show", "C_Disp.Visible=True"}));
}

TEST_F(PictureWindow, PictureLargerThanTheScreenIsNotScaled) {
    rt.AddPicture("big.jpg", 3000, 2000);
    rt.SetSaved("Save", "big.jpg");
    rt.SetSaved("Left", "0");
    rt.SetSaved("Top", "0");
    Start();
    EXPECT_EQ(rt.Disp().rect, (TwipsRect{0, 0, 3000 * 15, 2000 * 15}));
}

} // namespace
} // namespace zorvane::fake
