#pragma once

#include "host/Runtime.h"
#include "picture/Picture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

// What both picture loaders tell the user, the formats they take, and the rules they share for
// transparency.
namespace zorvane::load {

enum class Format { Bmp, Jpeg, Gif, Ico };

// The format from a file's first bytes (at least 8 read, fewer when the file is shorter), never
// from its name: only these four are ever decoded.
inline std::optional<Format> SniffFormat(const unsigned char* head, std::size_t n) {
    if (n >= 2 && head[0] == 'B' && head[1] == 'M')
        return Format::Bmp;
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return Format::Jpeg;
    if (n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
        return Format::Gif;
    if (n >= 6 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0 &&
        (head[4] | head[5]) != 0)
        return Format::Ico;
    return std::nullopt;
}

// JPEG keeps colours only approximately; the others give back what was painted.
inline constexpr bool IsLossy(Format f) {
    return f == Format::Jpeg;
}

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
    return {nullptr, std::move(message), nullptr};
}

// A picture that plays: its first frame is what is shown first.
inline PictureLoad Playing(std::shared_ptr<Animation> animation) {
    std::shared_ptr<const Picture> first = animation->frame();
    return {std::move(first), {}, std::move(animation)};
}

// Why a load stops, in words for the user.
struct Failure {
    std::string message;
};

// What a step that only checks hands on when the check passes.
struct Ok {};

// One step of a decode: what it hands to the next step, or why the load stops there. The
// loaders take their steps in a fixed order, since a file that is wrong in several ways is
// reported by the first check it fails.
template <class T> class Step {
  public:
    Step(T value) : value_(std::move(value)) {}
    Step(Failure failure) : message_(std::move(failure.message)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    T* operator->() { return &*value_; }
    const std::string& message() const { return message_; }
    Failure failure() const { return {message_}; }

  private:
    std::optional<T> value_;
    std::string message_;
};

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
