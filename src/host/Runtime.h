#pragma once

#include "picture/Animation.h"
#include "picture/Cutout.h"
#include "picture/Picture.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// All the program knows of the windowing runtime. Text is UTF-8; positions and
// sizes are single-precision twips, as the saved settings hold them.
namespace zorvane {

enum class FormName { TIMESTMP, C_Disp, C_Menu };

enum class MenuItem { p_PicSelect, p_top, p_scale, p_smooth, p_savepic, p_help, p_about, p_end };
inline constexpr std::size_t kMenuItemCount = std::size_t(MenuItem::p_end) + 1;

// Message box styles.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbCritical = 16;
inline constexpr int vbInformation = 64;

// Mouse buttons as the mouse events report them.
inline constexpr int vbLeftButton = 1;
inline constexpr int vbRightButton = 2;
inline constexpr int vbMiddleButton = 4;

// Form_QueryUnload reasons.
inline constexpr int vbFormControlMenu = 0; // the user's close command (Alt+F4)
inline constexpr int vbAppWindows = 2;      // the session is ending

// A window of the runtime: created hidden at its first reference, lives until the end.
class Form {
  public:
    virtual ~Form() = default;
    virtual float Left() = 0;
    virtual float Top() = 0;
    virtual float Width() = 0;
    virtual float Height() = 0;
    virtual void SetLeft(float twips) = 0;
    virtual void SetTop(float twips) = 0;
    virtual void SetWidth(float twips) = 0;
    virtual void SetHeight(float twips) = 0;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual void Show() = 0; // modeless
    virtual void Hide() = 0;
    // SetWindowPos(HWND_TOPMOST or HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE).
    virtual void SetTopmost(bool on) = 0;
    virtual void Unload() = 0;
};

// The shape control on C_Disp: shows the picture and cuts its window to the outline.
class ShapeControl {
  public:
    virtual ~ShapeControl() = default;
    // The two Boolean properties set before every load: the control takes the
    // picture's size, and a left-button drag on it moves its window.
    virtual void SetAutoSize(bool on) = 0;
    virtual void SetDragMovesForm(bool on) = 0;
    virtual void SetPicture(std::shared_ptr<const Picture> picture) = 0;
    virtual float Left() = 0;
    virtual float Width() = 0;
    virtual float Height() = 0;
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

struct PictureLoad {
    std::shared_ptr<const Picture> picture; // null when the file could not be shown
    std::string error;                      // why, in words for the user
    // For a picture of more than one frame: the frames, picture being the first.
    std::shared_ptr<Animation> animation;
};

struct ScreenMetrics {
    float width = 0, height = 0; // twips
    float twipsPerPixelX = 15, twipsPerPixelY = 15;
};

struct TwipsRect {
    float left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

// A rectangle in pixels, as twips.
inline TwipsRect PixelRectToTwips(int left, int top, int width, int height, float twipsPerPixelX,
                                  float twipsPerPixelY) {
    return {float(left) * twipsPerPixelX, float(top) * twipsPerPixelY,
            float(width) * twipsPerPixelX, float(height) * twipsPerPixelY};
}

// A point on the screen in pixels, from the program's (0, 0).
struct PixelPoint {
    int x = 0, y = 0;
};

struct Monitor {
    TwipsRect bounds;
    TwipsRect workArea;
};

// C_Disp as designed: its place and size before a picture fits it.
inline constexpr TwipsRect kDispDesignBounds{2085, 1170, 1020, 870};
// The shape control's width and height, in pixels, while it holds no picture.
inline constexpr int kShapeDesignPixels = 34;

// The host window's tray icon as the program fills it in. The icon is the host's own;
// the shell's record around these fields is the backend's.
struct TrayIconRecord {
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;           // which of the fields below count (kNif...)
    std::uint32_t uCallbackMessage = 0; // arrives as a mouse move over the host
    std::string szTip;                  // 64 characters: the title, a zero, blanks
};

inline constexpr std::uint32_t kNifMessage = 1, kNifIcon = 2, kNifTip = 4;
inline constexpr int kNimAdd = 0;
inline constexpr int kNimModify = 1;
inline constexpr int kNimDelete = 2;

// The program's timers; each fires again and again until killed.
enum class TimerId { TrayRetry, Animation, Announce };

class Runtime {
  public:
    virtual ~Runtime() = default;

    virtual Form& GetForm(FormName name) = 0;
    virtual ShapeControl& Vesquin1() = 0;

    virtual bool Checked(MenuItem item) = 0;
    virtual void SetChecked(MenuItem item, bool checked) = 0;
    // Opens the first submenu of C_Menu's menu bar at (x, y) screen pixels; a
    // picked item comes back later as a click on C_Menu.
    virtual void TrackPopupMenu(std::int16_t x, std::int16_t y) = 0;

    virtual void MsgBox(const std::string& text, int style, const std::string& title) = 0;
    // Opens, checks and decodes the picture file away from the windows, so that a large or
    // slow file never holds them up; the result comes back later as PictureLoaded(ticket) on
    // this thread. A load cannot be cancelled: one no longer wanted still ends that way.
    virtual void StartLoad(std::uint64_t ticket, const std::string& path) = 0;
    // Runs `work` away from the windows, as a load runs; WorkDone(ticket) follows on this
    // thread once it has ended. `work` must not throw, and must own all it touches: work no
    // longer wanted still runs to its end, perhaps after the windows have gone.
    virtual void StartWork(std::uint64_t ticket, std::function<void()> work) = 0;

    // A value that is absent, or not text, reads as defaultText.
    virtual std::string GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& defaultText) = 0;
    // False when the store refused the value.
    virtual bool SaveSetting(const std::string& app, const std::string& section,
                             const std::string& key, const std::string& text) = 0;

    virtual bool PrevInstance() = 0;
    // A start while another copy runs (PrevInstance): tells that copy it was started again, and
    // waits at most a second for its answer. False when no copy answered.
    virtual bool CallRunningCopy() = 0;
    virtual ScreenMetrics Screen() = 0;
    virtual std::vector<Monitor> Monitors() = 0;

    virtual bool NotifyIcon(int message, const TrayIconRecord& record) = 0;
    // Whether the desktop has a tray that shows icons now. Windows always has its notification
    // area (one that refuses the icon yet is waited for); a Linux desktop may have none.
    virtual bool TrayHostPresent() = 0;
    // A desktop notification; false where no notification service runs to show it.
    virtual bool Notify(const std::string& title, const std::string& text) = 0;
    virtual PixelPoint MousePosition() = 0;

    // Starts, or restarts, the timer: Timer(id) every `milliseconds` until it is killed.
    virtual void SetTimer(TimerId id, int milliseconds) = 0;
    virtual void KillTimer(TimerId id) = 0;
    // The time now, to see how long a step took: the system's monotonic clock.
    virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }

    // The Open dialog of dlg1 with one filter ("name|pattern"); it starts from
    // the last name chosen. Nothing on cancel.
    virtual std::optional<std::string> ShowOpen(const std::string& filter) = 0;

    // Ends the program at once: no unload or terminate handling runs.
    virtual void End() = 0;
};

// What the runtime delivers to the program.
class Events {
  public:
    virtual ~Events() = default;
    virtual void TIMESTMP_Form_Load() = 0;
    virtual void TIMESTMP_Form_MouseMove(int button, int shift, float x, float y) = 0;
    virtual void TIMESTMP_Form_Terminate() = 0;
    // Explorer restarted and lost every tray icon.
    virtual void TIMESTMP_TaskbarCreated() = 0;
    // The program was started again while this copy runs (CallRunningCopy).
    virtual void TIMESTMP_StartedAgain() = 0;
    virtual void Timer(TimerId id) = 0;
    // Returns Cancel.
    virtual bool C_Disp_Form_QueryUnload(int unloadMode) = 0;
    virtual void C_Disp_Vesquin1_MouseEvent(int button, int shift, float x, float y) = 0;
    virtual void C_Menu_Click(MenuItem item) = 0;
    // A load StartLoad began has ended, with the picture or why it could not be shown.
    virtual void PictureLoaded(std::uint64_t ticket, PictureLoad load) = 0;
    // Work StartWork began has ended.
    virtual void WorkDone(std::uint64_t ticket) = 0;
};

} // namespace zorvane
