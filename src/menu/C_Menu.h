#pragma once

#include "host/Module1.h"
#include "host/Runtime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane {

class C_Disp;
class TIMESTMP;

inline constexpr const char* kPictureFilter =
    "ピクチャ (*.bmp;*.jpg;*.ico;*.gif)|*.bmp;*.jpg;*.ico;*.gif";
inline constexpr const char* kRefusedText = "選択できる画像は BMP・JPG・ICO・GIFファイルのみです。";
inline constexpr const char* kHelpText = "タスクトレイにあるｱｲｺﾝまたは\r\n"
                                         "表示されている画像を右クリックし、\r\n"
                                         "表示したい画像(*.BMP *.JPG *.ICO *.GIF 等)を \r\n"
                                         "選択するだけです！";
// Told once at startup where no tray shows the icon and no picture is shown.
inline constexpr const char* kReachText = "Zorvane は起動しています。\r\n"
                                          "タスクトレイがないデスクトップなので、\r\n"
                                          "もう一度起動するとメニューが開きます！";
inline constexpr const char* kAboutText = "Zorvane Ver1.1 - written by the Zorvane developers.";

// The name test of the change-picture command: the last three characters of
// the trimmed name, in upper case, are BMP, JPG, ICO or GIF.
bool IsPictureName(std::string_view name);

// The hidden window that owns the command menu and the Open dialog.
class C_Menu {
  public:
    C_Menu(Runtime& rt, Module1& m, C_Disp& disp, TIMESTMP& host)
        : rt_(rt), m_(m), disp_(disp), host_(host) {}

    void PopupCommandMenu(std::int16_t x, std::int16_t y);
    void Click(MenuItem item);

    void p_PicSelect_Click();
    void p_top_Click();
    void p_scale_Click();
    void p_smooth_Click();
    void p_savepic_Click();
    void p_help_Click();
    void p_about_Click();
    void p_end_Click();

    // After a dialog or message the picture goes back to the band the option names.
    void ReturnToChosenBand();

  private:
    Form& picture();

    Runtime& rt_;
    Module1& m_;
    C_Disp& disp_;
    TIMESTMP& host_;
};

} // namespace zorvane
