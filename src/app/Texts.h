#pragma once

#include "app/Command.h"

#include <cstdint>
#include <string>

// Every text the program shows, in the user's words.
namespace zorvane {

inline constexpr const char* kTitle = "Zorvane Ver1.1";

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
inline constexpr const char* kSaveFailedText = "現在の状態を保存できませんでした。";
// Followed by the file's path and, when known, why.
inline constexpr const char* kCannotShowText = "次のファイルを表示できませんでした。";

// The command menu: these entries in this order.
struct MenuEntry {
    Command command;     // for a separator, the command it follows
    const char* caption; // null for a separator
};

inline constexpr MenuEntry kCommandMenu[] = {
    {Command::ChangePicture, "画像交換(&P)"},
    {Command::AlwaysOnTop, "常に手前表示(&T)"},
    {Command::Transparent, "透過(&W)"},
    {Command::SmoothEdges, "輪郭をなめらかに(&M)"},
    {Command::SaveState, "現在の状態を保存(&S)"},
    {Command::SaveState, nullptr},
    {Command::Help, "Help(&H)"},
    {Command::Help, nullptr},
    {Command::About, "About(&A)"},
    {Command::About, nullptr},
    {Command::Exit, "Exit(&E)"},
};

// Why a picture could not be shown.
namespace load {

inline constexpr const char* kNotFound = "ファイルが見つかりません。";
inline constexpr const char* kFolder = "フォルダーは開けません。画像ファイルを選んでください。";
inline constexpr const char* kCannotOpen = "ファイルを開けません。";
inline constexpr const char* kEmpty = "ファイルが空です。";
inline constexpr const char* kNotPicture = "画像ファイルではないか、対応していない形式です。";
inline constexpr const char* kBroken =
    "画像を読み込めません。ファイルが壊れている可能性があります。";
inline constexpr const char* kNoMemory = "メモリが足りないため画像を読み込めません。";
inline constexpr const char* kTimeout = "画像の読み込みに時間がかかりすぎたため中止しました。";
inline constexpr const char* kNoCodec = "画像を読み込む機能を使えません。";

inline std::string TooLarge(std::uint64_t width, std::uint64_t height) {
    return "画像が大きすぎて表示できません（" + std::to_string(width) + "×" +
           std::to_string(height) + " ピクセル）。";
}

} // namespace load

} // namespace zorvane
