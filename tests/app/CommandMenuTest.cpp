#include "app/Texts.h"
#include "fake/AppFixture.h"

namespace zorvane::fake {
namespace {

using CommandMenu = AppTest;

TEST_F(CommandMenu, RightClickOnThePictureOpensTheMenuUnderTheMouse) {
    SaveUsualSettings(); // window at 3000, 1500 twips = 200, 100 px
    Start();
    app.PictureClicked(MouseButton::Right, {37, 12});
    EXPECT_EQ(platform.menus, (std::vector<PixelPoint>{{237, 112}}));
}

TEST_F(CommandMenu, OtherButtonsOpenNothing) {
    SaveUsualSettings();
    Start();
    for (MouseButton button : {MouseButton::Left, MouseButton::Middle})
        app.PictureClicked(button, {10, 10});
    EXPECT_TRUE(platform.menus.empty());
}

TEST_F(CommandMenu, AlwaysOnTopTurnsOverFromNoSavedValue) {
    Start();
    app.CommandChosen(Command::AlwaysOnTop);
    EXPECT_TRUE(platform.checked[Command::AlwaysOnTop]);
    EXPECT_EQ(state.alwaysOnTopText, "1");
    EXPECT_TRUE(platform.window.topmost);
    EXPECT_FALSE(platform.window.visible);
    app.CommandChosen(Command::AlwaysOnTop);
    EXPECT_FALSE(platform.checked[Command::AlwaysOnTop]);
    EXPECT_EQ(state.alwaysOnTopText, "0");
    EXPECT_FALSE(platform.window.topmost);
}

TEST_F(CommandMenu, TransparentTwiceTakesTheShapeOffAndPutsItBack) {
    SaveUsualSettings();
    Start();
    platform.log.clear();
    app.CommandChosen(Command::Transparent);
    EXPECT_FALSE(state.transparent);
    EXPECT_FALSE(platform.checked[Command::Transparent]);
    EXPECT_FALSE(platform.view.shaped);
    app.CommandChosen(Command::Transparent);
    EXPECT_TRUE(state.transparent);
    EXPECT_TRUE(platform.checked[Command::Transparent]);
    EXPECT_TRUE(platform.view.shaped);
    // Not hidden, reloaded or moved.
    EXPECT_EQ(platform.log, (std::vector<std::string>{"view.PlainRectangle", "view.CutTo"}));
}

TEST_F(CommandMenu, TransparentBeforeAnyPictureShowsNothing) {
    Start();
    app.CommandChosen(Command::Transparent);
    EXPECT_FALSE(platform.window.visible);
    EXPECT_FALSE(state.transparent);
}

TEST_F(CommandMenu, SmoothEdgesTurnOverFollowTheDesktopAndAreSaved) {
    // A red picture whose left edge is anti-aliased on the mask green: key, a half blend, red.
    auto picture = std::make_shared<Picture>();
    picture->width = 4;
    picture->height = 1;
    picture->pixels = {0xFF008000, 0xFF804000, 0xFFFF0000, 0xFFFF0000};
    platform.pictures["C:\\pics\\disk.bmp"] = picture;
    SaveUsualSettings();
    platform.SetSaved("Save", "C:\\pics\\disk.bmp");
    Start();
    auto edge = [&] {
        std::vector<std::uint32_t> shown(4);
        EXPECT_TRUE(PaintCutout(*picture, platform.view.cut, shown.data()));
        return shown[1];
    };
    EXPECT_TRUE(state.smoothEdges);
    EXPECT_EQ(edge(), 0x80800000u) << "half see-through, the green taken out";

    app.CommandChosen(Command::SmoothEdges);
    EXPECT_FALSE(state.smoothEdges);
    EXPECT_FALSE(platform.checked[Command::SmoothEdges]);
    EXPECT_EQ(edge(), 0xFF804000u) << "hard edges: the picture as it is";

    platform.view.blends = false; // the compositor went away
    app.CommandChosen(Command::SmoothEdges);
    EXPECT_EQ(edge(), 0xFFFF0000u) << "a desktop that only cuts: opaque, in the figure's colour";
    app.CommandChosen(Command::SaveState);
    EXPECT_EQ(platform.Saved("Smooth"), "1");

    // With Transparent off the window is not cut again.
    app.CommandChosen(Command::Transparent);
    platform.log.clear();
    app.CommandChosen(Command::SmoothEdges);
    EXPECT_TRUE(platform.log.empty());
    EXPECT_FALSE(platform.view.shaped);
    app.CommandChosen(Command::SaveState);
    EXPECT_EQ(platform.Saved("Smooth"), "0");
}

TEST_F(CommandMenu, SaveWritesTheValuesInOrder) {
    SaveUsualSettings();
    platform.SetSaved("Scale", "False");
    platform.SetSaved("Always", "1");
    Start();
    platform.screen.twipsPerPixelX = 1440.0f / 168; // 168 dpi
    platform.window.bounds.left = 144;
    app.CommandChosen(Command::SaveState);
    EXPECT_EQ(platform.saveOrder,
              (std::vector<std::string>{"Save", "Left", "Top", "Scale", "Always", "Smooth"}));
    EXPECT_EQ(platform.Saved("Save"), "C:\\pics\\cat.bmp");
    EXPECT_EQ(platform.Saved("Left"), "1234.2856");
    EXPECT_EQ(platform.Saved("Top"), "1500");
    EXPECT_EQ(platform.Saved("Scale"), "False");
    EXPECT_EQ(platform.Saved("Always"), "1");
    EXPECT_EQ(platform.Saved("Smooth"), "1"); // settings of before it: on
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(CommandMenu, SaveOnAFirstStartWritesTheHiddenWindowsPlace) {
    Start();
    app.CommandChosen(Command::SaveState);
    EXPECT_EQ(platform.Saved("Save"), "");
    EXPECT_EQ(platform.Saved("Left"), "2085");
    EXPECT_EQ(platform.Saved("Top"), "1170");
    EXPECT_EQ(platform.Saved("Scale"), "True");
    EXPECT_EQ(platform.Saved("Always"), "");
    EXPECT_FALSE(platform.window.visible);
}

// The place is saved in twips and read back in the pixels of the screen the program starts on:
// at every scale it comes back where it was saved.
using SavedPlaceComesBackAtEveryScale = AppRows<std::pair<const char*, float>>;
TEST_P(SavedPlaceComesBackAtEveryScale, AfterARestart) {
    const float tpp = GetParam().second;
    SaveUsualSettings();
    platform.screen.twipsPerPixelX = platform.screen.twipsPerPixelY = tpp;
    Start();
    platform.window.bounds.left = -333; // on a monitor left of the primary
    platform.window.bounds.top = 401;
    app.CommandChosen(Command::SaveState);

    FakePlatform again;
    again.settings = platform.settings;
    again.pictures = platform.pictures;
    again.screen = platform.screen;
    again.monitors.push_back({{-1920, 0, 1920, 1080}, {-1920, 0, 1920, 1080}});
    App restarted(again);
    again.events = &restarted;
    restarted.Started();
    EXPECT_EQ(again.window.bounds, (PixelRect{-333, 401, 64, 48}));
}
INSTANTIATE_TEST_SUITE_P(CommandMenu, SavedPlaceComesBackAtEveryScale,
                         ::testing::Values(std::pair{"At96Dpi", 15.0f},
                                           std::pair{"At120Dpi", 12.0f},
                                           std::pair{"At144Dpi", 10.0f},
                                           std::pair{"At168Dpi", 1440.0f / 168},
                                           std::pair{"At192Dpi", 7.5f}),
                         [](const auto& info) { return std::string(info.param.first); });

TEST_F(CommandMenu, FailedSaveIsReported) {
    Start();
    platform.failSaves = true;
    app.CommandChosen(Command::SaveState);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Critical);
    EXPECT_FALSE(platform.quit);
}

struct MessageCommand {
    const char* name;
    Command item;
    MessageKind kind;
    bool alwaysOnTop;
};

using HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne = AppRows<MessageCommand>;
TEST_P(HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne, WithTheirMessage) {
    const MessageCommand& c = GetParam();
    platform.SetSaved("Always", c.alwaysOnTop ? "1" : "0");
    Start();
    platform.log.clear();
    app.CommandChosen(c.item);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, c.kind);
    const std::vector<std::string> before = Before("ShowMessage");
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.back(), "window.Topmost=Off");
    EXPECT_EQ(platform.window.topmost, c.alwaysOnTop);
    EXPECT_EQ(platform.checked[Command::AlwaysOnTop], c.alwaysOnTop);
}
INSTANTIATE_TEST_SUITE_P(
    CommandMenu, HelpAndAboutStepOutOfTheBandAndReturnToTheChosenOne,
    ::testing::Values(MessageCommand{"Help", Command::Help, MessageKind::Information, false},
                      MessageCommand{"HelpOnTop", Command::Help, MessageKind::Information, true},
                      MessageCommand{"About", Command::About, MessageKind::Plain, false},
                      MessageCommand{"AboutOnTop", Command::About, MessageKind::Plain, true}),
    RowName());

TEST_F(CommandMenu, HelpTextIsFourLines) {
    Start();
    app.CommandChosen(Command::Help);
    EXPECT_EQ(platform.messages.at(0).text,
              "タスクトレイにあるｱｲｺﾝまたは\r\n表示されている画像を右クリックし、\r\n"
              "表示したい画像(*.BMP *.JPG *.ICO *.GIF 等)を \r\n選択するだけです！");
}

TEST_F(CommandMenu, ExitRemovesTheTrayIconAndEndsWithoutSaving) {
    SaveUsualSettings();
    Start();
    platform.settings.clear();
    app.CommandChosen(Command::Exit);
    EXPECT_TRUE(platform.quit);
    EXPECT_EQ(platform.tray, (std::vector<std::string>{"Add", "Remove"}));
    EXPECT_EQ(platform.log.back(), "Quit");
    EXPECT_TRUE(platform.settings.empty());
}

} // namespace
} // namespace zorvane::fake
