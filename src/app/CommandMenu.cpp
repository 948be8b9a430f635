#include "app/CommandMenu.h"

#include "app/PictureWindow.h"
#include "app/Settings.h"
#include "app/Texts.h"
#include "app/TrayHost.h"
#include "core/Conversions.h"

namespace zorvane {

bool IsPictureName(std::string_view name) {
    const std::string ext = UCase(Right(Trim(name), 3));
    return ext == "BMP" || ext == "JPG" || ext == "ICO" || ext == "GIF";
}

void CommandMenu::ShowCheckMarks() {
    platform_.SetChecked(Command::AlwaysOnTop, state_.alwaysOnTop());
    platform_.SetChecked(Command::Transparent, state_.transparent);
    platform_.SetChecked(Command::SmoothEdges, state_.smoothEdges);
}

void CommandMenu::ReturnToChosenBand() {
    picture_.window().SetTopmost(state_.alwaysOnTop());
}

void CommandMenu::Run(Command command) {
    switch (command) {
    case Command::ChangePicture:
        return ChangePicture();
    case Command::AlwaysOnTop:
        return ToggleAlwaysOnTop();
    case Command::Transparent:
        return ToggleTransparent();
    case Command::SmoothEdges:
        return ToggleSmoothEdges();
    case Command::SaveState:
        return SaveState();
    case Command::Help:
        return Tell(kHelpText, MessageKind::Information);
    case Command::About:
        return Tell(kAboutText, MessageKind::Plain);
    case Command::Exit:
        // Ends at once, saving nothing; the tray icon goes first so no dead icon stays behind.
        tray_.RemoveIcon();
        return platform_.Quit();
    }
}

void CommandMenu::ChangePicture() {
    picture_.window().SetTopmost(false); // so the dialog comes in front
    // The current picture's path changes only when a new picture is shown (the picture window
    // sets it once the load has ended well): cancel, a blank answer, a refused name or an
    // unreadable file keep it.
    const std::optional<std::string> answer = platform_.ChoosePicture();
    if (answer && !Trim(*answer).empty()) {
        if (!IsPictureName(*answer))
            platform_.ShowMessage(kRefusedText, MessageKind::Critical);
        else
            picture_.ShowPicture(*answer, PicturePick::Chosen);
    }
    ReturnToChosenBand();
}

void CommandMenu::ToggleAlwaysOnTop() {
    state_.setAlwaysOnTop(!state_.alwaysOnTop());
    platform_.SetChecked(Command::AlwaysOnTop, state_.alwaysOnTop());
    picture_.window().SetTopmost(state_.alwaysOnTop());
}

void CommandMenu::ToggleTransparent() {
    state_.transparent = !state_.transparent;
    platform_.SetChecked(Command::Transparent, state_.transparent);
    picture_.ApplyShape();
}

void CommandMenu::ToggleSmoothEdges() {
    state_.smoothEdges = !state_.smoothEdges;
    platform_.SetChecked(Command::SmoothEdges, state_.smoothEdges);
    if (state_.transparent)
        picture_.ApplyShape();
}

void CommandMenu::SaveState() {
    const PixelRect bounds = picture_.window().Bounds();
    const Screen screen = platform_.PrimaryScreen();
    const SavedSettings settings{
        state_.picturePath,
        PixelsToSavedCoordinate(bounds.left, screen.twipsPerPixelX),
        PixelsToSavedCoordinate(bounds.top, screen.twipsPerPixelY),
        TransparentToText(state_.transparent),
        state_.alwaysOnTopText,
        SmoothEdgesToText(state_.smoothEdges),
    };
    if (!WriteSettings(platform_, settings))
        platform_.ShowMessage(kSaveFailedText, MessageKind::Critical);
}

void CommandMenu::Tell(const char* text, MessageKind kind) {
    picture_.window().SetTopmost(false); // so the message comes in front
    platform_.ShowMessage(text, kind);
    ReturnToChosenBand();
}

} // namespace zorvane
