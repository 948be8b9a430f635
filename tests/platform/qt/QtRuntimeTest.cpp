#include "platform/qt/QtRuntime.h"
#include "host/LoadWorkers.h"
#include "Support.h"
#include "menu/C_Menu.h"
#include "menu/MenuTable.h"
#include "picture/LoadMessages.h"
#include "platform/qt/Dialogs.h"
#include "platform/qt/Forms.h"
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

#include <atomic>
#include <cstring>
#include <tuple>

namespace zorvane::qt {
namespace {
using namespace test;

struct QtRuntimeTest : ::testing::Test {
    void SetUp() override { rt.SetEvents(&events); }
    PictureWidget& window() { return rt.Disp().widget(); }
    // As the program shows a picture: sized to it, placed, shaped, shown.
    void ShowPicture(std::shared_ptr<Picture> p, int x, int y, bool shaped) {
        Form& f = rt.GetForm(FormName::C_Disp);
        ShapeControl& ctl = rt.Vesquin1();
        ctl.SetDragMovesForm(true);
        ctl.SetPicture(p);
        f.SetWidth(ctl.Width());
        f.SetHeight(ctl.Height());
        f.SetLeft(float(x * 15));
        f.SetTop(float(y * 15));
        shaped ? ctl.CutTo(MakeCutout(*p, Edges::Hard)) : ctl.PlainRectangle();
        f.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    }

    RecordingEvents events;
    QtRuntime rt;
};

TEST_F(QtRuntimeTest, ScreenAndMonitorsAreInTwipsOfTheLogicalDpi) {
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    const ScreenMetrics s = rt.Screen();
    EXPECT_EQ(s.twipsPerPixelX, 15); // Xvfb's 96 dpi
    EXPECT_EQ(s.twipsPerPixelY, 15);
    EXPECT_EQ(s.width, float(g.width() * 15));
    EXPECT_EQ(s.height, float(g.height() * 15));
    const TwipsRect whole{0, 0, float(g.width() * 15), float(g.height() * 15)};
    ASSERT_EQ(rt.Monitors().size(), 1u);
    EXPECT_EQ(rt.Monitors()[0].bounds, whole);
    EXPECT_EQ(rt.Monitors()[0].workArea, whole); // no panel without a window manager
}

TEST_F(QtRuntimeTest, PictureWindowStartsHiddenAtItsDesignPlaceAsAFramelessTool) {
    Form& disp = rt.GetForm(FormName::C_Disp);
    EXPECT_FALSE(disp.Visible());
    EXPECT_EQ((TwipsRect{disp.Left(), disp.Top(), disp.Width(), disp.Height()}),
              (TwipsRect{2085, 1170, 1020, 870}));
    const Qt::WindowFlags flags = window().windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool); // no taskbar entry
    EXPECT_EQ(window().cursor().shape(), Qt::SizeAllCursor);
    EXPECT_EQ(&rt.GetForm(FormName::C_Disp), &disp); // one window, made once
}

TEST_F(QtRuntimeTest, HiddenFormsKeepWhatTheyAreGivenAndTheHostsUnloadEnds) {
    for (FormName name : {FormName::TIMESTMP, FormName::C_Menu}) {
        Form& f = rt.GetForm(name);
        f.SetLeft(300 * 15);
        f.SetTop(-20 * 15);
        f.SetWidth(100); // 6.67 pixels: kept as whole pixels, as a window would
        f.SetHeight(30 * 15);
        EXPECT_EQ((TwipsRect{f.Left(), f.Top(), f.Width(), f.Height()}),
                  (TwipsRect{4500, -300, 105, 450}));
        f.Show();
        EXPECT_TRUE(f.Visible());
        f.Hide();
        EXPECT_FALSE(f.Visible());
    }
    rt.GetForm(FormName::C_Menu).Unload();
    EXPECT_FALSE(rt.ending());
    rt.GetForm(FormName::TIMESTMP).Unload();
    EXPECT_TRUE(rt.ending());
    EXPECT_EQ(rt.events(), nullptr);
}

TEST_F(QtRuntimeTest, TopmostTogglesInPlaceWithoutHidingOrMoving) {
    ShowPicture(FramedPicture(40, 30), 300, -20, false);
    Form& disp = rt.GetForm(FormName::C_Disp);
    EXPECT_EQ(window().geometry(), QRect(300, -20, 40, 30));
    const WId id = window().windowHandle()->winId();
    for (bool on : {true, false, true}) {
        disp.SetTopmost(on);
        EXPECT_EQ(bool(window().windowFlags() & Qt::WindowStaysOnTopHint), on);
        EXPECT_EQ(bool(window().windowHandle()->flags() & Qt::WindowStaysOnTopHint), on);
        EXPECT_TRUE(disp.Visible());
        EXPECT_EQ(window().pos(), QPoint(300, -20));
        EXPECT_EQ(window().windowHandle()->winId(), id); // the same X window, not a new one
    }
    disp.Hide();
    EXPECT_FALSE(disp.Visible());
    disp.SetVisible(true);
    EXPECT_TRUE(disp.Visible());
}

TEST_F(QtRuntimeTest, TopmostReachesTheX11WindowState) {
    if (QStandardPaths::findExecutable("xprop").isEmpty())
        GTEST_SKIP() << "xprop (x11-utils) is not installed";
    auto above = [&] {
        QProcess xprop;
        const WId id = window().windowHandle()->winId(); // QWidget::winId() may be stale
        xprop.start("xprop", {"-id", QString::number(id), "_NET_WM_STATE"});
        xprop.waitForFinished();
        return xprop.readAllStandardOutput().contains("_NET_WM_STATE_ABOVE");
    };
    Form& disp = rt.GetForm(FormName::C_Disp);
    // With no window manager the state is what the window sets on itself as it maps.
    for (bool on : {true, false, true}) {
        disp.Hide();
        disp.SetTopmost(on);
        disp.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
        EXPECT_EQ(above(), on) << on;
    }
}

TEST_F(QtRuntimeTest, TopmostOfAShownWindowAsksTheWindowManagerEvenJustAfterShow) {
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

    Form& disp = rt.GetForm(FormName::C_Disp);
    disp.Show();
    disp.SetTopmost(true); // before Qt has seen the window mapped
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    disp.SetTopmost(false);
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

TEST_F(QtRuntimeTest, ShapeMasksExactlyThePicturePixels) {
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
        rt.Vesquin1().SetPicture(c.picture);
        rt.Vesquin1().CutTo(MakeCutout(*c.picture, Edges::Hard));
        EXPECT_TRUE(window().mask().xored(c.mask).isEmpty()) << c.name; // the same pixels
        rt.Vesquin1().PlainRectangle();
        EXPECT_TRUE(window().mask().isEmpty()) << c.name;
    }
    // All mask colour: nothing of the window may stay (an empty QRegion would mean no mask).
    const auto allMask = FramedPicture(10, 10, 5);
    rt.Vesquin1().SetPicture(allMask);
    rt.Vesquin1().CutTo(MakeCutout(*allMask, Edges::Hard));
    EXPECT_FALSE(window().mask().isEmpty());
    EXPECT_TRUE(window().mask().intersected(window().rect()).isEmpty());
}

TEST_F(QtRuntimeTest, ShapedWindowShowsOnlyThePictureOnScreen) {
    // Alpha 0 inside: the window shows the colour and ignores the alpha byte.
    ShowPicture(FramedPicture(40, 30, 2, 0x00C02020), 300, 200, true);
    auto pixel = [](int x, int y) {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage();
        return shot.pixel(0, 0) & 0xFFFFFF;
    };
    EXPECT_TRUE(WaitFor([&] { return pixel(320, 215) == 0xC02020; }));
    EXPECT_NE(pixel(300, 200), 0x008000u); // cut away: the desktop shows through
    // As a new picture is shown in the other band: Qt may make a new X window, shaped too.
    Form& disp = rt.GetForm(FormName::C_Disp);
    disp.SetTopmost(true);
    disp.SetVisible(false);
    disp.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    EXPECT_TRUE(WaitFor([&] { return pixel(320, 215) == 0xC02020; }));
    EXPECT_NE(pixel(300, 200), 0x008000u);
    rt.Vesquin1().PlainRectangle();
    EXPECT_TRUE(WaitFor([&] { return pixel(300, 200) == 0x008000; }));
}

TEST_F(QtRuntimeTest, CommandMenuHoldsTheCommandsInOrderWithTheirCheckMarks) {
    rt.GetForm(FormName::C_Menu);
    QMenu& menu = rt.Menu().menu();
    EXPECT_EQ(menu.title(), "MainMenu");
    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), qsizetype(std::size(kCommandMenu)));
    for (std::size_t i = 0; i < std::size(kCommandMenu); ++i) {
        const MenuEntry& e = kCommandMenu[i];
        EXPECT_EQ(actions[i]->isSeparator(), e.caption == nullptr) << i;
        if (e.caption) {
            EXPECT_EQ(actions[i]->text(), QString::fromUtf8(e.caption)) << i;
        }
        EXPECT_TRUE(actions[i]->isEnabled()) << i;
    }
    EXPECT_TRUE(rt.Checked(MenuItem::p_scale)); // as the menu is made
    EXPECT_FALSE(rt.Checked(MenuItem::p_top));
    EXPECT_TRUE(actions[2]->isChecked());
    rt.SetChecked(MenuItem::p_top, true);
    rt.SetChecked(MenuItem::p_scale, false);
    EXPECT_TRUE(actions[1]->isChecked());
    EXPECT_FALSE(actions[2]->isChecked());
}

TEST_F(QtRuntimeTest, PopupDeliversThePickAfterClosingAndLeavesCheckMarksToTheProgram) {
    struct Case {
        Qt::Key key;
        std::vector<MenuItem> clicks;
    } cases[] = {
        {Qt::Key_W, {MenuItem::p_scale}},
        {Qt::Key_T, {MenuItem::p_top}},
        {Qt::Key_E, {MenuItem::p_end}},
        {Qt::Key_Escape, {}},
    };
    for (const Case& c : cases) {
        events.clicks.clear();
        QPoint shownAt;
        auto answer = Answer<QMenu>([&](QMenu* m) {
            shownAt = m->pos();
            QTest::keyClick(m, c.key);
        });
        rt.TrackPopupMenu(100, 120);
        EXPECT_EQ(shownAt, QPoint(100, 120));
        EXPECT_EQ(events.clicks, c.clicks);
        EXPECT_TRUE(rt.Checked(MenuItem::p_scale)); // only the program changes them
        EXPECT_FALSE(rt.Checked(MenuItem::p_top));
        EXPECT_TRUE(rt.Menu().action(MenuItem::p_scale)->isChecked());
        EXPECT_FALSE(rt.Menu().action(MenuItem::p_top)->isChecked());
    }
    // Where the tray opens it, near the corner, it stays on the screen.
    QRect shown;
    auto answer = Answer<QMenu>([&](QMenu* m) {
        shown = m->geometry();
        m->close();
    });
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    rt.TrackPopupMenu(std::int16_t(screen.width() - 10), std::int16_t(screen.height() - 10));
    EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y();
}

TEST_F(QtRuntimeTest, NoMenuOpensOverAMessageBox) {
    bool menuOpened = false;
    auto box = Answer<QMessageBox>([&](QMessageBox* b) {
        auto menu = Answer<QMenu>([&](QMenu* m) {
            menuOpened = true;
            m->close();
        });
        rt.TrackPopupMenu(10, 10);
        b->button(QMessageBox::Ok)->click();
    });
    rt.MsgBox("x", vbInformation, kTitle);
    EXPECT_FALSE(menuOpened);
}

TEST_F(QtRuntimeTest, MouseButtonsReachTheProgramInTwipsAndALeftDragMovesTheWindow) {
    ShowPicture(FramedPicture(60, 50), 200, 100, false);
    QTest::mouseClick(&window(), Qt::RightButton, Qt::ShiftModifier, QPoint(12, 7));
    QTest::mouseClick(&window(), Qt::MiddleButton, Qt::ControlModifier, QPoint(3, 4));
    QTest::mouseClick(&window(), Qt::LeftButton, {}, QPoint(5, 5)); // a drag, no click
    rt.Vesquin1().SetDragMovesForm(false);
    QTest::mouseClick(&window(), Qt::LeftButton, {}, QPoint(5, 6));
    EXPECT_EQ(events.mouse, (std::vector<std::vector<float>>{
                                {2, 1, 12 * 15, 7 * 15}, {4, 2, 3 * 15, 4 * 15}, {1, 0, 75, 90}}));

    // No window manager to move it: the window follows the mouse itself.
    rt.Vesquin1().SetDragMovesForm(true);
    auto send = [&](QEvent::Type type, QPoint global, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(global - window().pos()), QPointF(global), Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(&window(), &e);
    };
    send(QEvent::MouseButtonPress, {205, 105}, Qt::LeftButton);
    send(QEvent::MouseMove, {245, 125}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {245, 125}, Qt::NoButton);
    EXPECT_EQ(window().pos(), QPoint(240, 120));
    EXPECT_EQ(events.mouse.size(), 3u);
}

TEST_F(QtRuntimeTest, CloseAsksTheProgramAndHonoursCancel) {
    for (bool cancel : {true, false}) {
        ShowPicture(FramedPicture(20, 20), 10, 10, false);
        events.unloadModes.clear();
        events.cancelUnload = cancel;
        window().windowHandle()->close(); // as the window manager's close (Alt+F4) arrives
        EXPECT_EQ(events.unloadModes, std::vector<int>{vbFormControlMenu});
        EXPECT_EQ(rt.GetForm(FormName::C_Disp).Visible(), cancel);
    }
}

TEST_F(QtRuntimeTest, TrayIconShowsTipAndIconAndReportsTheMouseAsTrayMessages) {
    EXPECT_TRUE(QFile::exists(":/zorvane.ico"));
    EXPECT_TRUE(rt.AppIcon().availableSizes().contains(QSize(32, 32)));
    TrayIconRecord record;
    record.uFlags = kNifMessage | kNifIcon | kNifTip;
    record.uCallbackMessage = 512;
    record.szTip = std::string(kTitle) + '\0';
    record.szTip.resize(64, ' ');
    // Taken even with no tray on this display: Qt docks it when one starts.
    EXPECT_TRUE(rt.NotifyIcon(kNimAdd, record));
    QSystemTrayIcon* tray = rt.Tray();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), "Zorvane Ver1.1");
    EXPECT_FALSE(tray->icon().isNull());
    EXPECT_TRUE(tray->isVisible());
    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::Trigger,
                        QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick})
        emit tray->activated(reason);
    // Posted, as the Windows tray posts its callback: nothing runs under the icon's handler.
    EXPECT_TRUE(events.trayMessages.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events.trayMessages, (std::vector<float>{516 * 15, 514 * 15, 515 * 15, 520 * 15}));

    EXPECT_TRUE(rt.NotifyIcon(kNimDelete, record));
    EXPECT_FALSE(tray->isVisible());
    EXPECT_FALSE(rt.NotifyIcon(kNimDelete, record));
    record.uCallbackMessage = 0x401; // another callback: no mouse move reaches the host
    rt.NotifyIcon(kNimAdd, record);
    emit tray->activated(QSystemTrayIcon::Context);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(events.trayMessages.size(), 4u);
}

TEST_F(QtRuntimeTest, MessageBoxStylesTitleAndPlainText) {
    const std::pair<int, QMessageBox::Icon> cases[] = {{vbOKOnly, QMessageBox::NoIcon},
                                                       {vbCritical, QMessageBox::Critical},
                                                       {vbInformation, QMessageBox::Information},
                                                       {48, QMessageBox::Warning}};
    for (const auto& [style, icon] : cases) {
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
        rt.MsgBox("一行目\r\n<b>二行目</b>", style, kTitle);
        EXPECT_EQ(shownIcon, icon) << style;
        EXPECT_EQ(title, "Zorvane Ver1.1");
        EXPECT_EQ(text, "一行目\n<b>二行目</b>");
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(buttons, 1);
    }
}

TEST_F(QtRuntimeTest, CtrlCCopiesTheMessageAsWindowsDoes) {
    QGuiApplication::clipboard()->clear();
    auto answer = Answer<QMessageBox>([&](QMessageBox* box) {
        box->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        QTest::keySequence(box, QKeySequence::Copy);
        box->button(QMessageBox::Ok)->click();
    });
    rt.MsgBox("一行目\r\n<二行目>", vbCritical, kTitle);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "---------------------------\nZorvane Ver1.1\n---------------------------\n"
              "一行目\n<二行目>\n---------------------------\nOK\n---------------------------\n");
}

TEST_F(QtRuntimeTest, OpenDialogFiltersThePictureTypesAndStartsFromTheLastChoice) {
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
    EXPECT_EQ(rt.ShowOpen(kPictureFilter), dir.filePath("b.gif").toStdString());
    EXPECT_EQ(filters, QStringList{"ピクチャ (*.bmp *.jpg *.ico *.gif)"});

    QStringList startedWith;
    auto cancel = Answer<QFileDialog>([&](QFileDialog* d) {
        startedWith = d->selectedFiles();
        d->reject();
    });
    EXPECT_EQ(rt.ShowOpen(kPictureFilter), std::nullopt);
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

// While a slow load, or slow work, runs the event loop goes on (a timer keeps firing), and the
// results come back afterwards, each under its own ticket, the failed one with its reason.
TEST_F(QtRuntimeTest, LoadsRunOffTheEventLoopAndComeBackThroughIt) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("slow.bmp").toStdString();
    ASSERT_TRUE(QImage(4, 3, QImage::Format_RGB32).save(QString::fromStdString(path), "BMP"));
    ScopedEnv slow("ZORVANE_TEST_LOAD_DELAY_MS", "1500");
    ScopedEnv slowWork("ZORVANE_TEST_WORK_DELAY_MS", "1500");
    QElapsedTimer clock;
    clock.start();
    rt.StartLoad(7, path);
    rt.StartLoad(8, path + ".gone");
    auto workThread = std::make_shared<std::atomic<QThread*>>(nullptr);
    rt.StartWork(7, [workThread] { *workThread = QThread::currentThread(); });
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(rt.Loading());
    int ticksBefore = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout,
                     [&] { ticksBefore += events.loaded.empty() && events.worked.empty(); });
    ticks.start(50);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return events.loaded.size() == 2 && events.worked.size() == 1; }, 20000));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_GE(ticksBefore, 10);
    EXPECT_FALSE(rt.Loading());
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
TEST_F(QtRuntimeTest, WorkRunsOnAThreadKeptForItAndNeverBehindBusyWork) {
    struct Seen {
        std::atomic<bool> release{false};
        std::atomic<QThread*> threads[3] = {};
    };
    auto seen = std::make_shared<Seen>();
    const auto runs = [&](std::size_t count) {
        return QTest::qWaitFor([&] { return events.worked.size() == count; }, 20000);
    };
    rt.StartWork(1, [seen] { seen->threads[0] = QThread::currentThread(); });
    ASSERT_TRUE(runs(1));
    rt.StartWork(2, [seen] {
        seen->threads[1] = QThread::currentThread();
        while (!seen->release)
            QThread::msleep(5);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen->threads[1].load() != nullptr; }, 20000));
    rt.StartWork(3, [seen] { seen->threads[2] = QThread::currentThread(); });
    ASSERT_TRUE(runs(2));
    EXPECT_EQ(events.worked.back(), 3u) << "not behind the busy one";
    seen->release = true;
    ASSERT_TRUE(runs(3));
    EXPECT_EQ(seen->threads[1].load(), seen->threads[0].load());
    EXPECT_NE(seen->threads[2].load(), seen->threads[1].load());
}

// A runtime gone while its load and work run: they end later and touch nothing of it; what the
// work held goes with it, on its thread.
TEST_F(QtRuntimeTest, ALoadEndingAfterItsRuntimeHasGoneIsDropped) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("late.bmp").toStdString();
    ASSERT_TRUE(QImage(4, 3, QImage::Format_RGB32).save(QString::fromStdString(path), "BMP"));
    ScopedEnv slow("ZORVANE_TEST_LOAD_DELAY_MS", "500");
    ScopedEnv slowWork("ZORVANE_TEST_WORK_DELAY_MS", "500");
    const int before = LoadWorkers::Running();
    auto held = std::make_shared<int>();
    const std::weak_ptr<int> heldByWork = held;
    {
        QtRuntime gone;
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
