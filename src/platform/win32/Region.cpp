#include "platform/win32/Region.h"

#include <cstddef>

namespace zorvane::win32 {

namespace {

// ExtCreateRegion slows down sharply with the count under Wine; pieces this small stay cheap.
constexpr std::size_t kPieceRects = 256;

UniqueHrgn MakePiece(const Rect* rects, std::size_t count, std::vector<std::byte>& buffer) {
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

} // namespace

UniqueHrgn MakeRegion(const std::vector<Rect>& rects) {
    if (rects.empty())
        return UniqueHrgn(::CreateRectRgn(0, 0, 0, 0));

    std::vector<UniqueHrgn> pieces;
    pieces.reserve((rects.size() + kPieceRects - 1) / kPieceRects);
    std::vector<std::byte> buffer;
    for (std::size_t i = 0; i < rects.size(); i += kPieceRects) {
        const std::size_t n = rects.size() - i < kPieceRects ? rects.size() - i : kPieceRects;
        UniqueHrgn piece = MakePiece(rects.data() + i, n, buffer);
        if (!piece)
            return {};
        pieces.push_back(std::move(piece));
    }

    // Neighbours in pairs, round after round: each union joins two pieces of similar size,
    // so every rect is copied about log2(pieces) times rather than once per piece.
    while (pieces.size() > 1) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < pieces.size(); i += 2) {
            if (i + 1 < pieces.size() && ::CombineRgn(pieces[i].get(), pieces[i].get(),
                                                      pieces[i + 1].get(), RGN_OR) == ERROR)
                return {};
            pieces[kept++] = std::move(pieces[i]);
        }
        pieces.resize(kept);
    }
    return std::move(pieces.front());
}

} // namespace zorvane::win32
