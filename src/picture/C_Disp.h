#pragma once

#include "host/Module1.h"
#include "host/Runtime.h"

#include <memory>
#include <optional>
#include <string>

namespace zorvane {

class C_Menu;

struct SavedPosition {
    std::string left, top; // twips as text; empty keeps the window's own coordinate
};

// The picture window and its shape control.
class C_Disp {
  public:
    C_Disp(Runtime& rt, Module1& m, C_Menu& menu) : rt_(rt), m_(m), menu_(menu) {}

    Form& form() { return rt_.GetForm(FormName::C_Disp); }

    // Loads the picture and fits the window to it. When the file cannot be
    // shown the user is told, and the window stays as it was. True when shown.
    bool ShowPicture(const std::string& path, const std::optional<SavedPosition>& position);

    // Returns Cancel: the user's close only hides the picture.
    bool Form_QueryUnload(int unloadMode);

    void Vesquin1_MouseEvent(int button, int shift, float x, float y);

    // The next frame of an animated picture is due.
    void AnimationTimer();

    // Cuts the window to the picture's outline while Transparent is on, the whole
    // rectangle otherwise. A playing picture's outlines are the ones its frames keep.
    void ApplyShape();

  private:
    void StopAnimation();
    // The edges the outline takes now: soft unless turned off, and soft in colour alone
    // where the desktop cannot blend.
    Edges EdgesNow();
    const Cutout& StillCut(Edges edges);

    void MoveToSavedPosition(const SavedPosition& position);

    Runtime& rt_;
    Module1& m_;
    C_Menu& menu_;
    std::shared_ptr<Animation> animation_; // the picture shown, when it has frames
    std::shared_ptr<const Picture> still_; // the picture shown, when it has none
    std::optional<Cutout> stillCut_;       // made for still_ with stillEdges_
    Edges stillEdges_ = Edges::Hard;
    Edges edges_ = Edges::Hard; // what the frames of a playing picture are cut with
};

} // namespace zorvane
