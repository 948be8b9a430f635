#pragma once

#include "host/Module1.h"
#include "host/Runtime.h"

namespace zorvane {

class C_Disp;
class C_Menu;

// The mouse messages a tray notification carries to the host (in X, as twips): those
// of the Windows tray, which the other platforms report the same way.
inline constexpr int kTrayMouseMove = 0x200;
inline constexpr int kTrayLeftUp = 0x202;
inline constexpr int kTrayLeftDoubleClick = 0x203;
inline constexpr int kTrayRightDown = 0x204; // the one that opens the menu
inline constexpr int kTrayMiddleUp = 0x208;
// The icon's callback: a mouse move over the host.
inline constexpr int kTrayCallbackMessage = kTrayMouseMove;
// Started at sign-in, the program may come before the taskbar: a refused icon is
// offered again this often, this many times (two minutes), and at once when the
// taskbar announces itself.
inline constexpr int kTrayRetryMs = 2000;
inline constexpr int kTrayRetries = 60;

// The hidden host window: startup, and the tray icon it owns.
class TIMESTMP {
  public:
    TIMESTMP(Runtime& rt, Module1& m, C_Disp& disp, C_Menu& menu)
        : rt_(rt), m_(m), disp_(disp), menu_(menu) {}

    void Form_Load();
    // Adds the tray icon.
    void Command1_Click();
    // A tray notification; x carries the notification's mouse message, in twips.
    void Form_MouseMove(int button, int shift, float x, float y);
    void Form_Terminate();
    // Explorer (re)started: the icon has to be added again.
    void TaskbarCreated();
    void TrayRetryTimer();
    // Another start asked this copy to come to the user: without a tray icon to reach it by,
    // the command menu opens at the mouse pointer.
    void StartedAgain();
    // Once the program runs, on a desktop without a tray and with no picture to show: the user
    // is told how to reach it.
    void AnnounceTimer();
    // Deletes the tray icon, if it was added.
    void RemoveTrayIcon();

    const TrayIconRecord& TrayIcon() const { return trayIcon_; }

  private:
    // Adds the icon; true when the shell has it.
    bool AddTrayIcon();
    void StartTrayRetries();
    void StopTrayRetries();
    bool IconShown();

    Runtime& rt_;
    Module1& m_;
    C_Disp& disp_;
    C_Menu& menu_;
    TrayIconRecord trayIcon_;
    bool iconWanted_ = false; // added, or to be added when the shell takes it
    bool iconAdded_ = false;
    bool retrying_ = false;
    int trayRetriesLeft_ = 0;
};

} // namespace zorvane
