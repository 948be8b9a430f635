#include "picture/GifIndex.h"
#include "picture/GifBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvane::test {
namespace {

struct StringReader : ByteReader {
    explicit StringReader(const std::string& s) : s(s) {}
    std::size_t Read(unsigned char* out, std::size_t n) override {
        n = std::min(n, s.size() - at);
        std::memcpy(out, s.data() + at, n);
        at += n;
        return n;
    }
    std::uint64_t Skip(std::uint64_t n) override {
        n = std::min<std::uint64_t>(n, s.size() - at);
        at += std::size_t(n);
        return n;
    }
    const std::string& s;
    std::size_t at = 0;
};

GifIndex Index(const std::string& bytes) {
    StringReader in(bytes);
    return IndexGif(in);
}

// 3 x 1, played twice: red for 300 ms; blue at 1, cleared after; white at 1-2, see-through.
const std::string kThree = GifBytes(
    3, 1, {{0, 0, 3, 1, 1, 30, 1, 0}, {1, 0, 1, 1, 2, 0, 2, 0}, {1, 0, 2, 1, 3, 5, 3, 4}}, 1);

TEST(GifIndex, ReadsEachFramesPlaceDelayDisposalAndTheLoopCount) {
    const GifIndex index = Index(kThree);
    EXPECT_EQ(index.width, 3);
    EXPECT_EQ(index.height, 1);
    EXPECT_EQ(index.loopCount, 1);
    EXPECT_EQ(index.head.size(), 7u + 12u) << "screen descriptor and a 4-colour table";
    ASSERT_EQ(index.frames.size(), 3u);
    const GifIndex::Frame& last = index.frames[2];
    EXPECT_EQ(index.frames[0].delayMs, 300);
    EXPECT_EQ(index.frames[0].disposal, Disposal::Leave);
    EXPECT_EQ(index.frames[0].transparent, -1);
    EXPECT_EQ(index.frames[1].disposal, Disposal::Background);
    EXPECT_EQ(index.frames[1].delayMs, 0);
    EXPECT_EQ((std::array{last.left, last.top, last.width, last.height}), (std::array{1, 0, 2, 1}));
    EXPECT_EQ(last.disposal, Disposal::Previous);
    EXPECT_EQ(last.transparent, 3);
    EXPECT_EQ(kThree[std::size_t(last.begin)], '\x2C');
    EXPECT_EQ(last.end, kThree.size() - 1) << "its data ends before the trailer";
    EXPECT_TRUE(index.HasColours(last));
    EXPECT_TRUE(index.trailer);
    EXPECT_FALSE(index.WholeLength()) << "nothing to leave out";
}

TEST(GifIndex, WholeLengthLeavesOutWhatTheFilesEndCutsOff) {
    const std::vector<GifIndex::Frame> f = Index(kThree).frames;
    const struct {
        const char* name;
        std::size_t length;
        std::size_t frames;
        std::optional<std::uint64_t> whole;
    } rows[] = {
        {"no trailer", kThree.size() - 1, 3, f[2].end},
        {"cut in the last frame's data", kThree.size() - 3, 3, f[1].end},
        {"cut in the last frame's descriptor", std::size_t(f[2].begin) + 4, 2, f[1].end},
        {"cut right before the last frame", std::size_t(f[2].begin), 2, f[1].end},
        {"cut in the first frame", std::size_t(f[0].end) - 2, 1, std::nullopt},
        {"cut in the colour table", 20, 0, std::nullopt},
        {"six bytes", 6, 0, std::nullopt},
    };
    for (const auto& row : rows) {
        const GifIndex index = Index(kThree.substr(0, row.length));
        EXPECT_EQ(index.frames.size(), row.frames) << row.name;
        EXPECT_EQ(index.WholeLength(), row.whole) << row.name;
        EXPECT_FALSE(index.trailer) << row.name;
    }
    // Bytes that are no block after the frames end the walk as the file's end does.
    EXPECT_EQ(Index(kThree.substr(0, kThree.size() - 1) + "junk").WholeLength(), f[2].end);
}

} // namespace
} // namespace zorvane::test
