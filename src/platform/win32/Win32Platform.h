#pragma once

#include "app/Busy.h"
#include "app/LoadWorkers.h"
#include "app/Platform.h"
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
class MenuWindow;
class Win32PictureView;
class Win32PictureWindow;

// The shell's record for the program's tray icon: id 1, the host window and the icon, the
// host's callback message, and the program's title as the tip in the ANSI code page.
NOTIFYICONDATAA ShellTrayRecord(HWND host, HICON icon);

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

// The program's desktop on Win32. Lives on the UI thread; COM is initialised by the caller.
class Win32Platform final : public Platform {
  public:
    Win32Platform();
    ~Win32Platform() override;

    // Creates the host window, tells the program it has started, then runs the message loop
    // until the program ends. Returns the exit code.
    int Run(PlatformEvents& events);

    PlatformWindow& Window() override;
    PictureView& View() override;
    void SetChecked(Command command, bool checked) override;
    void OpenMenu(PixelPoint at) override;
    void ShowMessage(const std::string& text, MessageKind kind) override;
    std::optional<std::string> ChoosePicture() override;
    void StartLoad(std::uint64_t ticket, const std::string& path) override;
    void StartWork(std::uint64_t ticket, std::function<void()> work) override;
    std::string ReadSetting(const std::string& key) override;
    bool WriteSetting(const std::string& key, const std::string& text) override;
    bool AnotherCopyRuns() override;
    bool CallRunningCopy() override;
    Screen PrimaryScreen() override;
    std::vector<Monitor> Monitors() override;
    PixelPoint MousePosition() override;
    bool AddTrayIcon() override { return TellTray(NIM_ADD); }
    bool ModifyTrayIcon() override { return TellTray(NIM_MODIFY); }
    bool RemoveTrayIcon() override { return TellTray(NIM_DELETE); }
    bool TrayHostPresent() override { return true; }
    bool Notify(const std::string&) override { return false; }
    void StartTimer(TimerId id, int milliseconds) override;
    void StopTimer(TimerId id) override;
    void Quit() override;

    // For the windows: where their events go; null once the program is ending.
    PlatformEvents* events() const { return ending_ ? nullptr : events_; }
    HICON AppIcon() const { return icon_.get(); }
    // On the UI thread, at kLoadEndedMessage: hands an ended load to the program.
    void LoadEnded(std::uint64_t ticket);
    // On the UI thread, at kWorkEndedMessage: tells the program that the work has ended.
    void WorkEnded(std::uint64_t ticket);
    // Started and not yet handed to the program.
    bool Loading(std::uint64_t ticket) const { return inFlight_.count(ticket) != 0; }
    bool Loading() const { return !inFlight_.empty(); }

    // The program's windows, each made at its first use.
    HostWindow& Host();
    Win32PictureWindow& Picture();
    MenuWindow& Menu();

  private:
    bool TellTray(DWORD message);

    PlatformEvents* events_ = nullptr;
    bool ending_ = false;
    BusyCount busy_;
    float twipsPerPixelX_ = 15, twipsPerPixelY_ = 15;
    UniqueHicon icon_;
    UniqueHandleObj instanceMutex_;
    OpenDialog pictureDialog_;
    std::unique_ptr<HostWindow> host_;
    std::unique_ptr<Win32PictureWindow> picture_;
    std::unique_ptr<MenuWindow> menu_;
    std::atomic<HWND> loadsTo_{nullptr}; // the host window, once there is one
    std::set<std::uint64_t> inFlight_;
    MtaUsage mta_;
    // Closed first of all when the platform goes, so no thread posts to a window being
    // destroyed.
    std::unique_ptr<LoadWorkers> loads_;
};

} // namespace zorvane::win32
