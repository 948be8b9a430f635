#include "app/Settings.h"

#include "core/Conversions.h"

#include <array>

namespace zorvane {

namespace {

constexpr const char* kKeys[] = {"Save", "Left", "Top", "Scale", "Always", "Smooth"};

template <typename Settings> auto Values(Settings& s) {
    return std::array{&s.picture, &s.left, &s.top, &s.transparent, &s.alwaysOnTop, &s.smoothEdges};
}

} // namespace

SavedSettings ReadSettings(Platform& platform) {
    SavedSettings s;
    const auto values = Values(s);
    for (std::size_t i = 0; i < values.size(); ++i)
        *values[i] = platform.ReadSetting(kKeys[i]);
    return s;
}

bool WriteSettings(Platform& platform, const SavedSettings& settings) {
    const auto values = Values(settings);
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!platform.WriteSetting(kKeys[i], *values[i]))
            return false;
    return true;
}

std::optional<int> SavedCoordinateToPixels(const std::string& text, float twipsPerPixel) {
    const std::optional<float> twips = TextToSingle(text);
    if (!twips)
        return std::nullopt;
    return WindowPixels(*twips, twipsPerPixel);
}

std::string PixelsToSavedCoordinate(int pixels, float twipsPerPixel) {
    return SingleToText(PixelsToTwips(pixels, twipsPerPixel));
}

} // namespace zorvane
