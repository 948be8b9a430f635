#include "platform/win32/HostWindow.h"

#include "platform/win32/ClassNames.h"
#include "platform/win32/Win32Platform.h"

#include <optional>

namespace zorvane::win32 {
namespace {

// The button of a click on the tray icon, from the mouse message the tray reports.
std::optional<MouseButton> TrayButton(UINT mouseMessage) {
    switch (mouseMessage) {
    case WM_RBUTTONDOWN: // the press opens the menu, as the taskbar's own menus open
        return MouseButton::Right;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        return MouseButton::Left;
    case WM_MBUTTONUP:
        return MouseButton::Middle;
    }
    return std::nullopt;
}

} // namespace

HostWindow::HostWindow(Win32Platform& platform) : platform_(platform) {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    startedAgain_ = RegisterWindowMessageW(kStartedAgainMessage);
    // A hidden top-level window rather than a message-only one: broadcasts such
    // as TaskbarCreated reach only top-level windows.
    Create(kHostClass, L"", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 0, 0, platform.AppIcon());
}

LRESULT HostWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kLoadEndedMessage) {
        platform_.LoadEnded(std::uint64_t(wp));
        return 0;
    }
    if (msg == kWorkEndedMessage) {
        platform_.WorkEnded(std::uint64_t(wp));
        return 0;
    }
    PlatformEvents* events = platform_.events();
    if (!events)
        return Default(msg, wp, lp);
    if (msg == kTrayCallbackMessage) {
        if (const auto button = TrayButton(LOWORD(lp)))
            events->TrayIconClicked(*button);
        return 0;
    }
    if (taskbarCreated_ && msg == taskbarCreated_) {
        events->TrayRestarted();
        return 0;
    }
    if (startedAgain_ && msg == startedAgain_) {
        PostMessageW(hwnd(), kStartedAgainPosted, 0, 0);
        return kStartedAgainAnswer;
    }
    switch (msg) {
    case kStartedAgainPosted:
        events->StartedAgain();
        return 0;
    case WM_TIMER:
        events->Timer(TimerId(wp - 1));
        return 0;
    case WM_ENDSESSION:
        if (wp)
            events->Ending();
        return 0;
    case WM_CLOSE:
        // Asked to close from outside (a task manager): leave no icon behind.
        events->Ending();
        platform_.Quit();
        return 0;
    }
    return Default(msg, wp, lp);
}

} // namespace zorvane::win32
