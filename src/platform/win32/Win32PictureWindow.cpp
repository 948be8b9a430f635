#include "platform/win32/Win32PictureWindow.h"

#include "core/Shape.h"
#include "platform/win32/ClassNames.h"
#include "platform/win32/Region.h"
#include "platform/win32/Win32Platform.h"

#include <windowsx.h>

#include <algorithm>

namespace zorvane::win32 {

// ---- the view

void Win32PictureView::SetPicture(std::shared_ptr<const Picture> picture) {
    picture_ = std::move(picture);
    cut_ = false;
    InvalidateRect(window_.hwnd(), nullptr, FALSE);
}

bool Win32PictureView::Layered() const {
    return (GetWindowLongPtrW(window_.hwnd(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
}

bool Win32PictureView::PrepareSurface(int width, int height) {
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

bool Win32PictureView::BlendsPixels() {
    // Desktop composition is always on from Windows 8; without it (Windows 7's basic theme,
    // Wine) a layered window's soft edge is not blended well, and the outline only cuts.
    // dwmapi is loaded from the system folder by name: it is not among the DLLs Windows
    // always takes from there, so it is not imported.
    using IsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
    static const UniqueHmodule dwm(
        LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    static const auto isEnabled =
        dwm ? reinterpret_cast<IsCompositionEnabled>(
                  reinterpret_cast<void*>(GetProcAddress(dwm.get(), "DwmIsCompositionEnabled")))
            : nullptr;
    BOOL on = FALSE;
    return isEnabled && SUCCEEDED(isEnabled(&on)) && on;
}

void Win32PictureView::CutTo(const Cutout& cut) {
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

void Win32PictureView::SetLayered(bool on) {
    if (Layered() == on)
        return;
    const HWND hwnd = window_.hwnd();
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, on ? style | WS_EX_LAYERED : style & ~WS_EX_LAYERED);
    if (!on) // back to a window that paints itself: its pixels are asked for again
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

const std::uint32_t* Win32PictureView::cutPixels() const {
    return cut_ && surface_ ? static_cast<const std::uint32_t*>(surface_->bits) : nullptr;
}

void Win32PictureView::ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) {
    picture_ = std::move(frame);
    cut_ = false;
    if (cut)
        CutTo(*cut);
    else
        InvalidateRect(window_.hwnd(), nullptr, FALSE);
}

void Win32PictureView::PlainRectangle() {
    const HWND hwnd = window_.hwnd();
    SetWindowRgn(hwnd, nullptr, TRUE);
    regionRects_.reset();
    cut_ = false;
    surface_.reset();
    SetLayered(false);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// ---- the window

Win32PictureWindow::Win32PictureWindow(Win32Platform& platform, const PixelRect& first)
    : platform_(platform) {
    Create(kPictureClass, L"", WS_POPUP, WS_EX_TOOLWINDOW, first.left, first.top, first.width,
           first.height, platform.AppIcon());
}

PixelRect Win32PictureWindow::Bounds() {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void Win32PictureWindow::Place(int x, int y, int width, int height, UINT flags) {
    SetWindowPos(hwnd(), nullptr, x, y, width, height,
                 flags | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void Win32PictureWindow::Move(int left, int top) {
    Place(left, top, 0, 0, SWP_NOSIZE);
}

void Win32PictureWindow::Resize(int width, int height) {
    Place(0, 0, std::max(0, width), std::max(0, height), SWP_NOMOVE);
}

bool Win32PictureWindow::Visible() {
    return IsWindowVisible(hwnd()) != FALSE;
}
void Win32PictureWindow::Show() {
    ShowWindow(hwnd(), SW_SHOW);
}
void Win32PictureWindow::Hide() {
    ShowWindow(hwnd(), SW_HIDE);
}

void Win32PictureWindow::SetTopmost(bool on) {
    // SWP_NOACTIVATE: changing the band must not take the focus from the user's window.
    SetWindowPos(hwnd(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT Win32PictureWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
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
        // Let the system's move loop drag the window, as if by a caption.
        ReleaseCapture();
        SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return 0;
    case WM_LBUTTONUP:
        return Clicked(MouseButton::Left, lp);
    case WM_RBUTTONUP:
        return Clicked(MouseButton::Right, lp);
    case WM_MBUTTONUP:
        return Clicked(MouseButton::Middle, lp);
    case WM_CLOSE:
        if (PlatformEvents* events = platform_.events();
            events && events->PictureWindowClosing(CloseReason::User))
            return 0;
        Hide(); // the program's windows live until it ends
        return 0;
    case WM_DPICHANGED:
        return 0; // one picture pixel stays one screen pixel on every monitor
    }
    return Default(msg, wp, lp);
}

LRESULT Win32PictureWindow::Clicked(MouseButton button, LPARAM lp) {
    if (PlatformEvents* events = platform_.events())
        events->PictureClicked(button, {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
    return 0;
}

void Win32PictureWindow::Paint() {
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(hwnd(), &ps);
    const Picture* picture = view_.picture();
    // Cut out, the pixels the cutout gives (those cut away lie outside the region).
    const std::uint32_t* pixels = view_.cutPixels();
    if (!pixels && picture)
        pixels = picture->pixels.data();
    RECT client{};
    GetClientRect(hwnd(), &client);
    // Where no picture covers the window, the mask colour, like any transparent part of one.
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

} // namespace zorvane::win32
