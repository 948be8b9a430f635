#pragma once

#include "app/AppState.h"
#include "app/Platform.h"
#include "core/Animation.h"
#include "core/Cutout.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zorvane {

class CommandMenu;

// The picture window's saved place, as saved: twips as text. A value that is not a number
// keeps the window's own coordinate.
struct SavedPlace {
    std::string left, top;
};

// Where the picture window stands before a picture moves it: the place and size it was designed
// with, 2085, 1170, 1020 x 870 twips, in pixels of this screen.
PixelRect FirstWindowBounds(const Screen& screen);

// Whose picture is shown: the saved one at startup, or one the user just chose, which becomes
// the current picture's path once it shows.
enum class PicturePick { Saved, Chosen };

// The picture on the desktop: its window, cut to the picture's outline while Transparent is
// on, and the frames of a picture that plays.
class PictureWindow {
  public:
    PictureWindow(Platform& platform, AppState& state, CommandMenu& menu)
        : platform_(platform), state_(state), menu_(menu) {}

    PlatformWindow& window() { return platform_.Window(); }

    // Starts loading the picture; once loaded it replaces the one shown and the window fits
    // it. Until then the window stays as it is; a later ShowPicture supersedes this one, whose
    // result is then dropped unseen. When the file cannot be shown the user is told as the
    // load ends, and the window stays as it was.
    void ShowPicture(const std::string& path, PicturePick pick,
                     const std::optional<SavedPlace>& place = std::nullopt);
    // A load has ended: shows its picture, or tells why not, if it is the latest one asked for.
    void PictureLoaded(std::uint64_t ticket, PictureLoad loaded);
    // A load is running whose picture is still to show.
    bool Loading() const { return pending_.has_value(); }

    // True to keep the window: the user's close only hides the picture.
    bool Closing(CloseReason reason);
    // A right click opens the command menu where it was made.
    void Clicked(MouseButton button, PixelPoint at);

    // The next frame of an animated picture is due.
    void AnimationTimer();
    // Work StartWork began has ended: the next frame is ready, if it is still wanted.
    void WorkDone(std::uint64_t ticket);

    // Cuts the window to the picture's outline while Transparent is on, the whole
    // rectangle otherwise. A playing picture's outlines are the ones its frames keep.
    void ApplyShape();

  private:
    // A frame of the playing picture, as it shows.
    struct Frame {
        std::shared_ptr<const Picture> picture;
        std::shared_ptr<const Cutout> cut; // made with `edges`; none while Transparent was off
        Edges edges = Edges::Hard;
        int delayMs = 0;
        bool ended = false; // the last loop is over: no frame
    };
    // The next frame, prepared by a worker. It holds the animation while it works.
    struct NextFrame;

    void StopAnimation();
    // Starts preparing the frame after the one shown, or cutting the one prepared again.
    void PrepareNext();
    // The animation's timer, set only when its pace changes.
    void RunTimer(int ms);
    void StopTimer();
    void StartPreparing();
    // The frame prepared is shown, or the picture stops at its last frame.
    void ShowNext();
    bool ShowsAsItIs(const Frame& frame) const;
    // The edges the outline takes now: soft unless turned off, and soft in colour alone
    // where the desktop cannot blend.
    Edges EdgesNow();
    const Cutout& StillCut(Edges edges);

    // Where the window of this size goes: the saved place, if any, kept on the screen.
    PixelRect Place(int width, int height, const std::optional<SavedPlace>& place);
    void Show(PictureLoad loaded, const std::optional<SavedPlace>& place);

    struct Pending {
        std::uint64_t ticket = 0;
        std::string path;
        PicturePick pick = PicturePick::Saved;
        std::optional<SavedPlace> place;
    };

    Platform& platform_;
    AppState& state_;
    CommandMenu& menu_;
    std::shared_ptr<const Picture> still_; // the picture shown, when it has no frames
    std::optional<Cutout> stillCut_;       // made for still_ with stillEdges_
    Edges stillEdges_ = Edges::Hard;
    // The picture shown, when it has frames; while a worker prepares the next frame, the
    // worker's alone.
    std::shared_ptr<Animation> animation_;
    Frame shown_;                     // its frame on the screen
    std::shared_ptr<NextFrame> next_; // the frame after it
    std::uint64_t preparing_ = 0;     // the ticket of the work on next_; 0 while none runs
    std::uint64_t lastWork_ = 0;
    bool late_ = false;              // the next frame was due before it was ready
    int timerMs_ = 0;                // the animation timer's pace while it runs
    Edges edges_ = Edges::Hard;      // what the frames of a playing picture are cut with
    std::optional<Pending> pending_; // the load whose picture is to show next
    std::uint64_t lastTicket_ = 0;
};

} // namespace zorvane
