#include "platform/qt/QtPlatform.h"

#include "app/Settings.h"
#include "app/Texts.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/IniSettings.h"
#include "platform/qt/PictureLoader.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

namespace zorvane::qt {
namespace {

// Notes the application's Quit event before Qt closes the windows for it.
class QuitWatch final : public QObject {
  public:
    explicit QuitWatch(bool& quitting) : quitting_(quitting) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            quitting_ = true;
        return false;
    }

  private:
    bool& quitting_;
};

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

// Closes the menus and modal dialogs on screen, innermost first, so that each one's own
// loop returns; one that will not close is left.
void CloseModals() {
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup)
            return;
    }
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            return;
    }
}

// Qt shows the tray icon as a StatusNotifierItem when, as the first icon is made, a host has
// registered with the session's watcher; such a host (a panel over D-Bus) opens the icon's
// menu itself, and only one the icon exports.
bool StatusNotifierHostRegistered() {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher))
        return false;
    QDBusInterface iface(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return iface.property("IsStatusNotifierHostRegistered").toBool();
}

// The text of the first of these files that holds some, trimmed; "" for none.
std::string FirstLine(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray line = file.readLine(256).trimmed();
            if (!line.isEmpty())
                return line.toStdString();
        }
    }
    return {};
}

// Whether a session bus can be reached without starting one: named in the environment, the
// user's bus (systemd's, in the runtime folder), or one launched for this display before.
bool SessionBusWithinReach(const DisplayProbe& display) {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(QString::fromLocal8Bit(runtime + "/bus")))
        return true;
    const passwd* user = getpwuid(getuid());
    return user && display.LaunchedSessionBus(
                       user->pw_name, FirstLine({"/etc/machine-id", "/var/lib/dbus/machine-id"}));
}

} // namespace

int ScaledFontDpi(const QByteArray& scaleFactor, int baseDpi) {
    bool ok = false;
    const double factor = scaleFactor.trimmed().toDouble(&ok);
    if (!ok || !(factor > 0) || factor == 1 || baseDpi <= 0)
        return 0;
    return int(std::clamp(std::lround(baseDpi * factor), 24L, 2400L));
}

Environment PrepareEnvironment() {
    Environment env;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    int baseDpi = qEnvironmentVariableIntValue("QT_FONT_DPI");
    if (qgetenv("QT_QPA_PLATFORM").startsWith("xcb")) {
        const QByteArray display = qgetenv("DISPLAY");
        if (display.isEmpty()) {
            env.missing = "Zorvane: no X11 display (DISPLAY is not set): run it in an X11 "
                          "session, or in a Wayland session with XWayland.";
            return env;
        }
        env.display = std::make_unique<DisplayProbe>();
        if (!env.display->open()) {
            env.missing = "Zorvane: cannot open the X11 display " + display.toStdString() +
                          ": run it in an X11 session, or in a Wayland session with XWayland.";
            return env;
        }
        if (baseDpi <= 0)
            baseDpi = env.display->xftDpi();
        // With no session bus to reach, libdbus would start one at the tray's first question
        // (dbus-launch --autolaunch: about 40 ms before the picture shows), a bus of this
        // program's own with no tray host or notification service on it, left running until
        // the display closes. The program goes without instead.
        if (!SessionBusWithinReach(*env.display))
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zorvane-no-session-bus");
    }
    // Qt's scaling would draw the picture larger and smoothed, with window places
    // and sizes in scaled units that cannot hold every device pixel at 1.25 or 1.5.
    // The windows stay in device pixels instead, and the factor goes into the font
    // dpi: text, dialogs and menus keep the size asked for, and the saved place (kept in
    // fractions of an inch) follows it.
    const int fontDpi = ScaledFontDpi(qgetenv("QT_SCALE_FACTOR"), baseDpi > 0 ? baseDpi : 96);
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS"); // per screen; the program has one dpi
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    if (fontDpi > 0)
        qputenv("QT_FONT_DPI", QByteArray::number(fontDpi));
    // Qt's own event loop wakes with fewer system calls than GLib's, at every frame of an
    // animation; GLib's is kept where a GTK platform theme may run its dialogs in it (a desktop
    // that names itself, or a theme asked for), and where the user chose.
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP").toUpper();
    const bool gtkMayRun =
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME") ||
        (!desktop.isEmpty() && !desktop.contains("KDE") && !desktop.contains("LXQT"));
    if (!gtkMayRun && !qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    return env;
}

std::optional<MouseButton> TrayButton(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Context: // as the right button goes down
        return MouseButton::Right;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        return MouseButton::Left;
    case QSystemTrayIcon::MiddleClick:
        return MouseButton::Middle;
    default:
        return std::nullopt;
    }
}

QtPlatform::QtPlatform()
    : loadsDone_(std::make_unique<QObject>()),
      loads_(&LoadPictureFile, [this](LoadWorkers::Job job, std::uint64_t ticket) {
          QMetaObject::invokeMethod(
              loadsDone_.get(),
              [this, job, ticket] {
                  if (job == LoadWorkers::Job::Load)
                      LoadEnded(ticket);
                  else
                      WorkEnded(ticket);
              },
              Qt::QueuedConnection);
      }) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        if (const qreal dpi = screen->logicalDotsPerInchX(); dpi > 0)
            dpiX_ = dpi;
        if (const qreal dpi = screen->logicalDotsPerInchY(); dpi > 0)
            dpiY_ = dpi;
    }
    icon_ = QIcon(QStringLiteral(":/zorvane.ico"));

    // The session's end quits the application (Qt's session management): Ending runs, as on
    // Windows when the session ends. Quit() quits too, but then events() is null and nothing
    // runs.
    quitWatch_ = std::make_unique<QuitWatch>(quitting_);
    QCoreApplication::instance()->installEventFilter(quitWatch_.get());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, quitWatch_.get(),
                     [this] {
                         if (PlatformEvents* events = this->events())
                             events->Ending();
                     });
}

QtPlatform::~QtPlatform() {
    ending_ = true;
    if (tray_)
        tray_->hide();
    tray_.reset();
    menu_.reset();
    window_.reset();
    signals_.reset();
    quitWatch_.reset();
}

int QtPlatform::Run(PlatformEvents& events) {
    events_ = &events;
    events.Started();
    // Startup may already have ended the program (another copy runs); an exit() before
    // exec() would be lost.
    if (!ending_) {
        running_ = true;
        QApplication::exec();
        running_ = false;
    }
    ending_ = true;
    return 0;
}

void QtPlatform::EndOnTerminationSignals() {
    if (signals_)
        return;
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signals_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] {
        char buffer[64];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (PlatformEvents* events = this->events())
            events->Ending();
        Quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

QtPictureWindow& QtPlatform::Window() {
    if (!window_)
        window_ = std::make_unique<QtPictureWindow>(*this);
    return *window_;
}

QtPictureView& QtPlatform::View() {
    return Window().view();
}

QtCommandMenu& QtPlatform::Menu() {
    if (!menu_)
        menu_ = std::make_unique<QtCommandMenu>();
    return *menu_;
}

void QtPlatform::SetChecked(Command command, bool checked) {
    Menu().SetChecked(command, checked);
}

void QtPlatform::OpenMenu(PixelPoint at) {
    if (busy_.Busy())
        return;
    std::optional<Command> picked;
    {
        const auto busy = busy_.Enter();
        picked = Menu().Popup(Origin() + QPoint(at.x, at.y));
    }
    // As on Windows, the command arrives after the menu has closed.
    if (picked)
        if (PlatformEvents* events = this->events())
            events->CommandChosen(*picked);
}

void QtPlatform::ShowMessage(const std::string& text, MessageKind kind) {
    const auto busy = busy_.Enter();
    QMessageBox box(MessageIcon(kind), QString::fromUtf8(kTitle), MessageText(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // a file name may hold '<'
    // Qt copies a message box's text only on Windows; users of both expect it.
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box, [&box] {
        QGuiApplication::clipboard()->setText(MessageCopyText(box.windowTitle(), box.text()));
    });
    box.exec();
}

void QtPlatform::LoadEnded(std::uint64_t ticket) {
    std::optional<PictureLoad> load = loads_.Take(ticket);
    if (!load)
        return;
    inFlight_.erase(ticket);
    if (PlatformEvents* events = this->events())
        events->PictureLoaded(ticket, std::move(*load));
}

void QtPlatform::StartWork(std::uint64_t ticket, std::function<void()> work) {
    loads_.Run(ticket, std::move(work));
}

void QtPlatform::WorkEnded(std::uint64_t ticket) {
    if (!loads_.TakeWork(ticket))
        return;
    if (PlatformEvents* events = this->events())
        events->WorkDone(ticket);
}

void QtPlatform::StartLoad(std::uint64_t ticket, const std::string& path) {
    inFlight_.insert(ticket);
    if (!loads_.Start(ticket, path)) {
        inFlight_.erase(ticket);
        if (PlatformEvents* events = this->events())
            events->PictureLoaded(ticket, load::Fail(load::kNoMemory));
    }
}

std::string QtPlatform::ReadSetting(const std::string& key) {
    return qt::ReadSetting(kSettingsApp, kSettingsSection, key).value_or("");
}

bool QtPlatform::WriteSetting(const std::string& key, const std::string& text) {
    return qt::WriteSetting(kSettingsApp, kSettingsSection, key, text);
}

bool QtPlatform::AnotherCopyRuns() {
    if (instance_.held())
        return false;
    const auto folder = LockFolder(std::getenv("XDG_RUNTIME_DIR"), "/tmp", ::getuid());
    // Without a safe place for the lock no copy can be told from another;
    // that must not keep this one from running.
    if (!folder)
        return false;
    lockPath_ = *folder + "/" + LockFileName(std::getenv("DISPLAY"));
    switch (instance_.Acquire(lockPath_)) {
    case InstanceLock::Result::HeldElsewhere:
        return true;
    case InstanceLock::Result::Acquired:
        // Where it cannot listen, a new start only ends, as it always did.
        calls_.Listen(CallSocketPath(lockPath_), [this] {
            if (PlatformEvents* events = this->events())
                events->StartedAgain();
        });
        return false;
    case InstanceLock::Result::Unavailable:
        break;
    }
    return false;
}

bool QtPlatform::CallRunningCopy() {
    return !lockPath_.empty() && !instance_.held() && CallListeningCopy(CallSocketPath(lockPath_));
}

Screen QtPlatform::PrimaryScreen() {
    Screen s;
    s.twipsPerPixelX = float(1440.0 / dpiX_);
    s.twipsPerPixelY = float(1440.0 / dpiY_);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        s.width = screen->geometry().width();
        s.height = screen->geometry().height();
    }
    return s;
}

QPoint QtPlatform::Origin() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

std::vector<Monitor> QtPlatform::Monitors() {
    auto fromOrigin = [o = Origin()](const QRect& r) {
        return PixelRect{r.x() - o.x(), r.y() - o.y(), r.width(), r.height()};
    };
    std::vector<Monitor> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.push_back(
            {fromOrigin(screen->geometry()), fromOrigin(screen->availableGeometry())});
    return monitors;
}

bool QtPlatform::AddTrayIcon() {
    if (!tray_) {
        tray_ = std::make_unique<QSystemTrayIcon>(icon_);
        tray_->setToolTip(QString::fromUtf8(kTitle));
        // Queued, as the Windows tray posts its callback: the menu and whatever is
        // picked from it (Exit removes the icon) run after the icon's own mouse
        // handler has returned, never under it.
        QObject::connect(
            tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
            [this](QSystemTrayIcon::ActivationReason r) { TrayActivated(r); },
            Qt::QueuedConnection);
        // An XEmbed tray leaves the menu to the program, and Qt would open one it is given
        // at the press; a D-Bus host needs it exported.
        if (StatusNotifierHostRegistered())
            tray_->setContextMenu(
                &Menu().Exported([this](Command command) { ExportedCommandPicked(command); }));
    }
    tray_->show();
    // A Linux desktop may have no tray (yet). Qt holds the icon and docks it once one
    // starts, so the add is done all the same; until then the user should know where
    // the menu is.
    if (!QSystemTrayIcon::isSystemTrayAvailable() && !toldNoTray_) {
        toldNoTray_ = true;
        qWarning("Zorvane: this desktop has no system tray; the icon will show when one "
                 "starts. Until then, right-click the picture, or start Zorvane again, for the "
                 "menu.");
    }
    return true;
}

bool QtPlatform::ModifyTrayIcon() {
    // Qt keeps the icon and its tip as they were given: only whether it is there to modify.
    return tray_ && tray_->isVisible();
}

bool QtPlatform::RemoveTrayIcon() {
    if (!tray_ || !tray_->isVisible())
        return false;
    tray_->hide();
    return true;
}

bool QtPlatform::TrayHostPresent() {
    // An XEmbed tray's selection, or a D-Bus host registered with the session's watcher.
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtPlatform::Notify(const std::string& text) {
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // A service the bus would start counts as one that runs.
    const QDBusConnectionInterface* names = bus.interface();
    if (!names->isServiceRegistered(service) &&
        !names->activatableServiceNames().value().contains(service))
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    call << QStringLiteral("Zorvane") << 0u << QStringLiteral("zorvane")
         << QString::fromUtf8(kTitle) << MessageText(text) << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("zorvane")}} << -1;
    // Within a second, as a new start waits for the running copy: a service that does not
    // answer by then is taken for none, and the menu shows instead.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PixelPoint QtPlatform::MousePosition() {
    const QPoint at = QCursor::pos() - Origin();
    return {at.x(), at.y()};
}

void QtPlatform::StartTimer(TimerId id, int milliseconds) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] {
            if (PlatformEvents* events = this->events())
                events->Timer(id);
        });
    }
    timer->start(milliseconds);
}

void QtPlatform::StopTimer(TimerId id) {
    if (auto it = timers_.find(id); it != timers_.end())
        it->second->stop();
}

void QtPlatform::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
    const std::optional<MouseButton> button = TrayButton(reason);
    if (PlatformEvents* events = this->events(); events && button)
        events->TrayIconClicked(*button);
}

void QtPlatform::ExportedCommandPicked(Command command) {
    // As from the program's own menu: not while a dialog holds the program, and the command
    // arrives once the host's menu has done its part.
    QMetaObject::invokeMethod(
        tray_.get(),
        [this, command] {
            if (PlatformEvents* events = this->events(); events && !busy_.Busy())
                events->CommandChosen(command);
        },
        Qt::QueuedConnection);
}

std::optional<std::string> QtPlatform::ChoosePicture() {
    const auto busy = busy_.Enter();
    const QString name = QFileDialog::getOpenFileName(
        nullptr, QString(), QString::fromStdString(lastOpened_), QtFileFilter(kPictureFilter));
    if (name.isEmpty())
        return std::nullopt;
    lastOpened_ = name.toStdString();
    return lastOpened_;
}

void QtPlatform::Quit() {
    ending_ = true;
    // The end may come under a message box, the Open dialog or the menu, even at startup
    // before the main loop runs (a signal): closing them lets their loops return, and
    // what called them finds the program ending.
    CloseModals();
    // Only a running loop can be left; exit() with none running would make
    // the next modal loop of this thread return at once.
    if (running_)
        QCoreApplication::exit(0);
}

} // namespace zorvane::qt
