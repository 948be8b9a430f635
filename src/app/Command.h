#pragma once

#include <cstddef>

namespace zorvane {

// The command menu's commands, in the menu's order.
enum class Command {
    ChangePicture,
    AlwaysOnTop,
    Transparent,
    SmoothEdges,
    SaveState,
    Help,
    About,
    Exit
};
inline constexpr std::size_t kCommandCount = std::size_t(Command::Exit) + 1;

} // namespace zorvane
