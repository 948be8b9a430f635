#pragma once

#include "app/AppState.h"
#include "app/Platform.h"

namespace zorvane {

class CommandMenu;
class PictureWindow;

// Started at sign-in, the program may come before the taskbar: a refused icon is
// offered again this often, this many times (two minutes), and at once when the
// taskbar announces itself.
inline constexpr int kTrayRetryMs = 2000;
inline constexpr int kTrayRetries = 60;

// Startup, and the tray icon by which the user reaches the program.
class TrayHost {
  public:
    TrayHost(Platform& platform, AppState& state, PictureWindow& picture, CommandMenu& menu)
        : platform_(platform), state_(state), picture_(picture), menu_(menu) {}

    void Start();
    void IconClicked(MouseButton button);
    void Ending();
    // The tray (re)started: the icon has to be added again.
    void TrayRestarted();
    void RetryTimer();
    // Another start asked this copy to come to the user: without a tray icon to reach it by,
    // the command menu opens at the mouse pointer.
    void StartedAgain();
    // Once the program runs, on a desktop without a tray and with no picture to show: the user
    // is told how to reach it.
    void AnnounceTimer();
    // Removes the tray icon, if it was added.
    void RemoveIcon();

  private:
    void AddIcon();
    // Adds the icon; true when the tray has it.
    bool OfferIcon();
    void StartRetries();
    void StopRetries();
    bool IconShown();

    Platform& platform_;
    AppState& state_;
    PictureWindow& picture_;
    CommandMenu& menu_;
    bool iconWanted_ = false; // added, or to be added when the tray takes it
    bool iconAdded_ = false;
    bool retrying_ = false;
    int retriesLeft_ = 0;
};

} // namespace zorvane
