#include "menu/C_Menu.h"

#include "host/Conversions.h"
#include "host/Settings.h"
#include "host/TIMESTMP.h"
#include "picture/C_Disp.h"

namespace zorvane {

bool IsPictureName(std::string_view name) {
    const std::string ext = UCase(Right(Trim(name), 3));
    return ext == "BMP" || ext == "JPG" || ext == "ICO" || ext == "GIF";
}

Form& C_Menu::picture() {
    return disp_.form();
}

void C_Menu::ReturnToChosenBand() {
    SetTopmost(picture(), rt_.Checked(MenuItem::p_top));
}

void C_Menu::PopupCommandMenu(std::int16_t x, std::int16_t y) {
    rt_.GetForm(FormName::C_Menu);
    rt_.TrackPopupMenu(x, y);
}

void C_Menu::Click(MenuItem item) {
    switch (item) {
    case MenuItem::p_PicSelect:
        return p_PicSelect_Click();
    case MenuItem::p_top:
        return p_top_Click();
    case MenuItem::p_scale:
        return p_scale_Click();
    case MenuItem::p_smooth:
        return p_smooth_Click();
    case MenuItem::p_savepic:
        return p_savepic_Click();
    case MenuItem::p_help:
        return p_help_Click();
    case MenuItem::p_about:
        return p_about_Click();
    case MenuItem::p_end:
        return p_end_Click();
    }
}

void C_Menu::p_PicSelect_Click() {
    SetTopmost(picture(), false); // so the dialog comes in front
    // The current picture's path changes only when a new picture is shown (C_Disp sets it
    // once the load has ended well): cancel, a blank answer, a refused name or an unreadable
    // file keep it.
    const std::optional<std::string> answer = rt_.ShowOpen(kPictureFilter);
    if (answer && !Trim(*answer).empty()) {
        if (!IsPictureName(*answer))
            rt_.MsgBox(kRefusedText, vbCritical, kTitle);
        else
            disp_.ShowPicture(*answer, PicturePick::Chosen);
    }
    ReturnToChosenBand();
}

void C_Menu::p_top_Click() {
    const bool on = !rt_.Checked(MenuItem::p_top);
    rt_.SetChecked(MenuItem::p_top, on);
    m_.AlwaysFlag.assign(1, on ? '1' : '0');
    SetTopmost(picture(), on);
}

void C_Menu::p_scale_Click() {
    m_.ScaleOn = !m_.ScaleOn;
    rt_.SetChecked(MenuItem::p_scale, !rt_.Checked(MenuItem::p_scale));
    disp_.ApplyShape();
}

void C_Menu::p_smooth_Click() {
    m_.Smooth = !m_.Smooth;
    rt_.SetChecked(MenuItem::p_smooth, m_.Smooth);
    if (m_.ScaleOn)
        disp_.ApplyShape();
}

void C_Menu::p_savepic_Click() {
    Form& f = picture();
    const std::pair<const char*, std::string> values[] = {
        {"Save", m_.PicturePath},       {"Left", SingleToText(f.Left())},
        {"Top", SingleToText(f.Top())}, {"Scale", BoolToText(m_.ScaleOn)},
        {"Always", m_.AlwaysFlag},     {"Smooth", SmoothToText(m_.Smooth)},
    };
    for (const auto& [key, text] : values) {
        if (!rt_.SaveSetting(kSettingsApp, kSettingsSection, key, text)) {
            rt_.MsgBox("現在の状態を保存できませんでした。", vbCritical, kTitle);
            return;
        }
    }
}

void C_Menu::p_help_Click() {
    SetTopmost(picture(), false); // so the message comes in front
    rt_.MsgBox(kHelpText, vbInformation, kTitle);
    ReturnToChosenBand();
}

void C_Menu::p_about_Click() {
    SetTopmost(picture(), false);
    rt_.MsgBox(kAboutText, vbOKOnly, kTitle);
    ReturnToChosenBand();
}

void C_Menu::p_end_Click() {
    // Ends at once, saving nothing; the tray icon goes first so no dead icon stays behind.
    host_.RemoveTrayIcon();
    rt_.End();
}

} // namespace zorvane
