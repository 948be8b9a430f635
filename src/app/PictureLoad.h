#pragma once

#include "app/Texts.h"
#include "core/Animation.h"
#include "core/Picture.h"

#include <memory>
#include <new>
#include <optional>
#include <string>

namespace zorvane {

// What a load hands back: the picture, or why it could not be shown.
struct PictureLoad {
    std::shared_ptr<const Picture> picture; // null when the file could not be shown
    std::string error;                      // why, in words for the user
    // For a picture of more than one frame: the frames, picture being the first.
    std::shared_ptr<Animation> animation;
};

// The steps both picture loaders take, and how they end.
namespace load {

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

} // namespace load

} // namespace zorvane
