#include "app/PictureWindow.h"

#include "app/CommandMenu.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "core/Conversions.h"
#include "core/Placement.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>

namespace zorvane {

namespace {

// A frame shows at least this many times as long as it took to prepare.
constexpr int kBusyShare = 4;

} // namespace

PixelRect FirstWindowBounds(const Screen& screen) {
    const float x = screen.twipsPerPixelX, y = screen.twipsPerPixelY;
    return {WindowPixels(2085, x), WindowPixels(1170, y), WindowPixels(1020, x),
            WindowPixels(870, y)};
}

struct PictureWindow::NextFrame {
    std::shared_ptr<Animation> animation;
    std::optional<Edges> edges; // to cut the frame with; none while Transparent is off
    // The worker's while it runs; the UI thread's once it has ended.
    bool advanced = false;
    Frame frame;
    // The UI thread's alone.
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::duration took{};

    // On the worker: moves the animation on, once, and cuts its frame with the edges asked for.
    void Prepare() {
        try {
            if (!advanced) {
                frame.ended = !animation->Advance();
                advanced = true;
            }
            if (frame.ended)
                return;
            frame.picture = animation->frame();
            frame.delayMs = animation->delayMs();
            frame.cut = edges ? animation->Cut(*edges) : nullptr;
            frame.edges = edges.value_or(Edges::Hard);
        } catch (const std::bad_alloc&) {
            // No memory for this frame: the picture stops on the one shown.
            frame = Frame{};
            frame.ended = true;
        }
    }
};

void PictureWindow::ShowPicture(const std::string& path, PicturePick pick,
                                const std::optional<SavedPlace>& place) {
    // Kept before the load starts: a platform may end it before StartLoad returns.
    pending_ = Pending{++lastTicket_, path, pick, place};
    platform_.StartLoad(lastTicket_, path);
}

void PictureWindow::PictureLoaded(std::uint64_t ticket, PictureLoad loaded) {
    // A load superseded by a newer pick ends unseen, whatever came of it.
    if (!pending_ || pending_->ticket != ticket)
        return;
    const Pending done = std::move(*pending_);
    pending_.reset();
    // Checked before touching the window, so a file that cannot be shown leaves the picture
    // on screen as it was.
    if (!loaded.picture) {
        std::string text = std::string(kCannotShowText) + "\r\n\r\n" + done.path;
        if (!loaded.error.empty())
            text += "\r\n\r\n" + loaded.error;
        platform_.ShowMessage(text, MessageKind::Critical);
        return;
    }
    Show(std::move(loaded), done.place);
    if (done.pick == PicturePick::Chosen) {
        state_.picturePath = done.path;
        // The window shows again in the band the user chose, whatever happened while loading.
        menu_.ReturnToChosenBand();
    }
}

void PictureWindow::Show(PictureLoad loaded, const std::optional<SavedPlace>& place) {
    StopAnimation();
    animation_ = std::move(loaded.animation);
    still_ = animation_ ? nullptr : loaded.picture;
    stillCut_.reset();
    if (animation_) {
        // The first frame is cut here, as a still picture is, to the outline the animation
        // keeps for it; a worker cuts the others.
        edges_ = EdgesNow();
        shown_.picture = animation_->frame();
        shown_.cut = state_.transparent ? animation_->Cut(edges_) : nullptr;
        shown_.edges = edges_;
        shown_.delayMs = animation_->delayMs();
    }
    PlatformWindow& w = window();
    const PixelRect to = Place(loaded.picture->width, loaded.picture->height, place);
    w.Hide();
    platform_.View().SetPicture(std::move(loaded.picture));
    w.Resize(to.width, to.height);
    w.Move(to.left, to.top);
    ApplyShape();
    w.Show();
    if (animation_ && animation_->playing()) {
        RunTimer(shown_.delayMs);
        PrepareNext();
    }
}

void PictureWindow::ApplyShape() {
    PictureView& view = platform_.View();
    if (!state_.transparent) {
        view.PlainRectangle();
        return;
    }
    edges_ = EdgesNow();
    if (!animation_) {
        view.CutTo(StillCut(edges_));
        return;
    }
    // The frame on the screen was shown without a cut, or the edges changed: it is cut here,
    // as a still picture is. The next one, if ready, is cut again by a worker.
    if (!shown_.cut || shown_.edges != edges_) {
        shown_.cut = std::make_shared<const Cutout>(MakeCutout(*shown_.picture, edges_));
        shown_.edges = edges_;
    }
    view.ShowFrame(shown_.picture, shown_.cut.get());
    if (next_ && !preparing_ && !ShowsAsItIs(next_->frame))
        StartPreparing();
}

Edges PictureWindow::EdgesNow() {
    if (!state_.smoothEdges)
        return Edges::Hard;
    return platform_.View().BlendsPixels() ? Edges::Soft : Edges::SoftOpaque;
}

const Cutout& PictureWindow::StillCut(Edges edges) {
    // Made once for each picture and kind of edge: Transparent turned off and on again, or
    // a second look, costs nothing.
    if (!stillCut_ || stillEdges_ != edges) {
        stillCut_ = still_ ? MakeCutout(*still_, edges) : Cutout{};
        stillEdges_ = edges;
    }
    return *stillCut_;
}

void PictureWindow::StopAnimation() {
    if (animation_)
        StopTimer();
    timerMs_ = 0;
    // A frame still being prepared is dropped unseen; its work holds what it uses.
    animation_.reset();
    shown_ = Frame{};
    next_.reset();
    preparing_ = 0;
    late_ = false;
}

void PictureWindow::PrepareNext() {
    next_ = std::make_shared<NextFrame>();
    next_->animation = animation_;
    // A frame made before (every frame from the second loop on, while the budget keeps them)
    // is taken here: a thread woken for it would cost more than the frame, at every frame.
    const std::optional<Edges> edges = state_.transparent ? std::optional(edges_) : std::nullopt;
    if (animation_->NextIsKept(edges)) {
        next_->edges = edges;
        next_->Prepare();
        return;
    }
    StartPreparing();
}

void PictureWindow::StartPreparing() {
    next_->edges = state_.transparent ? std::optional(edges_) : std::nullopt;
    next_->started = platform_.Now();
    // Kept before the work starts: a platform may end it before StartWork returns.
    preparing_ = ++lastWork_;
    platform_.StartWork(preparing_, [next = next_] { next->Prepare(); });
}

bool PictureWindow::ShowsAsItIs(const Frame& frame) const {
    return frame.ended || !state_.transparent || (frame.cut && frame.edges == edges_);
}

void PictureWindow::WorkDone(std::uint64_t ticket) {
    // The frame of a picture no longer shown ends unseen.
    if (!preparing_ || ticket != preparing_)
        return;
    preparing_ = 0;
    next_->took += platform_.Now() - next_->started;
    if (!ShowsAsItIs(next_->frame))
        StartPreparing(); // the edges changed while it was cut
    else if (late_)
        ShowNext();
}

void PictureWindow::AnimationTimer() {
    // Hidden, or at the end of its last loop, the picture stands still and costs nothing.
    if (!next_ || !window().Visible()) {
        StopTimer();
        return;
    }
    if (preparing_ || !ShowsAsItIs(next_->frame)) {
        // Not ready yet: it shows as soon as it is, and the frames go on from there.
        StopTimer();
        late_ = true;
        if (!preparing_)
            StartPreparing();
        return;
    }
    ShowNext();
}

void PictureWindow::ShowNext() {
    late_ = false;
    if (!window().Visible())
        return; // hidden while it was prepared
    const std::shared_ptr<NextFrame> next = std::move(next_);
    if (next->frame.ended) {
        StopTimer();
        return;
    }
    shown_ = std::move(next->frame);
    platform_.View().ShowFrame(shown_.picture, state_.transparent ? shown_.cut.get() : nullptr);
    // Frames too large to prepare at their own pace (past the budget, each is composed
    // again) are slowed down, so that the program stays mostly idle.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(next->took);
    RunTimer(std::max(shown_.delayMs, int(took.count()) * kBusyShare));
    PrepareNext();
}

void PictureWindow::RunTimer(int ms) {
    // A timer already running at this pace is left to run: setting it again at every frame
    // costs a call into the system (the server's, under Wine) for nothing.
    if (timerMs_ == ms)
        return;
    timerMs_ = ms;
    platform_.StartTimer(TimerId::Animation, ms);
}

void PictureWindow::StopTimer() {
    timerMs_ = 0;
    platform_.StopTimer(TimerId::Animation);
}

PixelRect PictureWindow::Place(int width, int height, const std::optional<SavedPlace>& place) {
    PixelRect to = window().Bounds();
    to.width = width;
    to.height = height;
    if (place) {
        const Screen screen = platform_.PrimaryScreen();
        if (const auto left = SavedCoordinateToPixels(place->left, screen.twipsPerPixelX))
            to.left = *left;
        if (const auto top = SavedCoordinateToPixels(place->top, screen.twipsPerPixelY))
            to.top = *top;
    }
    return KeepOnScreen(to, platform_.Monitors());
}

bool PictureWindow::Closing(CloseReason reason) {
    if (reason != CloseReason::User)
        return false;
    window().Hide();
    // Only the next ShowPicture shows it again, and that starts the frames anew.
    if (animation_)
        StopTimer();
    return true;
}

void PictureWindow::Clicked(MouseButton button, PixelPoint at) {
    if (button != MouseButton::Right)
        return;
    const PixelRect bounds = window().Bounds();
    platform_.OpenMenu({bounds.left + at.x, bounds.top + at.y});
}

} // namespace zorvane
