#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvane {

inline constexpr int kBitWord = 64;

// One bit a pixel, rows of whole 64-bit words; bits past the width stay clear.
class BitPlane {
  public:
    BitPlane(int width, int height)
        : width_(width), height_(height), words_((width + kBitWord - 1) / kBitWord),
          bits_(std::size_t(words_) * height, 0) {}

    std::uint64_t* row(int y) { return bits_.data() + std::size_t(y) * words_; }
    const std::uint64_t* row(int y) const { return bits_.data() + std::size_t(y) * words_; }
    bool at(int x, int y) const { return row(y)[x / kBitWord] >> (x % kBitWord) & 1; }
    void set(int x, int y, bool on) {
        std::uint64_t& w = row(y)[x / kBitWord];
        const std::uint64_t bit = 1ull << (x % kBitWord);
        w = on ? w | bit : w & ~bit;
    }
    // The valid bits of word i of a row.
    std::uint64_t valid(int i) const {
        const int n = std::min(kBitWord, width_ - i * kBitWord);
        return n == kBitWord ? ~0ull : (1ull << n) - 1;
    }
    int words() const { return words_; }
    std::vector<std::uint64_t> take() { return std::move(bits_); }

    // Every pixel within r (<= 63) pixels of a set one (of a clear one, with ofClear), across
    // and down: a (2r+1)-square. Down first, then across each row.
    BitPlane Dilated(int r, bool ofClear = false) const {
        BitPlane out(width_, height_);
        std::vector<std::uint64_t> down(static_cast<std::size_t>(words_));
        for (int y = 0; y < height_; ++y) {
            std::fill(down.begin(), down.end(), 0);
            for (int yy = std::max(0, y - r); yy <= std::min(height_ - 1, y + r); ++yy) {
                const std::uint64_t* in = row(yy);
                for (int i = 0; i < words_; ++i)
                    down[i] |= (ofClear ? ~in[i] : in[i]) & valid(i);
            }
            std::uint64_t* o = out.row(y);
            for (int i = 0; i < words_; ++i) {
                const std::uint64_t w = down[i];
                const std::uint64_t prev = i > 0 ? down[i - 1] : 0;
                const std::uint64_t next = i + 1 < words_ ? down[i + 1] : 0;
                std::uint64_t d = w;
                for (int k = 1; k <= r; ++k)
                    d |= w << k | prev >> (kBitWord - k) | w >> k | next << (kBitWord - k);
                o[i] = d & valid(i);
            }
        }
        return out;
    }

    // Calls f(x, y) for every set bit of (a & b & c), row by row.
    template <typename F>
    static void ForEach(const BitPlane& a, const BitPlane& b, const BitPlane& c, const F& f) {
        for (int y = 0; y < a.height_; ++y)
            for (int i = 0; i < a.words_; ++i)
                for (std::uint64_t w = a.row(y)[i] & b.row(y)[i] & c.row(y)[i]; w; w &= w - 1)
                    f(i * kBitWord + std::countr_zero(w), y);
    }

    BitPlane Inverted() const {
        BitPlane out(width_, height_);
        for (int y = 0; y < height_; ++y)
            for (int i = 0; i < words_; ++i)
                out.row(y)[i] = ~row(y)[i] & valid(i);
        return out;
    }

    // How many of the (up to 8) neighbours of (x, y) inside the picture are set.
    int Neighbours(int x, int y) const {
        int n = 0;
        for (int yy = std::max(0, y - 1); yy <= std::min(height_ - 1, y + 1); ++yy)
            for (int xx = std::max(0, x - 1); xx <= std::min(width_ - 1, x + 1); ++xx)
                n += (xx != x || yy != y) && at(xx, yy);
        return n;
    }
    // The same for the neighbours inside the picture that are clear.
    int ClearNeighbours(int x, int y) const {
        const int inside = (std::min(width_ - 1, x + 1) - std::max(0, x - 1) + 1) *
                               (std::min(height_ - 1, y + 1) - std::max(0, y - 1) + 1) -
                           1;
        return inside - Neighbours(x, y);
    }

  private:
    int width_, height_, words_;
    std::vector<std::uint64_t> bits_;
};

} // namespace zorvane
