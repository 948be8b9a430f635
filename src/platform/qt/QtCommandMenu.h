#pragma once

#include "app/Command.h"

#include <QMenu>
#include <QPoint>

#include <array>
#include <functional>
#include <optional>

namespace zorvane::qt {

// The command menu, with the check marks the program sets.
class QtCommandMenu {
  public:
    QtCommandMenu();

    void SetChecked(Command command, bool checked);
    // Opens the menu at this point of the X screen; the command picked, if any.
    std::optional<Command> Popup(QPoint at);

    QMenu& menu() { return menu_; }
    QAction* action(Command command) { return actions_[std::size_t(command)]; }

    // The same commands and check marks for a tray host that opens the menu itself (exported
    // over D-Bus): a command picked there goes to onPicked.
    QMenu& Exported(std::function<void(Command)> onPicked);

  private:
    void ShowCheckMarks();

    QMenu menu_;
    QMenu exported_;
    std::function<void(Command)> onExportedPick_;
    std::array<QAction*, kCommandCount> actions_{};
    std::array<QAction*, kCommandCount> exportedActions_{};
    std::array<bool, kCommandCount> checked_{};
};

} // namespace zorvane::qt
