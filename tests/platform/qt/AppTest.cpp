#include "app/App.h"
#include "Support.h"
#include "platform/qt/IniSettings.h"
#include "platform/qt/InstanceCall.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"

#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <signal.h>
#include <sys/stat.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace zorvane::qt {
namespace {
using namespace test;

std::string LockPath(const UserDirs& dirs) {
    return dirs.run + "/" + LockFileName(std::getenv("DISPLAY"));
}

// The whole program on the Qt platform, started with saved settings.
struct AppOnQt : ::testing::Test {
    // A 64 x 48 picture: a 4-pixel mask-green frame around red.
    std::string SavePicture() {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor(0, 128, 0));
        for (int y = 4; y < 44; ++y)
            for (int x = 4; x < 60; ++x)
                image.setPixel(x, y, 0xFFC02020);
        const QString path = pics.filePath("猫.bmp");
        image.save(path, "BMP");
        return path.toStdString();
    }
    void SaveSettings(const std::string& picture, const char* scale, const char* always) {
        const std::pair<const char*, std::string> values[] = {{"Save", picture},
                                                              {"Left", "3000"},
                                                              {"Top", "1500"},
                                                              {"Scale", scale},
                                                              {"Always", always}};
        for (const auto& [key, text] : values)
            ASSERT_TRUE(platform.WriteSetting(key, text));
    }
    // Runs the program; `whileRunning` runs once its loop does and the saved picture's load has
    // ended, then it ends. False when the program ended before its loop ran.
    static bool RunProgram(QtPlatform& platform, App& app,
                           const std::function<void()>& whileRunning) {
        bool ran = false;
        QTimer timer;
        QElapsedTimer waited;
        waited.start();
        QObject::connect(&timer, &QTimer::timeout, [&] {
            // The timer fires under a message box at startup too, whose answer comes first:
            // ending under it would close it unanswered; and the saved picture's load ends first.
            if (QApplication::activeModalWidget() ||
                (platform.Loading() && waited.elapsed() < 20000)) {
                timer.start(10);
                return;
            }
            timer.stop();
            ran = true;
            whileRunning();
            platform.Quit();
        });
        timer.start(0);
        platform.Run(app);
        return ran;
    }
    bool RunProgram(const std::function<void()>& whileRunning) {
        return RunProgram(platform, app, whileRunning);
    }
    PictureWidget& window() { return platform.Window().widget(); }
    QAction* action(QtPlatform& on, Command command) { return on.Menu().action(command); }

    UserDirs dirs;
    QTemporaryDir pics;
    QtPlatform platform;
    App app{platform};
};

TEST_F(AppOnQt, StartupShowsTheSavedPictureAtItsPlaceShapedAndInItsBand) {
    struct Case {
        const char* scale;
        const char* always;
        bool shaped, topmost;
    } cases[] = {{"True", "1", true, true}, {"False", "0", false, false}};
    for (const Case& c : cases) {
        SaveSettings(SavePicture(), c.scale, c.always);
        QtPlatform fresh;
        App freshApp(fresh);
        EXPECT_TRUE(RunProgram(fresh, freshApp, [&] {
            PictureWidget& w = fresh.Window().widget();
            EXPECT_TRUE(w.isVisible());
            EXPECT_EQ(w.geometry(), QRect(200, 100, 64, 48));
            EXPECT_EQ(w.mask().boundingRect(), c.shaped ? QRect(4, 4, 56, 40) : QRect());
            EXPECT_EQ(bool(w.windowFlags() & Qt::WindowStaysOnTopHint), c.topmost);
            EXPECT_EQ(action(fresh, Command::Transparent)->isChecked(), c.shaped);
            EXPECT_EQ(action(fresh, Command::AlwaysOnTop)->isChecked(), c.topmost);
            EXPECT_TRUE(action(fresh, Command::SmoothEdges)->isChecked()); // none saved: on
            ASSERT_NE(fresh.Tray(), nullptr);
            EXPECT_TRUE(fresh.Tray()->isVisible());
            EXPECT_EQ(fresh.Tray()->toolTip(), "Zorvane Ver1.1");
        }));
    }
}

TEST_F(AppOnQt, APictureThatCannotBeShownIsReportedAndTheProgramRunsOn) {
    const std::string missing = pics.filePath("gone.bmp").toStdString();
    SaveSettings(missing, "True", "0");
    QString text, title;
    QMessageBox::Icon icon{};
    auto answer = Answer<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_TRUE(RunProgram([&] {
        EXPECT_FALSE(window().isVisible());
        EXPECT_FALSE(platform.ending());
    }));
    EXPECT_EQ(text, QString::fromStdString("次のファイルを表示できませんでした。\n\n" + missing +
                                           "\n\nファイルが見つかりません。"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(title, "Zorvane Ver1.1");
}

TEST_F(AppOnQt, WhileAnotherCopyRunsItEndsAtOnceShowingNothing) {
    SaveSettings(SavePicture(), "True", "1");
    InstanceLock other;
    ASSERT_EQ(other.Acquire(LockPath(dirs)), InstanceLock::Result::Acquired);
    EXPECT_FALSE(RunProgram([] {}));
    EXPECT_EQ(platform.Tray(), nullptr);
    EXPECT_FALSE(window().isVisible());
}

TEST_F(AppOnQt, MenuFromThePictureAndTheTrayTogglesOptionsAndExits) {
    SaveSettings(SavePicture(), "True", "0");
    QPoint shownAt;
    auto pick = [&](Qt::Key key, const std::function<void()>& open) {
        auto answer = Answer<QMenu>([&](QMenu* m) {
            shownAt = m->pos();
            QTest::keyClick(m, key);
        });
        open();
    };
    auto rightClick = [&] { QTest::mouseClick(&window(), Qt::RightButton, {}, QPoint(10, 6)); };
    bool exited = true;
    RunProgram([&] {
        pick(Qt::Key_W, rightClick); // Transparent off
        EXPECT_EQ(shownAt, QPoint(210, 106));
        EXPECT_TRUE(window().mask().isEmpty());
        EXPECT_FALSE(action(platform, Command::Transparent)->isChecked());
        pick(Qt::Key_T, rightClick); // Always on top on
        EXPECT_TRUE(window().windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_TRUE(window().isVisible());
        EXPECT_TRUE(action(platform, Command::AlwaysOnTop)->isChecked());
        // The tray's right button opens the menu at the screen's far corner.
        QRect shown;
        auto answer = Answer<QMenu>([&](QMenu* m) {
            shown = m->geometry();
            m->close();
        });
        emit platform.Tray()->activated(QSystemTrayIcon::Context);
        QCoreApplication::sendPostedEvents();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        EXPECT_TRUE(shown.contains(screen.bottomRight() - QPoint(10, 10)));
        pick(Qt::Key_E, rightClick); // Exit
        exited = platform.ending();
    });
    EXPECT_TRUE(exited);
    EXPECT_FALSE(platform.Tray()->isVisible()); // no dead icon left behind
}

TEST_F(AppOnQt, TheSessionsQuitClosesThePictureAndRemovesTheTrayIcon) {
    SaveSettings(SavePicture(), "True", "0");
    // Logging out quits the application: Qt first closes every window, and
    // one that refuses would keep the session from ending.
    QTimer quit, guard;
    QObject::connect(&quit, &QTimer::timeout, [] { QCoreApplication::quit(); });
    QObject::connect(&guard, &QTimer::timeout, [&] { platform.Quit(); });
    quit.start(0);
    guard.start(3000);
    QElapsedTimer took;
    took.start();
    platform.Run(app);
    EXPECT_LT(took.elapsed(), 2000);
    EXPECT_FALSE(window().isVisible());
    EXPECT_FALSE(platform.Tray()->isVisible()); // Ending ran
}

// The program's end (a signal, as the session ends) can come while it waits on a message
// box, the Open dialog or the menu, even the box at startup before its main loop runs:
// what is open closes, and the program ends at once.
TEST_F(AppOnQt, ItEndsAtOnceUnderAMessageBoxTheOpenDialogOrTheMenu) {
    const std::string picture = SavePicture();
    const std::string missing = pics.filePath("gone.bmp").toStdString();
    const struct {
        const char* name;
        const std::string& save;
        std::function<void(QtPlatform&, App&)> open; // in the main loop; none at startup
    } cases[] = {
        {"the box of the saved picture's load", missing, nullptr},
        {"About's box", picture, [](QtPlatform&, App& a) { a.CommandChosen(Command::About); }},
        {"the Open dialog", picture,
         [](QtPlatform&, App& a) { a.CommandChosen(Command::ChangePicture); }},
        {"the menu", picture,
         [](QtPlatform& p, App&) {
             QTest::mouseClick(&p.Window().widget(), Qt::RightButton, {}, QPoint(10, 6));
         }},
    };
    for (const auto& c : cases) {
        SaveSettings(c.save, "True", "0");
        QtPlatform fresh;
        App freshApp(fresh);
        bool opened = false;
        auto end = [&](QWidget*) {
            opened = true;
            fresh.Quit();
        };
        auto box = Answer<QMessageBox>(end);
        auto dialog = Answer<QFileDialog>(end);
        auto menu = Answer<QMenu>(end);
        // Should the end leave something open, it is answered later, as the user would.
        QTimer late;
        late.setSingleShot(true);
        QObject::connect(&late, &QTimer::timeout, [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                modal->reject();
        });
        late.start(3000);
        QElapsedTimer took;
        took.start();
        const bool ran = RunProgram(fresh, freshApp, [&] {
            took.restart();
            if (c.open)
                c.open(fresh, freshApp);
            else // the message of the saved picture's load, which ends the loop as it shows
                (void)QTest::qWaitFor([&] { return opened; }, 3000);
        });
        EXPECT_LT(took.elapsed(), 2000) << c.name;
        EXPECT_TRUE(opened) << c.name;
        EXPECT_TRUE(ran || !c.open) << c.name;
        EXPECT_TRUE(fresh.ending()) << c.name;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.name;
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << c.name;
    }
}

// Who holds a flock on the file, as the kernel lists it; 0 for no one. Looking
// must not take the lock: a copy starting meanwhile would think another runs.
long LockHolder(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return 0;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(st.st_ino);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream in(line);
        std::string n, kind, mode, access, pid, file;
        in >> n >> kind >> mode >> access >> pid >> file;
        if (kind == "FLOCK" && file.size() > inode.size() && file.ends_with(inode))
            return std::stol(pid);
    }
    return 0;
}

// The real executable: one copy per user and display; signals end it cleanly.
TEST(ZorvaneQtProcess, ASecondCopyEndsAtOnceAndTheLockGoesWithTheFirst) {
    UserDirs dirs;
    for (const int sig : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
        QProcess first;
        first.start(ZORVANE_QT_EXE, {});
        ASSERT_TRUE(WaitFor([&] { return LockHolder(LockPath(dirs)) == first.processId(); }, 10000))
            << sig;
        if (sig == SIGKILL) {
            QProcess second;
            second.start(ZORVANE_QT_EXE, {});
            EXPECT_TRUE(second.waitForFinished(10000));
            EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(second.exitCode(), 0);
            QtPlatform platform;
            EXPECT_TRUE(platform.AnotherCopyRuns());
        }
        ::kill(pid_t(first.processId()), sig);
        EXPECT_TRUE(first.waitForFinished(10000)) << sig;
        // A signal it handles ends it through the program: a normal exit.
        EXPECT_EQ(first.exitStatus(), sig == SIGKILL ? QProcess::CrashExit : QProcess::NormalExit)
            << sig;
        EXPECT_EQ(LockHolder(LockPath(dirs)), 0) << sig; // let go, however it ended
        // Its socket goes with it, but for a kill: the one left refuses, and the next copy
        // listens in its place.
        const std::string socket = CallSocketPath(LockPath(dirs));
        EXPECT_EQ(QFile::exists(QString::fromStdString(socket)), sig == SIGKILL) << sig;
        EXPECT_FALSE(CallListeningCopy(socket)) << sig;
    }
    QtPlatform platform;
    EXPECT_FALSE(platform.AnotherCopyRuns());
}

// An xcb reply, which the caller frees.
struct FreeReply {
    void operator()(void* r) const { std::free(r); }
};
template <class T> std::unique_ptr<T, FreeReply> Reply(T* r) {
    return std::unique_ptr<T, FreeReply>(r);
}

// Whether a window of the process is mapped on the display (Qt gives each its _NET_WM_PID).
// No window manager runs on the tests' display: top-level windows are the root's children.
bool ShowsAWindow(qint64 pid) {
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    xcb_connection_t* x = connection.get();
    if (xcb_connection_has_error(x))
        return false;
    const auto pidAtom =
        Reply(xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, 11, "_NET_WM_PID"), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const auto tree = Reply(xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr));
    if (!pidAtom || !tree)
        return false;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const auto attributes = Reply(
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, children[i]), nullptr));
        const auto property = Reply(xcb_get_property_reply(
            x, xcb_get_property(x, 0, children[i], pidAtom->atom, XCB_ATOM_CARDINAL, 0, 1),
            nullptr));
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && property &&
            xcb_get_property_value_length(property.get()) == 4 &&
            *static_cast<const std::uint32_t*>(xcb_get_property_value(property.get())) == pid)
            return true;
    }
    return false;
}

// A signal (the session's end) ends the program promptly even under the message box at
// startup, before its main loop runs: the box closes, the tray icon goes, and it exits.
TEST(ZorvaneQtProcess, ASignalUnderTheStartupMessageBoxEndsItPromptly) {
    UserDirs dirs;
    QTemporaryDir pics;
    ASSERT_TRUE(WriteSetting("Kelvra", "Kelvra", "Save", pics.filePath("gone.bmp").toStdString()));
    for (const int sig : {SIGTERM, SIGHUP}) {
        QProcess p;
        p.start(ZORVANE_QT_EXE, {});
        // The picture cannot be shown: its message box is the one window the program maps.
        ASSERT_TRUE(WaitFor([&] { return ShowsAWindow(p.processId()); }, 10000)) << sig;
        QElapsedTimer took;
        took.start();
        ::kill(pid_t(p.processId()), sig);
        EXPECT_TRUE(p.waitForFinished(2000)) << sig;
        EXPECT_LT(took.elapsed(), 2000) << sig;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << sig;
        EXPECT_EQ(p.exitCode(), 0) << sig;
        EXPECT_EQ(LockHolder(LockPath(dirs)), 0) << sig;
    }
}

// No X display to run on: one line says what is missing, and the program ends
// with status 1 rather than Qt's abort.
TEST(ZorvaneQtProcess, WithoutAnXDisplayItSaysSoAndEndsWithStatusOne) {
    const struct {
        const char* name;
        std::vector<std::pair<QString, QString>> set;
        QStringList unset;
        const char* says;
    } cases[] = {
        {"no DISPLAY", {}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, "DISPLAY is not set"},
        {"Wayland without XWayland",
         {{"WAYLAND_DISPLAY", "wayland-0"}},
         {"DISPLAY", "QT_QPA_PLATFORM"},
         "DISPLAY is not set"},
        {"a display nobody serves",
         {{"DISPLAY", ":4999"}},
         {"QT_QPA_PLATFORM"},
         "cannot open the X11 display :4999"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : c.unset)
            env.remove(name);
        for (const auto& [name, value] : c.set)
            env.insert(name, value);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(ZORVANE_QT_EXE, {});
        ASSERT_TRUE(p.waitForFinished(10000)) << c.name;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << c.name;
        EXPECT_EQ(p.exitCode(), 1) << c.name;
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_TRUE(err.contains(QLatin1String(c.says)) && err.contains("XWayland") &&
                    err.count('\n') == 1)
            << c.name << ": " << err.toStdString();
    }
}

} // namespace
} // namespace zorvane::qt
