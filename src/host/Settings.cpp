#include "host/Settings.h"

namespace zorvane {

SavedSettings ReadSettings(Runtime& rt) {
    auto get = [&](const char* key) {
        return rt.GetSetting(kSettingsApp, kSettingsSection, key, "");
    };
    SavedSettings s;
    s.Save = get("Save");
    s.Left = get("Left");
    s.Top = get("Top");
    s.Scale = get("Scale");
    s.Always = get("Always");
    s.Smooth = get("Smooth");
    return s;
}

} // namespace zorvane
