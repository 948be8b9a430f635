#include "platform/qt/QtPlatform.h"
#include "Support.h"
#include "app/LoadWorkers.h"
#include "app/Texts.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/X11State.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QWindow>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <tuple>

namespace zorvane::qt {
namespace {
using namespace test;

struct QtPlatformTest : ::testing::Test {
    void SetUp() override { platform.SetEvents(&events); }
    PictureWidget& window() { return platform.Window().widget(); }
    // As the program shows a picture: sized to it, placed, shaped, shown.
    void ShowPicture(std::shared_ptr<Picture> p, int x, int y, bool shaped) {
        QtPictureWindow& w = platform.Window();
        QtPictureView& view = platform.View();
        view.SetPicture(p);
        w.Resize(p->width, p->height);
        w.Move(x, y);
        shaped ? view.CutTo(MakeCutout(*p, Edges::Hard)) : view.PlainRectangle();
        w.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    }

    RecordingEvents events;
    QtPlatform platform;
};

TEST_F(QtPlatformTest, ScreenAndMonitorsAreInPixelsWithTheTwipsOfTheLogicalDpi) {
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    const Screen s = platform.PrimaryScreen();
    EXPECT_EQ(s.twipsPerPixelX, 15); // Xvfb's 96 dpi
    EXPECT_EQ(s.twipsPerPixelY, 15);
    EXPECT_EQ(s.width, g.width());
    EXPECT_EQ(s.height, g.height());
    const PixelRect whole{0, 0, g.width(), g.height()};
    ASSERT_EQ(platform.Monitors().size(), 1u);
    EXPECT_EQ(platform.Monitors()[0].bounds, whole);
    EXPECT_EQ(platform.Monitors()[0].workArea, whole); // no panel without a window manager
}

TEST_F(QtPlatformTest, PictureWindowStartsHiddenAtItsDesignPlaceAsAFramelessTool) {
    QtPictureWindow& w = platform.Window();
    EXPECT_FALSE(w.Visible());
    // Where it was designed to stand, at Xvfb's 96 dpi.
    EXPECT_EQ(w.Bounds(), (PixelRect{139, 78, 68, 58}));
    EXPECT_EQ(window().geometry(), QRect(139, 78, 68, 58));
    const Qt::WindowFlags flags = window().windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool); // no taskbar entry
    EXPECT_EQ(window().cursor().shape(), Qt::SizeAllCursor);
    EXPECT_EQ(&platform.Window(), &w); // one window, made once
}

// The program ends at once: nothing more reaches it, and a second copy ends this way too.
TEST_F(QtPlatformTest, QuitEndsAtOnceAndNothingMoreReachesTheProgram) {
    EXPECT_FALSE(platform.ending());
    platform.Quit();
    EXPECT_TRUE(platform.ending());
    EXPECT_EQ(platform.events(), nullptr);
}

TEST_F(QtPlatformTest, TimersFireUntilStoppedAndRestartAtTheirNewPace) {
    platform.StartTimer(TimerId::Animation, 10);
    platform.StartTimer(TimerId::Announce, 0);
    EXPECT_TRUE(WaitFor([&] {
        return std::count(events.timers.begin(), events.timers.end(), TimerId::Animation) >= 3;
    }));
    platform.StopTimer(TimerId::Announce);
    platform.StartTimer(TimerId::Animation, 60000); // restarted: no tick for a minute
    platform.StopTimer(TimerId::TrayRetry);         // never started: nothing to stop
    events.timers.clear();
    QTest::qWait(100);
    EXPECT_TRUE(events.timers.empty());
    platform.StopTimer(TimerId::Animation);
}

TEST_F(QtPlatformTest, TopmostTogglesInPlaceWithoutHidingOrMoving) {
    ShowPicture(FramedPicture(40, 30), 300, -20, false);
    QtPictureWindow& w = platform.Window();
    EXPECT_EQ(window().geometry(), QRect(300, -20, 40, 30));
    EXPECT_EQ(w.Bounds(), (PixelRect{300, -20, 40, 30}));
    const WId id = window().windowHandle()->winId();
    for (bool on : {true, false, true}) {
        w.SetTopmost(on);
        EXPECT_EQ(bool(window().windowFlags() & Qt::WindowStaysOnTopHint), on);
        EXPECT_EQ(bool(window().windowHandle()->flags() & Qt::WindowStaysOnTopHint), on);
        EXPECT_TRUE(w.Visible());
        EXPECT_EQ(window().pos(), QPoint(300, -20));
        EXPECT_EQ(window().windowHandle()->winId(), id); // the same X window, not a new one
    }
    w.Hide();
    EXPECT_FALSE(w.Visible());
    w.Show();
    EXPECT_TRUE(w.Visible());
}

TEST_F(QtPlatformTest, TopmostReachesTheX11WindowState) {
    if (QStandardPaths::findExecutable("xprop").isEmpty())
        GTEST_SKIP() << "xprop (x11-utils) is not installed";
    auto above = [&] {
        QProcess xprop;
        const WId id = window().windowHandle()->winId(); // QWidget::winId() may be stale
        xprop.start("xprop", {"-id", QString::number(id), "_NET_WM_STATE"});
        xprop.waitForFinished();
        return xprop.readAllStandardOutput().contains("_NET_WM_STATE_ABOVE");
    };
    QtPictureWindow& w = platform.Window();
    // With no window manager the state is what the window sets on itself as it maps.
    for (bool on : {true, false, true}) {
        w.Hide();
        w.SetTopmost(on);
        w.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        EXPECT_EQ(above(), on) << on;
    }
}

TEST_F(QtPlatformTest, TopmostOfAShownWindowAsksTheWindowManagerEvenJustAfterShow) {
    // Watches the root window as a window manager would for _NET_WM_STATE requests.
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    auto atom = [&](const char* name) {
        auto* r = xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, std::uint16_t(strlen(name)), name),
                                        nullptr);
        const xcb_atom_t a = r->atom;
        free(r);
        return a;
    };
    const xcb_atom_t state = atom("_NET_WM_STATE"), above = atom("_NET_WM_STATE_ABOVE");

    QtPictureWindow& w = platform.Window();
    w.Show();
    w.SetTopmost(true); // before Qt has seen the window mapped
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    w.SetTopmost(false);
    const auto id = xcb_window_t(window().windowHandle()->winId());
    std::vector<std::uint32_t> asked; // 1 add, 0 remove
    WaitFor(
        [&] {
            while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
                const auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE && m->type == state &&
                    m->window == id && m->data.data32[1] == above &&
                    (asked.empty() || asked.back() != m->data.data32[0]))
                    asked.push_back(m->data.data32[0]);
                free(e);
            }
            return asked.size() >= 2;
        },
        1000);
    xcb_disconnect(x);
    EXPECT_EQ(asked, (std::vector<std::uint32_t>{1, 0}));
}

TEST_F(QtPlatformTest, ShapeMasksExactlyThePicturePixels) {
    auto pattern = std::make_shared<Picture>(*FramedPicture(30, 20, 0));
    QRegion expected;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            if ((x / 3 + y / 2) % 3 == 0 && x != y)
                pattern->pixels[std::size_t(y) * 30 + x] = 0xFF008000;
            else
                expected += QRect(x, y, 1, 1);
        }
    struct Case {
        const char* name;
        std::shared_ptr<Picture> picture;
        QRegion mask;
    } cases[] = {
        {"framed", FramedPicture(40, 30), QRegion(2, 2, 36, 26)},
        {"pattern", pattern, expected},
    };
    for (const Case& c : cases) {
        platform.View().SetPicture(c.picture);
        platform.View().CutTo(MakeCutout(*c.picture, Edges::Hard));
        EXPECT_TRUE(window().mask().xored(c.mask).isEmpty()) << c.name; // the same pixels
        platform.View().PlainRectangle();
        EXPECT_TRUE(window().mask().isEmpty()) << c.name;
    }
    // All mask colour: nothing of the window may stay (an empty QRegion would mean no mask).
    const auto allMask = FramedPicture(10, 10, 5);
    platform.View().SetPicture(allMask);
    platform.View().CutTo(MakeCutout(*allMask, Edges::Hard));
    EXPECT_FALSE(window().mask().isEmpty());
    EXPECT_TRUE(window().mask().intersected(window().rect()).isEmpty());
}

TEST_F(QtPlatformTest, ShapedWindowShowsOnlyThePictureOnScreen) {
    // Alpha 0 inside: the window shows the colour and ignores the alpha byte.
    ShowPicture(FramedPicture(40, 30, 2, 0x00C02020), 300, 200, true);
    auto pixel = [](int x, int y) {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage();
        return shot.pixel(0, 0) & 0xFFFFFF;
    };
    EXPECT_TRUE(WaitFor([&] { return pixel(320, 215) == 0xC02020; }));
    EXPECT_NE(pixel(300, 200), 0x008000u); // cut away: the desktop shows through
    // As a new picture is shown in the other band: Qt may make a new X window, shaped too.
    QtPictureWindow& w = platform.Window();
    w.SetTopmost(true);
    w.Hide();
    w.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    EXPECT_TRUE(WaitFor([&] { return pixel(320, 215) == 0xC02020; }));
    EXPECT_NE(pixel(300, 200), 0x008000u);
    platform.View().PlainRectangle();
    EXPECT_TRUE(WaitFor([&] { return pixel(300, 200) == 0x008000; }));
}

TEST_F(QtPlatformTest, CommandMenuHoldsTheCommandsInOrderWithTheMarksTheProgramSets) {
    QMenu& menu = platform.Menu().menu();
    EXPECT_EQ(menu.title(), "MainMenu");
    const QList<QAction*> actions = menu.actions();
    // What the user reads, in order; "" for a separator.
    const char* const shown[] = {"画像交換(&P)",
                                 "常に手前表示(&T)",
                                 "透過(&W)",
                                 "輪郭をなめらかに(&M)",
                                 "現在の状態を保存(&S)",
                                 "",
                                 "Help(&H)",
                                 "",
                                 "About(&A)",
                                 "",
                                 "Exit(&E)"};
    ASSERT_EQ(actions.size(), qsizetype(std::size(shown)));
    for (std::size_t i = 0; i < std::size(shown); ++i) {
        EXPECT_EQ(actions[i]->isSeparator(), *shown[i] == 0) << i;
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(shown[i])) << i;
        EXPECT_TRUE(actions[i]->isEnabled()) << i;
    }
    // No mark, and no empty box, until the program sets them.
    for (QAction* a : actions)
        EXPECT_FALSE(a->isChecked() || a->isCheckable()) << a->text().toStdString();
    platform.SetChecked(Command::AlwaysOnTop, true);
    platform.SetChecked(Command::Transparent, true);
    platform.SetChecked(Command::Transparent, false);
    EXPECT_TRUE(actions[1]->isChecked());
    EXPECT_FALSE(actions[2]->isChecked() || actions[2]->isCheckable());
}

TEST_F(QtPlatformTest, PopupDeliversThePickAfterClosingAndLeavesCheckMarksToTheProgram) {
    struct Case {
        Qt::Key key;
        std::vector<Command> commands;
    } cases[] = {
        {Qt::Key_W, {Command::Transparent}},
        {Qt::Key_T, {Command::AlwaysOnTop}},
        {Qt::Key_E, {Command::Exit}},
        {Qt::Key_Escape, {}},
    };
    platform.SetChecked(Command::Transparent, true);
    for (const Case& c : cases) {
        events.commands.clear();
        QPoint shownAt;
        auto answer = Answer<QMenu>([&](QMenu* m) {
            shownAt = m->pos();
            QTest::keyClick(m, c.key);
        });
        platform.OpenMenu({100, 120});
        EXPECT_EQ(shownAt, QPoint(100, 120));
        EXPECT_EQ(events.commands, c.commands);
        // Only the program changes them.
        EXPECT_TRUE(platform.Menu().action(Command::Transparent)->isChecked());
        EXPECT_FALSE(platform.Menu().action(Command::AlwaysOnTop)->isChecked());
    }
    // Where the tray opens it, near the corner, it stays on the screen.
    QRect shown;
    auto answer = Answer<QMenu>([&](QMenu* m) {
        shown = m->geometry();
        m->close();
    });
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    platform.OpenMenu({screen.width() - 10, screen.height() - 10});
    EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y();
}

TEST_F(QtPlatformTest, NoMenuOpensOverAMessageBox) {
    bool menuOpened = false;
    auto box = Answer<QMessageBox>([&](QMessageBox* b) {
        auto menu = Answer<QMenu>([&](QMenu* m) {
            menuOpened = true;
            m->close();
        });
        platform.OpenMenu({10, 10});
        b->button(QMessageBox::Ok)->click();
    });
    platform.ShowMessage("x", MessageKind::Information);
    EXPECT_FALSE(menuOpened);
}

TEST_F(QtPlatformTest, ClicksReachTheProgramAtTheirPixelAndALeftDragMovesTheWindow) {
    ShowPicture(FramedPicture(60, 50), 200, 100, false);
    QTest::mouseClick(&window(), Qt::RightButton, Qt::ShiftModifier, QPoint(12, 7));
    QTest::mouseClick(&window(), Qt::MiddleButton, Qt::ControlModifier, QPoint(3, 4));
    QTest::mouseClick(&window(), Qt::LeftButton, {}, QPoint(5, 5)); // a drag, no click
    using Click = RecordingEvents::Click;
    const std::vector<Click> clicks{{MouseButton::Right, {12, 7}}, {MouseButton::Middle, {3, 4}}};
    EXPECT_EQ(events.clicks, clicks);

    // No window manager to move it: the window follows the mouse itself.
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(global - window().pos()), QPointF(global), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(&window(), &e);
    };
    send(QEvent::MouseButtonPress, {205, 105}, Qt::LeftButton);
    send(QEvent::MouseMove, {245, 125}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {245, 125}, Qt::NoButton);
    EXPECT_EQ(window().pos(), QPoint(240, 120));
    EXPECT_EQ(platform.Window().Bounds(), (PixelRect{240, 120, 60, 50}));
    EXPECT_EQ(events.clicks, clicks);
}

TEST_F(QtPlatformTest, CloseAsksTheProgramAndHonoursItsAnswer) {
    for (bool keep : {true, false}) {
        ShowPicture(FramedPicture(20, 20), 10, 10, false);
        events.closing.clear();
        events.keepWindow = keep;
        window().windowHandle()->close(); // as the window manager's close (Alt+F4) arrives
        EXPECT_EQ(events.closing, std::vector<CloseReason>{CloseReason::User});
        EXPECT_EQ(platform.Window().Visible(), keep);
    }
}

TEST_F(QtPlatformTest, TrayIconShowsTheTitleAndTheIconAndReportsClicks) {
    EXPECT_TRUE(QFile::exists(":/zorvane.ico"));
    EXPECT_TRUE(platform.AppIcon().availableSizes().contains(QSize(32, 32)));
    EXPECT_FALSE(platform.ModifyTrayIcon()); // none to modify yet
    // Taken even with no tray on this display: Qt docks it when one starts.
    EXPECT_TRUE(platform.AddTrayIcon());
    EXPECT_TRUE(platform.ModifyTrayIcon());
    QSystemTrayIcon* tray = platform.Tray();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), "Zorvane Ver1.1");
    EXPECT_FALSE(tray->icon().isNull());
    EXPECT_TRUE(tray->isVisible());
    for (auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick,
          QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit tray->activated(reason);
    // Posted, as the Windows tray posts its callback: nothing runs under the icon's handler.
    EXPECT_TRUE(events.trayClicks.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events.trayClicks,
              (std::vector<MouseButton>{MouseButton::Right, MouseButton::Left, MouseButton::Left,
                                        MouseButton::Middle}));

    EXPECT_TRUE(platform.RemoveTrayIcon());
    EXPECT_FALSE(tray->isVisible());
    EXPECT_FALSE(platform.RemoveTrayIcon());
    EXPECT_FALSE(platform.ModifyTrayIcon());
    // Added again, the same icon still reports.
    EXPECT_TRUE(platform.AddTrayIcon());
    EXPECT_EQ(platform.Tray(), tray);
    EXPECT_TRUE(tray->isVisible());
    emit tray->activated(QSystemTrayIcon::Context);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events.trayClicks.size(), 5u);
}

TEST_F(QtPlatformTest, MessageBoxKindsTitleAndPlainText) {
    const std::pair<MessageKind, QMessageBox::Icon> cases[] = {
        {MessageKind::Plain, QMessageBox::NoIcon},
        {MessageKind::Critical, QMessageBox::Critical},
        {MessageKind::Information, QMessageBox::Information}};
    for (const auto& [kind, icon] : cases) {
        QMessageBox::Icon shownIcon{};
        QString title, text;
        qsizetype buttons = 0;
        Qt::TextFormat format{};
        auto answer = Answer<QMessageBox>([&](QMessageBox* box) {
            shownIcon = box->icon();
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            buttons = box->buttons().size();
            box->button(QMessageBox::Ok)->click();
        });
        platform.ShowMessage("一行目\r\n<b>二行目</b>", kind);
        EXPECT_EQ(shownIcon, icon) << int(kind);
        EXPECT_EQ(title, "Zorvane Ver1.1");
        EXPECT_EQ(text, "一行目\n<b>二行目</b>");
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(buttons, 1);
    }
}

TEST_F(QtPlatformTest, CtrlCCopiesTheMessageAsWindowsDoes) {
    QGuiApplication::clipboard()->clear();
    auto answer = Answer<QMessageBox>([&](QMessageBox* box) {
        box->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        QTest::keySequence(box, QKeySequence::Copy);
        box->button(QMessageBox::Ok)->click();
    });
    platform.ShowMessage("一行目\r\n<二行目>", MessageKind::Critical);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "---------------------------\nZorvane Ver1.1\n---------------------------\n"
              "一行目\n<二行目>\n---------------------------\nOK\n---------------------------\n");
}

TEST_F(QtPlatformTest, OpenDialogFiltersThePictureTypesAndStartsFromTheLastChoice) {
    QTemporaryDir dir;
    for (const char* name : {"a.bmp", "b.gif"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList filters;
    auto pick = Answer<QFileDialog>([&](QFileDialog* d) {
        filters = d->nameFilters();
        d->selectFile(dir.filePath("b.gif"));
        static_cast<QDialog*>(d)->accept(); // as the Open button does
    });
    EXPECT_EQ(platform.ChoosePicture(), dir.filePath("b.gif").toStdString());
    EXPECT_EQ(filters, QStringList{"ピクチャ (*.bmp *.jpg *.ico *.gif)"});

    QStringList startedWith;
    auto cancel = Answer<QFileDialog>([&](QFileDialog* d) {
        startedWith = d->selectedFiles();
        d->reject();
    });
    EXPECT_EQ(platform.ChoosePicture(), std::nullopt);
    EXPECT_EQ(startedWith, QStringList{dir.filePath("b.gif")});
}

TEST(QtFileFilter, ConvertsTheProgramsFilterToQtsForm) {
    const std::pair<const char*, const char*> cases[] = {
        {kPictureFilter, "ピクチャ (*.bmp *.jpg *.ico *.gif)"},
        {"Text|*.txt|All (*.*)|*.*", "Text (*.txt);;All (*.*)"},
        {"Pics | *.png ; *.bmp ;", "Pics (*.png *.bmp)"},
        {"Empty||Any|*", "Any (*)"},
        {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(QtFileFilter(in), QString::fromUtf8(out)) << in;
}

} // namespace
} // namespace zorvane::qt

namespace zorvane::qt {
namespace {

TEST(Scaling, AScaleFactorBecomesTheFontDpiAndXResourcesGiveTheBase) {
    const std::tuple<const char*, int, int> factors[] = {
        {"2", 96, 192}, {"1.5", 96, 144}, {"1.25", 96, 120}, {" 2 ", 144, 288},
        {"1", 96, 0},   {"", 96, 0},      {"0", 96, 0},      {"-2", 96, 0},
        {"abc", 96, 0}, {"nan", 96, 0},   {"1e9", 96, 2400},
    };
    for (const auto& [text, base, dpi] : factors)
        EXPECT_EQ(ScaledFontDpi(QByteArray(text), base), dpi) << text << " over " << base;

    const std::pair<const char*, int> resources[] = {
        {"Xft.dpi:\t144\n", 144},
        {"Xcursor.size:\t24\nXft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 192},
        {"Xft.dpi:\t120.4", 120},
        {"Xft.dpi:\tlarge\n", 0},
        {"Xft.dpis:\t144\n", 0},
        {"*.dpi:\t144\n", 0},
        {"", 0},
    };
    for (const auto& [text, dpi] : resources)
        EXPECT_EQ(XftDpi(text), dpi) << text;
}

// A session bus launched for the display (as dbus-launch --autolaunch does it) owns a selection
// named for the user and the machine while it runs; the program uses that bus rather than
// starting one of its own.
TEST(DisplayProbe, SeesASessionBusLaunchedForTheDisplayOnlyWhileItRuns) {
    const DisplayProbe probe;
    ASSERT_TRUE(probe.open());
    EXPECT_FALSE(probe.LaunchedSessionBus("tester", "0123abcd"));

    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t bus = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, bus, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const std::string name = "_DBUS_SESSION_BUS_SELECTION_tester_0123abcd";
    auto* atom = xcb_intern_atom_reply(
        x, xcb_intern_atom(x, 0, std::uint16_t(name.size()), name.data()), nullptr);
    ASSERT_NE(atom, nullptr);
    xcb_set_selection_owner(x, bus, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    std::free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr)); // the server has it
    EXPECT_TRUE(probe.LaunchedSessionBus("tester", "0123abcd"));
    EXPECT_FALSE(probe.LaunchedSessionBus("someone", "0123abcd")) << "another user's bus";

    xcb_disconnect(x); // the bus ends: its window, and the selection, go
    EXPECT_TRUE(WaitFor([&] { return !probe.LaunchedSessionBus("tester", "0123abcd"); }));
}

// While a slow load, or slow work, runs the event loop goes on (a timer keeps firing), and the
// results come back afterwards, each under its own ticket, the failed one with its reason.
TEST_F(QtPlatformTest, LoadsRunOffTheEventLoopAndComeBackThroughIt) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("slow.bmp").toStdString();
    ASSERT_TRUE(QImage(4, 3, QImage::Format_RGB32).save(QString::fromStdString(path), "BMP"));
    ScopedEnv slow("ZORVANE_TEST_LOAD_DELAY_MS", "1500");
    ScopedEnv slowWork("ZORVANE_TEST_WORK_DELAY_MS", "1500");
    QElapsedTimer clock;
    clock.start();
    platform.StartLoad(7, path);
    platform.StartLoad(8, path + ".gone");
    auto workThread = std::make_shared<std::atomic<QThread*>>(nullptr);
    platform.StartWork(7, [workThread] { *workThread = QThread::currentThread(); });
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(platform.Loading());
    int ticksBefore = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { ticksBefore += events.loaded.empty() && events.worked.empty(); });
    ticks.start(50);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return events.loaded.size() == 2 && events.worked.size() == 1; }, 20000));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_GE(ticksBefore, 10);
    EXPECT_FALSE(platform.Loading());
    EXPECT_EQ(events.worked, std::vector<std::uint64_t>{7});
    EXPECT_NE(workThread->load(), nullptr);
    EXPECT_NE(workThread->load(), QThread::currentThread());
    for (auto& [ticket, load] : events.loaded) {
        if (ticket == 7) {
            ASSERT_TRUE(load.picture) << load.error;
            EXPECT_EQ(load.picture->width, 4);
        } else {
            EXPECT_EQ(ticket, 8u);
            EXPECT_FALSE(load.picture);
            EXPECT_EQ(load.error, load::kNotFound);
        }
    }
}

// Work started once the work before has ended runs on the same thread, kept for it; work
// started while another is still busy (a frame on a slow disk, no longer wanted) does not
// wait for it.
TEST_F(QtPlatformTest, WorkRunsOnAThreadKeptForItAndNeverBehindBusyWork) {
    struct Seen {
        std::atomic<bool> release{false};
        std::atomic<QThread*> threads[3] = {};
    };
    auto seen = std::make_shared<Seen>();
    const auto runs = [&](std::size_t count) {
        return QTest::qWaitFor([&] { return events.worked.size() == count; }, 20000);
    };
    platform.StartWork(1, [seen] { seen->threads[0] = QThread::currentThread(); });
    ASSERT_TRUE(runs(1));
    platform.StartWork(2, [seen] {
        seen->threads[1] = QThread::currentThread();
        while (!seen->release)
            QThread::msleep(5);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen->threads[1].load() != nullptr; }, 20000));
    platform.StartWork(3, [seen] { seen->threads[2] = QThread::currentThread(); });
    ASSERT_TRUE(runs(2));
    EXPECT_EQ(events.worked.back(), 3u) << "not behind the busy one";
    seen->release = true;
    ASSERT_TRUE(runs(3));
    EXPECT_EQ(seen->threads[1].load(), seen->threads[0].load());
    EXPECT_NE(seen->threads[2].load(), seen->threads[1].load());
}

// A platform gone while its load and work run: they end later and touch nothing of it; what
// the work held goes with it, on its thread.
TEST_F(QtPlatformTest, ALoadEndingAfterItsPlatformHasGoneIsDropped) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("late.bmp").toStdString();
    ASSERT_TRUE(QImage(4, 3, QImage::Format_RGB32).save(QString::fromStdString(path), "BMP"));
    ScopedEnv slow("ZORVANE_TEST_LOAD_DELAY_MS", "500");
    ScopedEnv slowWork("ZORVANE_TEST_WORK_DELAY_MS", "500");
    const int before = LoadWorkers::Running();
    auto held = std::make_shared<int>();
    const std::weak_ptr<int> heldByWork = held;
    {
        QtPlatform gone;
        gone.SetEvents(&events);
        gone.StartLoad(1, path);
        gone.StartWork(1, [held = std::move(held)] {});
        EXPECT_EQ(LoadWorkers::Running(), before + 2);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return LoadWorkers::Running() == before; }, 20000));
    EXPECT_TRUE(heldByWork.expired()) << "let go of before the work counts as ended";
    QTest::qWait(100);
    EXPECT_TRUE(events.loaded.empty());
    EXPECT_TRUE(events.worked.empty());
}

} // namespace
} // namespace zorvane::qt
