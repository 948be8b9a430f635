#pragma once

#include "platform/win32/Window.h"

#include <windows.h>

namespace zorvane::win32 {

class Win32Platform;

// Posted to the host window when a load has ended; wParam is its ticket, the result waits in
// the platform's workers.
inline constexpr UINT kLoadEndedMessage = WM_APP + 1;
// Posted to the host window when work StartWork began has ended; wParam is its ticket.
inline constexpr UINT kWorkEndedMessage = WM_APP + 2;
// Posted by the host window to itself when a new start has called (kStartedAgainMessage), so
// that the caller has its answer before anything (a menu) runs.
inline constexpr UINT kStartedAgainPosted = WM_APP + 3;
// The tray icon's notifications to the host window: lParam holds the mouse message over the
// icon. A mouse message the hidden host never has otherwise.
inline constexpr UINT kTrayCallbackMessage = WM_MOUSEMOVE;

// Hidden: owns the tray icon and the timers, and hears from the tray, from a new start and
// from the loads.
class HostWindow final : public BaseWindow<HostWindow> {
  public:
    explicit HostWindow(Win32Platform& platform);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    Win32Platform& platform_;
    UINT taskbarCreated_ = 0;
    UINT startedAgain_ = 0;
};

} // namespace zorvane::win32
