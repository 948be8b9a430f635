#include "platform/qt/QtRuntime.h"

#include "host/Conversions.h"
#include "host/TIMESTMP.h"
#include "picture/LoadMessages.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/Forms.h"
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
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    }
    // Qt's scaling would draw the picture larger and smoothed, with window places
    // and sizes in scaled units that cannot hold every device pixel at 1.25 or 1.5.
    // The windows stay in device pixels instead, and the factor goes into the font
    // dpi: text, dialogs and menus keep the size asked for, and the twips follow it.
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

int TrayMessage(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Context:
        return kTrayRightDown; // Qt reports it as the right button goes down
    case QSystemTrayIcon::Trigger:
        return kTrayLeftUp;
    case QSystemTrayIcon::DoubleClick:
        return kTrayLeftDoubleClick;
    case QSystemTrayIcon::MiddleClick:
        return kTrayMiddleUp;
    default:
        return kTrayMouseMove;
    }
}

QtRuntime::QtRuntime()
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
        const qreal dpiX = screen->logicalDotsPerInchX();
        const qreal dpiY = screen->logicalDotsPerInchY();
        if (dpiX > 0)
            twipsPerPixelX_ = float(1440.0 / dpiX);
        if (dpiY > 0)
            twipsPerPixelY_ = float(1440.0 / dpiY);
    }
    icon_ = QIcon(QStringLiteral(":/zorvane.ico"));

    // The session's end quits the application (Qt's session management):
    // the terminate handler runs, as on Windows when the session ends. End()
    // quits too, but then events() is null and nothing runs.
    quitWatch_ = std::make_unique<QuitWatch>(quitting_);
    QCoreApplication::instance()->installEventFilter(quitWatch_.get());
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, quitWatch_.get(),
                     [this] {
                         if (Events* events = this->events())
                             events->TIMESTMP_Form_Terminate();
                     });
}

QtRuntime::~QtRuntime() {
    ending_ = true;
    if (tray_)
        tray_->hide();
    tray_.reset();
    menu_.reset();
    menuForm_.reset();
    disp_.reset();
    host_.reset();
    signals_.reset();
    quitWatch_.reset();
}

int QtRuntime::Run(Events& events) {
    events_ = &events;
    Host();
    events.TIMESTMP_Form_Load();
    // The load handler may already have ended the program (another copy runs);
    // an exit() before exec() would be lost.
    if (!ending_) {
        running_ = true;
        QApplication::exec();
        running_ = false;
    }
    ending_ = true;
    return 0;
}

void QtRuntime::EndOnTerminationSignals() {
    if (signals_)
        return;
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signals_ = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signals_.get(), &QSocketNotifier::activated, [this] {
        char buffer[64];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (Events* events = this->events())
            events->TIMESTMP_Form_Terminate();
        End();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

HiddenForm& QtRuntime::Host() {
    // The host unloaded: with no window left the program ends.
    if (!host_)
        host_ = std::make_unique<HiddenForm>(*this, [this] { End(); });
    return *host_;
}

DispForm& QtRuntime::Disp() {
    if (!disp_)
        disp_ = std::make_unique<DispForm>(*this);
    return *disp_;
}

CommandMenu& QtRuntime::Menu() {
    if (!menu_)
        menu_ = std::make_unique<CommandMenu>();
    return *menu_;
}

HiddenForm& QtRuntime::MenuForm() {
    if (!menuForm_)
        menuForm_ = std::make_unique<HiddenForm>(*this, nullptr);
    Menu();
    return *menuForm_;
}

Form& QtRuntime::GetForm(FormName name) {
    switch (name) {
    case FormName::TIMESTMP:
        return Host();
    case FormName::C_Disp:
        return Disp();
    case FormName::C_Menu:
        break;
    }
    return MenuForm();
}

ShapeControl& QtRuntime::Vesquin1() {
    return Disp().Vesquin1();
}

bool QtRuntime::Checked(MenuItem item) {
    return Menu().Checked(item);
}
void QtRuntime::SetChecked(MenuItem item, bool checked) {
    Menu().SetChecked(item, checked);
}

void QtRuntime::TrackPopupMenu(std::int16_t x, std::int16_t y) {
    if (busy_.Busy())
        return;
    std::optional<MenuItem> picked;
    {
        const auto busy = busy_.Enter();
        const QPoint o = Origin();
        picked = Menu().Popup(o.x() + x, o.y() + y);
    }
    // As on Windows, the click arrives after the menu has closed.
    if (picked)
        if (Events* events = this->events())
            events->C_Menu_Click(*picked);
}

void QtRuntime::MsgBox(const std::string& text, int style, const std::string& title) {
    const auto busy = busy_.Enter();
    QMessageBox box(MessageIcon(style), QString::fromStdString(title), MessageText(text),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText); // a file name may hold '<'
    // Qt copies a message box's text only on Windows; users of both expect it.
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box, [&box] {
        QGuiApplication::clipboard()->setText(MessageCopyText(box.windowTitle(), box.text()));
    });
    box.exec();
}

void QtRuntime::LoadEnded(std::uint64_t ticket) {
    std::optional<PictureLoad> load = loads_.Take(ticket);
    if (!load)
        return;
    inFlight_.erase(ticket);
    if (Events* events = this->events())
        events->PictureLoaded(ticket, std::move(*load));
}

void QtRuntime::StartWork(std::uint64_t ticket, std::function<void()> work) {
    loads_.Run(ticket, std::move(work));
}

void QtRuntime::WorkEnded(std::uint64_t ticket) {
    if (!loads_.TakeWork(ticket))
        return;
    if (Events* events = this->events())
        events->WorkDone(ticket);
}

void QtRuntime::StartLoad(std::uint64_t ticket, const std::string& path) {
    inFlight_.insert(ticket);
    if (!loads_.Start(ticket, path)) {
        inFlight_.erase(ticket);
        if (Events* events = this->events())
            events->PictureLoaded(ticket, load::Fail(load::kNoMemory));
    }
}

std::string QtRuntime::GetSetting(const std::string& app, const std::string& section,
                                  const std::string& key, const std::string& defaultText) {
    return ReadSetting(app, section, key).value_or(defaultText);
}

bool QtRuntime::SaveSetting(const std::string& app, const std::string& section,
                            const std::string& key, const std::string& text) {
    return WriteSetting(app, section, key, text);
}

bool QtRuntime::PrevInstance() {
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
            if (Events* events = this->events())
                events->TIMESTMP_StartedAgain();
        });
        return false;
    case InstanceLock::Result::Unavailable:
        break;
    }
    return false;
}

bool QtRuntime::CallRunningCopy() {
    return !lockPath_.empty() && !instance_.held() && CallListeningCopy(CallSocketPath(lockPath_));
}

ScreenMetrics QtRuntime::Screen() {
    ScreenMetrics s;
    s.twipsPerPixelX = twipsPerPixelX_;
    s.twipsPerPixelY = twipsPerPixelY_;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        s.width = float(screen->geometry().width()) * twipsPerPixelX_;
        s.height = float(screen->geometry().height()) * twipsPerPixelY_;
    }
    return s;
}

QPoint QtRuntime::Origin() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

std::vector<Monitor> QtRuntime::Monitors() {
    auto toTwips = [this, o = Origin()](const QRect& r) {
        return PixelRectToTwips(r.x() - o.x(), r.y() - o.y(), r.width(), r.height(),
                                twipsPerPixelX_, twipsPerPixelY_);
    };
    std::vector<Monitor> monitors;
    for (const QScreen* screen : QGuiApplication::screens())
        monitors.push_back({toTwips(screen->geometry()), toTwips(screen->availableGeometry())});
    return monitors;
}

bool QtRuntime::NotifyIcon(int message, const TrayIconRecord& record) {
    if (message == kNimDelete) {
        if (!tray_ || !tray_->isVisible())
            return false;
        tray_->hide();
        return true;
    }
    if (message != kNimAdd && message != kNimModify)
        return false;
    if (!tray_) {
        tray_ = std::make_unique<QSystemTrayIcon>();
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
                &Menu().Exported([this](MenuItem item) { ExportedMenuPicked(item); }));
    }
    // The mouse reaches the program only as the callback it asked for: a mouse
    // move over the host, whose X carries the mouse message.
    if (record.uFlags & kNifMessage)
        trayCallback_ = record.uCallbackMessage == std::uint32_t(kTrayCallbackMessage);
    if (record.uFlags & kNifIcon)
        tray_->setIcon(icon_);
    if (record.uFlags & kNifTip) {
        const std::string& tip = record.szTip;
        tray_->setToolTip(QString::fromStdString(tip.substr(0, tip.find('\0'))));
    }
    if (message == kNimAdd)
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

bool QtRuntime::TrayHostPresent() {
    // An XEmbed tray's selection, or a D-Bus host registered with the session's watcher.
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtRuntime::Notify(const std::string& title, const std::string& text) {
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
         << QString::fromStdString(title) << MessageText(text) << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("zorvane")}} << -1;
    // Within a second, as a new start waits for the running copy: a service that does not
    // answer by then is taken for none, and the menu shows instead.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PixelPoint QtRuntime::MousePosition() {
    const QPoint at = QCursor::pos() - Origin();
    return {at.x(), at.y()};
}

void QtRuntime::SetTimer(TimerId id, int milliseconds) {
    std::unique_ptr<QTimer>& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] {
            if (Events* e = events())
                e->Timer(id);
        });
    }
    timer->start(milliseconds);
}

void QtRuntime::KillTimer(TimerId id) {
    if (auto it = timers_.find(id); it != timers_.end())
        it->second->stop();
}

void QtRuntime::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
    Events* events = this->events();
    if (!events || !trayCallback_)
        return;
    events->TIMESTMP_Form_MouseMove(0, 0, PixelsToTwips(TrayMessage(reason), twipsPerPixelX_), 0);
}

void QtRuntime::ExportedMenuPicked(MenuItem item) {
    // As from the program's own menu: not while a dialog holds the program, and the click
    // arrives once the host's menu has done its part.
    QMetaObject::invokeMethod(
        tray_.get(),
        [this, item] {
            if (Events* events = this->events(); events && !busy_.Busy())
                events->C_Menu_Click(item);
        },
        Qt::QueuedConnection);
}

std::optional<std::string> QtRuntime::ShowOpen(const std::string& filter) {
    const auto busy = busy_.Enter();
    const QString name = QFileDialog::getOpenFileName(
        nullptr, QString(), QString::fromStdString(lastOpened_), QtFileFilter(filter));
    if (name.isEmpty())
        return std::nullopt;
    lastOpened_ = name.toStdString();
    return lastOpened_;
}

void QtRuntime::End() {
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
