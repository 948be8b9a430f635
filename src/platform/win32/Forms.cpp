#include "platform/win32/Forms.h"

#include "host/Conversions.h"
#include "menu/MenuTable.h"
#include "picture/Shape.h"
#include "platform/win32/ClassNames.h"
#include "platform/win32/Region.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Runtime.h"

#include <windowsx.h>

#include <algorithm>
#include <iterator>

namespace zorvane::win32 {
namespace {

constexpr UINT kFirstCommandId = 100;

} // namespace

UINT CommandId(MenuItem item) { return kFirstCommandId + UINT(item); }

// ---- WindowForm

RECT WindowForm::Bounds() const {
    RECT r{};
    GetWindowRect(FormHandle(), &r);
    return r;
}

void WindowForm::Place(int x, int y, int width, int height, UINT flags) {
    SetWindowPos(FormHandle(), nullptr, x, y, width, height,
                 flags | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

float WindowForm::Left() { return PixelsToTwips(Bounds().left, rt_.TwipsPerPixelX()); }
float WindowForm::Top() { return PixelsToTwips(Bounds().top, rt_.TwipsPerPixelY()); }
float WindowForm::Width() {
    const RECT r = Bounds();
    return PixelsToTwips(r.right - r.left, rt_.TwipsPerPixelX());
}
float WindowForm::Height() {
    const RECT r = Bounds();
    return PixelsToTwips(r.bottom - r.top, rt_.TwipsPerPixelY());
}

void WindowForm::SetLeft(float twips) {
    Place(WindowPixels(twips, rt_.TwipsPerPixelX()), Bounds().top, 0, 0, SWP_NOSIZE);
}
void WindowForm::SetTop(float twips) {
    Place(Bounds().left, WindowPixels(twips, rt_.TwipsPerPixelY()), 0, 0, SWP_NOSIZE);
}
void WindowForm::SetWidth(float twips) {
    const RECT r = Bounds();
    Place(0, 0, std::max(0, WindowPixels(twips, rt_.TwipsPerPixelX())), r.bottom - r.top, SWP_NOMOVE);
}
void WindowForm::SetHeight(float twips) {
    const RECT r = Bounds();
    Place(0, 0, r.right - r.left, std::max(0, WindowPixels(twips, rt_.TwipsPerPixelY())), SWP_NOMOVE);
}

bool WindowForm::Visible() { return IsWindowVisible(FormHandle()) != FALSE; }
void WindowForm::SetVisible(bool visible) { ShowWindow(FormHandle(), visible ? SW_SHOW : SW_HIDE); }
void WindowForm::Show() { ShowWindow(FormHandle(), SW_SHOW); }
void WindowForm::Hide() { ShowWindow(FormHandle(), SW_HIDE); }

void WindowForm::SetTopmost(bool on) {
    // SWP_NOACTIVATE: changing the band must not take the focus from the user's window.
    SetWindowPos(FormHandle(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void WindowForm::Unload() { DestroyWindow(FormHandle()); }

// ---- TIMESTMP

HostWindow::HostWindow(Win32Runtime& rt) : WindowForm(rt) {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    startedAgain_ = RegisterWindowMessageW(kStartedAgainMessage);
    // A hidden top-level window rather than a message-only one: broadcasts such
    // as TaskbarCreated reach only top-level windows.
    Create(kHostClass, L"", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 0, 0, rt.AppIcon());
}

void HostWindow::Unload() {
    WindowForm::Unload();
    rt_.HostUnloaded();
}

LRESULT HostWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kLoadEndedMessage) {
        rt_.LoadEnded(std::uint64_t(wp));
        return 0;
    }
    if (msg == kWorkEndedMessage) {
        rt_.WorkEnded(std::uint64_t(wp));
        return 0;
    }
    Events* events = rt_.events();
    if (!events)
        return Default(msg, wp, lp);
    if (msg == WM_MOUSEMOVE) {
        // The tray icon's callback message: lParam holds the mouse message,
        // which arrives, as any mouse move would, as X in twips.
        const float x = PixelsToTwips(LOWORD(lp), rt_.TwipsPerPixelX());
        events->TIMESTMP_Form_MouseMove(0, 0, x, 0);
        return 0;
    }
    if (taskbarCreated_ && msg == taskbarCreated_) {
        events->TIMESTMP_TaskbarCreated();
        return 0;
    }
    if (startedAgain_ && msg == startedAgain_) {
        PostMessageW(hwnd(), kStartedAgainPosted, 0, 0);
        return kStartedAgainAnswer;
    }
    if (msg == kStartedAgainPosted) {
        events->TIMESTMP_StartedAgain();
        return 0;
    }
    switch (msg) {
    case WM_TIMER:
        events->Timer(TimerId(wp - 1));
        return 0;
    case WM_ENDSESSION:
        if (wp)
            events->TIMESTMP_Form_Terminate();
        return 0;
    case WM_CLOSE:
        // Asked to close from outside (a task manager): leave no icon behind.
        events->TIMESTMP_Form_Terminate();
        rt_.End();
        return 0;
    }
    return Default(msg, wp, lp);
}

// ---- Vesquin1

void Vesquin::SetPicture(std::shared_ptr<const Picture> picture) {
    picture_ = std::move(picture);
    cut_ = false;
    InvalidateRect(window_.hwnd(), nullptr, FALSE);
}

float Vesquin::Width() {
    const int px = picture_ ? picture_->width : kShapeDesignPixels;
    return PixelsToTwips(px, window_.runtime().TwipsPerPixelX());
}

float Vesquin::Height() {
    const int px = picture_ ? picture_->height : kShapeDesignPixels;
    return PixelsToTwips(px, window_.runtime().TwipsPerPixelY());
}

bool Vesquin::Layered() const {
    return (GetWindowLongPtrW(window_.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
}

bool Vesquin::PrepareSurface(int width, int height) {
    if (surface_ && surface_->width == width && surface_->height == height)
        return true;
    surface_.reset();
    auto s = std::make_unique<Surface>();
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height; // top row first
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    s->dc.reset(CreateCompatibleDC(nullptr));
    s->bitmap.reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &s->bits, nullptr, 0));
    if (!s->dc || !s->bitmap || !s->bits)
        return false;
    s->before = SelectObject(s->dc.get(), s->bitmap.get());
    s->width = width;
    s->height = height;
    surface_ = std::move(s);
    return true;
}

bool Vesquin::BlendsPixels() {
    // Desktop composition is always on from Windows 8; without it (Windows 7's basic theme,
    // Wine) a layered window's soft edge is not blended well, and the outline only cuts.
    // dwmapi is loaded from the system folder by name: it is not among the DLLs Windows
    // always takes from there, so it is not imported.
    using IsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
    static const UniqueHmodule dwm(
        LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    static const auto isEnabled = dwm ? reinterpret_cast<IsCompositionEnabled>(reinterpret_cast<void*>(
                                            GetProcAddress(dwm.get(), "DwmIsCompositionEnabled")))
                                      : nullptr;
    BOOL on = FALSE;
    return isEnabled && SUCCEEDED(isEnabled(&on)) && on;
}

void Vesquin::CutTo(const Cutout& cut) {
    if (!picture_ || cut.width != picture_->width || cut.height != picture_->height ||
        !PrepareSurface(cut.width, cut.height) ||
        !PaintCutout(*picture_, cut, static_cast<std::uint32_t*>(surface_->bits)))
        return;
    const HWND hwnd = window_.hwnd();
    // A click on a wholly see-through pixel goes to the window below through the region; a
    // layered window alone lets it through on Windows, not under Wine. Frames of an animation
    // often keep the outline: the region is made again only when it changes.
    if (!regionRects_ || *regionRects_ != cut.outline.rects) {
        if (UniqueHrgn region = MakeRegion(cut.outline.rects);
            region && SetWindowRgn(hwnd, region.get(), FALSE)) {
            (void)region.release(); // the window owns it now
            regionRects_ = cut.outline.rects;
        }
    }
    cut_ = true;
    const bool translucent = std::any_of(cut.edges.begin(), cut.edges.end(),
                                         [](const EdgePixel& e) { return (e.argb >> 24) != 0xFF; });
    if (!translucent) {
        // Nothing to blend: the window paints the cutout itself, cheaper than a layered update.
        SetLayered(false);
        InvalidateRect(hwnd, nullptr, FALSE);
        return;
    }
    // The system blends each pixel with what lies behind it.
    SetLayered(true);
    SIZE size{cut.width, cut.height};
    POINT from{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(hwnd, nullptr, nullptr, &size, surface_->dc.get(), &from, 0, &blend,
                        ULW_ALPHA);
}

void Vesquin::SetLayered(bool on) {
    if (Layered() == on)
        return;
    const HWND hwnd = window_.hwnd();
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, on ? style | WS_EX_LAYERED : style & ~WS_EX_LAYERED);
    if (!on) // back to a window that paints itself: its pixels are asked for again
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

const std::uint32_t* Vesquin::cutPixels() const {
    return cut_ && surface_ ? static_cast<const std::uint32_t*>(surface_->bits) : nullptr;
}

void Vesquin::ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) {
    picture_ = std::move(frame);
    cut_ = false;
    if (cut)
        CutTo(*cut);
    else
        InvalidateRect(window_.hwnd(), nullptr, FALSE);
}

void Vesquin::PlainRectangle() {
    const HWND hwnd = window_.hwnd();
    SetWindowRgn(hwnd, nullptr, TRUE);
    regionRects_.reset();
    cut_ = false;
    surface_.reset();
    SetLayered(false);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// ---- C_Disp

DispWindow::DispWindow(Win32Runtime& rt) : WindowForm(rt) {
    // Before the first picture: 1020 x 870 twips at (2085, 1170).
    const float tx = rt.TwipsPerPixelX(), ty = rt.TwipsPerPixelY();
    const TwipsRect& d = kDispDesignBounds;
    Create(kPictureClass, L"", WS_POPUP, WS_EX_TOOLWINDOW, WindowPixels(d.left, tx),
           WindowPixels(d.top, ty), WindowPixels(d.width, tx), WindowPixels(d.height, ty),
           rt.AppIcon());
}

LRESULT DispWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1; // Paint covers every pixel
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        if (vesquin1_.dragMovesForm()) {
            // Let the system's move loop drag the window, as if by a caption.
            ReleaseCapture();
            SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        return MouseEvent(vbLeftButton, wp, lp);
    case WM_RBUTTONUP:
        return MouseEvent(vbRightButton, wp, lp);
    case WM_MBUTTONUP:
        return MouseEvent(vbMiddleButton, wp, lp);
    case WM_CLOSE:
        if (Events* events = rt_.events(); events && events->C_Disp_Form_QueryUnload(vbFormControlMenu))
            return 0;
        Hide(); // the program's windows live until it ends
        return 0;
    case WM_DPICHANGED:
        return 0; // one picture pixel stays one screen pixel on every monitor
    }
    return Default(msg, wp, lp);
}

LRESULT DispWindow::MouseEvent(int button, WPARAM wp, LPARAM lp) {
    Events* events = rt_.events();
    if (!events)
        return 0;
    const int shift = ((wp & MK_SHIFT) ? 1 : 0) | ((wp & MK_CONTROL) ? 2 : 0);
    const float x = PixelsToTwips(GET_X_LPARAM(lp), rt_.TwipsPerPixelX());
    const float y = PixelsToTwips(GET_Y_LPARAM(lp), rt_.TwipsPerPixelY());
    events->C_Disp_Vesquin1_MouseEvent(button, shift, x, y);
    return 0;
}

void DispWindow::Paint() {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(hwnd(), &ps);
    const Picture* picture = vesquin1_.picture();
    // Cut out, the pixels the cutout gives (those cut away lie outside the region).
    const std::uint32_t* pixels = vesquin1_.cutPixels();
    if (!pixels && picture)
        pixels = picture->pixels.data();
    RECT client{};
    GetClientRect(hwnd(), &client);
    // The control's background is the mask colour, like any transparent part of a picture.
    const UniqueHbrush back(CreateSolidBrush(
        RGB((kMaskColor >> 16) & 0xFF, (kMaskColor >> 8) & 0xFF, kMaskColor & 0xFF)));
    if (picture && !picture->pixels.empty()) {
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = picture->width;
        bmi.bmiHeader.biHeight = -picture->height; // top row first
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, DWORD(picture->width), DWORD(picture->height), 0, 0, 0,
                          UINT(picture->height), pixels, &bmi, DIB_RGB_COLORS);
        ExcludeClipRect(dc, 0, 0, picture->width, picture->height);
    }
    FillRect(dc, &client, back.get());
    EndPaint(hwnd(), &ps);
}

// ---- C_Menu

MenuWindow::MenuWindow(Win32Runtime& rt) : WindowForm(rt) {
    Create(kMenuClass, L"Form1", WS_OVERLAPPEDWINDOW, 0, CW_USEDEFAULT, CW_USEDEFAULT,
           CW_USEDEFAULT, CW_USEDEFAULT);
    UniqueHmenu popup(CreatePopupMenu());
    UniqueHmenu bar(CreateMenu());
    if (!popup || !bar)
        return;
    for (const MenuEntry& e : kCommandMenu) {
        if (e.caption)
            AppendMenuW(popup.get(), MF_STRING, CommandId(e.item), Widen(e.caption).c_str());
        else
            AppendMenuW(popup.get(), MF_SEPARATOR, 0, nullptr);
    }
    CheckMenuItem(popup.get(), CommandId(kCheckedAtFirst), MF_BYCOMMAND | MF_CHECKED);
    // Each menu passes to its new owner only once the call that takes it succeeds.
    if (AppendMenuW(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup.get()), L"MainMenu"))
        (void)popup.release();
    if (SetMenu(hwnd(), bar.get()))
        (void)bar.release();
}

bool MenuWindow::Checked(MenuItem item) const {
    const UINT state = GetMenuState(GetMenu(hwnd()), CommandId(item), MF_BYCOMMAND);
    return state != UINT(-1) && (state & MF_CHECKED);
}

void MenuWindow::SetChecked(MenuItem item, bool checked) {
    CheckMenuItem(GetMenu(hwnd()), CommandId(item),
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void MenuWindow::Popup(int x, int y) {
    const HMENU sub = GetSubMenu(GetMenu(hwnd()), 0);
    if (!sub)
        return;
    // Windows closes a popup menu on a click elsewhere only when its owner is the
    // foreground window; the WM_NULL afterwards lets the next popup open at once.
    SetForegroundWindow(hwnd());
    ::TrackPopupMenu(sub, TPM_RIGHTBUTTON, x, y, 0, hwnd(), nullptr);
    PostMessageW(hwnd(), WM_NULL, 0, 0);
}

LRESULT MenuWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && HIWORD(wp) == 0) {
        const UINT id = LOWORD(wp);
        if (id >= kFirstCommandId && id <= CommandId(MenuItem::p_end))
            if (Events* events = rt_.events())
                events->C_Menu_Click(MenuItem(id - kFirstCommandId));
        return 0;
    }
    if (msg == WM_CLOSE)
        return 0; // never shown; nothing to close
    return Default(msg, wp, lp);
}

} // namespace zorvane::win32
