#include "platform/win32/Region.h"

#include <cstddef>

namespace zorvane::win32 {

namespace {

// Wine's ExtCreateRegion adds its rects one union at a time, so a piece costs the square of
// its size; at 32 that is cheaper than the extra merge rounds (measured: scripts/bench).
constexpr std::size_t kPieceRects = 32;

} // namespace

UniqueHrgn RegionFromRects(const Rect* rects, std::size_t count, std::vector<std::byte>& buffer) {
    buffer.assign(sizeof(RGNDATAHEADER) + count * sizeof(RECT), std::byte{0});
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    auto* out = reinterpret_cast<RECT*>(data->Buffer);
    RECT bound = {rects[0].left, rects[0].top, rects[0].right, rects[0].bottom};
    for (std::size_t i = 0; i < count; ++i) {
        const Rect& r = rects[i];
        out[i] = {r.left, r.top, r.right, r.bottom};
        if (r.left < bound.left)
            bound.left = r.left;
        if (r.top < bound.top)
            bound.top = r.top;
        if (r.right > bound.right)
            bound.right = r.right;
        if (r.bottom > bound.bottom)
            bound.bottom = r.bottom;
    }
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(count);
    data->rdh.nRgnSize = static_cast<DWORD>(count * sizeof(RECT));
    data->rdh.rcBound = bound;
    return UniqueHrgn(::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data));
}

UniqueHrgn MakeRegion(const std::vector<Rect>& rects) {
    if (rects.empty())
        return UniqueHrgn(::CreateRectRgn(0, 0, 0, 0));

    // Pieces are merged like a binary counter: a new piece joins the last one while both hold
    // the same number of pieces, so each union joins two regions of similar size and every
    // rect is copied about log2(pieces) times. Only about log2(pieces) regions are alive at
    // once, far below the GDI handle quota whatever the count.
    struct Merged {
        UniqueHrgn region;
        unsigned level;
    };
    std::vector<Merged> stack;
    std::vector<std::byte> buffer;
    for (std::size_t i = 0; i < rects.size(); i += kPieceRects) {
        const std::size_t n = rects.size() - i < kPieceRects ? rects.size() - i : kPieceRects;
        Merged piece{RegionFromRects(rects.data() + i, n, buffer), 0};
        if (!piece.region)
            return {};
        while (!stack.empty() && stack.back().level == piece.level) {
            Merged& last = stack.back();
            if (::CombineRgn(last.region.get(), last.region.get(), piece.region.get(), RGN_OR) ==
                ERROR)
                return {};
            piece = {std::move(last.region), piece.level + 1};
            stack.pop_back();
        }
        stack.push_back(std::move(piece));
    }
    // What is left has distinct sizes, largest first: fold the smaller ones into it.
    while (stack.size() > 1) {
        Merged top = std::move(stack.back());
        stack.pop_back();
        Merged& below = stack.back();
        if (::CombineRgn(below.region.get(), below.region.get(), top.region.get(), RGN_OR) == ERROR)
            return {};
    }
    return std::move(stack.front().region);
}

} // namespace zorvane::win32
