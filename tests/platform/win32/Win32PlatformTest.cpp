#include "platform/win32/Win32Platform.h"
#include "AppHarness.h"
#include "app/LoadWorkers.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "fake/RecordingEvents.h"
#include "platform/win32/HostWindow.h"
#include "platform/win32/MenuWindow.h"
#include "platform/win32/Registry.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32PictureWindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::win32 {
namespace {

using fake::RecordingEvents;

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

// The program's settings stay where earlier versions kept them, so that an update keeps the
// user's choices.
TEST(Registry, SettingsAreTheValuesOfTheKeyTheyAlwaysWere) {
    harness::SettingsGuard guard;
    harness::WriteKey(std::nullopt);
    Win32Platform platform;
    EXPECT_TRUE(platform.WriteSetting("Save", "C:\\写真\\ねこ.bmp"));
    EXPECT_EQ(ReadText(harness::kSettingsKey, L"Save"), L"C:\\写真\\ねこ.bmp");
    ASSERT_TRUE(WriteText(harness::kSettingsKey, L"Left", L"1500"));
    EXPECT_EQ(platform.ReadSetting("Left"), "1500");
    EXPECT_EQ(platform.ReadSetting("Top"), "");
}

struct PlatformTest : ::testing::Test {
    void SetUp() override {
        windowsBefore = UniqueHwnd::live();
        regionsBefore = UniqueHrgn::live();
    }
    void TearDown() override {
        owned.reset();
        EXPECT_EQ(UniqueHwnd::live(), windowsBefore);
        EXPECT_EQ(UniqueHrgn::live(), regionsBefore);
    }
    Win32Platform& platform() { return *owned; }
    HWND pictureHwnd() { return platform().Picture().hwnd(); }

    long windowsBefore = 0, regionsBefore = 0;
    std::unique_ptr<Win32Platform> owned = std::make_unique<Win32Platform>();
};

std::vector<long> Rect(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return {r.left, r.top, r.right, r.bottom};
}

TEST_F(PlatformTest, PictureWindowStartsHiddenAtItsFirstPlace) {
    PlatformWindow& window = platform().Window();
    const HWND h = pictureHwnd();
    ASSERT_TRUE(h);
    EXPECT_FALSE(window.Visible());
    EXPECT_EQ(window.Bounds(), (PixelRect{139, 78, 68, 58})); // at 96 dpi
    EXPECT_EQ(Rect(h), (std::vector<long>{139, 78, 139 + 68, 78 + 58}));
    EXPECT_EQ(GetWindowLongW(h, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW); // no taskbar button
    EXPECT_EQ(&platform().Window(), &window);                       // one window, made once
}

TEST_F(PlatformTest, TopmostAndVisibleFollowTheWindow) {
    PlatformWindow& window = platform().Window();
    const HWND h = pictureHwnd();
    window.SetTopmost(true);
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    window.SetTopmost(false);
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    window.Show();
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_TRUE(window.Visible());
    window.Move(300, -20);
    window.Resize(41, 31);
    EXPECT_EQ(Rect(h), (std::vector<long>{300, -20, 341, 11}));
    EXPECT_EQ(window.Bounds(), (PixelRect{300, -20, 41, 31}));
    window.Hide();
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_FALSE(window.Visible());
}

TEST_F(PlatformTest, CutoutMakesALayeredWindowThatClicksPassAndPlainRectangleUndoes) {
    // Red in a 2-pixel frame of the mask green, its left edge a half blend of the two.
    auto picture = FramedPicture(40, 30);
    for (int y = 2; y < 28; ++y)
        picture->pixels[std::size_t(y) * 40 + 2] = 0xFF605010;
    PlatformWindow& window = platform().Window();
    PictureView& view = platform().View();
    view.SetPicture(picture);
    window.Resize(40, 30);
    window.Move(300, 200);
    window.Show();
    view.CutTo(MakeCutout(*picture, Edges::Soft));

    const HWND h = pictureHwnd();
    EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    UniqueHrgn region(CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(GetWindowRgn(h, region.get()), SIMPLEREGION);
    RECT box{};
    GetRgnBox(region.get(), &box);
    EXPECT_EQ((std::vector<long>{box.left, box.top, box.right, box.bottom}),
              (std::vector<long>{2, 2, 38, 28}));
    EXPECT_EQ(Rect(h), (std::vector<long>{300, 200, 340, 230}));
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
    view.CutTo(MakeCutout(*picture, Edges::SoftOpaque));
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(GetWindowRgn(h, region.get()), SIMPLEREGION);
    EXPECT_TRUE(WaitUntil([&] { return pixel(302, 215) == RGB(0xC0, 0x20, 0x20); }))
        << "the edge in the figure's colour";
    EXPECT_EQ(owner(300, 200), GetAncestor(WindowFromPoint({300, 200}), GA_ROOT));
    EXPECT_NE(owner(300, 200), h);

    view.PlainRectangle();
    EXPECT_FALSE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(GetWindowRgn(h, region.get()), ERROR); // no region: the whole window
    EXPECT_TRUE(WaitUntil([&] { return pixel(300, 200) == green; }));
    EXPECT_EQ(owner(300, 200), h);
    window.Hide();
}

// Dragged to a monitor of another scale, the picture keeps its size in pixels, and
// its place, saved and read back, is the same pixel, left of the primary too.
TEST_F(PlatformTest, AMonitorOfAnotherScaleLeavesThePictureItsPixels) {
    PlatformWindow& window = platform().Window();
    platform().View().SetPicture(FramedPicture(41, 31));
    window.Resize(41, 31);
    window.Move(-333, 201);
    window.Show();
    const HWND h = pictureHwnd();
    // What the system sends as the window reaches a 144-dpi monitor: a rectangle
    // grown for that scale, which the window does not take.
    RECT grown{-340, 190, -340 + 62, 190 + 47};
    SendMessageW(h, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&grown));
    EXPECT_EQ(Rect(h), (std::vector<long>{-333, 201, -333 + 41, 201 + 31}));
    const Screen screen = platform().PrimaryScreen();
    const PixelRect at = window.Bounds();
    const std::string left = PixelsToSavedCoordinate(at.left, screen.twipsPerPixelX);
    const std::string top = PixelsToSavedCoordinate(at.top, screen.twipsPerPixelY);
    EXPECT_EQ(left + " " + top, "-4995 3015");
    window.Move(500, 0);
    window.Move(*SavedCoordinateToPixels(left, screen.twipsPerPixelX),
                *SavedCoordinateToPixels(top, screen.twipsPerPixelY));
    EXPECT_EQ(Rect(h), (std::vector<long>{-333, 201, -333 + 41, 201 + 31}));
    window.Hide();
}

TEST_F(PlatformTest, CommandMenuHoldsTheCommandsInOrderWithTheMarksSet) {
    const HMENU menu = platform().Menu().menu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(GetMenuItemCount(menu), int(std::size(kCommandMenu)));
    wchar_t text[64];
    for (UINT i = 0; i < std::size(kCommandMenu); ++i) {
        const MenuEntry& e = kCommandMenu[i];
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        if (!e.caption) {
            EXPECT_TRUE(state & MF_SEPARATOR) << i;
            continue;
        }
        GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        EXPECT_EQ(text, Widen(e.caption)) << i;
        EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED)) << i;
        EXPECT_FALSE(state & MF_CHECKED) << i << ": no mark until the program sets it";
    }
    platform().SetChecked(Command::AlwaysOnTop, true);
    platform().SetChecked(Command::Transparent, true);
    platform().SetChecked(Command::Transparent, false);
    EXPECT_TRUE(GetMenuState(menu, 1, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(menu, 2, MF_BYPOSITION) & MF_CHECKED);
}

// What the user does to the windows, the tray and the menu, and what the system asks,
// reach the program as its events.
TEST(WindowEvents, ReachTheProgram) {
    Win32Platform platform;
    struct EndingEvents : RecordingEvents {
        explicit EndingEvents(Win32Platform& platform) : platform(platform) {}
        void Started() override {
            const HWND picture = platform.Picture().hwnd();
            const HWND host = platform.Host().hwnd();
            const HWND menu = platform.Menu().hwnd();
            SendMessageW(picture, WM_RBUTTONUP, 0, MAKELPARAM(12, 7));
            SendMessageW(picture, WM_MBUTTONUP, 0, MAKELPARAM(3, 40));
            SendMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(0, 0));
            SendMessageW(picture, WM_CLOSE, 0, 0);
            // The tray's notifications, as its record asks for them: the mouse message over
            // the icon. Only the clicks count; the right button opens the menu as it goes down.
            const UINT tray = ShellTrayRecord(host, nullptr).uCallbackMessage;
            for (const UINT mouse :
                 {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                  WM_RBUTTONUP, WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP})
                SendMessageW(host, tray, 1, mouse);
            SendMessageW(host, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
            // Each command of the menu, as a pick of its item.
            const HMENU items = platform.Menu().menu();
            for (int i = 0; i < GetMenuItemCount(items); ++i)
                if (const UINT id = GetMenuItemID(items, i); id != 0)
                    SendMessageW(menu, WM_COMMAND, id, 0);
            // A new start finds this copy's host window by its class, and has its answer
            // before the program hears of it.
            {
                Win32Platform second;
                EXPECT_TRUE(second.CallRunningCopy());
                EXPECT_EQ(startedAgain, 0);
            }
            MSG msg{};
            while (PeekMessageW(&msg, host, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            SendMessageW(host, WM_ENDSESSION, TRUE, 0);
            platform.Quit();
        }
        Win32Platform& platform;
    } recording(platform);
    platform.Run(recording);

    using Click = RecordingEvents::Click;
    EXPECT_EQ(recording.clicks, (std::vector<Click>{{MouseButton::Right, {12, 7}},
                                                    {MouseButton::Middle, {3, 40}},
                                                    {MouseButton::Left, {0, 0}}}));
    EXPECT_EQ(recording.closing, std::vector<CloseReason>{CloseReason::User});
    EXPECT_EQ(recording.trayClicks,
              (std::vector<MouseButton>{MouseButton::Left, MouseButton::Left, MouseButton::Right,
                                        MouseButton::Middle}));
    EXPECT_EQ(recording.trayRestarts, 1);
    std::vector<Command> inMenuOrder;
    for (const MenuEntry& e : kCommandMenu)
        if (e.caption)
            inMenuOrder.push_back(e.command);
    EXPECT_EQ(recording.commands, inMenuOrder);
    EXPECT_EQ(recording.startedAgain, 1);
    EXPECT_EQ(recording.endings, 1);
}

// The window classes stay registered when the platform that registered them ends, as the
// tests' platforms do one after another: a later platform's windows still show an icon, and
// a live one, their own platform's.
TEST(WindowClasses, APlatformMadeAfterAnotherEndedGivesItsWindowsALiveIcon) {
    const auto shownIcon = [](HWND h) {
        if (const auto own = reinterpret_cast<HICON>(SendMessageW(h, WM_GETICON, ICON_BIG, 0)))
            return own;
        return reinterpret_cast<HICON>(GetClassLongPtrW(h, GCLP_HICON));
    };
    for (int made = 1; made <= 2; ++made) {
        Win32Platform platform;
        for (const HWND h : {platform.Host().hwnd(), platform.Picture().hwnd()}) {
            ASSERT_TRUE(h) << made;
            const HICON icon = shownIcon(h);
            EXPECT_EQ(icon, platform.AppIcon()) << "platform " << made;
            ICONINFO info{};
            EXPECT_TRUE(GetIconInfo(icon, &info)) << "platform " << made;
            const UniqueHbitmap mask(info.hbmMask), colour(info.hbmColor); // copies for us
        }
    }
}

// What the shell is given for the tray icon, in its first record: the host and its icon, id 1,
// the host's callback, and the title as the tip, in the ANSI code page.
TEST(ShellTrayRecord, CarriesTheHostItsIconAndTheTitleAsAnAnsiTip) {
    const HWND host = HWND(0x1234);
    const HICON icon = HICON(0x5678);
    const NOTIFYICONDATAA nid = ShellTrayRecord(host, icon);
    EXPECT_EQ(nid.cbSize, offsetof(NOTIFYICONDATAA, szTip) + 64); // 88 in a 32-bit process
    EXPECT_EQ(nid.hWnd, host);
    EXPECT_EQ(nid.hIcon, icon);
    EXPECT_EQ(nid.uID, 1u);
    EXPECT_EQ(nid.uFlags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(nid.uCallbackMessage, UINT(WM_MOUSEMOVE));
    EXPECT_STREQ(nid.szTip, "Zorvane Ver1.1"); // the zero ends it; the blanks never show
    EXPECT_EQ(std::string(nid.szTip + 15, 64 - 15), std::string(64 - 15, ' '));
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
    Win32Platform platform;
    struct Loading : RecordingEvents {
        Loading(Win32Platform& platform, std::string path)
            : platform(platform), path(std::move(path)) {}
        void Started() override {
            start = Clock::now();
            platform.StartLoad(7, path);
            platform.StartLoad(8, path + ".gone");
            platform.StartWork(7, [apartment = apartment] {
                APTTYPEQUALIFIER qualifier{};
                if (FAILED(CoGetApartmentType(&apartment->first, &qualifier)))
                    apartment->first = APTTYPE_CURRENT;
                apartment->second = GetCurrentThreadId();
            });
            platform.StartTimer(TimerId::TrayRetry, 50);
        }
        void Timer(TimerId id) override {
            RecordingEvents::Timer(id);
            if (Clock::now() - start > std::chrono::seconds(20))
                platform.Quit();
        }
        void PictureLoaded(std::uint64_t ticket, PictureLoad load) override {
            timersBefore.push_back(timers.size());
            thread.push_back(GetCurrentThreadId());
            RecordingEvents::PictureLoaded(ticket, std::move(load));
            took = Clock::now() - start;
            if (loaded.size() == 2 && worked.size() == 1)
                platform.Quit();
        }
        void WorkDone(std::uint64_t ticket) override {
            thread.push_back(GetCurrentThreadId());
            RecordingEvents::WorkDone(ticket);
            if (loaded.size() == 2)
                platform.Quit();
        }
        Win32Platform& platform;
        std::string path;
        Clock::time_point start;
        Clock::duration took{};
        std::vector<std::size_t> timersBefore;
        std::vector<DWORD> thread;
        // Where the work ran: its apartment and thread.
        std::shared_ptr<std::pair<APTTYPE, DWORD>> apartment =
            std::make_shared<std::pair<APTTYPE, DWORD>>(APTTYPE_CURRENT, 0);
    } events(platform, path);
    platform.Run(events);

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
    EXPECT_FALSE(platform.Loading());
}

// Ending while a load and work run does not wait for them; ending after the platform has gone,
// they touch nothing of it.
TEST(Loads, EndDoesNotWaitAndALateLoadTouchesNothing) {
    using Clock = std::chrono::steady_clock;
    const std::string path = SmallBmp();
    SlowLoads slow(1000);
    DrainLoadMessages();
    const int before = LoadWorkers::Running(); // an earlier test's, abandoned
    const auto start = Clock::now();
    {
        Win32Platform platform;
        struct Ending : RecordingEvents {
            Ending(Win32Platform& platform, std::string path)
                : platform(platform), path(std::move(path)) {}
            void Started() override {
                platform.StartLoad(1, path);
                platform.StartWork(1, [] {});
                platform.StartTimer(TimerId::TrayRetry, 100);
            }
            void Timer(TimerId) override { platform.Quit(); }
            Win32Platform& platform;
            std::string path;
        } events(platform, path);
        platform.Run(events);
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
