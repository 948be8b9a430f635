#pragma once

#include "app/Platform.h"
#include "core/Cutout.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace zorvane::qt {

class QtPlatform;
class QtPictureWindow;

// Paints the picture in the picture window and cuts the window to its outline.
class QtPictureView final : public PictureView {
  public:
    explicit QtPictureView(QtPictureWindow& window) : window_(window) {}

    void SetPicture(std::shared_ptr<const Picture> picture) override;
    bool BlendsPixels() override;
    void CutTo(const Cutout& cut) override;
    void PlainRectangle() override;
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) override;

    const QImage& image() const { return image_; }
    // Pixels drawn over image() (soft edges of a still picture), in order of index.
    const std::vector<EdgePixel>& overlay() const { return overlay_; }

  private:
    void Take(std::shared_ptr<const Picture> picture, bool opaque);
    void Cut(const Cutout& cut, bool frame);

    QtPictureWindow& window_;
    std::shared_ptr<const Picture> picture_;
    std::vector<std::uint32_t> cutPixels_; // the window's pixels while it is cut
    bool cut_ = false;
    bool opaque_ = false; // every pixel of picture_ has alpha 0xFF
    std::vector<EdgePixel> overlay_;
    QImage image_; // over cutPixels_ or picture_'s pixels, or an opaque copy of picture_'s
};

// The picture window's widget: frameless, no taskbar entry, exactly the picture's size.
class PictureWidget final : public QWidget {
  public:
    PictureWidget(QtPlatform& platform, QtPictureView& view);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Deliver(MouseButton button, QMouseEvent* event);

    QtPlatform& platform_;
    QtPictureView& view_;
    // Set while the window follows the mouse itself, where the window manager
    // cannot move it (no manager, or one without _NET_WM_MOVERESIZE).
    std::optional<QPoint> dragOffset_;
};

// The picture window; its bounds are its outer top left corner and size, from the primary
// monitor's corner.
class QtPictureWindow final : public PlatformWindow {
  public:
    explicit QtPictureWindow(QtPlatform& platform);
    ~QtPictureWindow() override;

    PixelRect Bounds() override;
    void Move(int left, int top) override;
    void Resize(int width, int height) override;
    bool Visible() override;
    void Show() override;
    void Hide() override;
    void SetTopmost(bool on) override;

    QtPictureView& view() { return *view_; }
    PictureWidget& widget() { return *widget_; }

  private:
    // Sets or clears one of the window's flags; false when it was so already.
    bool SetFlag(Qt::WindowType flag, bool on);

    QtPlatform& platform_;
    std::unique_ptr<QtPictureView> view_;
    std::unique_ptr<PictureWidget> widget_; // goes first: it paints from the view
};

} // namespace zorvane::qt
