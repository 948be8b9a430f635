#include "core/GifIndex.h"
#include "core/GifBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zorvane::test {
namespace {

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

// `gif` with each graphic control extension's one 4-byte sub-block written as `layout`
// says: its bytes as sizes; 'F' for the four fields, any other letter a filler byte.
std::string WithControlBlocks(const std::string& gif, const std::string& layout) {
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t found = gif.find("\x21\xF9\x04", at);
        out.append(gif, at, found - at);
        if (found == std::string::npos)
            return out;
        const std::string fields = gif.substr(found + 3, 4);
        out += "\x21\xF9";
        for (const char c : layout)
            out += c == 'F' ? fields : std::string(1, c);
        at = found + 8; // past the fields and the terminator
    }
}

TEST(GifIndex, ControlBlocksOfAnySizeKeepTheFramesAndTheirDelays) {
    const struct {
        const char* name;
        std::string layout;
        bool fields; // the first sub-block is long enough to hold them
    } rows[] = {
        {"5 bytes", std::string("\x05") + "Fx" + '\0', true},
        {"6 bytes", std::string("\x06") + "Fxy" + '\0', true},
        {"in two sub-blocks", std::string("\x04") + "F\x02xy" + '\0', true},
        {"a long second sub-block", std::string("\x04") + "F\x03\x2C\x3B\x21" + '\0', true},
        {"3 bytes", std::string("\x03") + "abc" + '\0', false},
        {"empty", std::string(1, '\0'), false},
    };
    const GifIndex plain = Index(kThree);
    for (const auto& row : rows) {
        const std::string gif = WithControlBlocks(kThree, row.layout);
        EXPECT_NE(gif, kThree) << row.name;
        const GifIndex index = Index(gif);
        EXPECT_EQ(index.frames.size(), 3u) << row.name;
        if (index.frames.size() != 3)
            continue;
        EXPECT_TRUE(index.trailer) << row.name;
        EXPECT_EQ(index.loopCount, 1) << row.name;
        for (std::size_t i = 0; i < 3; ++i) {
            const GifIndex::Frame& f = index.frames[i];
            const GifIndex::Frame& want = row.fields ? plain.frames[i] : GifIndex::Frame{};
            EXPECT_EQ(f.delayMs, want.delayMs) << row.name << ", frame " << i;
            EXPECT_EQ(f.disposal, want.disposal) << row.name << ", frame " << i;
            EXPECT_EQ(f.transparent, want.transparent) << row.name << ", frame " << i;
            EXPECT_EQ(gif[std::size_t(f.begin)], '\x2C') << row.name << ", frame " << i;
            EXPECT_EQ(f.end - f.begin, plain.frames[i].end - plain.frames[i].begin) << row.name;
        }
    }
}

// Application blocks (octal: 041 377 starts one) before NETSCAPE2.0's own.
TEST(GifIndex, ApplicationBlocksOfAnySizeKeepTheFramesAndTheLoopCount) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string block;
    } rows[] = {
        {"a 3-byte name", "\041\377\003abc\0"s},
        {"no name", "\041\377\0"s},
        {"a 14-byte name", "\041\377\016NETSCAPE2.0abc\002xy\0"s},
        {"an 11-byte name and data", "\041\377\013XMP DataXMP\002\054\073\0"s},
        {"NETSCAPE2.0 with no loop block", "\041\377\013NETSCAPE2.0\0"s},
        {"NETSCAPE2.0 with a longer loop block",
         "\041\377\013NETSCAPE2.0\005\001\007\0\054\073\0"s},
    };
    const GifIndex plain = Index(kThree);
    const std::size_t at = 13 + 12; // after the colour table, before NETSCAPE2.0's block
    for (const auto& row : rows) {
        const std::string gif = kThree.substr(0, at) + row.block + kThree.substr(at);
        const GifIndex index = Index(gif);
        EXPECT_EQ(index.loopCount, 1) << row.name;
        EXPECT_TRUE(index.trailer) << row.name;
        EXPECT_EQ(index.frames.size(), 3u) << row.name;
        for (std::size_t i = 0; i < std::min<std::size_t>(3, index.frames.size()); ++i) {
            EXPECT_EQ(index.frames[i].begin, plain.frames[i].begin + row.block.size()) << row.name;
            EXPECT_EQ(index.frames[i].delayMs, plain.frames[i].delayMs) << row.name;
        }
    }
}

} // namespace
} // namespace zorvane::test
