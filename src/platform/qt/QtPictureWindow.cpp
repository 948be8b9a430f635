#include "platform/qt/QtPictureWindow.h"

#include "app/PictureWindow.h"
#include "core/Shape.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/X11State.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorvane::qt {
namespace {

const QColor kMaskQColor = QColor::fromRgb(QRgb(kMaskColor));

} // namespace

// ---- The view

void QtPictureView::SetPicture(std::shared_ptr<const Picture> picture) {
    Take(std::move(picture), false);
}

void QtPictureView::Take(std::shared_ptr<const Picture> picture, bool opaque) {
    image_ = QImage(); // before the pixels it may point at go
    cut_ = false;
    overlay_.clear();
    picture_ = std::move(picture);
    opaque_ = false;
    const Picture* p = picture_.get();
    if (p && p->width > 0 && p->height > 0 &&
        p->pixels.size() == std::size_t(p->width) * std::size_t(p->height)) {
        // The alpha byte is not part of the picture (the Windows window ignores
        // it too); Qt's RGB32 wants it 0xFF, so only other pictures are copied.
        opaque = opaque || std::all_of(p->pixels.begin(), p->pixels.end(),
                                       [](std::uint32_t px) { return (px >> 24) == 0xFF; });
        opaque_ = opaque;
        if (opaque) {
            image_ = QImage(reinterpret_cast<const uchar*>(p->pixels.data()), p->width, p->height,
                            qsizetype(p->width) * 4, QImage::Format_RGB32);
        } else {
            image_ = QImage(p->width, p->height, QImage::Format_RGB32);
            for (int y = 0; y < p->height; ++y) {
                auto* out = reinterpret_cast<std::uint32_t*>(image_.scanLine(y));
                for (int x = 0; x < p->width; ++x)
                    out[x] = p->at(x, y) | 0xFF000000u;
            }
        }
    }
    window_.widget().update();
}

bool QtPictureView::BlendsPixels() {
    return CompositorRunning();
}

void QtPictureView::CutTo(const Cutout& cut) {
    Cut(cut, false);
}

void QtPictureView::Cut(const Cutout& cut, bool frame) {
    if (!picture_ || cut.width != picture_->width || cut.height != picture_->height)
        return;
    image_ = QImage();
    overlay_.clear();
    const uchar* shown = nullptr;
    if (opaque_ && !cut.outline.approximated) {
        // The shape shows exactly the outline's pixels, so those beyond it need not be made
        // see-through: the picture's own pixels serve. The few along the edge that differ
        // (soft edges) are drawn over them: a still picture keeps no second copy of itself,
        // while a frame, drawn once, takes a copy at the speed of memory.
        if (cut.edges.empty() || !frame) {
            cutPixels_ = {};
            overlay_ = cut.edges;
            shown = reinterpret_cast<const uchar*>(picture_->pixels.data());
        } else {
            cutPixels_.assign(picture_->pixels.begin(), picture_->pixels.end());
            for (const EdgePixel& e : cut.edges)
                if (e.index < cutPixels_.size())
                    cutPixels_[e.index] = e.argb;
            shown = reinterpret_cast<const uchar*>(cutPixels_.data());
        }
    } else {
        cutPixels_.resize(picture_->pixels.size());
        if (!PaintCutout(*picture_, cut, cutPixels_.data()))
            return;
        shown = reinterpret_cast<const uchar*>(cutPixels_.data());
    }
    cut_ = true;
    // Premultiplied, as a window with alpha keeps its pixels: drawn as they are.
    image_ = QImage(shown, cut.width, cut.height, qsizetype(cut.width) * 4,
                    QImage::Format_ARGB32_Premultiplied);
    QRegion region;
    if (cut.outline.rects.empty()) {
        // Nothing of the picture is left. Qt takes an empty mask for no mask
        // at all; a pixel outside the window cuts all of it away, as an empty
        // window region does on Windows.
        region = QRegion(-1, -1, 1, 1);
    } else {
        std::vector<QRect> rects;
        rects.reserve(cut.outline.rects.size());
        for (const Rect& r : cut.outline.rects)
            rects.emplace_back(r.left, r.top, r.right - r.left, r.bottom - r.top);
        // The rectangles come Y-X banded, as setRects requires: no union needed.
        region.setRects(rects.data(), int(rects.size()));
    }
    // The shape cuts where no compositor blends the alpha, and tells every desktop where
    // the window answers the mouse.
    window_.widget().setMask(region);
    window_.widget().update();
}

void QtPictureView::ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) {
    image_ = QImage(); // before the pixels it may point at go
    if (cut) {
        picture_ = std::move(frame);
        opaque_ = true; // composed frames are opaque throughout
        Cut(*cut, true);
    } else {
        // Composed frames are opaque throughout: no need to look at every pixel again.
        Take(std::move(frame), true);
    }
}

void QtPictureView::PlainRectangle() {
    if (cut_) {
        Take(picture_, false);
        cutPixels_ = {};
    }
    window_.widget().clearMask();
}

// ---- The widget

PictureWidget::PictureWidget(QtPlatform& platform, QtPictureView& view)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), platform_(platform), view_(view) {
    setAttribute(Qt::WA_QuitOnClose, false);
    // A window with alpha (a 32-bit visual), so that where a compositor runs the cut-away
    // part shows the desktop and soft edges blend; without one the shape cuts.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent covers every pixel
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::SizeAllCursor);
    setWindowIcon(platform.AppIcon());
    // The X11 role names the window for session managers and window rules, as
    // the window class does on Windows. Qt's X11 platform makes a new window when
    // a hidden one changes band, and gives it the role kept in this property.
    setWindowRole(QStringLiteral("ZorvanePicture"));
    winId();
    windowHandle()->setProperty("_q_xcb_wm_window_role", QStringLiteral("ZorvanePicture"));
}

void PictureWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage& image = view_.image();
    // In bands: Qt hands a blit of more than 95 rows to its thread pool, which costs more
    // in waking threads than the copy itself, at every frame of an animation.
    constexpr int kBand = 64;
    const QRect dirty = event->rect().intersected(image.rect());
    for (int y = dirty.top(); y <= dirty.bottom(); y += kBand) {
        const QRect band(dirty.left(), y, dirty.width(), std::min(kBand, dirty.bottom() + 1 - y));
        painter.drawImage(band.topLeft(), image, band);
    }
    // Soft edge pixels over the picture, a row's neighbours together.
    const std::vector<EdgePixel>& edges = view_.overlay();
    const int width = image.width();
    std::vector<std::uint32_t> span;
    for (std::size_t i = 0; i < edges.size() && width > 0;) {
        std::size_t j = i + 1;
        while (j < edges.size() && edges[j].index == edges[j - 1].index + 1 &&
               edges[j].index % std::uint32_t(width) != 0)
            ++j;
        const QRect r(int(edges[i].index % std::uint32_t(width)),
                      int(edges[i].index / std::uint32_t(width)), int(j - i), 1);
        if (dirty.intersects(r)) {
            span.resize(j - i);
            for (std::size_t k = i; k < j; ++k)
                span[k - i] = edges[k].argb;
            painter.drawImage(r.topLeft(),
                              QImage(reinterpret_cast<const uchar*>(span.data()), r.width(), 1,
                                     QImage::Format_ARGB32_Premultiplied));
        }
        i = j;
    }
    // Beyond the picture, the mask colour, like any transparent part of a picture.
    const QRegion rest = QRegion(rect()) - QRegion(0, 0, image.width(), image.height());
    for (const QRect& r : rest)
        painter.fillRect(r, kMaskQColor);
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    // The window manager's own move, as a drag by a title bar would start it.
    if (QWindow* window = windowHandle(); window &&
                                          !windowFlags().testFlag(Qt::X11BypassWindowManagerHint) &&
                                          window->startSystemMove())
        return;
    dragOffset_ = event->globalPosition().toPoint() - pos();
}

void PictureWidget::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *dragOffset_);
}

void PictureWidget::mouseReleaseEvent(QMouseEvent* event) {
    switch (event->button()) {
    case Qt::LeftButton:
        // The left button drags the window: no click, as on Windows.
        dragOffset_.reset();
        return;
    case Qt::RightButton:
        return Deliver(MouseButton::Right, event);
    case Qt::MiddleButton:
        return Deliver(MouseButton::Middle, event);
    default:
        return;
    }
}

void PictureWidget::Deliver(MouseButton button, QMouseEvent* event) {
    if (PlatformEvents* events = platform_.events()) {
        const QPointF at = event->position();
        events->PictureClicked(button, {int(std::floor(at.x())), int(std::floor(at.y()))});
    }
}

void PictureWidget::closeEvent(QCloseEvent* event) {
    // Alt+F4 asks as the user's close; the session's end as the system's.
    // An accepted close only hides: the program's windows live until it ends.
    const CloseReason reason = platform_.quitting() ? CloseReason::SessionEnd : CloseReason::User;
    if (PlatformEvents* events = platform_.events(); events && events->PictureWindowClosing(reason))
        event->ignore();
    else
        event->accept();
}

// ---- The window

QtPictureWindow::QtPictureWindow(QtPlatform& platform)
    : platform_(platform), view_(std::make_unique<QtPictureView>(*this)),
      widget_(std::make_unique<PictureWidget>(platform, *view_)) {
    const PixelRect first = FirstWindowBounds(platform.PrimaryScreen());
    Move(first.left, first.top);
    Resize(first.width, first.height);
}

QtPictureWindow::~QtPictureWindow() = default;

PixelRect QtPictureWindow::Bounds() {
    const QPoint at = widget_->pos() - platform_.Origin();
    return {at.x(), at.y(), widget_->width(), widget_->height()};
}

void QtPictureWindow::Move(int left, int top) {
    widget_->move(platform_.Origin() + QPoint(left, top));
}

void QtPictureWindow::Resize(int width, int height) {
    widget_->resize(std::max(0, width), std::max(0, height));
}

bool QtPictureWindow::Visible() {
    return widget_->isVisible();
}

void QtPictureWindow::Show() {
    // Where the window manager would put the window where it likes (centred), the window
    // goes unmanaged and stays where the program puts it: there it is above other windows
    // whatever Always on top says, and moves itself when dragged. Asked at each show: a
    // manager started with the display may not be there yet as the program starts.
    if (!widget_->isVisible() && WindowManagerIgnoresPlaces())
        SetFlag(Qt::X11BypassWindowManagerHint, true);
    // A part of the program, not a window of its own to switch to. Before the map, where the
    // window manager reads it; again after, as Qt makes the window anew at its first show.
    SkipTaskbar(*widget_);
    widget_->show();
    SkipTaskbar(*widget_);
}

void QtPictureWindow::Hide() {
    widget_->hide();
}

void QtPictureWindow::SetTopmost(bool on) {
    if (SetFlag(Qt::WindowStaysOnTopHint, on))
        AskKeepAbove(*widget_, on);
}

bool QtPictureWindow::SetFlag(Qt::WindowType flag, bool on) {
    Qt::WindowFlags flags = widget_->windowFlags();
    flags.setFlag(flag, on);
    if (flags == widget_->windowFlags())
        return false;
    if (QWindow* window = widget_->windowHandle()) {
        // QWidget::setWindowFlags would remake the native window, hiding it and
        // losing its place. The flags are kept for Qt's next map; a shown window's
        // state is changed by asking the window manager.
        widget_->overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        widget_->setWindowFlags(flags); // nothing made yet: nothing to lose
    }
    return true;
}

} // namespace zorvane::qt
