#pragma once

#include "app/Busy.h"
#include "app/LoadWorkers.h"
#include "app/Platform.h"
#include "platform/qt/InstanceCall.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtCommandMenu.h"
#include "platform/qt/QtPictureWindow.h"
#include "platform/qt/X11State.h"

#include <QIcon>
#include <QPoint>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QSocketNotifier;

namespace zorvane::qt {

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

// The button a Qt activation of the tray icon stands for; none for what is no click.
std::optional<MouseButton> TrayButton(QSystemTrayIcon::ActivationReason reason);

// The platform over Qt Widgets. Needs a QApplication; lives on its thread.
class QtPlatform final : public Platform {
  public:
    QtPlatform();
    ~QtPlatform() override;

    // Starts the program, then runs the event loop until it ends.
    int Run(PlatformEvents& events);
    // Lets SIGTERM, SIGINT and SIGHUP end the program as the session's end
    // would: Ending runs (the tray icon goes), then Quit.
    void EndOnTerminationSignals();

    QtPictureWindow& Window() override;
    QtPictureView& View() override;
    void SetChecked(Command command, bool checked) override;
    void OpenMenu(PixelPoint at) override;
    void ShowMessage(const std::string& text, MessageKind kind) override;
    std::optional<std::string> ChoosePicture() override;
    void StartLoad(std::uint64_t ticket, const std::string& path) override;
    void StartWork(std::uint64_t ticket, std::function<void()> work) override;
    std::string ReadSetting(const std::string& key) override;
    bool WriteSetting(const std::string& key, const std::string& text) override;
    bool AnotherCopyRuns() override;
    bool CallRunningCopy() override;
    Screen PrimaryScreen() override;
    std::vector<Monitor> Monitors() override;
    PixelPoint MousePosition() override;
    bool AddTrayIcon() override;
    bool ModifyTrayIcon() override;
    bool RemoveTrayIcon() override;
    bool TrayHostPresent() override;
    bool Notify(const std::string& text) override;
    void StartTimer(TimerId id, int milliseconds) override;
    void StopTimer(TimerId id) override;
    void Quit() override;

    // Where the windows' events go; null before Run and once the program is ending.
    PlatformEvents* events() const { return ending_ ? nullptr : events_; }
    // For tests that take the events without Run.
    void SetEvents(PlatformEvents* events) { events_ = events; }
    bool ending() const { return ending_; }
    // The application was asked to quit (the session is ending): the windows
    // Qt closes now are closed by the system, not by the user.
    bool quitting() const { return quitting_; }
    // Where the primary monitor's top left corner is on the X screen: the program's
    // (0, 0), as on Windows, so that a saved place means the same spot on both builds
    // and a monitor left of or above the primary one has negative coordinates.
    QPoint Origin() const;
    const QIcon& AppIcon() const { return icon_; }
    // Loads started and not yet handed to the program.
    bool Loading() const { return !inFlight_.empty(); }

    QtCommandMenu& Menu();
    // Null until the icon is first added.
    QSystemTrayIcon* Tray() const { return tray_.get(); }

  private:
    void TrayActivated(QSystemTrayIcon::ActivationReason reason);
    // A command picked in the menu the tray host opened.
    void ExportedCommandPicked(Command command);
    // On the GUI thread: hands an ended load to the program.
    void LoadEnded(std::uint64_t ticket);
    void WorkEnded(std::uint64_t ticket);

    PlatformEvents* events_ = nullptr;
    bool ending_ = false;
    bool running_ = false;
    bool quitting_ = false;
    BusyCount busy_;
    qreal dpiX_ = 96, dpiY_ = 96; // the primary screen's logical dpi, as the program starts
    QIcon icon_;
    InstanceLock instance_;
    std::string lockPath_;
    CallListener calls_; // goes before the lock: its socket file is the lock holder's
    std::string lastOpened_;
    bool toldNoTray_ = false;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::map<TimerId, std::unique_ptr<QTimer>> timers_;
    std::unique_ptr<QtPictureWindow> window_;
    std::unique_ptr<QtCommandMenu> menu_;
    std::unique_ptr<QSocketNotifier> signals_;
    std::unique_ptr<QObject> quitWatch_;
    // Ended jobs come back through this object's queue on the GUI thread; the workers go
    // first, so none posts to it once it is gone.
    std::unique_ptr<QObject> loadsDone_;
    std::set<std::uint64_t> inFlight_;
    LoadWorkers loads_;
};

} // namespace zorvane::qt
