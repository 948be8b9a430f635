#pragma once

#include "core/Animation.h"
#include "core/Picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Frames drawn as letters, for the tests of animated pictures.
namespace zorvane::fake {

// Frames from memory; a read at or past `failAt` fails, as a damaged file's would.
struct MemoryFrames : FrameSource {
    explicit MemoryFrames(std::vector<GifFrame> f, std::size_t failAt = SIZE_MAX)
        : frames(std::move(f)), failAt(failAt) {}
    bool Read(std::size_t index, GifFrame& out) override {
        ++reads;
        if (index >= frames.size() || index >= failAt)
            return false;
        out = frames[index];
        return true;
    }
    std::vector<GifFrame> frames;
    std::size_t failAt;
    int reads = 0;
};

// Pixels as letters: R, B, Y colours, b half red and half the mask green (an anti-aliased
// edge); '.' see-through in a frame, the mask on the screen.
inline std::uint32_t Colour(char c) {
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

inline std::string Art(const Picture& p) {
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
inline GifFrame Frame(int left, int top, const std::string& art, Disposal d = Disposal::Leave,
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

inline std::unique_ptr<Animation> Play(int w, int h, std::vector<GifFrame> frames, int loops = 0,
                                       std::uint64_t budget = kFrameBudgetBytes,
                                       std::size_t failAt = SIZE_MAX) {
    const std::size_t n = frames.size();
    return Animation::Start(w, h, n, loops, std::make_unique<MemoryFrames>(frames, failAt), budget);
}

using D = Disposal;

} // namespace zorvane::fake
