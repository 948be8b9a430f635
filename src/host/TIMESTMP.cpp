#include "host/TIMESTMP.h"

#include "host/Conversions.h"
#include "host/Settings.h"
#include "menu/C_Menu.h"
#include "picture/C_Disp.h"

#include <string>

namespace zorvane {

void TIMESTMP::Form_Load() {
    Form& host = rt_.GetForm(FormName::TIMESTMP);
    if (rt_.PrevInstance()) {
        // The running copy decides whether this start means anything to it (StartedAgain);
        // this one ends as before, whatever the answer.
        rt_.CallRunningCopy();
        host.Unload();
        return;
    }
    Command1_Click();
    host.Hide();

    const SavedSettings saved = ReadSettings(rt_);
    m_.PicturePath = saved.Save;
    m_.SavedLeft = saved.Left;
    m_.SavedTop = saved.Top;
    m_.AlwaysFlag = saved.Always;

    m_.ScaleOn = ScaleFromText(saved.Scale);
    rt_.SetChecked(MenuItem::p_scale, m_.ScaleOn);
    m_.Smooth = SmoothFromText(saved.Smooth);
    rt_.SetChecked(MenuItem::p_smooth, m_.Smooth);

    if (AlwaysFromText(m_.AlwaysFlag)) {
        rt_.SetChecked(MenuItem::p_top, true);
        SetTopmost(disp_.form(), true);
    } else {
        rt_.SetChecked(MenuItem::p_top, false);
    }

    // The picture shows when it has loaded, the tray icon already there to answer. One that
    // cannot be shown is reported then; the program runs on with its tray icon, and the
    // saved path is kept.
    if (!Trim(m_.PicturePath).empty())
        disp_.ShowPicture(m_.PicturePath, PicturePick::Saved,
                          SavedPosition{m_.SavedLeft, m_.SavedTop});
    else if (!rt_.TrayHostPresent())
        rt_.SetTimer(TimerId::Announce, 0); // from the main loop, not under startup
}

void TIMESTMP::Command1_Click() {
    trayIcon_.uID = 1;
    trayIcon_.uFlags = kNifMessage | kNifIcon | kNifTip;
    trayIcon_.uCallbackMessage = kTrayCallbackMessage;
    std::string tip = std::string(kTitle) + '\0';
    tip.resize(64, ' ');
    trayIcon_.szTip = tip;
    iconWanted_ = true;
    if (!AddTrayIcon())
        StartTrayRetries();
}

bool TIMESTMP::AddTrayIcon() {
    // A busy shell can time out answering an add it has carried out: then the add
    // fails as a duplicate, and a modify finds the icon.
    iconAdded_ = rt_.NotifyIcon(kNimAdd, trayIcon_) || rt_.NotifyIcon(kNimModify, trayIcon_);
    return iconAdded_;
}

void TIMESTMP::TrayRetryTimer() {
    if (!iconWanted_ || AddTrayIcon() || --trayRetriesLeft_ <= 0)
        StopTrayRetries();
}

void TIMESTMP::StartTrayRetries() {
    trayRetriesLeft_ = kTrayRetries;
    if (!retrying_)
        rt_.SetTimer(TimerId::TrayRetry, kTrayRetryMs);
    retrying_ = true;
}

void TIMESTMP::StopTrayRetries() {
    if (retrying_)
        rt_.KillTimer(TimerId::TrayRetry);
    retrying_ = false;
}

bool TIMESTMP::IconShown() {
    return iconAdded_ && rt_.TrayHostPresent();
}

void TIMESTMP::StartedAgain() {
    // With its icon in the tray the program is within reach: a second start changes nothing.
    // Without one (no tray, or a taskbar that refuses the icon), starting the program again
    // from the desktop's menu is all the user can do, with the picture hidden or none chosen.
    if (IconShown())
        return;
    const PixelPoint at = rt_.MousePosition();
    menu_.PopupCommandMenu(RoundToInt16(at.x), RoundToInt16(at.y));
}

void TIMESTMP::AnnounceTimer() {
    rt_.KillTimer(TimerId::Announce);
    if (rt_.TrayHostPresent()) // a tray came meanwhile: the icon is in it
        return;
    if (rt_.Notify(kTitle, kReachText))
        return;
    // Nowhere to tell it: the menu itself, once, in the middle of the screen.
    const ScreenMetrics screen = rt_.Screen();
    menu_.PopupCommandMenu(RoundToInt16(screen.width / screen.twipsPerPixelX / 2),
                           RoundToInt16(screen.height / screen.twipsPerPixelY / 2));
}

void TIMESTMP::Form_MouseMove(int /*button*/, int /*shift*/, float x, float /*y*/) {
    const ScreenMetrics screen = rt_.Screen();
    if (RoundHalfEven(x / screen.twipsPerPixelX) != kTrayRightDown)
        return;
    const std::int16_t px = RoundToInt16(screen.width / screen.twipsPerPixelX - 10);
    const std::int16_t py = RoundToInt16(screen.height / screen.twipsPerPixelY - 10);
    menu_.PopupCommandMenu(px, py);
}

void TIMESTMP::Form_Terminate() {
    RemoveTrayIcon();
}

void TIMESTMP::TaskbarCreated() {
    if (!iconWanted_)
        return;
    if (AddTrayIcon())
        StopTrayRetries();
    else
        StartTrayRetries();
}

void TIMESTMP::RemoveTrayIcon() {
    StopTrayRetries();
    iconWanted_ = false;
    if (!iconAdded_)
        return;
    rt_.NotifyIcon(kNimDelete, trayIcon_);
    iconAdded_ = false;
}

} // namespace zorvane
