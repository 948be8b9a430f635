#include "picture/C_Disp.h"

#include "host/Conversions.h"
#include "menu/C_Menu.h"
#include "picture/Placement.h"

#include <algorithm>
#include <chrono>

namespace zorvane {

namespace {

// A frame waits at least this many times as long as it took to compose and shape.
constexpr int kBusyShare = 4;

} // namespace

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
    if (animation_ && animation_->playing())
        rt_.SetTimer(TimerId::Animation, animation_->delayMs());
}

void C_Disp::ApplyShape() {
    ShapeControl& ctl = rt_.Vesquin1();
    if (!m_.ScaleOn) {
        ctl.PlainRectangle();
        return;
    }
    edges_ = EdgesNow();
    if (animation_)
        ctl.ShowFrame(animation_->frame(), &animation_->Cut(edges_));
    else
        ctl.CutTo(StillCut(edges_));
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
        rt_.KillTimer(TimerId::Animation);
    animation_.reset();
}

void C_Disp::AnimationTimer() {
    // Hidden, or at the end of its last loop, the picture stands still and costs nothing.
    const auto start = rt_.Now();
    if (!animation_ || !form().Visible() || !animation_->Advance()) {
        rt_.KillTimer(TimerId::Animation);
        return;
    }
    rt_.Vesquin1().ShowFrame(animation_->frame(), m_.ScaleOn ? &animation_->Cut(edges_) : nullptr);
    // Frames too large to compose at their own pace (past the budget, each is composed
    // again) are slowed down, so that the program stays mostly idle and answers at once.
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(rt_.Now() - start);
    rt_.SetTimer(TimerId::Animation,
                 std::max(animation_->delayMs(), int(spent.count()) * kBusyShare));
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
        rt_.KillTimer(TimerId::Animation);
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
