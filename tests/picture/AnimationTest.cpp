#include "picture/Animation.h"
#include "fake/ProgramFixture.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zorvane::fake {
namespace {

// Pixels as letters: R, B, Y colours, b half red and half the mask green (an anti-aliased
// edge); '.' see-through in a frame, the mask on the screen.
std::uint32_t Colour(char c) {
    switch (c) {
    case 'R':
        return 0xFFFF0000;
    case 'b':
        return 0xFF804000;
    case 'B':
        return 0xFF0000FF;
    case 'Y':
        return 0xFFFFFF00;
    default:
        return 0x00000000;
    }
}

std::string Art(const Picture& p) {
    std::string s;
    for (int y = 0; y < p.height; ++y) {
        if (y)
            s += '|';
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t px = p.at(x, y);
            s += IsMaskPixel(px)     ? '.'
                 : px == Colour('R') ? 'R'
                 : px == Colour('B') ? 'B'
                 : px == Colour('Y') ? 'Y'
                 : px == Colour('b') ? 'b'
                                     : '?';
        }
    }
    return s;
}

// "RR|.B" at (left, top).
GifFrame Frame(int left, int top, const std::string& art, Disposal d = Disposal::Leave,
               int delayMs = 100) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.delayMs = delayMs;
    f.disposal = d;
    int w = 0;
    for (char c : art) {
        if (c == '|') {
            ++f.image.height;
            continue;
        }
        f.image.pixels.push_back(Colour(c));
        if (f.image.height == 0)
            ++w;
    }
    f.image.width = w;
    f.image.height += art.empty() ? 0 : 1;
    return f;
}

std::unique_ptr<Animation> Play(int w, int h, std::vector<GifFrame> frames, int loops = 0,
                                std::uint64_t budget = kFrameBudgetBytes,
                                std::size_t failAt = SIZE_MAX) {
    const std::size_t n = frames.size();
    return Animation::Start(w, h, n, loops, std::make_unique<MemoryFrames>(frames, failAt), budget);
}

using D = Disposal;

TEST(Animation, ComposesEachFrameOverWhatTheOneBeforeLeft) {
    struct Case {
        const char* name;
        int w, h;
        std::vector<GifFrame> frames;
        std::vector<std::string> shown; // two loops and one frame
    };
    const std::vector<Case> cases = {
        {"leave: the next frame draws over it",
         3,
         2,
         {Frame(0, 0, "RRR|RRR"), Frame(1, 1, "BB")},
         {"RRR|RRR", "RRR|RBB", "RRR|RRR", "RRR|RBB", "RRR|RRR"}},
        {"see-through pixels keep what is beneath",
         3,
         1,
         {Frame(0, 0, "RRR"), Frame(0, 0, "B.B"), Frame(0, 0, ".Y.")},
         {"RRR", "BRB", "BYB", "RRR", "BRB", "BYB", "RRR"}},
        {"restore to background clears the frame's rectangle to the mask",
         3,
         1,
         {Frame(0, 0, "R.."), Frame(1, 0, "BB", D::Background), Frame(2, 0, "Y")},
         {"R..", "RBB", "R.Y", "R..", "RBB", "R.Y", "R.."}},
        {"restore to previous puts back what was beneath",
         3,
         1,
         {Frame(0, 0, "RRR"), Frame(0, 0, "BB", D::Previous), Frame(2, 0, "Y")},
         {"RRR", "BBR", "RRY", "RRR", "BBR", "RRY", "RRR"}},
        {"previous after background: the cleared screen comes back",
         2,
         1,
         {Frame(0, 0, "RR", D::Background), Frame(0, 0, "B", D::Previous), Frame(1, 0, "Y")},
         {"RR", "B.", ".Y", "RR", "B.", ".Y", "RR"}},
        {"a frame smaller than the screen leaves the rest see-through, first loop and next",
         3,
         2,
         {Frame(1, 0, "R|R", D::Background), Frame(0, 1, "B")},
         {".R.|.R.", "...|B..", ".R.|.R.", "...|B..", ".R.|.R."}},
        {"frames partly and wholly outside the screen are cut to it",
         2,
         2,
         {Frame(1, 1, "RR|RR"), Frame(5, 5, "BB"), Frame(-0, 0, "YYY")},
         {"..|.R", "..|.R", "YY|.R", "..|.R", "..|.R", "YY|.R", "..|.R"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string>& expected = c.shown;
        for (std::uint64_t budget : {kFrameBudgetBytes, std::uint64_t(0)}) {
            auto a = Play(c.w, c.h, c.frames, 0, budget);
            ASSERT_TRUE(a) << c.name;
            std::vector<std::string> shown{Art(*a->frame())};
            while (shown.size() < expected.size()) {
                ASSERT_TRUE(a->Advance()) << c.name;
                shown.push_back(Art(*a->frame()));
            }
            EXPECT_EQ(shown, expected) << c.name << (budget ? "" : " (nothing kept)");
        }
    }
}

TEST(Animation, DelaysLoopsAndCutOffFiles) {
    struct Case {
        const char* name;
        std::vector<int> delays; // as the file says, one frame each
        int loops;
        std::size_t failAt;
        std::vector<std::pair<std::size_t, int>> shown; // frame and delay, until it stops
        bool endsThere;
    };
    const std::vector<Case> cases = {
        {"under 20 ms counts as 100 ms",
         {0, 10, 20, 50},
         0,
         SIZE_MAX,
         {{0, 100}, {1, 100}, {2, 20}, {3, 50}, {0, 100}},
         false},
        {"loop count 1 plays twice, then stays on the last frame",
         {30, 40},
         1,
         SIZE_MAX,
         {{0, 30}, {1, 40}, {0, 30}, {1, 40}},
         true},
        {"loop count 0 plays on",
         {30, 40},
         0,
         SIZE_MAX,
         {{0, 30}, {1, 40}, {0, 30}, {1, 40}, {0, 30}, {1, 40}, {0, 30}},
         false},
        {"a frame that cannot be read ends the loop: the ones before play",
         {30, 40, 50},
         0,
         2,
         {{0, 30}, {1, 40}, {0, 30}, {1, 40}, {0, 30}},
         false},
        {"only the first frame readable: it stands still", {30, 40}, 0, 1, {{0, 30}}, true},
    };
    for (const Case& c : cases) {
        std::vector<GifFrame> frames;
        for (int d : c.delays)
            frames.push_back(Frame(0, 0, "R", D::Leave, d));
        auto a = Play(1, 1, frames, c.loops, kFrameBudgetBytes, c.failAt);
        ASSERT_TRUE(a) << c.name;
        std::vector<std::pair<std::size_t, int>> shown{{a->index(), a->delayMs()}};
        while (shown.size() < c.shown.size() && a->Advance())
            shown.push_back({a->index(), a->delayMs()});
        EXPECT_EQ(shown, c.shown) << c.name;
        EXPECT_EQ(!a->Advance(), c.endsThere) << c.name;
        EXPECT_EQ(!a->playing(), c.endsThere) << c.name;
        if (c.endsThere) {
            EXPECT_EQ(a->index(), c.shown.back().first) << c.name;
        }
    }
}

TEST(Animation, KeepsFramesAndOutlinesWithinTheBudget) {
    // 10 frames of 8 x 8 (256 bytes each, and as much around them): the budget keeps the
    // first four, and the rest are read again as they are shown; the cutouts of the first
    // three (one run, 9 row starts and one rectangle: 60 bytes each) are kept too.
    std::vector<GifFrame> frames;
    for (int i = 0; i < 10; ++i)
        frames.push_back(Frame(i % 8, 0, "R", D::Background));
    auto source = std::make_unique<MemoryFrames>(frames);
    MemoryFrames& reads = *source;
    auto a = Animation::Start(8, 8, 10, 0, std::move(source), 4 * (256 + 256) + 3 * 60);
    ASSERT_TRUE(a);
    std::vector<const ShapeRects*> outlines;
    for (int tick = 0; tick < 30; ++tick) {
        const std::shared_ptr<const Cutout> cut = a->Cut(Edges::Hard);
        const ShapeRects& outline = cut->outline;
        ASSERT_EQ(outline.rects.size(), 1u);
        EXPECT_EQ(outline.rects[0], (Rect{int(a->index() % 8), 0, int(a->index() % 8) + 1, 1}));
        if (tick >= 10 && a->index() < 3) {
            EXPECT_EQ(&outline, outlines[a->index()]) << "frame " << a->index() << " rebuilt";
        }
        outlines.push_back(&outline);
        // What the next Advance and Cut would take without reading or cutting anything.
        const std::size_t next = (a->index() + 1) % 10;
        const bool composed = next < 4 && tick >= 9;
        EXPECT_EQ(a->NextIsKept(std::nullopt), composed) << "tick " << tick;
        EXPECT_EQ(a->NextIsKept(Edges::Hard), composed && next < 3) << "tick " << tick;
        EXPECT_FALSE(a->NextIsKept(Edges::Soft)) << "kept cut with other edges";
        ASSERT_TRUE(a->Advance());
    }
    // Three loops: 10 reads, then 6 a loop for the frames not kept.
    EXPECT_EQ(reads.reads, 10 + 6 + 6);
}

TEST(Animation, RefusesWhatCannotStart) {
    EXPECT_FALSE(Play(4, 4, {}));
    EXPECT_FALSE(Play(0, 4, {Frame(0, 0, "R")}));
    EXPECT_FALSE(Play(kMaxPictureSide + 1, 1, {Frame(0, 0, "R")}));
    EXPECT_FALSE(Play(4, 4, {Frame(0, 0, "R")}, 0, kFrameBudgetBytes, 0));
    GifFrame lying = Frame(0, 0, "RR");
    lying.image.width = 3;
    EXPECT_FALSE(Play(4, 4, {lying}));
}

// ---- Through the program, on the fake clock of the runtime's timers.

struct Playing : ProgramTest {
    void StartWith(const std::string& path, bool scale) {
        rt.SetSaved("Save", path);
        rt.SetSaved("Scale", scale ? "True" : "False");
        Start();
    }
    void Tick() { program.Timer(TimerId::Animation); }
    std::optional<int> Timer() {
        auto it = rt.timers.find(TimerId::Animation);
        return it == rt.timers.end() ? std::nullopt : std::optional(it->second);
    }
    void AddRedBlue(int loops = 0) {
        rt.AddAnimation("anim.gif", 2, 1,
                        {Frame(0, 0, "R", D::Background, 300), Frame(1, 0, "B", D::Leave, 0)},
                        loops);
    }
};

TEST_F(Playing, FramesFollowTheirDelaysAndOutlinesWhileTransparent) {
    AddRedBlue();
    StartWith("anim.gif", true);
    EXPECT_EQ(Art(*rt.shape->picture), "R.");
    EXPECT_EQ(rt.Disp().rect.width, 2 * 15);
    EXPECT_EQ(Timer(), 300);
    // Frame 0 is cut to the outline the animation keeps, not to one built apart.
    ASSERT_EQ(rt.shape->frames.size(), 1u);
    EXPECT_EQ(Count("Vesquin1.CutTo"), 0u);
    const std::vector<std::pair<std::string, int>> expected = {
        {".B", 100}, {"R.", 300}, {".B", 100}};
    for (const auto& [art, delay] : expected) {
        Tick();
        ASSERT_FALSE(rt.shape->frames.empty());
        EXPECT_EQ(Art(*rt.shape->frames.back().picture), art);
        ASSERT_TRUE(rt.shape->frames.back().outline);
        EXPECT_EQ(rt.shape->frames.back().outline->size(), 1u);
        EXPECT_EQ(Timer(), delay);
    }
    EXPECT_EQ(rt.Disp().rect.width, 2 * 15) << "the window keeps its size";
    EXPECT_EQ(rt.shape->frames[2].built, rt.shape->frames[0].built) << "built once";
    EXPECT_EQ(rt.shape->frames[3].built, rt.shape->frames[1].built);
    // Transparent off: frames without an outline; on again, the kept one at once.
    program.C_Menu_Click(MenuItem::p_scale);
    Tick();
    EXPECT_FALSE(rt.shape->frames.back().outline);
    program.C_Menu_Click(MenuItem::p_scale);
    EXPECT_EQ(rt.shape->frames.back().built, rt.shape->frames[0].built);
    EXPECT_EQ(Count("Vesquin1.CutTo"), 0u);
}

TEST_F(Playing, AFrameSlowToPrepareShowsFourTimesAsLong) {
    AddRedBlue();
    rt.holdWork = true;
    StartWith("anim.gif", true);
    // The clock moves on 200 ms between the start of the work and its end.
    rt.stepTime = std::chrono::milliseconds(200);
    rt.CompleteWork(0);
    rt.stepTime = {};
    Tick();
    EXPECT_EQ(Timer(), 800) << "its own delay is 100 ms";
    // Frame 0, kept from the start, is taken on the spot: no work, its own delay.
    EXPECT_EQ(rt.works.size(), 1u);
    Tick();
    EXPECT_EQ(Timer(), 300) << "quick again: its own delay";
}

// The next frame is prepared by a worker while the one before shows; here the test holds
// that work and ends it when it likes.
TEST_F(Playing, AFrameNotReadyWhenDueShowsAsSoonAsItIsAndTheMenuAnswersMeanwhile) {
    AddRedBlue();
    rt.holdWork = true;
    StartWith("anim.gif", true);
    ASSERT_EQ(rt.WorksRunning(), 1u);
    Tick();
    EXPECT_EQ(rt.shape->frames.size(), 1u);
    EXPECT_EQ(Timer(), std::nullopt) << "no ticks while it is awaited";
    program.C_Disp_Vesquin1_MouseEvent(vbRightButton, 0, 15, 15);
    EXPECT_EQ(rt.popups.size(), 1u) << "the menu answers meanwhile";
    rt.CompleteWork(0);
    ASSERT_EQ(rt.shape->frames.size(), 2u);
    EXPECT_EQ(Art(*rt.shape->frames.back().picture), ".B") << "shown as soon as it is ready";
    EXPECT_EQ(Timer(), 100) << "the timing goes on from there";
    // Ready before it is due (frame 0, kept from the start, is taken on the spot, with no
    // work), a frame waits for its time.
    EXPECT_EQ(rt.works.size(), 1u);
    EXPECT_EQ(rt.shape->frames.size(), 2u);
    Tick();
    ASSERT_EQ(rt.shape->frames.size(), 3u);
    EXPECT_EQ(Art(*rt.shape->frames.back().picture), "R.");
    EXPECT_EQ(Timer(), 300);
    // From the second loop on every frame is kept, cut included: no thread is woken.
    for (int i = 0; i < 4; ++i)
        Tick();
    EXPECT_EQ(rt.shape->frames.size(), 7u);
    EXPECT_EQ(rt.works.size(), 1u);
    EXPECT_EQ(rt.WorksRunning(), 0u);
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
    rt.AddAnimation("other.gif", 2, 1,
                    {Frame(0, 0, "Y", D::Leave, 500), Frame(1, 0, "Y", D::Leave, 700)});
    rt.AddPicture("still.bmp", 4, 4);
    rt.holdWork = true;
    StartWith("anim.gif", true);
    ASSERT_EQ(rt.animationsLoaded.size(), 1u);
    const std::weak_ptr<Animation> first = rt.animationsLoaded[0];
    Tick(); // due before it is ready
    if (c.choose) {
        rt.dialogAnswers.push_back(c.choose);
        program.C_Menu_Click(MenuItem::p_PicSelect);
        EXPECT_EQ(m.PicturePath, c.choose);
    } else {
        EXPECT_TRUE(program.C_Disp_Form_QueryUnload(vbFormControlMenu));
    }
    const auto picture = rt.shape->picture;
    const std::size_t frames = rt.shape->frames.size();
    const std::optional<int> timer = Timer();
    if (c.choose) {
        EXPECT_FALSE(first.expired()) << "the work holds what it reads";
    }
    rt.CompleteWork(0);
    if (c.choose) {
        EXPECT_TRUE(first.expired()) << "let go of once its work has ended";
    }
    EXPECT_EQ(rt.shape->picture, picture);
    EXPECT_EQ(rt.shape->frames.size(), frames);
    EXPECT_EQ(Timer(), timer);
    if (c.choose && std::string(c.choose) == "other.gif") {
        // The new picture plays on as if nothing had happened.
        EXPECT_EQ(timer, 500);
        rt.CompleteWork(1);
        Tick();
        EXPECT_EQ(Art(*rt.shape->picture), "YY");
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
    MenuItem change;          // clicked while the frame is prepared
    std::optional<Edges> cut; // what both frames are cut with after it
};
struct EdgesChangedWhilePreparing : Playing, ::testing::WithParamInterface<EdgesChange> {};
TEST_P(EdgesChangedWhilePreparing, ReachTheFrameBeforeItShows) {
    const EdgesChange& c = GetParam();
    // Each frame has an anti-aliased pixel on its outline: smooth edges change its cutout.
    rt.AddAnimation("anim.gif", 4, 1,
                    {Frame(1, 0, "bR", D::Background, 300), Frame(1, 0, "Rb", D::Leave, 100)});
    rt.holdWork = true;
    StartWith("anim.gif", c.transparent);
    ASSERT_TRUE(m.Smooth);
    const auto cutWith = [&](Edges edges) {
        const FakeShape::Frame& shown = rt.shape->frames.back();
        return shown.built && shown.built->edges == MakeCutout(*shown.picture, edges).edges;
    };
    program.C_Menu_Click(c.change);
    if (c.cut) {
        EXPECT_TRUE(cutWith(*c.cut)) << "the frame on the screen";
    }
    rt.CompleteWork(0);
    ASSERT_EQ(rt.works.size(), c.cut ? 2u : 1u) << "cut again";
    Tick();
    if (c.cut) {
        EXPECT_EQ(Art(*rt.shape->picture), ".bR.") << "not shown before it is cut again";
        rt.CompleteWork(1);
    }
    EXPECT_EQ(Art(*rt.shape->picture), ".Rb.");
    EXPECT_EQ(rt.shape->frames.back().outline.has_value(), c.cut.has_value());
    if (c.cut) {
        EXPECT_TRUE(cutWith(*c.cut)) << "the next frame";
    }
}
INSTANTIATE_TEST_SUITE_P(
    Playing, EdgesChangedWhilePreparing,
    ::testing::Values(EdgesChange{"SmoothEdgesTurnedOff", true, MenuItem::p_smooth, Edges::Hard},
                      EdgesChange{"TransparentTurnedOn", false, MenuItem::p_scale, Edges::Soft},
                      EdgesChange{"TransparentTurnedOff", true, MenuItem::p_scale, std::nullopt}),
    RowName());

TEST_F(Playing, HiddenItStopsAndShowPictureStartsItAgain) {
    AddRedBlue();
    StartWith("anim.gif", false);
    Tick();
    EXPECT_TRUE(program.C_Disp_Form_QueryUnload(vbFormControlMenu));
    EXPECT_EQ(Timer(), std::nullopt);
    const std::size_t shown = rt.shape->frames.size();
    Tick(); // one already queued
    EXPECT_EQ(rt.shape->frames.size(), shown);
    rt.dialogAnswers.push_back("anim.gif");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    EXPECT_TRUE(Timer());
}

TEST_F(Playing, LastLoopStopsTheTimerOnTheLastFrame) {
    AddRedBlue(1);
    StartWith("anim.gif", false);
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_EQ(Art(*rt.shape->picture), ".B");
    EXPECT_TRUE(Timer());
    Tick();
    EXPECT_EQ(Timer(), std::nullopt);
    EXPECT_EQ(Art(*rt.shape->picture), ".B");
    // Frames of one delay leave the running timer alone: it is not set again at each frame.
    rt.AddAnimation("even.gif", 2, 1,
                    {Frame(0, 0, "R", D::Background, 200), Frame(1, 0, "B", D::Leave, 200)});
    rt.dialogAnswers.push_back("even.gif");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    const std::size_t sets = Count("SetTimer"), shown = rt.shape->frames.size();
    for (int i = 0; i < 4; ++i)
        Tick();
    EXPECT_EQ(rt.shape->frames.size(), shown + 4);
    EXPECT_EQ(Count("SetTimer"), sets);
    EXPECT_EQ(Timer(), 200);
}

TEST_F(Playing, StillPicturesAfterOneUseNoTimer) {
    AddRedBlue();
    rt.AddPicture("still.bmp", 4, 4);
    StartWith("anim.gif", false);
    rt.dialogAnswers.push_back("still.bmp");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    EXPECT_EQ(Timer(), std::nullopt);
    const std::size_t sets = Count("SetTimer");
    rt.dialogAnswers.push_back("still.bmp");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    EXPECT_EQ(Count("SetTimer"), sets);
    EXPECT_EQ(Count("KillTimer"), 1u);
    // A refused file leaves the picture playing.
    rt.dialogAnswers.push_back("anim.gif");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    rt.dialogAnswers.push_back("missing.gif");
    program.C_Menu_Click(MenuItem::p_PicSelect);
    EXPECT_TRUE(Timer());
}

} // namespace
} // namespace zorvane::fake
