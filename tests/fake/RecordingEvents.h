#pragma once

#include "app/Platform.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zorvane::fake {

// Records what a platform tells the program, for the platforms' own tests.
struct RecordingEvents : PlatformEvents {
    void Started() override {}
    void Ending() override { ++endings; }
    void TrayIconClicked(MouseButton button) override { trayClicks.push_back(button); }
    void TrayRestarted() override { ++trayRestarts; }
    void StartedAgain() override { ++startedAgain; }
    void Timer(TimerId id) override { timers.push_back(id); }
    bool PictureWindowClosing(CloseReason reason) override {
        closing.push_back(reason);
        return keepWindow;
    }
    void PictureClicked(MouseButton button, PixelPoint at) override {
        clicks.push_back({button, at});
    }
    void CommandChosen(Command command) override { commands.push_back(command); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        loaded.push_back({ticket, std::move(load)});
    }
    void WorkDone(std::uint64_t ticket) override { worked.push_back(ticket); }

    struct Click {
        MouseButton button;
        PixelPoint at;
        friend bool operator==(const Click&, const Click&) = default;
    };
    std::vector<MouseButton> trayClicks;
    int endings = 0, trayRestarts = 0, startedAgain = 0;
    std::vector<TimerId> timers;
    std::vector<CloseReason> closing;
    bool keepWindow = true; // the answer to a close
    std::vector<Click> clicks;
    std::vector<Command> commands;
    std::vector<std::pair<std::uint64_t, PictureLoad>> loaded;
    std::vector<std::uint64_t> worked;
};

} // namespace zorvane::fake
