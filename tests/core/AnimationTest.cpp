#include "core/Animation.h"
#include "core/FrameArt.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zorvane::fake {
namespace {

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

} // namespace
} // namespace zorvane::fake
