#pragma once

#include "host/Runtime.h"
#include "picture/Picture.h"

#include <chrono>
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

// What a BMP's header says of its pixels; the first 34 bytes of the file (the old core
// header needs 26).
struct BmpHeader {
    std::int64_t width = 0, height = 0; // a negative height: rows top down
    std::uint32_t bits = 0, compression = 0;
    std::uint64_t pixelsAt = 0;

    static std::optional<BmpHeader> Read(const unsigned char* head, std::size_t n) {
        const auto u16 = [&](std::size_t at) {
            return std::uint32_t(head[at]) | std::uint32_t(head[at + 1]) << 8;
        };
        const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
        BmpHeader h;
        if (n >= 26 && u32(14) == 12) { // 16-bit sizes
            h.width = u16(18), h.height = u16(20), h.bits = u16(24);
        } else if (n >= 34 && u32(14) >= 40) {
            h.width = std::int32_t(u32(18)), h.height = std::int32_t(u32(22));
            h.bits = u16(28), h.compression = u32(30);
        } else {
            return std::nullopt;
        }
        h.pixelsAt = u32(10);
        return h;
    }

    // Both sides, when they make sense as a size.
    bool HasSize() const { return width > 0 && height != 0; }
    std::uint64_t rows() const { return std::uint64_t(height < 0 ? -height : height); }

    // Uncompressed rows (RGB or bit fields) that lie past the file's end. A decoder may show
    // them as its memory held them; Windows refuses the file as damaged. Compressed data has
    // an end of its own, which the decoder finds.
    bool RowsPastEnd(std::uint64_t fileSize) const {
        if ((compression != 0 && compression != 3 && compression != 6) || !HasSize() || bits == 0 ||
            bits > 32)
            return false;
        const std::uint64_t rowBits = std::uint64_t(width) * bits;
        const std::uint64_t stride = (rowBits + 31) / 32 * 4;
        // The last row's padding may be missing: some writers leave it out.
        return pixelsAt + stride * (rows() - 1) + (rowBits + 7) / 8 > fileSize;
    }
};

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

// The most one picture may take to load. Neither system's decoders can be cancelled; the
// loaders bound what passes through their hands: every read from the file, and the copy.
inline constexpr std::chrono::seconds kDecodeTimeLimit{15};

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

// Makes the decoded pixels (straight alpha) the picture's: opaque or the mask colour, the
// file's own pixels kept beside them when some are partly see-through (soft edges).
inline void FinishPixels(Picture& picture) {
    for (std::uint32_t px : picture.pixels) {
        const std::uint32_t alpha = px >> 24;
        if (alpha != 0 && alpha != 0xFF) {
            picture.ownAlpha = picture.pixels;
            break;
        }
    }
    for (std::uint32_t& px : picture.pixels)
        px = OpaqueOrMask(px);
}

} // namespace zorvane::load
