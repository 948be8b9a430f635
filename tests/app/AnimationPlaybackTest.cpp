#include "core/FrameArt.h"
#include "fake/AppFixture.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zorvane::fake {
namespace {

// Animated pictures through the program, on the fake clock of the platform's timers.

struct Playing : AppTest {
    void StartWith(const std::string& path, bool scale) {
        platform.SetSaved("Save", path);
        platform.SetSaved("Scale", scale ? "True" : "False");
        Start();
    }
    void Tick() { app.Timer(TimerId::Animation); }
    std::optional<int> Timer() {
        auto it = platform.timers.find(TimerId::Animation);
        return it == platform.timers.end() ? std::nullopt : std::optional(it->second);
    }
    void AddRedBlue(int loops = 0) {
        platform.AddAnimation("anim.gif", 2, 1,
                              {Frame(0, 0, "R", D::Background, 300), Frame(1, 0, "B", D::Leave, 0)},
                              loops);
    }
};

TEST_F(Playing, FramesFollowTheirDelaysAndOutlinesWhileTransparent) {
    AddRedBlue();
    StartWith("anim.gif", true);
    EXPECT_EQ(Art(*platform.view.picture), "R.");
    EXPECT_EQ(platform.window.bounds.width, 2);
    EXPECT_EQ(Timer(), 300);
    // Frame 0 is cut to the outline the animation keeps, not to one built apart.
    ASSERT_EQ(platform.view.frames.size(), 1u);
    EXPECT_EQ(Count("view.CutTo"), 0u);
    const std::vector<std::pair<std::string, int>> expected = {
        {".B", 100}, {"R.", 300}, {".B", 100}};
    for (const auto& [art, delay] : expected) {
        Tick();
        ASSERT_FALSE(platform.view.frames.empty());
        EXPECT_EQ(Art(*platform.view.frames.back().picture), art);
        ASSERT_TRUE(platform.view.frames.back().outline);
        EXPECT_EQ(platform.view.frames.back().outline->size(), 1u);
        EXPECT_EQ(Timer(), delay);
    }
    EXPECT_EQ(platform.window.bounds.width, 2) << "the window keeps its size";
    EXPECT_EQ(platform.view.frames[2].built, platform.view.frames[0].built) << "built once";
    EXPECT_EQ(platform.view.frames[3].built, platform.view.frames[1].built);
    // Transparent off: frames without an outline; on again, the kept one at once.
    app.CommandChosen(Command::Transparent);
    Tick();
    EXPECT_FALSE(platform.view.frames.back().outline);
    app.CommandChosen(Command::Transparent);
    EXPECT_EQ(platform.view.frames.back().built, platform.view.frames[0].built);
    EXPECT_EQ(Count("view.CutTo"), 0u);
}

TEST_F(Playing, AFrameSlowToPrepareShowsFourTimesAsLong) {
    AddRedBlue();
    platform.holdWork = true;
    StartWith("anim.gif", true);
    // The clock moves on 200 ms between the start of the work and its end.
    platform.stepTime = std::chrono::milliseconds(200);
    platform.CompleteWork(0);
    platform.stepTime = {};
    Tick();
    EXPECT_EQ(Timer(), 800) << "its own delay is 100 ms";
    // Frame 0, kept from the start, is taken on the spot: no work, its own delay.
    EXPECT_EQ(platform.works.size(), 1u);
    Tick();
    EXPECT_EQ(Timer(), 300) << "quick again: its own delay";
}

// The next frame is prepared by a worker while the one before shows; here the test holds
// that work and ends it when it likes.
TEST_F(Playing, AFrameNotReadyWhenDueShowsAsSoonAsItIsAndTheMenuAnswersMeanwhile) {
    AddRedBlue();
    platform.holdWork = true;
    StartWith("anim.gif", true);
    ASSERT_EQ(platform.WorksRunning(), 1u);
    Tick();
    EXPECT_EQ(platform.view.frames.size(), 1u);
    EXPECT_EQ(Timer(), std::nullopt) << "no ticks while it is awaited";
    app.PictureClicked(MouseButton::Right, {1, 1});
    EXPECT_EQ(platform.menus.size(), 1u) << "the menu answers meanwhile";
    platform.CompleteWork(0);
    ASSERT_EQ(platform.view.frames.size(), 2u);
    EXPECT_EQ(Art(*platform.view.frames.back().picture), ".B") << "shown as soon as it is ready";
    EXPECT_EQ(Timer(), 100) << "the timing goes on from there";
    // Ready before it is due (frame 0, kept from the start, is taken on the spot, with no
    // work), a frame waits for its time.
    EXPECT_EQ(platform.works.size(), 1u);
    EXPECT_EQ(platform.view.frames.size(), 2u);
    Tick();
    ASSERT_EQ(platform.view.frames.size(), 3u);
    EXPECT_EQ(Art(*platform.view.frames.back().picture), "R.");
    EXPECT_EQ(Timer(), 300);
    // From the second loop on every frame is kept, cut included: no thread is woken.
    for (int i = 0; i < 4; ++i)
        Tick();
    EXPECT_EQ(platform.view.frames.size(), 7u);
    EXPECT_EQ(platform.works.size(), 1u);
    EXPECT_EQ(platform.WorksRunning(), 0u);
}

// What becomes of a frame still being prepared when the picture changes or is hidden: it never
// shows, and the animation it reads lives on with the work alone, until the work ends.
struct WhileAFrameIsPrepared {
    const char* name;
    const char* choose; // picked from the menu; none: the picture is hidden
};
struct FrameInPreparation : Playing, ::testing::WithParamInterface<WhileAFrameIsPrepared> {};
TEST_P(FrameInPreparation, NeverShowsOnceUnwanted) {
    const WhileAFrameIsPrepared& c = GetParam();
    AddRedBlue();
    platform.AddAnimation("other.gif", 2, 1,
                          {Frame(0, 0, "Y", D::Leave, 500), Frame(1, 0, "Y", D::Leave, 700)});
    platform.AddPicture("still.bmp", 4, 4);
    platform.holdWork = true;
    StartWith("anim.gif", true);
    ASSERT_EQ(platform.animationsLoaded.size(), 1u);
    const std::weak_ptr<Animation> first = platform.animationsLoaded[0];
    Tick(); // due before it is ready
    if (c.choose) {
        platform.dialogAnswers.push_back(c.choose);
        app.CommandChosen(Command::ChangePicture);
        EXPECT_EQ(state.picturePath, c.choose);
    } else {
        EXPECT_TRUE(app.PictureWindowClosing(CloseReason::User));
    }
    const auto picture = platform.view.picture;
    const std::size_t frames = platform.view.frames.size();
    const std::optional<int> timer = Timer();
    if (c.choose) {
        EXPECT_FALSE(first.expired()) << "the work holds what it reads";
    }
    platform.CompleteWork(0);
    if (c.choose) {
        EXPECT_TRUE(first.expired()) << "let go of once its work has ended";
    }
    EXPECT_EQ(platform.view.picture, picture);
    EXPECT_EQ(platform.view.frames.size(), frames);
    EXPECT_EQ(Timer(), timer);
    if (c.choose && std::string(c.choose) == "other.gif") {
        // The new picture plays on as if nothing had happened.
        EXPECT_EQ(timer, 500);
        platform.CompleteWork(1);
        Tick();
        EXPECT_EQ(Art(*platform.view.picture), "YY");
        EXPECT_EQ(Timer(), 700);
    }
}
INSTANTIATE_TEST_SUITE_P(
    Playing, FrameInPreparation,
    ::testing::Values(WhileAFrameIsPrepared{"Hidden", nullptr},
                      WhileAFrameIsPrepared{"AStillPictureChosen", "still.bmp"},
                      WhileAFrameIsPrepared{"AnotherAnimationChosen", "other.gif"}),
    RowName());

// Transparent or smooth edges changed while the next frame is being prepared: the frame on the
// screen is cut again at once, and the next one, cut with the edges of before, again before it
// shows.
struct EdgesChange {
    const char* name;
    bool transparent;         // at the start; smooth edges are on
    Command change;           // clicked while the frame is prepared
    std::optional<Edges> cut; // what both frames are cut with after it
};
struct EdgesChangedWhilePreparing : Playing, ::testing::WithParamInterface<EdgesChange> {};
TEST_P(EdgesChangedWhilePreparing, ReachTheFrameBeforeItShows) {
    const EdgesChange& c = GetParam();
    // Each frame has an anti-aliased pixel on its outline: smooth edges change its cutout.
    platform.AddAnimation(
        "anim.gif", 4, 1,
        {Frame(1, 0, "bR", D::Background, 300), Frame(1, 0, "Rb", D::Leave, 100)});
    platform.holdWork = true;
    StartWith("anim.gif", c.transparent);
    ASSERT_TRUE(state.smoothEdges);
    const auto cutWith = [&](Edges edges) {
        const FakeView::Frame& shown = platform.view.frames.back();
        return shown.built && shown.built->edges == MakeCutout(*shown.picture, edges).edges;
    };
    app.CommandChosen(c.change);
    if (c.cut) {
        EXPECT_TRUE(cutWith(*c.cut)) << "the frame on the screen";
    }
    platform.CompleteWork(0);
    ASSERT_EQ(platform.works.size(), c.cut ? 2u : 1u) << "cut again";
    Tick();
    if (c.cut) {
        EXPECT_EQ(Art(*platform.view.picture), ".bR.") << "not shown before it is cut again";
        platform.CompleteWork(1);
    }
    EXPECT_EQ(Art(*platform.view.picture), ".Rb.");
    EXPECT_EQ(platform.view.frames.back().outline.has_value(), c.cut.has_value());
    if (c.cut) {
        EXPECT_TRUE(cutWith(*c.cut)) << "the next frame";
    }
}
INSTANTIATE_TEST_SUITE_P(
    Playing, EdgesChangedWhilePreparing,
    ::testing::Values(EdgesChange{"SmoothEdgesTurnedOff", true, Command::SmoothEdges, Edges::Hard},
                      EdgesChange{"TransparentTurnedOn", false, Command::Transparent, Edges::Soft},
                      EdgesChange{"TransparentTurnedOff", true, Command::Transparent,
                                  std::nullopt}),
    RowName());

TEST_F(Playing, HiddenItStopsAndShowPictureStartsItAgain) {
    AddRedBlue();
    StartWith("anim.gif", false);
    Tick();
    EXPECT_TRUE(app.PictureWindowClosing(CloseReason::User));
    EXPECT_EQ(Timer(), std::nullopt);
    const std::size_t shown = platform.view.frames.size();
    Tick(); // one already queued
    EXPECT_EQ(platform.view.frames.size(), shown);
    platform.dialogAnswers.push_back("anim.gif");
    app.CommandChosen(Command::ChangePicture);
    EXPECT_TRUE(Timer());
}

TEST_F(Playing, LastLoopStopsTheTimerOnTheLastFrame) {
    AddRedBlue(1);
    StartWith("anim.gif", false);
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_EQ(Art(*platform.view.picture), ".B");
    EXPECT_TRUE(Timer());
    Tick();
    EXPECT_EQ(Timer(), std::nullopt);
    EXPECT_EQ(Art(*platform.view.picture), ".B");
    // Frames of one delay leave the running timer alone: it is not set again at each frame.
    platform.AddAnimation("even.gif", 2, 1,
                          {Frame(0, 0, "R", D::Background, 200), Frame(1, 0, "B", D::Leave, 200)});
    platform.dialogAnswers.push_back("even.gif");
    app.CommandChosen(Command::ChangePicture);
    const std::size_t sets = Count("StartTimer"), shown = platform.view.frames.size();
    for (int i = 0; i < 4; ++i)
        Tick();
    EXPECT_EQ(platform.view.frames.size(), shown + 4);
    EXPECT_EQ(Count("StartTimer"), sets);
    EXPECT_EQ(Timer(), 200);
}

TEST_F(Playing, StillPicturesAfterOneUseNoTimer) {
    AddRedBlue();
    platform.AddPicture("still.bmp", 4, 4);
    StartWith("anim.gif", false);
    platform.dialogAnswers.push_back("still.bmp");
    app.CommandChosen(Command::ChangePicture);
    EXPECT_EQ(Timer(), std::nullopt);
    const std::size_t sets = Count("StartTimer");
    platform.dialogAnswers.push_back("still.bmp");
    app.CommandChosen(Command::ChangePicture);
    EXPECT_EQ(Count("StartTimer"), sets);
    EXPECT_EQ(Count("StopTimer"), 1u);
    // A refused file leaves the picture playing.
    platform.dialogAnswers.push_back("anim.gif");
    app.CommandChosen(Command::ChangePicture);
    platform.dialogAnswers.push_back("missing.gif");
    app.CommandChosen(Command::ChangePicture);
    EXPECT_TRUE(Timer());
}

} // namespace
} // namespace zorvane::fake
