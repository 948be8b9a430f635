#pragma once

#include "app/Settings.h"

#include <string>

namespace zorvane {

// What the user has chosen; empty and off until startup reads the saved settings. The command
// menu's check marks show these values and nothing else.
struct AppState {
    std::string picturePath; // the picture shown; empty for none
    bool transparent = false;
    bool smoothEdges = true; // soft outline edges, with Transparent on
    // Always on top, as saved: a value other than "1" or "0" is kept as it was read until the
    // user turns the option on or off.
    std::string alwaysOnTopText;

    bool alwaysOnTop() const { return AlwaysOnTopFromText(alwaysOnTopText); }
    void setAlwaysOnTop(bool on) { alwaysOnTopText.assign(1, on ? '1' : '0'); }
};

} // namespace zorvane
