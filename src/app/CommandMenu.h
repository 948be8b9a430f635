#pragma once

#include "app/AppState.h"
#include "app/Platform.h"

#include <string_view>

namespace zorvane {

class PictureWindow;
class TrayHost;

// The name test of the change-picture command: the last three characters of
// the trimmed name, in upper case, are BMP, JPG, ICO or GIF.
bool IsPictureName(std::string_view name);

// The command menu, opened from the tray icon or the picture, and its commands.
class CommandMenu {
  public:
    CommandMenu(Platform& platform, AppState& state, PictureWindow& picture, TrayHost& tray)
        : platform_(platform), state_(state), picture_(picture), tray_(tray) {}

    void Run(Command command);
    // Sets every check mark from the options as they are.
    void ShowCheckMarks();
    // After a dialog or message the picture goes back to the band the option names.
    void ReturnToChosenBand();

  private:
    void ChangePicture();
    void ToggleAlwaysOnTop();
    void ToggleTransparent();
    void ToggleSmoothEdges();
    void SaveState();
    // A message in front of the picture, which then goes back to its band.
    void Tell(const char* text, MessageKind kind);

    Platform& platform_;
    AppState& state_;
    PictureWindow& picture_;
    TrayHost& tray_;
};

} // namespace zorvane
