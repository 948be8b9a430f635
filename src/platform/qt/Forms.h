#pragma once

#include "host/Runtime.h"
#include "picture/Cutout.h"

#include <QImage>
#include <QMenu>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zorvane::qt {

class QtRuntime;

// A form with no window of its own (TIMESTMP, C_Menu): never shown to the
// user, it keeps the place, size and visibility the program gives it.
class HiddenForm final : public Form {
  public:
    HiddenForm(QtRuntime& rt, std::function<void()> onUnload)
        : rt_(rt), onUnload_(std::move(onUnload)) {}

    float Left() override;
    float Top() override;
    float Width() override;
    float Height() override;
    void SetLeft(float twips) override;
    void SetTop(float twips) override;
    void SetWidth(float twips) override;
    void SetHeight(float twips) override;
    bool Visible() override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    void Show() override { visible_ = true; }
    void Hide() override { visible_ = false; }
    void SetTopmost(bool) override {}
    void Unload() override;

  private:
    QtRuntime& rt_;
    std::function<void()> onUnload_;
    QRect pixels_{0, 0, 0, 0};
    bool visible_ = false;
};

class DispForm;
class PictureWidget;

// The shape control on C_Disp: paints the picture and cuts the window to its outline.
class Vesquin final : public ShapeControl {
  public:
    Vesquin(QtRuntime& rt, DispForm& form) : rt_(rt), form_(form) {}

    void SetAutoSize(bool) override {} // it always takes the picture's size
    void SetDragMovesForm(bool on) override { dragMovesForm_ = on; }
    void SetPicture(std::shared_ptr<const Picture> picture) override;
    float Left() override { return 0; } // at the window's top left corner, never moved
    float Width() override;
    float Height() override;
    bool BlendsPixels() override;
    void CutTo(const Cutout& cut) override;
    void PlainRectangle() override;
    void ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) override;

    const Picture* picture() const { return picture_.get(); }
    const QImage& image() const { return image_; }
    // Pixels drawn over image() (soft edges of a still picture), in order of index.
    const std::vector<EdgePixel>& overlay() const { return overlay_; }
    bool dragMovesForm() const { return dragMovesForm_; }

  private:
    void Take(std::shared_ptr<const Picture> picture, bool opaque);
    void Cut(const Cutout& cut, bool frame);

    QtRuntime& rt_;
    DispForm& form_;
    std::shared_ptr<const Picture> picture_;
    std::vector<std::uint32_t> cutPixels_; // the window's pixels while it is cut
    bool cut_ = false;
    bool opaque_ = false; // every pixel of picture_ has alpha 0xFF
    std::vector<EdgePixel> overlay_;
    QImage image_; // over cutPixels_ or picture_'s pixels, or an opaque copy of picture_'s
    bool dragMovesForm_ = false;
};

// C_Disp's window: frameless, no taskbar entry, exactly the picture's size.
class PictureWidget final : public QWidget {
  public:
    PictureWidget(QtRuntime& rt, Vesquin& control);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Deliver(int button, QMouseEvent* event);

    QtRuntime& rt_;
    Vesquin& control_;
    // Set while the window follows the mouse itself, where the window manager
    // cannot move it (no manager, or one without _NET_WM_MOVERESIZE).
    std::optional<QPoint> dragOffset_;
};

// C_Disp: the Form over the picture window; positions are its outer top left corner.
class DispForm final : public Form {
  public:
    explicit DispForm(QtRuntime& rt);
    ~DispForm() override;

    float Left() override;
    float Top() override;
    float Width() override;
    float Height() override;
    void SetLeft(float twips) override;
    void SetTop(float twips) override;
    void SetWidth(float twips) override;
    void SetHeight(float twips) override;
    bool Visible() override;
    void SetVisible(bool visible) override;
    void Show() override;
    void Hide() override;
    void SetTopmost(bool on) override;
    void Unload() override;

    Vesquin& Vesquin1() { return *control_; }
    PictureWidget& widget() { return *widget_; }

  private:
    // Sets or clears one of the window's flags; false when it was so already.
    bool SetFlag(Qt::WindowType flag, bool on);

    QtRuntime& rt_;
    std::unique_ptr<Vesquin> control_;
    std::unique_ptr<PictureWidget> widget_; // goes first: it paints from the control
};

// The command menu of C_Menu: the first submenu of its menu bar.
class CommandMenu {
  public:
    CommandMenu();

    bool Checked(MenuItem item) const { return checked_[std::size_t(item)]; }
    void SetChecked(MenuItem item, bool checked);
    // Opens the menu at (x, y) pixels; the item picked, if any.
    std::optional<MenuItem> Popup(int x, int y);

    QMenu& menu() { return menu_; }
    QAction* action(MenuItem item) { return actions_[std::size_t(item)]; }

    // The same items and check marks for a tray host that opens the menu itself (exported
    // over D-Bus): an item picked there goes to onPicked.
    QMenu& Exported(std::function<void(MenuItem)> onPicked);

  private:
    void ShowCheckMarks();

    QMenu menu_;
    QMenu exported_;
    std::function<void(MenuItem)> onExportedPick_;
    std::array<QAction*, kMenuItemCount> actions_{};
    std::array<QAction*, kMenuItemCount> exportedActions_{};
    std::array<bool, kMenuItemCount> checked_{};
};

} // namespace zorvane::qt
