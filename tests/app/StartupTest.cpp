#include "fake/AppFixture.h"

namespace zorvane::fake {
namespace {

using Startup = AppTest;

TEST_F(Startup, FirstStartShowsOnlyTheTrayIcon) {
    Start();
    EXPECT_TRUE(state.transparent);
    EXPECT_TRUE(platform.checked[Command::Transparent]);
    EXPECT_FALSE(platform.checked[Command::AlwaysOnTop]);
    EXPECT_FALSE(platform.window.visible);
    EXPECT_EQ(platform.view.picture, nullptr);
    EXPECT_EQ(platform.tray, std::vector<std::string>{"Add"});
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.saveOrder.empty()); // startup never writes
}

TEST_F(Startup, SecondCopyEndsAndTouchesNothing) {
    SaveUsualSettings();
    platform.anotherCopy = true;
    Start();
    EXPECT_TRUE(platform.quit);
    // It tells the running copy, which decides what that means, and ends.
    EXPECT_EQ(After("CallRunningCopy"), std::vector<std::string>{"Quit"});
    EXPECT_TRUE(platform.tray.empty());
    EXPECT_TRUE(platform.loads.empty());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(state.picturePath, "");
}

TEST_F(Startup, SavedPictureStandsAtItsPlaceAtItsSize) {
    SaveUsualSettings();
    Start();
    FakeWindow& window = platform.window;
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.bounds, (PixelRect{200, 100, 64, 48})); // 3000, 1500 twips
    EXPECT_TRUE(platform.view.shaped);
    EXPECT_FALSE(window.topmost);
    EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");
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
    bool AppState::*value;
    Command item;
    bool on;
};

using OptionIsOffOnlyForExactlyItsOffWord = AppRows<SavedOption>;
TEST_P(OptionIsOffOnlyForExactlyItsOffWord, AtStartup) {
    const SavedOption& c = GetParam();
    platform.SetSaved(c.key, c.text);
    Start();
    EXPECT_EQ(state.*c.value, c.on);
    EXPECT_EQ(platform.checked[c.item], c.on);
}
constexpr auto kScale = &AppState::transparent;
constexpr auto kSmooth = &AppState::smoothEdges;
INSTANTIATE_TEST_SUITE_P(
    Startup, OptionIsOffOnlyForExactlyItsOffWord,
    ::testing::Values(
        SavedOption{"ScaleFalse", "Scale", "False", kScale, Command::Transparent, false},
        SavedOption{"ScaleTrue", "Scale", "True", kScale, Command::Transparent, true},
        SavedOption{"ScaleLowerCaseFalse", "Scale", "false", kScale, Command::Transparent, true},
        SavedOption{"ScaleZero", "Scale", "0", kScale, Command::Transparent, true},
        SavedOption{"ScaleEmpty", "Scale", "", kScale, Command::Transparent, true},
        SavedOption{"ScaleFalseAndABlank", "Scale", "False ", kScale, Command::Transparent, true},
        SavedOption{"SmoothZero", "Smooth", "0", kSmooth, Command::SmoothEdges, false},
        SavedOption{"SmoothOne", "Smooth", "1", kSmooth, Command::SmoothEdges, true},
        SavedOption{"SmoothAbsentInOlderSettings", "Smooth", "", kSmooth, Command::SmoothEdges,
                    true},
        SavedOption{"SmoothZeroAndABlank", "Smooth", "0 ", kSmooth, Command::SmoothEdges, true}),
    RowName());

using AlwaysOnTopOnlyForExactlyOne = AppRows<SavedFlag>;
TEST_P(AlwaysOnTopOnlyForExactlyOne, AtStartup) {
    const SavedFlag& c = GetParam();
    platform.SetSaved("Always", c.text);
    Start();
    EXPECT_EQ(platform.checked[Command::AlwaysOnTop], c.on);
    EXPECT_EQ(platform.window.topmost, c.on);
    EXPECT_FALSE(platform.window.visible);
    EXPECT_EQ(state.alwaysOnTopText, c.text);
}
INSTANTIATE_TEST_SUITE_P(Startup, AlwaysOnTopOnlyForExactlyOne,
                         ::testing::Values(SavedFlag{"One", "1", true},
                                           SavedFlag{"Zero", "0", false},
                                           SavedFlag{"Empty", "", false},
                                           SavedFlag{"OneAndABlank", "1 ", false},
                                           SavedFlag{"True", "True", false}),
                         RowName());

TEST_F(Startup, SaveOfBlanksShowsNothingButKeepsTheText) {
    platform.SetSaved("Save", "   ");
    Start();
    EXPECT_EQ(state.picturePath, "   ");
    EXPECT_EQ(Count("StartLoad(   )"), 0u);
    EXPECT_FALSE(platform.window.visible);
}

TEST_F(Startup, EmptyLeftKeepsTheWindowsOwnLeftEdge) {
    SaveUsualSettings();
    platform.SetSaved("Left", "");
    platform.SetSaved("Top", "4500");
    Start();
    EXPECT_EQ(platform.window.bounds.left, 139);
    EXPECT_EQ(platform.window.bounds.top, 300);
}

struct BadPosition {
    const char* name;
    const char* left;
};

using PositionThatIsNoFiniteNumberIsIgnored = AppRows<BadPosition>;
TEST_P(PositionThatIsNoFiniteNumberIsIgnored, AtStartup) {
    platform.AddPicture("p.bmp", 10, 10);
    platform.SetSaved("Save", "p.bmp");
    platform.SetSaved("Left", GetParam().left);
    platform.SetSaved("Top", "300");
    Start();
    EXPECT_EQ(platform.window.bounds.left, 139);
    EXPECT_EQ(platform.window.bounds.top, 20);
    EXPECT_TRUE(platform.window.visible);
}
INSTANTIATE_TEST_SUITE_P(Startup, PositionThatIsNoFiniteNumberIsIgnored,
                         ::testing::Values(BadPosition{"NotANumber", "nan"},
                                           BadPosition{"Infinity", "inf"},
                                           BadPosition{"BeyondSingle", "-1e308"},
                                           BadPosition{"Letters", "abc"},
                                           BadPosition{"Hexadecimal", "0x10"}),
                         RowName());

TEST_F(Startup, PictureThatCannotBeShownIsReportedOnceAndTheProgramRunsOn) {
    platform.SetSaved("Save", "C:\\gone\\missing.jpg");
    platform.SetSaved("Left", "100");
    Start();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Critical);
    EXPECT_NE(platform.messages[0].text.find("C:\\gone\\missing.jpg"), std::string::npos);
    EXPECT_EQ(state.picturePath, "C:\\gone\\missing.jpg");
    EXPECT_FALSE(platform.quit);
    EXPECT_EQ(platform.tray, std::vector<std::string>{"Add"});
    EXPECT_TRUE(platform.saveOrder.empty());
    EXPECT_FALSE(platform.window.visible);
}

TEST_F(Startup, PlaceOffEveryMonitorIsBroughtBackButNotRewritten) {
    SaveUsualSettings();
    platform.SetSaved("Left", "90000");
    platform.SetSaved("Top", "-50000");
    Start();
    const PixelRect& r = platform.window.bounds;
    EXPECT_EQ(r.left, 1024 - 64);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(platform.Saved("Left"), "90000");
}

TEST_F(Startup, PictureLoadsBeforeTheWindowIsTouched) {
    SaveUsualSettings();
    Start();
    const std::vector<std::string> before = Before("PictureLoaded(C:\\pics\\cat.bmp)");
    EXPECT_EQ(std::count(before.begin(), before.end(), "window.Hide"), 0);
}

TEST_F(Startup, TrayIconAnswersWhileTheSavedPictureStillLoads) {
    SaveUsualSettings();
    platform.holdLoads = true;
    Start();
    ASSERT_EQ(platform.loads.size(), 1u);
    EXPECT_EQ(Before("StartLoad(C:\\pics\\cat.bmp)").front(), "AddTrayIcon");
    EXPECT_FALSE(platform.window.visible);
    // The menu opens from the icon, and Help answers, before the picture has decoded.
    app.TrayIconClicked(MouseButton::Right);
    EXPECT_EQ(platform.menus.size(), 1u);
    app.CommandChosen(Command::Help);
    EXPECT_EQ(platform.messages.size(), 1u);

    platform.CompleteLoad(0);
    EXPECT_TRUE(platform.window.visible);
    EXPECT_EQ(platform.window.bounds, (PixelRect{200, 100, 64, 48})); // at the saved place
}

TEST_F(Startup, SavedPictureThatFailsIsReportedWhenItsLoadEnds) {
    platform.SetSaved("Save", "C:\\gone.bmp");
    platform.holdLoads = true;
    Start();
    EXPECT_TRUE(platform.messages.empty());
    platform.CompleteLoad(0);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text,
              "次のファイルを表示できませんでした。\r\n\r\nC:\\gone.bmp\r\n\r\nfile not found");
    EXPECT_EQ(state.picturePath, "C:\\gone.bmp"); // kept for the next start
}

TEST_F(Startup, ExitWhileTheSavedPictureLoadsEndsAtOnce) {
    SaveUsualSettings();
    platform.holdLoads = true;
    Start();
    app.CommandChosen(Command::Exit);
    EXPECT_TRUE(platform.quit);
    EXPECT_EQ(platform.log.back(), "Quit");
}

} // namespace
} // namespace zorvane::fake
