#pragma once

#include "host/Runtime.h"
#include "picture/Picture.h"

#include <cstdint>
#include <new>
#include <string>

// What both picture loaders tell the user, and the one rule they share for transparency.
namespace zorvane::load {

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

inline PictureLoad Fail(std::string message) {
    return {nullptr, std::move(message)};
}

inline std::string TooLarge(std::uint64_t width, std::uint64_t height) {
    return "画像が大きすぎて表示できません（" + std::to_string(width) + "×" +
           std::to_string(height) + " ピクセル）。";
}

// Runs a decode so that nothing thrown inside it escapes: out of memory and
// anything else become a message for the user.
template <typename Decode> PictureLoad Guarded(Decode&& decode) {
    try {
        return decode();
    } catch (const std::bad_alloc&) {
        return Fail(kNoMemory);
    } catch (...) {
        return Fail(kBroken);
    }
}

// A mostly transparent pixel becomes the mask colour, so the shape cuts it away;
// every other pixel is shown opaque.
inline constexpr std::uint32_t OpaqueOrMask(std::uint32_t argb) {
    return (argb >> 24) < 0x80 ? (0xFF000000u | kMaskColor) : (argb | 0xFF000000u);
}

} // namespace zorvane::load
