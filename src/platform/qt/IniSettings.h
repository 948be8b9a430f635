#pragma once

#include <optional>
#include <string>

namespace zorvane::qt {

// The per-user settings: one INI file per application, a group per section.
// $XDG_CONFIG_HOME/<app>/<app>.conf (by default ~/.config), as the environment names it now.
std::string SettingsFile(const std::string& app);

// The value as text; nothing when it is absent or not text (a list, a number
// written by hand as something else).
std::optional<std::string> ReadSetting(const std::string& app, const std::string& section,
                                       const std::string& key);
// False when the file could not be written.
bool WriteSetting(const std::string& app, const std::string& section, const std::string& key,
                  const std::string& text);

} // namespace zorvane::qt
