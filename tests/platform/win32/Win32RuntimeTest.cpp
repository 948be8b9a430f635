#include "platform/win32/Win32Runtime.h"
#include "host/Conversions.h"
#include "host/LoadWorkers.h"
#include "menu/MenuTable.h"
#include "platform/win32/Forms.h"
#include "platform/win32/Registry.h"
#include "platform/win32/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::win32 {
namespace {

struct RecordingEvents : Events {
    void TIMESTMP_Form_Load() override {}
    void TIMESTMP_Form_MouseMove(int, int, float x, float) override { trayMessages.push_back(x); }
    void TIMESTMP_Form_Terminate() override { ++terminates; }
    void TIMESTMP_TaskbarCreated() override { ++taskbarCreated; }
    void TIMESTMP_StartedAgain() override { ++startedAgain; }
    void Timer(TimerId id) override { timers.push_back(id); }
    bool C_Disp_Form_QueryUnload(int mode) override {
        unloadModes.push_back(mode);
        return cancelUnload;
    }
    void C_Disp_Vesquin1_MouseEvent(int button, int, float x, float y) override {
        mouse.push_back({float(button), x, y});
    }
    void C_Menu_Click(MenuItem item) override { clicks.push_back(item); }
    void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
        loaded.push_back({ticket, std::move(load)});
    }
    void WorkDone(std::uint64_t ticket) override { worked.push_back(ticket); }

    std::vector<float> trayMessages;
    int terminates = 0, taskbarCreated = 0, startedAgain = 0;
    std::vector<TimerId> timers;
    std::vector<int> unloadModes;
    bool cancelUnload = true;
    std::vector<std::vector<float>> mouse;
    std::vector<MenuItem> clicks;
    std::vector<std::pair<std::uint64_t, PictureLoad>> loaded;
    std::vector<std::uint64_t> worked;
};

// A picture with a mask-green frame 2 pixels wide around a solid block.
// Pumps this thread's messages until ready() holds, for at most two seconds.
template <typename F> bool WaitUntil(const F& ready) {
    for (int i = 0; i < 200; ++i) {
        MSG msg{};
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ready())
            return true;
        Sleep(10);
    }
    return false;
}

std::shared_ptr<Picture> FramedPicture(int w, int h) {
    auto p = std::make_shared<Picture>();
    p->width = w;
    p->height = h;
    p->pixels.assign(std::size_t(w) * h, 0xFF000000 | kMaskColor);
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x)
            p->pixels[std::size_t(y) * w + x] = 0xFFC02020;
    return p;
}

TEST(Registry, TextRoundTripsAndOtherTypesReadAsAbsent) {
    const std::wstring key = L"Software\\Zorvane.Tests\\" + std::to_wstring(GetCurrentProcessId());
    const std::wstring japanese = L"C:\\写真\\ねこ 🐈.bmp";
    const std::wstring huge(10000, L'x');
    EXPECT_TRUE(WriteText(key, L"Save", japanese));
    EXPECT_TRUE(WriteText(key, L"Huge", huge));
    EXPECT_TRUE(WriteText(key, L"Empty", L""));
    EXPECT_EQ(ReadText(key, L"Save"), japanese);
    EXPECT_EQ(ReadText(key, L"Huge"), huge);
    EXPECT_EQ(ReadText(key, L"Empty"), std::wstring());
    EXPECT_EQ(ReadText(key, L"Missing"), std::nullopt);

    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &raw), ERROR_SUCCESS);
    const DWORD number = 1234;
    RegSetValueExW(raw, L"Left", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegSetValueExW(raw, L"Top", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\1\2\3"), 3);
    RegCloseKey(raw);
    EXPECT_EQ(ReadText(key, L"Left"), std::nullopt);
    EXPECT_EQ(ReadText(key, L"Top"), std::nullopt);

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zorvane.Tests");
}

struct RuntimeTest : ::testing::Test {
    void SetUp() override {
        windowsBefore = UniqueHwnd::live();
        regionsBefore = UniqueHrgn::live();
    }
    void TearDown() override {
        rt.reset();
        EXPECT_EQ(UniqueHwnd::live(), windowsBefore);
        EXPECT_EQ(UniqueHrgn::live(), regionsBefore);
    }
    Win32Runtime& runtime() { return *rt; }

    long windowsBefore = 0, regionsBefore = 0;
    std::unique_ptr<Win32Runtime> rt = std::make_unique<Win32Runtime>();
};

TEST_F(RuntimeTest, PictureWindowStartsHiddenAtItsDesignPlace) {
    Form& disp = runtime().GetForm(FormName::C_Disp);
    const HWND h = runtime().Disp().hwnd();
    ASSERT_TRUE(h);
    EXPECT_FALSE(disp.Visible());
    EXPECT_EQ(disp.Left(), 2085);
    EXPECT_EQ(disp.Top(), 1170);
    EXPECT_EQ(disp.Width(), 1020);
    EXPECT_EQ(disp.Height(), 870);
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW); // no taskbar button
    EXPECT_EQ(&runtime().GetForm(FormName::C_Disp), &disp);         // one window, made once
}

TEST_F(RuntimeTest, TopmostAndVisibleFollowTheForm) {
    Form& disp = runtime().GetForm(FormName::C_Disp);
    const HWND h = runtime().Disp().hwnd();
    disp.SetTopmost(true);
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    disp.SetTopmost(false);
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    disp.Show();
    EXPECT_TRUE(IsWindowVisible(h));
    disp.SetLeft(300 * 15);
    disp.SetTop(-20 * 15);
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 300);
    EXPECT_EQ(r.top, -20);
    disp.Hide();
    EXPECT_FALSE(IsWindowVisible(h));
}

TEST_F(RuntimeTest, CutoutMakesALayeredWindowThatClicksPassAndPlainRectangleUndoes) {
    // Red in a 2-pixel frame of the mask green, its left edge a half blend of the two.
    auto picture = FramedPicture(40, 30);
    for (int y = 2; y < 28; ++y)
        picture->pixels[std::size_t(y) * 40 + 2] = 0xFF605010;
    Form& disp = runtime().GetForm(FormName::C_Disp);
    ShapeControl& ctl = runtime().Vesquin1();
    ctl.SetPicture(picture);
    EXPECT_EQ(ctl.Width(), 40 * 15);
    EXPECT_EQ(ctl.Height(), 30 * 15);
    disp.SetHeight(ctl.Height());
    disp.SetWidth(ctl.Width());
    disp.SetLeft(300 * 15);
    disp.SetTop(200 * 15);
    disp.Show();
    ctl.CutTo(MakeCutout(*picture, Edges::Soft));

    const HWND h = runtime().Disp().hwnd();
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    UniqueHrgn region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(GetWindowRgn(h, region.get()), SIMPLEREGION);
    RECT box{};
    GetRgnBox(region.get(), &box);
    EXPECT_EQ((std::vector<long>{box.left, box.top, box.right, box.bottom}),
              (std::vector<long>{2, 2, 38, 28}));
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right, r.bottom}),
              (std::vector<long>{300, 200, 340, 230}));
    auto pixel = [](int x, int y) {
        const HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, x, y);
        ReleaseDC(nullptr, screen);
        return c;
    };
    auto owner = [](int x, int y) { return GetAncestor(WindowFromPoint({x, y}), GA_ROOT); };
    EXPECT_TRUE(WaitUntil([&] { return pixel(320, 215) == RGB(0xC0, 0x20, 0x20); }));
    EXPECT_EQ(owner(320, 215), h);
    EXPECT_NE(owner(300, 200), h) << "a see-through pixel lets the click through";
    const COLORREF green = RGB(0, 0x80, 0);
    EXPECT_NE(pixel(300, 200), green);
    const COLORREF edge = pixel(302, 215);
    EXPECT_LE(int(GetGValue(edge)), int(GetRValue(edge))) << "no green left in the edge";
    std::printf("[ layered  ] edge pixel on screen: %02X%02X%02X\n", GetRValue(edge),
                GetGValue(edge), GetBValue(edge));

    // Without a pixel to blend (hard edges, or soft ones where nothing blends), the window
    // cuts and paints the cutout itself: no layered update at every frame.
    ctl.CutTo(MakeCutout(*picture, Edges::SoftOpaque));
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(GetWindowRgn(h, region.get()), SIMPLEREGION);
    EXPECT_TRUE(WaitUntil([&] { return pixel(302, 215) == RGB(0xC0, 0x20, 0x20); }))
        << "the edge in the figure's colour";
    EXPECT_EQ(owner(300, 200), GetAncestor(WindowFromPoint({300, 200}), GA_ROOT));
    EXPECT_NE(owner(300, 200), h);

    ctl.PlainRectangle();
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(GetWindowRgn(h, region.get()), ERROR); // no region: the whole window
    EXPECT_TRUE(WaitUntil([&] { return pixel(300, 200) == green; }));
    EXPECT_EQ(owner(300, 200), h);
    disp.Hide();
}

// Dragged to a monitor of another scale, the picture keeps its size in pixels, and
// its place, saved in twips and read back, is the same pixel, left of the primary too.
TEST_F(RuntimeTest, AMonitorOfAnotherScaleLeavesThePictureItsPixels) {
    Form& disp = runtime().GetForm(FormName::C_Disp);
    ShapeControl& ctl = runtime().Vesquin1();
    ctl.SetPicture(FramedPicture(41, 31));
    disp.SetHeight(ctl.Height());
    disp.SetWidth(ctl.Width());
    disp.SetLeft(-333 * 15);
    disp.SetTop(201 * 15);
    disp.Show();
    const HWND h = runtime().Disp().hwnd();
    // What the system sends as the window reaches a 144-dpi monitor: a rectangle
    // grown for that scale, which the window does not take.
    RECT grown{-340, 190, -340 + 62, 190 + 47};
    SendMessageW(h, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&grown));
    RECT r{};
    GetWindowRect(h, &r);
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right, r.bottom}),
              (std::vector<long>{-333, 201, -333 + 41, 201 + 31}));
    const std::string left = SingleToText(disp.Left()), top = SingleToText(disp.Top());
    EXPECT_EQ(left + " " + top, "-4995 3015");
    disp.SetLeft(500 * 15);
    disp.SetLeft(*TextToSingle(left));
    disp.SetTop(*TextToSingle(top));
    GetWindowRect(h, &r);
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right, r.bottom}),
              (std::vector<long>{-333, 201, -333 + 41, 201 + 31}));
    disp.Hide();
}

TEST_F(RuntimeTest, MenuBarHoldsTheCommandsInOrder) {
    runtime().GetForm(FormName::C_Menu);
    const HWND h = runtime().Menu().hwnd();
    const HMENU bar = GetMenu(h);
    ASSERT_TRUE(bar);
    wchar_t text[64];
    GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"MainMenu");
    const HMENU sub = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(sub), int(std::size(kCommandMenu)));
    for (UINT i = 0; i < std::size(kCommandMenu); ++i) {
        const MenuEntry& e = kCommandMenu[i];
        const UINT state = GetMenuState(sub, i, MF_BYPOSITION);
        if (!e.caption) {
            EXPECT_TRUE(state & MF_SEPARATOR) << i;
            continue;
        }
        GetMenuStringW(sub, i, text, 64, MF_BYPOSITION);
        EXPECT_EQ(text, Widen(e.caption)) << i;
        EXPECT_EQ(GetMenuItemID(sub, int(i)), CommandId(e.item)) << i;
        EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED)) << i;
    }
    EXPECT_TRUE(runtime().Checked(MenuItem::p_scale)); // as the menu is made
    EXPECT_FALSE(runtime().Checked(MenuItem::p_top));
    runtime().SetChecked(MenuItem::p_top, true);
    runtime().SetChecked(MenuItem::p_scale, false);
    EXPECT_TRUE(GetMenuState(sub, 1, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(sub, 2, MF_BYPOSITION) & MF_CHECKED);
}

TEST(WindowEvents, ReachTheProgramInTwips) {
    Win32Runtime rt;
    struct EndingEvents : RecordingEvents {
        explicit EndingEvents(Win32Runtime& rt) : rt(rt) {}
        void TIMESTMP_Form_Load() override {
            const HWND disp = rt.Disp().hwnd();
            const HWND host = rt.Host().hwnd();
            const HWND menu = rt.Menu().hwnd();
            SendMessageW(disp, WM_RBUTTONUP, 0, MAKELPARAM(12, 7));
            SendMessageW(disp, WM_CLOSE, 0, 0);
            SendMessageW(host, WM_MOUSEMOVE, 1, 0x204); // the tray's right-button press
            SendMessageW(host, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
            SendMessageW(menu, WM_COMMAND, CommandId(MenuItem::p_about), 0);
            // A new start finds this copy's host window by its class, and has its answer
            // before the program hears of it.
            {
                Win32Runtime second;
                EXPECT_TRUE(second.CallRunningCopy());
                EXPECT_EQ(startedAgain, 0);
            }
            MSG msg{};
            while (PeekMessageW(&msg, host, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            SendMessageW(host, WM_ENDSESSION, TRUE, 0);
            rt.End();
        }
        Win32Runtime& rt;
    } recording(rt);
    rt.Run(recording);

    ASSERT_EQ(recording.mouse.size(), 1u);
    EXPECT_EQ(recording.mouse[0], (std::vector<float>{float(vbRightButton), 12 * 15, 7 * 15}));
    EXPECT_EQ(recording.unloadModes, std::vector<int>{vbFormControlMenu});
    EXPECT_EQ(recording.trayMessages, std::vector<float>{0x204 * 15});
    EXPECT_EQ(recording.taskbarCreated, 1);
    EXPECT_EQ(recording.startedAgain, 1);
    EXPECT_EQ(recording.clicks, std::vector<MenuItem>{MenuItem::p_about});
    EXPECT_EQ(recording.terminates, 1);
}

// The window classes stay registered when the runtime that registered them ends, as the
// tests' runtimes do one after another: a later runtime's windows still show an icon, and
// a live one, their own runtime's.
TEST(WindowClasses, ARuntimeMadeAfterAnotherEndedGivesItsWindowsALiveIcon) {
    const auto shownIcon = [](HWND h) {
        if (const auto own = reinterpret_cast<HICON>(SendMessageW(h, WM_GETICON, ICON_BIG, 0)))
            return own;
        return reinterpret_cast<HICON>(GetClassLongPtrW(h, GCLP_HICON));
    };
    for (int made = 1; made <= 2; ++made) {
        Win32Runtime rt;
        for (const HWND h : {rt.Host().hwnd(), rt.Disp().hwnd()}) {
            ASSERT_TRUE(h) << made;
            const HICON icon = shownIcon(h);
            EXPECT_EQ(icon, rt.AppIcon()) << "runtime " << made;
            ICONINFO info{};
            EXPECT_TRUE(GetIconInfo(icon, &info)) << "runtime " << made;
            const UniqueHbitmap mask(info.hbmMask), colour(info.hbmColor); // copies for us
        }
    }
}

// What the program fills in, in the shell's first record, with the host and its icon.
TEST(ShellTrayRecord, CarriesTheProgramsFieldsTheHostAndItsIconAndAnAnsiTip) {
    TrayIconRecord r;
    r.uID = 1;
    r.uFlags = kNifMessage | kNifIcon | kNifTip;
    r.uCallbackMessage = 512;
    r.szTip = std::string("Zorvane Ver1.1") + '\0';
    r.szTip.resize(64, ' ');
    const HWND host = HWND(0x1234);
    const HICON icon = HICON(0x5678);
    const NOTIFYICONDATAA nid = ShellTrayRecord(host, icon, r);
    EXPECT_EQ(nid.cbSize, offsetof(NOTIFYICONDATAA, szTip) + 64); // 88 in a 32-bit process
    EXPECT_EQ(nid.hWnd, host);
    EXPECT_EQ(nid.hIcon, icon);
    EXPECT_EQ(nid.uID, 1u);
    EXPECT_EQ(nid.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(nid.uCallbackMessage, 512u);
    EXPECT_STREQ(nid.szTip, "Zorvane Ver1.1"); // the zero ends it; the blanks never show
}

// Every load, and other work, waits `ms` first, as a slow file would, while this lives.
struct SlowLoads {
    explicit SlowLoads(int ms) {
        _putenv_s("ZORVANE_TEST_LOAD_DELAY_MS", std::to_string(ms).c_str());
        _putenv_s("ZORVANE_TEST_WORK_DELAY_MS", std::to_string(ms).c_str());
    }
    ~SlowLoads() {
        _putenv_s("ZORVANE_TEST_LOAD_DELAY_MS", "");
        _putenv_s("ZORVANE_TEST_WORK_DELAY_MS", "");
    }
};

// Takes every message queued for this thread (the quit an earlier loop left, above all);
// returns how many were ended loads and work.
int DrainLoadMessages() {
    int loads = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        loads += msg.message == kLoadEndedMessage || msg.message == kWorkEndedMessage;
    return loads;
}

// A 4 x 3 bitmap in the temporary folder.
std::string SmallBmp() {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring path = std::wstring(temp) + L"zorvane-slow-load.bmp";
    const unsigned char bmp[] = {'B', 'M', 90, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                 0,   0,   0,  4, 0, 0, 0, 3, 0, 0, 0,  1, 0, 24, 0};
    std::vector<unsigned char> bytes(bmp, bmp + sizeof bmp);
    bytes.resize(54, 0);
    bytes.resize(90, 0x40);
    UniqueHandleObj file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD done = 0;
    WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &done, nullptr);
    return Narrow(path);
}

// While a slow load, or slow work, runs the message loop goes on (the timer keeps firing), and
// the result comes back afterwards on this thread, superseded or not, each under its own
// ticket. Work runs in the multithreaded apartment, where the loads make their decoders.
TEST(Loads, RunOffTheMessageLoopAndComeBackThroughIt) {
    using Clock = std::chrono::steady_clock;
    const std::string path = SmallBmp();
    SlowLoads slow(1500);
    DrainLoadMessages();
    Win32Runtime rt;
    struct Loading : RecordingEvents {
        explicit Loading(Win32Runtime& rt, std::string path) : rt(rt), path(std::move(path)) {}
        void TIMESTMP_Form_Load() override {
            start = Clock::now();
            rt.StartLoad(7, path);
            rt.StartLoad(8, path + ".gone");
            rt.StartWork(7, [apartment = apartment] {
                APTTYPEQUALIFIER qualifier{};
                if (FAILED(CoGetApartmentType(&apartment->first, &qualifier)))
                    apartment->first = APTTYPE_CURRENT;
                apartment->second = GetCurrentThreadId();
            });
            rt.SetTimer(TimerId::TrayRetry, 50);
        }
        void Timer(TimerId id) override {
            RecordingEvents::Timer(id);
            if (Clock::now() - start > std::chrono::seconds(20))
                rt.End();
        }
        void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
            timersBefore.push_back(timers.size());
            thread.push_back(GetCurrentThreadId());
            RecordingEvents::PictureLoaded(ticket, std::move(load));
            took = Clock::now() - start;
            if (loaded.size() == 2 && worked.size() == 1)
                rt.End();
        }
        void WorkDone(std::uint64_t ticket) override {
            thread.push_back(GetCurrentThreadId());
            RecordingEvents::WorkDone(ticket);
            if (loaded.size() == 2)
                rt.End();
        }
        Win32Runtime& rt;
        std::string path;
        Clock::time_point start;
        Clock::duration took{};
        std::vector<std::size_t> timersBefore;
        std::vector<DWORD> thread;
        // Where the work ran: its apartment and thread.
        std::shared_ptr<std::pair<APTTYPE, DWORD>> apartment =
            std::make_shared<std::pair<APTTYPE, DWORD>>(APTTYPE_CURRENT, 0);
    } events(rt, path);
    rt.Run(events);

    ASSERT_EQ(events.loaded.size(), 2u);
    EXPECT_EQ(events.worked, std::vector<std::uint64_t>{7});
    EXPECT_EQ(events.apartment->first, APTTYPE_MTA);
    EXPECT_NE(events.apartment->second, GetCurrentThreadId());
    EXPECT_GE(events.timersBefore[0], 10u); // the loop answered all along
    EXPECT_GE(events.took, std::chrono::milliseconds(1500));
    for (DWORD id : events.thread)
        EXPECT_EQ(id, GetCurrentThreadId());
    for (auto& [ticket, load] : events.loaded) {
        if (ticket == 7) {
            ASSERT_TRUE(load.picture) << load.error;
            EXPECT_EQ(load.picture->width, 4);
        } else {
            EXPECT_EQ(ticket, 8u);
            EXPECT_FALSE(load.picture);
            EXPECT_FALSE(load.error.empty());
        }
    }
    EXPECT_FALSE(rt.Loading());
}

// Ending while a load and work run does not wait for them; ending after the runtime has gone,
// they touch nothing of it.
TEST(Loads, EndDoesNotWaitAndALateLoadTouchesNothing) {
    using Clock = std::chrono::steady_clock;
    const std::string path = SmallBmp();
    SlowLoads slow(1000);
    DrainLoadMessages();
    const int before = LoadWorkers::Running(); // an earlier test's, abandoned
    const auto start = Clock::now();
    {
        Win32Runtime rt;
        struct Ending : RecordingEvents {
            explicit Ending(Win32Runtime& rt, std::string path) : rt(rt), path(std::move(path)) {}
            void TIMESTMP_Form_Load() override {
                rt.StartLoad(1, path);
                rt.StartWork(1, [] {});
                rt.SetTimer(TimerId::TrayRetry, 100);
            }
            void Timer(TimerId) override { rt.End(); }
            Win32Runtime& rt;
            std::string path;
        } events(rt, path);
        rt.Run(events);
        EXPECT_TRUE(events.loaded.empty());
        EXPECT_TRUE(events.worked.empty());
        EXPECT_EQ(LoadWorkers::Running(), before + 2);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(800));
    while (LoadWorkers::Running() > 0 && Clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(LoadWorkers::Running(), 0);
    EXPECT_EQ(DrainLoadMessages(), 0);
}

} // namespace
} // namespace zorvane::win32
