#pragma once

#include "host/Module1.h"
#include "host/Runtime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zorvane {

class C_Menu;

struct SavedPosition {
    std::string left, top; // twips as text; empty keeps the window's own coordinate
};

// Whose picture is shown: the saved one at startup, or one the user just chose, which becomes
// the current picture's path once it shows.
enum class PicturePick { Saved, Chosen };

// The picture window and its shape control.
class C_Disp {
  public:
    C_Disp(Runtime& rt, Module1& m, C_Menu& menu) : rt_(rt), m_(m), menu_(menu) {}

    Form& form() { return rt_.GetForm(FormName::C_Disp); }

    // Starts loading the picture; once loaded it replaces the one shown and the window fits
    // it. Until then the window stays as it is; a later ShowPicture supersedes this one, whose
    // result is then dropped unseen. When the file cannot be shown the user is told as the
    // load ends, and the window stays as it was.
    void ShowPicture(const std::string& path, PicturePick pick,
                     const std::optional<SavedPosition>& position = std::nullopt);
    // A load has ended: shows its picture, or tells why not, if it is the latest one asked for.
    void PictureLoaded(std::uint64_t ticket, PictureLoad loaded);
    // A load is running whose picture is still to show.
    bool Loading() const { return pending_.has_value(); }

    // Returns Cancel: the user's close only hides the picture.
    bool Form_QueryUnload(int unloadMode);

    void Vesquin1_MouseEvent(int button, int shift, float x, float y);

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

    void MoveToSavedPosition(const SavedPosition& position);
    void Show(PictureLoad loaded, const std::optional<SavedPosition>& position);

    struct Pending {
        std::uint64_t ticket = 0;
        std::string path;
        PicturePick pick = PicturePick::Saved;
        std::optional<SavedPosition> position;
    };

    Runtime& rt_;
    Module1& m_;
    C_Menu& menu_;
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
