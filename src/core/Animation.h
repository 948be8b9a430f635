#pragma once

#include "core/Cutout.h"
#include "core/Picture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zorvane {

// What becomes of a frame's rectangle before the next frame is drawn.
enum class Disposal { Leave, Background, Previous };

// One frame as the file holds it: its own place on the screen, its pixels (alpha below one
// half is see-through: the screen beneath shows), its delay and its disposal.
struct GifFrame {
    int left = 0, top = 0;
    Picture image;
    int delayMs = 0;
    Disposal disposal = Disposal::Leave;
};

// The frames of an animated picture, read one at a time as they are shown, mostly in order.
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // False when the frame cannot be read (a damaged or cut-off file).
    virtual bool Read(std::size_t index, GifFrame& out) = 0;
};

// All composed frames and their outlines together are kept within this; past it, frames
// are composed again as they are shown.
inline constexpr std::uint64_t kFrameBudgetBytes = 256ull << 20;

// As web browsers play them: a delay under 20 ms counts as 100 ms.
inline constexpr int FrameDelay(int fileDelayMs) {
    return fileDelayMs < 20 ? 100 : fileDelayMs;
}

// An animated picture playing on its logical screen: composes each frame over what the
// frames before it left, keeps composed frames and outlines while they fit the budget,
// and counts the loops. One thread at a time uses it: the program hands it to a worker to
// prepare each next frame.
class Animation {
  public:
    // Reads and composes frame 0; null when it cannot be read or the screen is not allowed.
    // loopCount is the file's: 0 plays forever, n plays n + 1 times.
    static std::unique_ptr<Animation> Start(int width, int height, std::size_t frameCount,
                                            int loopCount, std::unique_ptr<FrameSource> source,
                                            std::uint64_t budget = kFrameBudgetBytes);

    // The current frame on the whole screen; every pixel opaque (alpha 0xFF), the mask
    // colour where nothing is drawn.
    const std::shared_ptr<const Picture>& frame() const { return current_->picture; }
    std::size_t index() const { return index_; }
    // Frames that can be read: fewer than the file said once one fails.
    std::size_t frameCount() const { return frameCount_; }
    int delayMs() const { return current_->delayMs; }
    // More than one frame, and loops left to play.
    bool playing() const { return frameCount_ > 1 && !ended_; }

    // Moves to the next frame. False once the last loop has ended: the last frame stays.
    bool Advance();
    // True when Advance, and Cut with these edges (none: no cut), would only take what is
    // kept: nothing to read, compose or cut, so no reason to hand the work to another thread.
    bool NextIsKept(std::optional<Edges> edges) const;
    // The current frame cut to its outline with these edges; made once for each frame the
    // budget keeps (again for all frames when the edges asked for change).
    std::shared_ptr<const Cutout> Cut(Edges edges);

  private:
    struct Composed {
        std::shared_ptr<const Picture> picture;
        std::shared_ptr<const Cutout> cut;
        int delayMs = 0;
        Disposal disposal = Disposal::Leave;
        Rect rect;                        // the frame's part of the screen
        std::vector<std::uint32_t> under; // the screen there before it (for Previous)
    };

    Animation(int width, int height, int loopCount, std::unique_ptr<FrameSource> source,
              std::uint64_t budget)
        : width_(width), height_(height), loopCount_(loopCount), source_(std::move(source)),
          budget_(budget) {}

    std::shared_ptr<Composed> Compose(std::size_t index);
    void Keep(std::size_t index, const std::shared_ptr<Composed>& composed);

    int width_, height_, loopCount_;
    std::unique_ptr<FrameSource> source_;
    std::uint64_t budget_, used_ = 0;
    std::size_t frameCount_ = 0, index_ = 0;
    long long plays_ = 0; // loops finished
    bool ended_ = false;
    std::vector<std::shared_ptr<Composed>> kept_;
    std::shared_ptr<Composed> current_;
    Edges edges_ = Edges::Hard; // of the cutouts kept
};

} // namespace zorvane
