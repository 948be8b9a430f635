#pragma once

#include "app/Platform.h"

#include <optional>
#include <string>

// The saved settings: text values, kept per user under application and section "Kelvra".
namespace zorvane {

inline constexpr const char* kSettingsApp = "Kelvra";
inline constexpr const char* kSettingsSection = "Kelvra";

// The values in the order they are read and written, as stored.
struct SavedSettings {
    std::string picture; // "Save": the picture's path
    std::string left;    // "Left", "Top": the picture window's place, in twips
    std::string top;
    std::string transparent; // "Scale"
    std::string alwaysOnTop; // "Always"
    std::string smoothEdges; // "Smooth"
};

// An absent value reads as "".
SavedSettings ReadSettings(Platform& platform);
// Stops at the first value the store refuses: false then.
bool WriteSettings(Platform& platform, const SavedSettings& settings);

// Exactly "False" turns Transparent off; anything else, "" included, leaves it on.
inline bool TransparentFromText(const std::string& text) {
    return text != "False";
}
inline std::string TransparentToText(bool on) {
    return on ? "True" : "False";
}
// Exactly "0" turns soft edges off; anything else, "" (settings saved before there were
// any) included, leaves them on.
inline bool SmoothEdgesFromText(const std::string& text) {
    return text != "0";
}
inline std::string SmoothEdgesToText(bool on) {
    return on ? "1" : "0";
}
// Exactly "1" turns Always on top on.
inline bool AlwaysOnTopFromText(const std::string& text) {
    return text == "1";
}

// A saved coordinate is twips as text: in whole pixels of this screen, or nothing for text
// that is not a finite number.
std::optional<int> SavedCoordinateToPixels(const std::string& text, float twipsPerPixel);
std::string PixelsToSavedCoordinate(int pixels, float twipsPerPixel);

} // namespace zorvane
