#pragma once

#include "host/Runtime.h"

#include <string>

// The saved settings: text values under application and section "Kelvra".
namespace zorvane {

inline constexpr const char* kSettingsApp = "Kelvra";
inline constexpr const char* kSettingsSection = "Kelvra";

struct SavedSettings {
    std::string Save, Left, Top, Scale, Always, Smooth;
};

// Reads the values in their order; an absent value reads as "".
SavedSettings ReadSettings(Runtime& rt);

// Exactly "False" turns Transparent off; anything else, "" included, leaves it on.
inline bool ScaleFromText(const std::string& text) {
    return text != "False";
}
// Exactly "0" turns soft edges off; anything else, "" (settings saved before there were
// any) included, leaves them on.
inline bool SmoothFromText(const std::string& text) {
    return text != "0";
}
inline const char* SmoothToText(bool on) {
    return on ? "1" : "0";
}
// Exactly "1" turns Always on top on.
inline bool AlwaysFromText(const std::string& text) {
    return text == "1";
}

} // namespace zorvane
