#pragma once

#include "app/Command.h"
#include "core/Geometry.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Window.h"

#include <windows.h>

namespace zorvane::win32 {

class Win32Platform;

// The WM_COMMAND id of a command of the command menu.
UINT CommandId(Command command);

// Hidden: owns the command menu, and hears which command was picked.
class MenuWindow final : public BaseWindow<MenuWindow> {
  public:
    explicit MenuWindow(Win32Platform& platform);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    HMENU menu() const { return menu_.get(); }
    void SetChecked(Command command, bool checked);
    void Popup(PixelPoint at);

  private:
    Win32Platform& platform_;
    UniqueHmenu menu_;
};

} // namespace zorvane::win32
