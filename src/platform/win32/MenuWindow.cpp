#include "platform/win32/MenuWindow.h"

#include "app/Texts.h"
#include "platform/win32/ClassNames.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"

namespace zorvane::win32 {
namespace {

constexpr UINT kFirstCommandId = 100;

} // namespace

UINT CommandId(Command command) {
    return kFirstCommandId + UINT(command);
}

MenuWindow::MenuWindow(Win32Platform& platform) : platform_(platform) {
    // The title is what outside tools have always seen of this window.
    Create(kMenuClass, L"Form1", WS_OVERLAPPEDWINDOW, 0, CW_USEDEFAULT, CW_USEDEFAULT,
           CW_USEDEFAULT, CW_USEDEFAULT);
    menu_.reset(CreatePopupMenu());
    if (!menu_)
        return;
    for (const MenuEntry& e : kCommandMenu) {
        if (e.caption)
            AppendMenuW(menu_.get(), MF_STRING, CommandId(e.command), Widen(e.caption).c_str());
        else
            AppendMenuW(menu_.get(), MF_SEPARATOR, 0, nullptr);
    }
}

void MenuWindow::SetChecked(Command command, bool checked) {
    CheckMenuItem(menu_.get(), CommandId(command),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MenuWindow::Popup(PixelPoint at) {
    if (!menu_)
        return;
    // Windows closes a popup menu on a click elsewhere only when its owner is the
    // foreground window; the WM_NULL afterwards lets the next popup open at once.
    SetForegroundWindow(hwnd());
    TrackPopupMenu(menu_.get(), TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
    PostMessageW(hwnd(), WM_NULL, 0, 0);
}

LRESULT MenuWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && HIWORD(wp) == 0) {
        const UINT id = LOWORD(wp);
        if (id >= kFirstCommandId && id < kFirstCommandId + kCommandCount)
            if (PlatformEvents* events = platform_.events())
                events->CommandChosen(Command(id - kFirstCommandId));
        return 0;
    }
    if (msg == WM_CLOSE)
        return 0; // never shown; nothing to close
    return Default(msg, wp, lp);
}

} // namespace zorvane::win32
