#pragma once

#include "host/Runtime.h"

#include <string>

namespace zorvane {

inline constexpr const char* kTitle = "Zorvane Ver1.1";
// What a running copy is known by, so that a second one ends at once.
inline constexpr const char* kInstanceName = "Zorvane.Ver1.1.SingleInstance";

// The program's shared variables; empty and False until startup fills them.
struct Module1 {
    std::string PicturePath; // the picture shown; empty for none
    std::string SavedLeft;   // twips as text, as read at startup
    std::string SavedTop;
    bool ScaleOn = false;   // Transparent
    bool Smooth = true;     // soft outline edges, with Transparent on
    std::string AlwaysFlag; // Always on top: "1", "0" or empty
};

// Puts the window into or out of the topmost band without moving or sizing it.
inline void SetTopmost(Form& form, bool on) {
    form.SetTopmost(on);
}

} // namespace zorvane
