#pragma once

#include "host/Busy.h"
#include "host/LoadWorkers.h"
#include "host/Runtime.h"
#include "platform/qt/InstanceCall.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/X11State.h"

#include <QIcon>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

class QSocketNotifier;

namespace zorvane::qt {

class HiddenForm;
class DispForm;
class CommandMenu;

// Sets what the platform needs before the QApplication is made: Qt's X11
// platform (a Wayland client can neither place its own windows nor keep them
// above others; under Wayland the program runs through XWayland), and no
// high-DPI scaling, so that one picture pixel is one device pixel and positions
// are device pixels; a scale factor asked for goes into the font dpi.
struct Environment {
    std::string missing; // the line to tell the user when there is no X display to run on
    std::unique_ptr<DisplayProbe> display; // to hold until the QApplication is made
};
Environment PrepareEnvironment();

// The font dpi that gives text the size the scale factor (QT_SCALE_FACTOR's
// text) asks for over baseDpi; 0 when the text asks for no scaling.
int ScaledFontDpi(const QByteArray& scaleFactor, int baseDpi);

// The tray message a Qt activation stands for.
int TrayMessage(QSystemTrayIcon::ActivationReason reason);

// The windowing runtime over Qt Widgets. Needs a QApplication; lives on its thread.
class QtRuntime final : public Runtime {
  public:
    QtRuntime();
    ~QtRuntime() override;

    // Runs the host's load handler, then the event loop until the program ends.
    int Run(Events& events);
    // Lets SIGTERM, SIGINT and SIGHUP end the program as the session's end
    // would: the terminate handler runs (the tray icon goes), then End.
    void EndOnTerminationSignals();

    Form& GetForm(FormName name) override;
    ShapeControl& Vesquin1() override;
    bool Checked(MenuItem item) override;
    void SetChecked(MenuItem item, bool checked) override;
    void TrackPopupMenu(std::int16_t x, std::int16_t y) override;
    void MsgBox(const std::string& text, int style, const std::string& title) override;
    void StartLoad(std::uint64_t ticket, const std::string& path) override;
    void StartWork(std::uint64_t ticket, std::function<void()> work) override;
    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& defaultText) override;
    bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
    bool PrevInstance() override;
    bool CallRunningCopy() override;
    ScreenMetrics Screen() override;
    std::vector<Monitor> Monitors() override;
    bool NotifyIcon(int message, const TrayIconRecord& record) override;
    bool TrayHostPresent() override;
    bool Notify(const std::string& title, const std::string& text) override;
    PixelPoint MousePosition() override;
    void SetTimer(TimerId id, int milliseconds) override;
    void KillTimer(TimerId id) override;
    std::optional<std::string> ShowOpen(const std::string& filter) override;
    void End() override;

    // Where the windows' events go; null before Run and once the program is ending.
    Events* events() const { return ending_ ? nullptr : events_; }
    // For tests that drive the handlers without Run.
    void SetEvents(Events* events) { events_ = events; }
    bool ending() const { return ending_; }
    // The application was asked to quit (the session is ending): the windows
    // Qt closes now are closed by the system, not by the user.
    bool quitting() const { return quitting_; }
    // Where the primary monitor's top left corner is on the X screen: the program's
    // (0, 0), as on Windows, so that a saved place means the same spot on both builds
    // and a monitor left of or above the primary one has negative coordinates.
    QPoint Origin() const;
    float TwipsPerPixelX() const { return twipsPerPixelX_; }
    float TwipsPerPixelY() const { return twipsPerPixelY_; }
    const QIcon& AppIcon() const { return icon_; }
    // Loads started and not yet handed to the program.
    bool Loading() const { return !inFlight_.empty(); }

    HiddenForm& Host();
    DispForm& Disp();
    CommandMenu& Menu();
    HiddenForm& MenuForm();
    // Null until the icon is first added.
    QSystemTrayIcon* Tray() const { return tray_.get(); }

  private:
    void TrayActivated(QSystemTrayIcon::ActivationReason reason);
    // An item picked in the menu the tray host opened.
    void ExportedMenuPicked(MenuItem item);
    // On the GUI thread: hands an ended load to the program.
    void LoadEnded(std::uint64_t ticket);
    void WorkEnded(std::uint64_t ticket);

    Events* events_ = nullptr;
    bool ending_ = false;
    bool running_ = false;
    bool quitting_ = false;
    BusyCount busy_;
    float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
    QIcon icon_;
    InstanceLock instance_;
    std::string lockPath_;
    CallListener calls_; // goes before the lock: its socket file is the lock holder's
    std::string lastOpened_;
    bool trayCallback_ = false; // the icon reports the mouse as the program asked
    bool toldNoTray_ = false;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
    std::unique_ptr<HiddenForm> host_;
    std::unique_ptr<DispForm> disp_;
    std::unique_ptr<HiddenForm> menuForm_;
    std::unique_ptr<CommandMenu> menu_;
    std::unique_ptr<QSocketNotifier> signals_;
    std::unique_ptr<QObject> quitWatch_;
    // Ended jobs come back through this object's queue on the GUI thread; the workers go
    // first, so none posts to it once it is gone.
    std::unique_ptr<QObject> loadsDone_;
    std::set<std::uint64_t> inFlight_;
    LoadWorkers loads_;
};

} // namespace zorvane::qt
