#include "fake/ProgramFixture.h"

namespace zorvane::fake {
namespace {

struct ChangePicture : ProgramTest {
    // Starts with the usual picture on screen, then answers the dialog with `answer`.
    void Choose(std::optional<std::string> answer) {
        rt.dialogAnswers.push_back(std::move(answer));
        rt.log.clear();
        program.C_Menu_Click(MenuItem::p_PicSelect);
    }
    void StartWithPicture(bool alwaysOnTop = false) {
        SaveUsualSettings();
        rt.SetSaved("Always", alwaysOnTop ? "1" : "0");
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
    rt.AddPicture("D:\\new.gif", 30, 20);
    Choose("D:\\new.gif");
    EXPECT_EQ(rt.dialogFilters.at(0), "ピクチャ (*.bmp;*.jpg;*.ico;*.gif)|*.bmp;*.jpg;*.ico;*.gif");
    EXPECT_EQ(m.PicturePath, "D:\\new.gif");
    EXPECT_EQ(rt.Disp().rect, (TwipsRect{3000, 1500, 30 * 15, 20 * 15}));
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_TRUE(rt.shape->shaped);
    EXPECT_EQ(rt.log.front(), "C_Disp.Topmost=Off"); // before the dialog
    EXPECT_FALSE(rt.Disp().topmost);                 // the option is off
}

TEST_F(ChangePicture, RefusedNameKeepsEverything) {
    StartWithPicture(true);
    const auto before = rt.shape->picture;
    Choose("D:\\photo.jpeg");
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].text, "選択できる画像は BMP・JPG・ICO・GIFファイルのみです。");
    EXPECT_EQ(rt.msgBoxes[0].style, vbCritical);
    EXPECT_EQ(rt.msgBoxes[0].title, "Zorvane Ver1.1");
    EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");
    EXPECT_EQ(rt.shape->picture, before);
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_TRUE(rt.Disp().topmost); // back in the band the option names
    EXPECT_EQ(Count("StartLoad(D:\\photo.jpeg)"), 0u);
}

struct Answer {
    const char* name;
    std::optional<std::string> answer;
};

struct CancelAndBlankAnswersChangeNothing : ChangePicture, ::testing::WithParamInterface<Answer> {};
TEST_P(CancelAndBlankAnswersChangeNothing, InTheDialog) {
    rt.AddPicture("C:\\pics\\cat.bmp", 64, 48);
    rt.SetSaved("Save", "C:\\pics\\cat.bmp");
    Start();
    Choose(GetParam().answer);
    EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");
    EXPECT_TRUE(rt.msgBoxes.empty());
    EXPECT_EQ(Count("StartLoad(C:\\pics\\cat.bmp)"), 0u); // not loaded again
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_FALSE(rt.Disp().topmost);
}
INSTANTIATE_TEST_SUITE_P(ChangePicture, CancelAndBlankAnswersChangeNothing,
                         ::testing::Values(Answer{"Cancel", std::nullopt}, Answer{"Empty", ""},
                                           Answer{"Blanks", "   "}),
                         RowName());

TEST_F(ChangePicture, UnreadableFileIsReportedAndTheOldPictureStaysAsItWas) {
    StartWithPicture();
    const TwipsRect place = rt.Disp().rect;
    const auto before = rt.shape->picture;
    Choose("D:\\broken.bmp"); // not among the loadable pictures
    ASSERT_EQ(rt.msgBoxes.size(), 1u);
    EXPECT_EQ(rt.msgBoxes[0].style, vbCritical);
    EXPECT_NE(rt.msgBoxes[0].text.find("D:\\broken.bmp"), std::string::npos);
    EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");
    EXPECT_EQ(rt.shape->picture, before);
    EXPECT_EQ(rt.Disp().rect, place);
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_FALSE(Logged("C_Disp.Visible=False"));
    EXPECT_FALSE(rt.ended);
}

TEST_F(ChangePicture, FirstPictureOnAFirstStartShowsTheHiddenWindow) {
    Start();
    rt.AddPicture("C:\\画像\\ねこ.ico", 32, 32);
    Choose("C:\\画像\\ねこ.ico");
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_EQ(rt.Disp().rect, (TwipsRect{2085, 1170, 32 * 15, 32 * 15}));
    EXPECT_EQ(m.PicturePath, "C:\\画像\\ねこ.ico");
}

TEST_F(ChangePicture, ShowsAHiddenPictureAgainAfterTheUsersClose) {
    StartWithPicture();
    program.C_Disp_Form_QueryUnload(vbFormControlMenu);
    ASSERT_FALSE(rt.Disp().visible);
    rt.AddPicture("D:\\b.bmp", 5, 5);
    Choose("D:\\b.bmp");
    EXPECT_TRUE(rt.Disp().visible);
}

TEST_F(ChangePicture, SaveAfterARefusalStoresThePictureStillShown) {
    StartWithPicture();
    Choose("D:\\notes.txt");
    program.C_Menu_Click(MenuItem::p_savepic);
    EXPECT_EQ(rt.Saved("Save"), "C:\\pics\\cat.bmp");
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
    const auto before = rt.shape->picture;
    const TwipsRect place = rt.Disp().rect;
    if (c.olderLoads)
        rt.AddPicture("D:\\older.bmp", 10, 10);
    if (c.newerLoads)
        rt.AddPicture("D:\\newer.gif", 30, 20);
    rt.holdLoads = true;
    Choose("D:\\older.bmp");
    Choose("D:\\newer.gif");
    ASSERT_EQ(rt.loads.size(), 3u); // the saved picture's, then the two picks'

    // Until a load ends, the picture on screen stays as it was, in its chosen band.
    EXPECT_EQ(rt.shape->picture, before);
    EXPECT_EQ(rt.Disp().rect, place);
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_TRUE(rt.Disp().topmost);
    EXPECT_FALSE(Logged("C_Disp.Visible=False"));
    EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");

    rt.CompleteLoad(c.newerEndsFirst ? 2 : 1);
    rt.CompleteLoad(c.newerEndsFirst ? 1 : 2);
    if (c.newerLoads) {
        EXPECT_TRUE(rt.msgBoxes.empty());
        EXPECT_EQ(m.PicturePath, "D:\\newer.gif");
        EXPECT_EQ(rt.shape->picture, rt.pictures.at("D:\\newer.gif"));
        EXPECT_EQ(rt.Disp().rect, (TwipsRect{3000, 1500, 30 * 15, 20 * 15}));
        EXPECT_EQ(Count("Vesquin1.Picture"), 1u);
    } else {
        ASSERT_EQ(rt.msgBoxes.size(), 1u);
        EXPECT_NE(rt.msgBoxes[0].text.find("D:\\newer.gif"), std::string::npos);
        EXPECT_EQ(m.PicturePath, "C:\\pics\\cat.bmp");
        EXPECT_EQ(rt.shape->picture, before);
        EXPECT_EQ(rt.Disp().rect, place);
        EXPECT_FALSE(Logged("Vesquin1.Picture"));
    }
    EXPECT_TRUE(rt.Disp().visible);
    EXPECT_TRUE(rt.Disp().topmost); // the band the user chose, through the show too
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
    rt.holdLoads = true;
    Start();
    rt.AddPicture("D:\\new.bmp", 8, 8);
    Choose("D:\\new.bmp");
    rt.CompleteLoad(1);
    rt.CompleteLoad(0); // the saved picture, late
    EXPECT_EQ(rt.shape->picture, rt.pictures.at("D:\\new.bmp"));
    EXPECT_EQ(rt.Disp().rect,
              (TwipsRect{2085, 1170, 8 * 15, 8 * 15})); // not moved to the saved place
    EXPECT_EQ(m.PicturePath, "D:\\new.bmp");
}

TEST_F(ChangePicture, BandChangedWhileLoadingIsTheOneThePictureShowsIn) {
    StartWithPicture();
    rt.holdLoads = true;
    rt.AddPicture("D:\\new.bmp", 8, 8);
    Choose("D:\\new.bmp");
    EXPECT_EQ(rt.log.back(), "C_Disp.Topmost=Off"); // back in its band after the dialog
    program.C_Menu_Click(MenuItem::p_top);
    rt.CompleteLoad(1);
    EXPECT_TRUE(rt.Disp().topmost);
    EXPECT_EQ(rt.log.back(), "C_Disp.Topmost=On");
}

} // namespace
} // namespace zorvane::fake
