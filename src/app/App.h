#pragma once

#include "app/AppState.h"
#include "app/CommandMenu.h"
#include "app/PictureWindow.h"
#include "app/Platform.h"
#include "app/TrayHost.h"

namespace zorvane {

// What a running copy is known by, so that a second one ends at once.
inline constexpr const char* kInstanceName = "Zorvane.Ver1.1.SingleInstance";

// The whole program: what the user chose, the tray icon, the picture and the command menu,
// each event handed to the one it concerns.
class App final : public PlatformEvents {
  public:
    explicit App(Platform& platform)
        : tray_(platform, state_, picture_, menu_), picture_(platform, state_, menu_),
          menu_(platform, state_, picture_, tray_) {}

    void Started() override { tray_.Start(); }
    void Ending() override { tray_.Ending(); }
    void TrayIconClicked(MouseButton button) override { tray_.IconClicked(button); }
    void TrayRestarted() override { tray_.TrayRestarted(); }
    void StartedAgain() override { tray_.StartedAgain(); }
    void Timer(TimerId id) override {
        switch (id) {
        case TimerId::TrayRetry:
            return tray_.RetryTimer();
        case TimerId::Animation:
            return picture_.AnimationTimer();
        case TimerId::Announce:
            return tray_.AnnounceTimer();
        }
    }
    bool PictureWindowClosing(CloseReason reason) override { return picture_.Closing(reason); }
    void PictureClicked(MouseButton button, PixelPoint at) override {
        picture_.Clicked(button, at);
    }
    void CommandChosen(Command command) override { menu_.Run(command); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        picture_.PictureLoaded(ticket, std::move(load));
    }
    void WorkDone(std::uint64_t ticket) override { picture_.WorkDone(ticket); }

    const AppState& state() const { return state_; }

  private:
    AppState state_;
    TrayHost tray_;
    PictureWindow picture_;
    CommandMenu menu_;
};

} // namespace zorvane
