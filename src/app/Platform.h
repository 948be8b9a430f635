#pragma once

#include "app/Command.h"
#include "app/PictureLoad.h"
#include "core/Cutout.h"
#include "core/Geometry.h"
#include "core/Picture.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// All the program knows of the desktop it runs on. Text is UTF-8; places and sizes are
// pixels from the primary monitor's top left corner.
namespace zorvane {

enum class MessageKind { Plain, Information, Critical };

enum class MouseButton { Left, Right, Middle };

// Why the picture window is asked to close.
enum class CloseReason {
    User,       // the user's close command (Alt+F4)
    SessionEnd, // the session is ending
};

// The program's timers; each fires again and again until stopped.
enum class TimerId { TrayRetry, Animation, Announce };

// The window the picture stands in: frameless, without a taskbar entry. It exists from the
// start, hidden, and lives until the end.
class PlatformWindow {
  public:
    virtual ~PlatformWindow() = default;
    virtual PixelRect Bounds() = 0;
    virtual void Move(int left, int top) = 0;
    virtual void Resize(int width, int height) = 0;
    virtual bool Visible() = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Into or out of the band above all other windows, without moving or sizing it.
    virtual void SetTopmost(bool on) = 0;
};

// What the picture window shows: the picture at its own size, at the window's top left corner.
// A left-button drag on it moves the window.
class PictureView {
  public:
    virtual ~PictureView() = default;
    virtual void SetPicture(std::shared_ptr<const Picture> picture) = 0;
    // True when the desktop blends the window with what lies behind it pixel by pixel (a
    // compositing desktop), so that soft edges can show as such; asked at each picture and
    // each change of the outline.
    virtual bool BlendsPixels() = 0;
    // Cuts the window to the picture's cutout: only its outline shows and answers the mouse,
    // with the cutout's pixels. A cutout without pixels (no picture yet) changes nothing.
    virtual void CutTo(const Cutout& cut) = 0;
    // Gives the window back its whole rectangle, the picture as it is.
    virtual void PlainRectangle() = 0;
    // The next frame of an animated picture, the size of the one shown; with a cutout (made
    // from this frame), the window is cut to it.
    virtual void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) = 0;
};

struct Screen {
    int width = 0, height = 0; // of the primary monitor
    // The saved places are in twips (1/1440 inch): this many to a pixel on this screen.
    float twipsPerPixelX = 15, twipsPerPixelY = 15;
};

class Platform {
  public:
    virtual ~Platform() = default;

    virtual PlatformWindow& Window() = 0;
    virtual PictureView& View() = 0;

    // The command menu's check marks; the program sets each whenever its option changes.
    virtual void SetChecked(Command command, bool checked) = 0;
    // Opens the command menu at this point of the screen; a command picked comes back later
    // as CommandChosen.
    virtual void OpenMenu(PixelPoint at) = 0;

    // A message box with the program's title, waiting for OK.
    virtual void ShowMessage(const std::string& text, MessageKind kind) = 0;
    // The Open dialog for pictures; it starts from the last name chosen. Nothing on cancel.
    virtual std::optional<std::string> ChoosePicture() = 0;

    // Opens, checks and decodes the picture file away from the windows, so that a large or
    // slow file never holds them up; the result comes back later as PictureLoaded(ticket) on
    // this thread. A load cannot be cancelled: one no longer wanted still ends that way.
    virtual void StartLoad(std::uint64_t ticket, const std::string& path) = 0;
    // Runs `work` away from the windows, as a load runs; WorkDone(ticket) follows on this
    // thread once it has ended. `work` must not throw, and must own all it touches: work no
    // longer wanted still runs to its end, perhaps after the windows have gone.
    virtual void StartWork(std::uint64_t ticket, std::function<void()> work) = 0;

    // The per-user settings. A value that is absent, or not text, reads as "".
    virtual std::string ReadSetting(const std::string& key) = 0;
    // False when the store refused the value.
    virtual bool WriteSetting(const std::string& key, const std::string& text) = 0;

    // Whether another copy of the program runs for this user.
    virtual bool AnotherCopyRuns() = 0;
    // Tells the copy that runs that it was started again, and waits at most a second for its
    // answer. False when no copy answered.
    virtual bool CallRunningCopy() = 0;

    virtual Screen PrimaryScreen() = 0;
    virtual std::vector<Monitor> Monitors() = 0;
    virtual PixelPoint MousePosition() = 0;

    // The tray icon, with the program's title as its tip: false when the tray refused it
    // (or, to modify or remove, does not have it).
    virtual bool AddTrayIcon() = 0;
    virtual bool ModifyTrayIcon() = 0;
    virtual bool RemoveTrayIcon() = 0;
    // Whether the desktop has a tray that shows icons now. Windows always has its notification
    // area (one that refuses the icon yet is waited for); a Linux desktop may have none.
    virtual bool TrayHostPresent() = 0;
    // A desktop notification with the program's title; false where no notification service
    // runs to show it.
    virtual bool Notify(const std::string& text) = 0;

    // Starts, or restarts, the timer: Timer(id) every `milliseconds` until it is stopped.
    virtual void StartTimer(TimerId id, int milliseconds) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // The time now, to see how long a step took: the system's monotonic clock.
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

    // Ends the program at once: the Ending event does not run.
    virtual void Quit() = 0;
};

// What the platform tells the program, always on the thread of its windows.
class PlatformEvents {
  public:
    virtual ~PlatformEvents() = default;
    virtual void Started() = 0;
    // The program is ending by the session's end or a request from outside.
    virtual void Ending() = 0;
    virtual void TrayIconClicked(MouseButton button) = 0;
    // The tray (Explorer) restarted and lost every icon.
    virtual void TrayRestarted() = 0;
    // The program was started again while this copy runs (CallRunningCopy).
    virtual void StartedAgain() = 0;
    virtual void Timer(TimerId id) = 0;
    // True to keep the window open.
    virtual bool PictureWindowClosing(CloseReason reason) = 0;
    // A click on the picture (the button released over it), at this point of it. A left-button
    // drag moves the window, and is no click.
    virtual void PictureClicked(MouseButton button, PixelPoint at) = 0;
    virtual void CommandChosen(Command command) = 0;
    // A load StartLoad began has ended, with the picture or why it could not be shown.
    virtual void PictureLoaded(std::uint64_t ticket, PictureLoad load) = 0;
    // Work StartWork began has ended.
    virtual void WorkDone(std::uint64_t ticket) = 0;
};

} // namespace zorvane
