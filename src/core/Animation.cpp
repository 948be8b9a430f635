#include "core/Animation.h"

#include <algorithm>

namespace zorvane {

namespace {

constexpr std::uint32_t kSeeThrough = 0xFF000000u | kMaskColor;
constexpr std::uint64_t kFrameOverheadBytes = 256;

std::uint64_t Bytes(const Picture& p) {
    return std::uint64_t(p.pixels.size()) * sizeof(std::uint32_t);
}

} // namespace

std::unique_ptr<Animation> Animation::Start(int width, int height, std::size_t frameCount,
                                            int loopCount, std::unique_ptr<FrameSource> source,
                                            std::uint64_t budget) {
    if (!source || frameCount == 0 ||
        !PictureSizeAllowed(std::uint64_t(std::max(width, 0)), std::uint64_t(std::max(height, 0))))
        return nullptr;
    std::unique_ptr<Animation> a(
        new Animation(width, height, std::max(loopCount, 0), std::move(source), budget));
    a->frameCount_ = frameCount;
    a->kept_.resize(frameCount);
    a->current_ = a->Compose(0);
    if (!a->current_)
        return nullptr;
    a->Keep(0, a->current_);
    return a;
}

std::shared_ptr<Animation::Composed> Animation::Compose(std::size_t index) {
    GifFrame frame;
    if (!source_->Read(index, frame) ||
        frame.image.pixels.size() != std::size_t(std::max(frame.image.width, 0)) *
                                         std::size_t(std::max(frame.image.height, 0)))
        return nullptr;

    // The screen as the frame before left it; the first frame starts on a clear screen.
    auto screen = std::make_shared<Picture>();
    if (index == 0) {
        screen->width = width_;
        screen->height = height_;
        screen->pixels.assign(std::size_t(width_) * height_, kSeeThrough);
    } else {
        const Composed& before = *current_;
        *screen = *before.picture;
        const Rect& r = before.rect;
        for (int y = r.top; y < r.bottom; ++y) {
            std::uint32_t* row = screen->pixels.data() + std::size_t(y) * width_;
            if (before.disposal == Disposal::Background)
                std::fill(row + r.left, row + r.right, kSeeThrough);
            else if (before.disposal == Disposal::Previous)
                std::copy_n(before.under.data() + std::size_t(y - r.top) * (r.right - r.left),
                            r.right - r.left, row + r.left);
        }
    }

    auto out = std::make_shared<Composed>();
    out->delayMs = FrameDelay(frame.delayMs);
    out->disposal = frame.disposal;
    // Only the part of the frame on the screen counts; a frame outside it draws nothing.
    const long long left = std::clamp<long long>(frame.left, 0, width_);
    const long long top = std::clamp<long long>(frame.top, 0, height_);
    const long long right =
        std::clamp<long long>(static_cast<long long>(frame.left) + frame.image.width, left, width_);
    const long long bottom =
        std::clamp<long long>(static_cast<long long>(frame.top) + frame.image.height, top, height_);
    out->rect = {int(left), int(top), int(right), int(bottom)};
    const Rect& r = out->rect;
    if (out->disposal == Disposal::Previous) {
        out->under.reserve(std::size_t(r.right - r.left) * (r.bottom - r.top));
        for (int y = r.top; y < r.bottom; ++y) {
            const std::uint32_t* row = screen->pixels.data() + std::size_t(y) * width_;
            out->under.insert(out->under.end(), row + r.left, row + r.right);
        }
    }
    for (int y = r.top; y < r.bottom; ++y) {
        const std::uint32_t* in = frame.image.pixels.data() +
                                  std::size_t(y - frame.top) * frame.image.width +
                                  (r.left - frame.left);
        std::uint32_t* row = screen->pixels.data() + std::size_t(y) * width_;
        for (int x = r.left; x < r.right; ++x, ++in)
            if ((*in >> 24) >= 0x80)
                row[x] = *in | 0xFF000000u;
    }
    out->picture = std::move(screen);
    return out;
}

void Animation::Keep(std::size_t index, const std::shared_ptr<Composed>& composed) {
    // The records and allocations around the pixels count too: a file of very many tiny
    // frames must not keep them all.
    const std::uint64_t bytes = kFrameOverheadBytes + Bytes(*composed->picture) +
                                composed->under.size() * sizeof(std::uint32_t);
    if (used_ + bytes > budget_)
        return;
    used_ += bytes;
    kept_[index] = composed;
}

bool Animation::Advance() {
    if (!playing())
        return false;
    std::size_t next = index_ + 1;
    std::shared_ptr<Composed> composed;
    if (next < frameCount_) {
        composed = kept_[next] ? kept_[next] : Compose(next);
        if (!composed)
            frameCount_ = next; // a damaged frame ends the picture; those before it play
    }
    if (!composed) {
        ++plays_;
        if (frameCount_ <= 1 || (loopCount_ > 0 && plays_ > loopCount_)) {
            ended_ = true;
            return false;
        }
        next = 0;
        composed = kept_[0] ? kept_[0] : Compose(0);
        if (!composed) {
            ended_ = true;
            return false;
        }
    }
    if (!kept_[next])
        Keep(next, composed);
    index_ = next;
    current_ = std::move(composed);
    return true;
}

bool Animation::NextIsKept(std::optional<Edges> edges) const {
    if (!playing())
        return true;
    std::size_t next = index_ + 1;
    if (next >= frameCount_) {
        if (loopCount_ > 0 && plays_ + 1 > loopCount_)
            return true; // the end: the last frame stays
        next = 0;
    }
    const std::shared_ptr<Composed>& kept = kept_[next];
    return kept && (!edges || (kept->cut && *edges == edges_));
}

std::shared_ptr<const Cutout> Animation::Cut(Edges edges) {
    if (edges != edges_) {
        for (const auto& kept : kept_)
            if (kept && kept->cut) {
                used_ -= CutoutBytes(*kept->cut);
                kept->cut.reset();
            }
        current_->cut.reset(); // one the budget did not keep counts for nothing
        edges_ = edges;
    }
    if (current_->cut)
        return current_->cut;
    auto cut = std::make_shared<const Cutout>(MakeCutout(*current_->picture, edges));
    const std::uint64_t bytes = CutoutBytes(*cut);
    // A frame the budget does not keep drops its cutout with itself; a kept one keeps it
    // while the budget allows. One kept by neither lives while it is shown.
    if (kept_[index_] != current_ || used_ + bytes <= budget_) {
        if (kept_[index_] == current_)
            used_ += bytes;
        current_->cut = cut;
    }
    return cut;
}

} // namespace zorvane
