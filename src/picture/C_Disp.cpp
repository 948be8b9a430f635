#include "picture/C_Disp.h"

#include "host/Conversions.h"
#include "menu/C_Menu.h"
#include "picture/Placement.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <optional>

namespace zorvane {

namespace {

// A frame shows at least this many times as long as it took to prepare.
constexpr int kBusyShare = 4;

} // namespace

struct C_Disp::NextFrame {
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

void C_Disp::ShowPicture(const std::string& path, PicturePick pick,
                         const std::optional<SavedPosition>& position) {
    // Kept before the load starts: a runtime may end it before StartLoad returns.
    pending_ = Pending{++lastTicket_, path, pick, position};
    rt_.StartLoad(lastTicket_, path);
}

void C_Disp::PictureLoaded(std::uint64_t ticket, PictureLoad loaded) {
    // A load superseded by a newer pick ends unseen, whatever came of it.
    if (!pending_ || pending_->ticket != ticket)
        return;
    const Pending done = std::move(*pending_);
    pending_.reset();
    // Checked before touching the window, so a file that cannot be shown leaves the picture
    // on screen as it was.
    if (!loaded.picture) {
        std::string text = "次のファイルを表示できませんでした。\r\n\r\n" + done.path;
        if (!loaded.error.empty())
            text += "\r\n\r\n" + loaded.error;
        rt_.MsgBox(text, vbCritical, kTitle);
        return;
    }
    Show(std::move(loaded), done.position);
    if (done.pick == PicturePick::Chosen) {
        m_.PicturePath = done.path;
        // The window shows again in the band the user chose, whatever happened while loading.
        menu_.ReturnToChosenBand();
    }
}

void C_Disp::Show(PictureLoad loaded, const std::optional<SavedPosition>& position) {
    StopAnimation();
    animation_ = std::move(loaded.animation);
    still_ = animation_ ? nullptr : loaded.picture;
    stillCut_.reset();
    if (animation_) {
        // The first frame is cut here, as a still picture is, to the outline the animation
        // keeps for it; a worker cuts the others.
        edges_ = EdgesNow();
        shown_.picture = animation_->frame();
        shown_.cut = m_.ScaleOn ? animation_->Cut(edges_) : nullptr;
        shown_.edges = edges_;
        shown_.delayMs = animation_->delayMs();
    }
    Form& f = form();
    ShapeControl& ctl = rt_.Vesquin1();
    f.SetVisible(false);
    ctl.SetAutoSize(true);
    ctl.SetDragMovesForm(true);
    ctl.SetPicture(std::move(loaded.picture));
    f.SetHeight(ctl.Height());
    f.SetWidth(ctl.Width());
    if (position)
        MoveToSavedPosition(*position);

    const TwipsRect now{f.Left(), f.Top(), f.Width(), f.Height()};
    const TwipsRect onScreen = KeepOnScreen(now, rt_.Monitors());
    if (onScreen.left != now.left)
        f.SetLeft(onScreen.left);
    if (onScreen.top != now.top)
        f.SetTop(onScreen.top);

    f.SetVisible(false);
    ApplyShape();
    f.Show();
    f.SetVisible(true);
    if (animation_ && animation_->playing()) {
        RunTimer(shown_.delayMs);
        PrepareNext();
    }
}

void C_Disp::ApplyShape() {
    ShapeControl& ctl = rt_.Vesquin1();
    if (!m_.ScaleOn) {
        ctl.PlainRectangle();
        return;
    }
    edges_ = EdgesNow();
    if (!animation_) {
        ctl.CutTo(StillCut(edges_));
        return;
    }
    // The frame on the screen was shown without a cut, or the edges changed: it is cut here,
    // as a still picture is. The next one, if ready, is cut again by a worker.
    if (!shown_.cut || shown_.edges != edges_) {
        shown_.cut = std::make_shared<const Cutout>(MakeCutout(*shown_.picture, edges_));
        shown_.edges = edges_;
    }
    ctl.ShowFrame(shown_.picture, shown_.cut.get());
    if (next_ && !preparing_ && !ShowsAsItIs(next_->frame))
        StartPreparing();
}

Edges C_Disp::EdgesNow() {
    if (!m_.Smooth)
        return Edges::Hard;
    return rt_.Vesquin1().BlendsPixels() ? Edges::Soft : Edges::SoftOpaque;
}

const Cutout& C_Disp::StillCut(Edges edges) {
    // Made once for each picture and kind of edge: Transparent turned off and on again, or
    // a second look, costs nothing.
    if (!stillCut_ || stillEdges_ != edges) {
        stillCut_ = still_ ? MakeCutout(*still_, edges) : Cutout{};
        stillEdges_ = edges;
    }
    return *stillCut_;
}

void C_Disp::StopAnimation() {
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

void C_Disp::PrepareNext() {
    next_ = std::make_shared<NextFrame>();
    next_->animation = animation_;
    // A frame made before (every frame from the second loop on, while the budget keeps them)
    // is taken here: a thread woken for it would cost more than the frame, at every frame.
    const std::optional<Edges> edges = m_.ScaleOn ? std::optional(edges_) : std::nullopt;
    if (animation_->NextIsKept(edges)) {
        next_->edges = edges;
        next_->Prepare();
        return;
    }
    StartPreparing();
}

void C_Disp::StartPreparing() {
    next_->edges = m_.ScaleOn ? std::optional(edges_) : std::nullopt;
    next_->started = rt_.Now();
    // Kept before the work starts: a runtime may end it before StartWork returns.
    preparing_ = ++lastWork_;
    rt_.StartWork(preparing_, [next = next_] { next->Prepare(); });
}

bool C_Disp::ShowsAsItIs(const Frame& frame) const {
    return frame.ended || !m_.ScaleOn || (frame.cut && frame.edges == edges_);
}

void C_Disp::WorkDone(std::uint64_t ticket) {
    // The frame of a picture no longer shown ends unseen.
    if (!preparing_ || ticket != preparing_)
        return;
    preparing_ = 0;
    next_->took += rt_.Now() - next_->started;
    if (!ShowsAsItIs(next_->frame))
        StartPreparing(); // the edges changed while it was cut
    else if (late_)
        ShowNext();
}

void C_Disp::AnimationTimer() {
    // Hidden, or at the end of its last loop, the picture stands still and costs nothing.
    if (!next_ || !form().Visible()) {
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

void C_Disp::ShowNext() {
    late_ = false;
    if (!form().Visible())
        return; // hidden while it was prepared
    const std::shared_ptr<NextFrame> next = std::move(next_);
    if (next->frame.ended) {
        StopTimer();
        return;
    }
    shown_ = std::move(next->frame);
    rt_.Vesquin1().ShowFrame(shown_.picture, m_.ScaleOn ? shown_.cut.get() : nullptr);
    // Frames too large to prepare at their own pace (past the budget, each is composed
    // again) are slowed down, so that the program stays mostly idle.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(next->took);
    RunTimer(std::max(shown_.delayMs, int(took.count()) * kBusyShare));
    PrepareNext();
}

void C_Disp::RunTimer(int ms) {
    // A timer already running at this pace is left to run: setting it again at every frame
    // costs a call into the system (the server's, under Wine) for nothing.
    if (timerMs_ == ms)
        return;
    timerMs_ = ms;
    rt_.SetTimer(TimerId::Animation, ms);
}

void C_Disp::StopTimer() {
    timerMs_ = 0;
    rt_.KillTimer(TimerId::Animation);
}

void C_Disp::MoveToSavedPosition(const SavedPosition& position) {
    // A value that is not a finite number is ignored: the window keeps its own coordinate.
    Form& f = form();
    if (!position.left.empty())
        if (auto left = TextToSingle(position.left))
            f.SetLeft(*left);
    if (!position.top.empty())
        if (auto top = TextToSingle(position.top))
            f.SetTop(*top);
}

bool C_Disp::Form_QueryUnload(int unloadMode) {
    if (unloadMode != vbFormControlMenu)
        return false;
    form().Hide();
    // Only the next ShowPicture shows it again, and that starts the frames anew.
    if (animation_)
        StopTimer();
    return true;
}

void C_Disp::Vesquin1_MouseEvent(int button, int /*shift*/, float x, float y) {
    if ((button & vbRightButton) == 0)
        return;
    Form& f = form();
    const ScreenMetrics screen = rt_.Screen();
    const double left = double(f.Left()) + x + rt_.Vesquin1().Left();
    const double top = double(f.Top()) + y;
    const std::int16_t px = TwipsToPixel(left, screen.twipsPerPixelX);
    const std::int16_t py = TwipsToPixel(top, screen.twipsPerPixelY);
    menu_.PopupCommandMenu(px, py);
}

} // namespace zorvane
