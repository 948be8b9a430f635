#pragma once

#include "core/Animation.h"
#include "core/GifIndex.h"
#include "core/Picture.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace zorvane::test {

// A GIF of w x h whose colours are 0 black, 1 red, 2 blue, 3 white. Each frame is
// {left, top, width, height, colour index, delay in 1/100 s, disposal, see-through index
// + 1 or 0}, filled with its one colour; loops >= 0 adds NETSCAPE2.0's loop count.
inline std::string GifBytes(int w, int h, const std::vector<std::array<int, 8>>& frames,
                            int loops = -1) {
    std::string out("GIF89a");
    const auto le16 = [&](int v) { out += char(v & 0xFF), out += char(v >> 8 & 0xFF); };
    le16(w);
    le16(h);
    out.append("\x81\0\0", 3).append("\0\0\0\xFF\0\0\0\0\xFF\xFF\xFF\xFF", 12);
    if (loops >= 0) {
        out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
        le16(loops);
        out += '\0';
    }
    for (const auto& [left, top, fw, fh, index, delay, disposal, seeThrough] : frames) {
        if (delay || disposal || seeThrough) {
            out.append("\x21\xF9\x04", 3) += char(disposal << 2 | (seeThrough ? 1 : 0));
            le16(delay);
            out += char(seeThrough ? seeThrough - 1 : 0);
            out += '\0';
        }
        out += '\x2C';
        for (int v : {left, top, fw, fh})
            le16(v);
        out.append("\0\2", 2);
        // 3-bit codes: a clear before each pixel keeps the code size from growing.
        std::string data;
        std::uint32_t bits = 0;
        int count = 0;
        auto code = [&](int c) {
            bits |= std::uint32_t(c) << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8)
                data += char(bits & 0xFF);
        };
        for (int i = 0; i < fw * fh; ++i)
            code(4), code(index);
        code(5);
        if (count > 0)
            data += char(bits & 0xFF);
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            out += char(n);
            out.append(data, at, n);
        }
        out += '\0';
    }
    return out += '\x3B';
}

// What an animation shows, each frame's pixels and delay, up to n frames or until it stops.
using Shown = std::vector<std::pair<std::vector<std::uint32_t>, int>>;

inline Shown Play(Animation& a, std::size_t n) {
    Shown shown;
    do
        shown.push_back({a.frame()->pixels, a.delayMs()});
    while (shown.size() < n && a.Advance());
    return shown;
}

// A GIF that plays, for each build's decoder, and what it shows until it stops.
struct PlayCase {
    const char* name;
    std::string bytes;
    Shown shown;
};

// 3 x 1, played twice (loop count 1): red for 300 ms; blue at 1 (a delay of 0 counts as
// 100 ms), cleared after; black at 1 and 2, see-through, for 50 ms. Cut inside its last
// frame, the two frames before it play.
inline std::vector<PlayCase> PlayCases() {
    const std::string gif = GifBytes(
        3, 1, {{0, 0, 3, 1, 1, 30, 1, 0}, {1, 0, 1, 1, 2, 0, 2, 0}, {1, 0, 2, 1, 0, 5, 1, 1}}, 1);
    const std::uint32_t R = 0xFFFF0000, B = 0xFF0000FF, M = 0xFF000000 | kMaskColor;
    const Shown once = {{{R, R, R}, 300}, {{R, B, R}, 100}, {{R, M, R}, 50}};
    Shown twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    return {{"a.gif", gif, twice},
            {"cut.gif", gif.substr(0, gif.size() - 6), {once[0], once[1], once[0], once[1]}}};
}

// A file held in memory, for the block walker.
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

inline GifIndex Index(const std::string& bytes) {
    StringReader in(bytes);
    return IndexGif(in);
}

} // namespace zorvane::test
