#include "fake/AppFixture.h"

namespace zorvane::fake {
namespace {

using PictureWindow = AppTest;

TEST_F(PictureWindow, UsersCloseOnlyHidesIt) {
    SaveUsualSettings();
    Start();
    EXPECT_TRUE(app.PictureWindowClosing(CloseReason::User));
    EXPECT_FALSE(platform.window.visible);
    EXPECT_FALSE(platform.quit);
}

TEST_F(PictureWindow, TheSessionsEndLetsItClose) {
    SaveUsualSettings();
    Start();
    EXPECT_FALSE(app.PictureWindowClosing(CloseReason::SessionEnd));
    EXPECT_TRUE(platform.window.visible);
}

TEST_F(PictureWindow, ShowSequenceLoadsThenFitsShapesAndShows) {
    SaveUsualSettings();
    platform.SetSaved("Scale", "False");
    Start();
    EXPECT_EQ(After("PictureLoaded(C:\\pics\\cat.bmp)"),
              (std::vector<std::string>{"window.Hide", "view.Picture", "view.PlainRectangle",
                                        "window.Show"}));
    EXPECT_EQ(platform.window.bounds, (PixelRect{200, 100, 64, 48}));
}

TEST_F(PictureWindow, PictureLargerThanTheScreenIsNotScaled) {
    platform.AddPicture("big.jpg", 3000, 2000);
    platform.SetSaved("Save", "big.jpg");
    platform.SetSaved("Left", "0");
    platform.SetSaved("Top", "0");
    Start();
    EXPECT_EQ(platform.window.bounds, (PixelRect{0, 0, 3000, 2000}));
}

} // namespace
} // namespace zorvane::fake
