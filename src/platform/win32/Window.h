#pragma once

#include "platform/win32/Handles.h"

#include <windows.h>

namespace zorvane::win32 {

// A window object bound to its HWND from WM_NCCREATE on; the window procedure
// only dispatches to the derived class's HandleMessage.
template <typename Derived> class BaseWindow {
  public:
    HWND hwnd() const { return hwnd_.get(); }

  protected:
    // The derived part is gone by now: detach first, so that the messages of the
    // window's destruction go to the default procedure, not to a dead object.
    ~BaseWindow() {
        if (hwnd_)
            SetWindowLongPtrW(hwnd_.get(), GWLP_USERDATA, 0);
    }

    // `icon` stays its owner's, who must keep it until the window is gone.
    bool Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int x,
                int y, int width, int height, HICON icon = nullptr, HWND owner = nullptr) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        if (!GetClassInfoExW(instance, className, &wc)) {
            // No icon in the class: the class outlives whoever made the first window, and
            // would keep an icon its owner has destroyed.
            wc = WNDCLASSEXW{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &BaseWindow::WndProc;
            wc.hInstance = instance;
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.lpszClassName = className;
            if (!RegisterClassExW(&wc))
                return false;
        }
        CreateWindowExW(exStyle, className, title, style, x, y, width, height, owner, nullptr,
                        instance, this);
        if (hwnd_ && icon)
            SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        return hwnd_.valid();
    }

    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd(), msg, wp, lp); }

    UniqueHwnd hwnd_;

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            self = static_cast<Derived*>(reinterpret_cast<BaseWindow*>(cs->lpCreateParams));
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->hwnd_.reset(hwnd);
        }
        if (!self)
            return DefWindowProcW(hwnd, msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            // The window is gone: the owner must not destroy it a second time.
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            (void)self->hwnd_.release();
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        // No exception may cross into the system's code.
        try {
            return self->HandleMessage(msg, wp, lp);
        } catch (...) {
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
    }
};

} // namespace zorvane::win32
