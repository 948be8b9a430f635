#pragma once

#include "host/Busy.h"
#include "host/LoadWorkers.h"
#include "host/Runtime.h"
#include "platform/win32/Handles.h"
#include "platform/win32/OpenDialog.h"

#include <objbase.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>

namespace zorvane::win32 {

class HostWindow;

// The shell's record for the program's tray icon: the host window, its icon, the tip
// in the ANSI code page.
NOTIFYICONDATAA ShellTrayRecord(HWND host, HICON icon, const TrayIconRecord& record);
class DispWindow;
class MenuWindow;

// Posted to the host window when a load has ended; wParam is its ticket, the result waits in
// the runtime's workers.
inline constexpr UINT kLoadEndedMessage = WM_APP + 1;
// Posted to the host window when work StartWork began has ended; wParam is its ticket.
inline constexpr UINT kWorkEndedMessage = WM_APP + 2;
// Posted by the host window to itself when a new start has called (kStartedAgainMessage), so
// that the caller has its answer before anything (a menu) runs.
inline constexpr UINT kStartedAgainPosted = WM_APP + 3;

// Holds the multithreaded apartment open while it lives: an animation's decoder, made there by
// a loader thread that has ended since, is read there frame by frame by work threads that come
// and go.
class MtaUsage {
public:
    MtaUsage() {
        if (FAILED(CoIncrementMTAUsage(&cookie_)))
            cookie_ = nullptr;
    }
    ~MtaUsage() {
        if (cookie_)
            CoDecrementMTAUsage(cookie_);
    }
    MtaUsage(const MtaUsage&) = delete;
    MtaUsage& operator=(const MtaUsage&) = delete;

private:
    CO_MTA_USAGE_COOKIE cookie_ = nullptr;
};

// The windowing runtime on Win32. Lives on the UI thread; COM is initialised by the caller.
class Win32Runtime final : public Runtime {
public:
    Win32Runtime();
    ~Win32Runtime() override;

    // Creates the host window, runs its load handler, then the message loop
    // until the program ends. Returns the exit code.
    int Run(Events& events);

    Form& GetForm(FormName name) override;
    ShapeControl& Vesquin1() override;
    bool Checked(MenuItem item) override;
    void SetChecked(MenuItem item, bool checked) override;
    void TrackPopupMenu(std::int16_t x, std::int16_t y) override;
    void MsgBox(const std::string& text, int style, const std::string& title) override;
    void StartLoad(std::uint64_t ticket, const std::string& path) override;
    void StartWork(std::uint64_t ticket, std::function<void()> work) override;
    std::string GetSetting(const std::string& app, const std::string& section,
                           const std::string& key, const std::string& defaultText) override;
    bool SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
    bool PrevInstance() override;
    bool CallRunningCopy() override;
    ScreenMetrics Screen() override;
    std::vector<Monitor> Monitors() override;
    bool NotifyIcon(int message, const TrayIconRecord& record) override;
    bool TrayHostPresent() override { return true; }
    bool Notify(const std::string&, const std::string&) override { return false; }
    PixelPoint MousePosition() override;
    void SetTimer(TimerId id, int milliseconds) override;
    void KillTimer(TimerId id) override;
    std::optional<std::string> ShowOpen(const std::string& filter) override;
    void End() override;

    // For the windows: where their events go; null once the program is ending.
    Events* events() const { return ending_ ? nullptr : events_; }
    float TwipsPerPixelX() const { return twipsPerPixelX_; }
    float TwipsPerPixelY() const { return twipsPerPixelY_; }
    HICON AppIcon() const { return icon_.get(); }
    // The host window was unloaded: with no window left the program ends.
    void HostUnloaded();
    // On the UI thread, at kLoadEndedMessage: hands an ended load to the program.
    void LoadEnded(std::uint64_t ticket);
    // On the UI thread, at kWorkEndedMessage: tells the program that the work has ended.
    void WorkEnded(std::uint64_t ticket);
    // Started and not yet handed to the program.
    bool Loading(std::uint64_t ticket) const { return inFlight_.count(ticket) != 0; }
    bool Loading() const { return !inFlight_.empty(); }

    HostWindow& Host();
    DispWindow& Disp();
    MenuWindow& Menu();

private:
    Events* events_ = nullptr;
    bool ending_ = false;
    BusyCount busy_;
    float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
    UniqueHicon icon_;
    UniqueHandleObj instanceMutex_;
    OpenDialog dlg1_;
    std::unique_ptr<HostWindow> host_;
    std::unique_ptr<DispWindow> disp_;
    std::unique_ptr<MenuWindow> menu_;
    std::atomic<HWND> loadsTo_{nullptr}; // the host window, once there is one
    std::set<std::uint64_t> inFlight_;
    MtaUsage mta_;
    // Closed first of all when the runtime goes, so no thread posts to a window being destroyed.
    std::unique_ptr<LoadWorkers> loads_;
};

} // namespace zorvane::win32
