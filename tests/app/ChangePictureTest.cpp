#include "fake/AppFixture.h"

namespace zorvane::fake {
namespace {

struct ChangePicture : AppTest {
    // Starts with the usual picture on screen, then answers the dialog with `answer`.
    void Choose(std::optional<std::string> answer) {
        platform.dialogAnswers.push_back(std::move(answer));
        platform.log.clear();
        app.CommandChosen(Command::ChangePicture);
    }
    void StartWithPicture(bool alwaysOnTop = false) {
        SaveUsualSettings();
        platform.SetSaved("Always", alwaysOnTop ? "1" : "0");
        Start();
    }
};

TEST(PictureName, LastThreeCharactersOfTheTrimmedNameInUpperCase) {
    const struct {
        const char* name;
        bool accepted;
    } cases[] = {
        {"a.bmp", true},   {"a.Bmp", true},      {"A.JPG", true},  {"a.ico", true},
        {"a.gif ", true},  {"  a.gif  ", true},  {"aGIF", true},   {"写真.jpg", true},
        {"a.jpeg", false}, {"a.png", false},     {"a.bm", false},  {"bmp", true},
        {"jp", false},     {"a.bmp.txt", false}, {"a.gıf", false}, {"画像.ＢＭＰ", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPictureName(c.name), c.accepted) << c.name;
}

TEST_F(ChangePicture, AcceptedFileIsShownWhereThePictureStands) {
    StartWithPicture();
    platform.AddPicture("D:\\new.gif", 30, 20);
    Choose("D:\\new.gif");
    EXPECT_EQ(state.picturePath, "D:\\new.gif");
    EXPECT_EQ(platform.window.bounds, (PixelRect{200, 100, 30, 20}));
    EXPECT_TRUE(platform.window.visible);
    EXPECT_TRUE(platform.view.shaped);
    EXPECT_EQ(platform.log.front(), "window.Topmost=Off"); // before the dialog
    EXPECT_FALSE(platform.window.topmost);                 // the option is off
}

TEST_F(ChangePicture, RefusedNameKeepsEverything) {
    StartWithPicture(true);
    const auto before = platform.view.picture;
    Choose("D:\\photo.jpeg");
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "選択できる画像は BMP・JPG・ICO・GIFファイルのみです。");
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Critical);
    EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");
    EXPECT_EQ(platform.view.picture, before);
    EXPECT_TRUE(platform.window.visible);
    EXPECT_TRUE(platform.window.topmost); // back in the band the option names
    EXPECT_EQ(Count("StartLoad(D:\\photo.jpeg)"), 0u);
}

struct Answer {
    const char* name;
    std::optional<std::string> answer;
};

struct CancelAndBlankAnswersChangeNothing : ChangePicture, ::testing::WithParamInterface<Answer> {};
TEST_P(CancelAndBlankAnswersChangeNothing, InTheDialog) {
    platform.AddPicture("C:\\pics\\cat.bmp", 64, 48);
    platform.SetSaved("Save", "C:\\pics\\cat.bmp");
    Start();
    Choose(GetParam().answer);
    EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(Count("StartLoad(C:\\pics\\cat.bmp)"), 0u); // not loaded again
    EXPECT_TRUE(platform.window.visible);
    EXPECT_FALSE(platform.window.topmost);
}
INSTANTIATE_TEST_SUITE_P(ChangePicture, CancelAndBlankAnswersChangeNothing,
                         ::testing::Values(Answer{"Cancel", std::nullopt}, Answer{"Empty", ""},
                                           Answer{"Blanks", "   "}),
                         RowName());

TEST_F(ChangePicture, UnreadableFileIsReportedAndTheOldPictureStaysAsItWas) {
    StartWithPicture();
    const PixelRect place = platform.window.bounds;
    const auto before = platform.view.picture;
    Choose("D:\\broken.bmp"); // not among the loadable pictures
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].kind, MessageKind::Critical);
    EXPECT_NE(platform.messages[0].text.find("D:\\broken.bmp"), std::string::npos);
    EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");
    EXPECT_EQ(platform.view.picture, before);
    EXPECT_EQ(platform.window.bounds, place);
    EXPECT_TRUE(platform.window.visible);
    EXPECT_FALSE(Logged("window.Hide"));
    EXPECT_FALSE(platform.quit);
}

TEST_F(ChangePicture, FirstPictureOnAFirstStartShowsTheHiddenWindow) {
    Start();
    platform.AddPicture("C:\\画像\\ねこ.ico", 32, 32);
    Choose("C:\\画像\\ねこ.ico");
    EXPECT_TRUE(platform.window.visible);
    EXPECT_EQ(platform.window.bounds, (PixelRect{139, 78, 32, 32}));
    EXPECT_EQ(state.picturePath, "C:\\画像\\ねこ.ico");
}

TEST_F(ChangePicture, ShowsAHiddenPictureAgainAfterTheUsersClose) {
    StartWithPicture();
    app.PictureWindowClosing(CloseReason::User);
    ASSERT_FALSE(platform.window.visible);
    platform.AddPicture("D:\\b.bmp", 5, 5);
    Choose("D:\\b.bmp");
    EXPECT_TRUE(platform.window.visible);
}

TEST_F(ChangePicture, SaveAfterARefusalStoresThePictureStillShown) {
    StartWithPicture();
    Choose("D:\\notes.txt");
    app.CommandChosen(Command::SaveState);
    EXPECT_EQ(platform.Saved("Save"), "C:\\pics\\cat.bmp");
}

// Two pictures picked one after the other, their loads ending in either order, well or not:
// only the newer pick counts, and the older one's end says and changes nothing.
struct TwoPicks {
    const char* name;
    bool olderLoads, newerLoads;
    bool newerEndsFirst;
};

struct PicksWhileLoading : ChangePicture, ::testing::WithParamInterface<TwoPicks> {};
TEST_P(PicksWhileLoading, TheNewerPickWins) {
    const TwoPicks& c = GetParam();
    StartWithPicture(true);
    const auto before = platform.view.picture;
    const PixelRect place = platform.window.bounds;
    if (c.olderLoads)
        platform.AddPicture("D:\\older.bmp", 10, 10);
    if (c.newerLoads)
        platform.AddPicture("D:\\newer.gif", 30, 20);
    platform.holdLoads = true;
    Choose("D:\\older.bmp");
    Choose("D:\\newer.gif");
    ASSERT_EQ(platform.loads.size(), 3u); // the saved picture's, then the two picks'

    // Until a load ends, the picture on screen stays as it was, in its chosen band.
    EXPECT_EQ(platform.view.picture, before);
    EXPECT_EQ(platform.window.bounds, place);
    EXPECT_TRUE(platform.window.visible);
    EXPECT_TRUE(platform.window.topmost);
    EXPECT_FALSE(Logged("window.Hide"));
    EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");

    platform.CompleteLoad(c.newerEndsFirst ? 2 : 1);
    platform.CompleteLoad(c.newerEndsFirst ? 1 : 2);
    if (c.newerLoads) {
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_EQ(state.picturePath, "D:\\newer.gif");
        EXPECT_EQ(platform.view.picture, platform.pictures.at("D:\\newer.gif"));
        EXPECT_EQ(platform.window.bounds, (PixelRect{200, 100, 30, 20}));
        EXPECT_EQ(Count("view.Picture"), 1u);
    } else {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_NE(platform.messages[0].text.find("D:\\newer.gif"), std::string::npos);
        EXPECT_EQ(state.picturePath, "C:\\pics\\cat.bmp");
        EXPECT_EQ(platform.view.picture, before);
        EXPECT_EQ(platform.window.bounds, place);
        EXPECT_FALSE(Logged("view.Picture"));
    }
    EXPECT_TRUE(platform.window.visible);
    EXPECT_TRUE(platform.window.topmost); // the band the user chose, through the show too
}
INSTANTIATE_TEST_SUITE_P(
    ChangePicture, PicksWhileLoading,
    ::testing::Values(TwoPicks{"BothLoad_NewerFirst", true, true, true},
                      TwoPicks{"BothLoad_OlderFirst", true, true, false},
                      TwoPicks{"OlderFails_AfterNewer", false, true, true},
                      TwoPicks{"OlderFails_BeforeNewer", false, true, false},
                      TwoPicks{"NewerFails_OlderLoadsLater", true, false, true},
                      TwoPicks{"NewerFails_OlderLoadsFirst", true, false, false}),
    RowName());

TEST_F(ChangePicture, PickSupersedesTheSavedPictureStillLoading) {
    SaveUsualSettings();
    platform.holdLoads = true;
    Start();
    platform.AddPicture("D:\\new.bmp", 8, 8);
    Choose("D:\\new.bmp");
    platform.CompleteLoad(1);
    platform.CompleteLoad(0); // the saved picture, late
    EXPECT_EQ(platform.view.picture, platform.pictures.at("D:\\new.bmp"));
    EXPECT_EQ(platform.window.bounds, (PixelRect{139, 78, 8, 8})); // not moved to the saved place
    EXPECT_EQ(state.picturePath, "D:\\new.bmp");
}

TEST_F(ChangePicture, BandChangedWhileLoadingIsTheOneThePictureShowsIn) {
    StartWithPicture();
    platform.holdLoads = true;
    platform.AddPicture("D:\\new.bmp", 8, 8);
    Choose("D:\\new.bmp");
    EXPECT_EQ(platform.log.back(), "window.Topmost=Off"); // back in its band after the dialog
    app.CommandChosen(Command::AlwaysOnTop);
    platform.CompleteLoad(1);
    EXPECT_TRUE(platform.window.topmost);
    EXPECT_EQ(platform.log.back(), "window.Topmost=On");
}

} // namespace
} // namespace zorvane::fake
