#pragma once

#include "app/Platform.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Window.h"

#include <memory>
#include <optional>
#include <vector>

namespace zorvane::win32 {

class Win32Platform;
class Win32PictureWindow;

// Paints the picture at the window's top left corner and cuts the window to its outline.
class Win32PictureView final : public PictureView {
  public:
    explicit Win32PictureView(Win32PictureWindow& window) : window_(window) {}

    void SetPicture(std::shared_ptr<const Picture> picture) override;
    bool BlendsPixels() override;
    void CutTo(const Cutout& cut) override;
    void PlainRectangle() override;
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) override;

    const Picture* picture() const { return picture_.get(); }
    // The cutout's pixels while the window shows them; null otherwise.
    const std::uint32_t* cutPixels() const;

  private:
    // Premultiplied pixels of the layered window's size, selected into a memory DC.
    struct Surface {
        UniqueHdc dc;
        UniqueHbitmap bitmap;
        HGDIOBJ before = nullptr; // what the DC held, put back before the bitmap goes
        void* bits = nullptr;
        int width = 0, height = 0;
        ~Surface() {
            if (dc && before)
                SelectObject(dc.get(), before);
        }
    };
    bool Layered() const;
    void SetLayered(bool on);
    bool PrepareSurface(int width, int height);

    Win32PictureWindow& window_;
    std::shared_ptr<const Picture> picture_;
    std::unique_ptr<Surface> surface_;
    std::optional<std::vector<Rect>> regionRects_; // of the window's region, while it has one
    bool cut_ = false;                             // the surface holds the cutout the window shows
};

// The picture's window: frameless, without a taskbar button, of exactly the picture's size
// once one shows. A left-button drag on it moves it.
class Win32PictureWindow final : public BaseWindow<Win32PictureWindow>, public PlatformWindow {
  public:
    // Hidden, at `first` until a picture moves it.
    Win32PictureWindow(Win32Platform& platform, const PixelRect& first);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    PixelRect Bounds() override;
    void Move(int left, int top) override;
    void Resize(int width, int height) override;
    bool Visible() override;
    void Show() override;
    void Hide() override;
    void SetTopmost(bool on) override;

    Win32PictureView& view() { return view_; }

  private:
    void Place(int x, int y, int width, int height, UINT flags);
    void Paint();
    LRESULT Clicked(MouseButton button, LPARAM lp);

    Win32Platform& platform_;
    Win32PictureView view_{*this};
};

} // namespace zorvane::win32
