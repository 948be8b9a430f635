#include "app/TrayHost.h"

#include "app/CommandMenu.h"
#include "app/PictureWindow.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "core/Conversions.h"

namespace zorvane {

void TrayHost::Start() {
    if (platform_.AnotherCopyRuns()) {
        // The running copy decides whether this start means anything to it (StartedAgain);
        // this one ends as before, whatever the answer.
        platform_.CallRunningCopy();
        platform_.Quit();
        return;
    }
    AddIcon();

    const SavedSettings saved = ReadSettings(platform_);
    state_.picturePath = saved.picture;
    state_.transparent = TransparentFromText(saved.transparent);
    state_.smoothEdges = SmoothEdgesFromText(saved.smoothEdges);
    state_.alwaysOnTopText = saved.alwaysOnTop;
    menu_.ShowCheckMarks();
    if (state_.alwaysOnTop())
        picture_.window().SetTopmost(true);

    // The picture shows when it has loaded, the tray icon already there to answer. One that
    // cannot be shown is reported then; the program runs on with its tray icon, and the
    // saved path is kept.
    if (!Trim(state_.picturePath).empty())
        picture_.ShowPicture(state_.picturePath, PicturePick::Saved,
                             SavedPlace{saved.left, saved.top});
    else if (!platform_.TrayHostPresent())
        platform_.StartTimer(TimerId::Announce, 0); // from the main loop, not under startup
}

void TrayHost::AddIcon() {
    iconWanted_ = true;
    if (!OfferIcon())
        StartRetries();
}

bool TrayHost::OfferIcon() {
    // A busy tray can time out answering an add it has carried out: then the add
    // fails as a duplicate, and a modify finds the icon.
    iconAdded_ = platform_.AddTrayIcon() || platform_.ModifyTrayIcon();
    return iconAdded_;
}

void TrayHost::RetryTimer() {
    if (!iconWanted_ || OfferIcon() || --retriesLeft_ <= 0)
        StopRetries();
}

void TrayHost::StartRetries() {
    retriesLeft_ = kTrayRetries;
    if (!retrying_)
        platform_.StartTimer(TimerId::TrayRetry, kTrayRetryMs);
    retrying_ = true;
}

void TrayHost::StopRetries() {
    if (retrying_)
        platform_.StopTimer(TimerId::TrayRetry);
    retrying_ = false;
}

bool TrayHost::IconShown() {
    return iconAdded_ && platform_.TrayHostPresent();
}

void TrayHost::StartedAgain() {
    // With its icon in the tray the program is within reach: a second start changes nothing.
    // Without one (no tray, or a taskbar that refuses the icon), starting the program again
    // from the desktop's menu is all the user can do, with the picture hidden or none chosen.
    if (IconShown())
        return;
    platform_.OpenMenu(platform_.MousePosition());
}

void TrayHost::AnnounceTimer() {
    platform_.StopTimer(TimerId::Announce);
    if (platform_.TrayHostPresent()) // a tray came meanwhile: the icon is in it
        return;
    if (platform_.Notify(kReachText))
        return;
    // Nowhere to tell it: the menu itself, once, in the middle of the screen.
    const Screen screen = platform_.PrimaryScreen();
    platform_.OpenMenu({RoundHalfEven(screen.width / 2.0), RoundHalfEven(screen.height / 2.0)});
}

void TrayHost::IconClicked(MouseButton button) {
    if (button != MouseButton::Right)
        return;
    // Near the screen's bottom right corner, where the tray is.
    const Screen screen = platform_.PrimaryScreen();
    platform_.OpenMenu({screen.width - 10, screen.height - 10});
}

void TrayHost::Ending() {
    RemoveIcon();
}

void TrayHost::TrayRestarted() {
    if (!iconWanted_)
        return;
    if (OfferIcon())
        StopRetries();
    else
        StartRetries();
}

void TrayHost::RemoveIcon() {
    StopRetries();
    iconWanted_ = false;
    if (!iconAdded_)
        return;
    platform_.RemoveTrayIcon();
    iconAdded_ = false;
}

} // namespace zorvane
