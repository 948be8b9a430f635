#include "platform/qt/Forms.h"

#include "host/Conversions.h"
#include "menu/MenuTable.h"
#include "picture/Shape.h"
#include "platform/qt/QtRuntime.h"
#include "platform/qt/X11State.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorvane::qt {
namespace {

const QColor kMaskQColor = QColor::fromRgb(QRgb(kMaskColor));

} // namespace

// ---- HiddenForm

float HiddenForm::Left() {
    return PixelsToTwips(pixels_.x(), rt_.TwipsPerPixelX());
}
float HiddenForm::Top() {
    return PixelsToTwips(pixels_.y(), rt_.TwipsPerPixelY());
}
float HiddenForm::Width() {
    return PixelsToTwips(pixels_.width(), rt_.TwipsPerPixelX());
}
float HiddenForm::Height() {
    return PixelsToTwips(pixels_.height(), rt_.TwipsPerPixelY());
}
void HiddenForm::SetLeft(float twips) {
    pixels_.moveLeft(WindowPixels(twips, rt_.TwipsPerPixelX()));
}
void HiddenForm::SetTop(float twips) {
    pixels_.moveTop(WindowPixels(twips, rt_.TwipsPerPixelY()));
}
void HiddenForm::SetWidth(float twips) {
    pixels_.setWidth(std::max(0, WindowPixels(twips, rt_.TwipsPerPixelX())));
}
void HiddenForm::SetHeight(float twips) {
    pixels_.setHeight(std::max(0, WindowPixels(twips, rt_.TwipsPerPixelY())));
}
void HiddenForm::Unload() {
    visible_ = false;
    if (onUnload_)
        onUnload_();
}

// ---- Vesquin1

void Vesquin::SetPicture(std::shared_ptr<const Picture> picture) {
    Take(std::move(picture), false);
}

void Vesquin::Take(std::shared_ptr<const Picture> picture, bool opaque) {
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
    form_.widget().update();
}

float Vesquin::Width() {
    const int px = picture_ ? picture_->width : kShapeDesignPixels;
    return PixelsToTwips(px, rt_.TwipsPerPixelX());
}

float Vesquin::Height() {
    const int px = picture_ ? picture_->height : kShapeDesignPixels;
    return PixelsToTwips(px, rt_.TwipsPerPixelY());
}

bool Vesquin::BlendsPixels() {
    return CompositorRunning();
}

void Vesquin::CutTo(const Cutout& cut) {
    Cut(cut, false);
}

void Vesquin::Cut(const Cutout& cut, bool frame) {
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
    form_.widget().setMask(region);
    form_.widget().update();
}

void Vesquin::ShowFrame(std::shared_ptr<const Picture> frame, const Cutout* cut) {
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

void Vesquin::PlainRectangle() {
    if (cut_) {
        Take(picture_, false);
        cutPixels_ = {};
    }
    form_.widget().clearMask();
}

// ---- The picture window

PictureWidget::PictureWidget(QtRuntime& rt, Vesquin& control)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), rt_(rt), control_(control) {
    setAttribute(Qt::WA_QuitOnClose, false);
    // A window with alpha (a 32-bit visual), so that where a compositor runs the cut-away
    // part shows the desktop and soft edges blend; without one the shape cuts.
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent covers every pixel
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::SizeAllCursor);
    setWindowIcon(rt.AppIcon());
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
    const QImage& image = control_.image();
    // In bands: Qt hands a blit of more than 95 rows to its thread pool, which costs more
    // in waking threads than the copy itself, at every frame of an animation.
    constexpr int kBand = 64;
    const QRect dirty = event->rect().intersected(image.rect());
    for (int y = dirty.top(); y <= dirty.bottom(); y += kBand) {
        const QRect band(dirty.left(), y, dirty.width(), std::min(kBand, dirty.bottom() + 1 - y));
        painter.drawImage(band.topLeft(), image, band);
    }
    // Soft edge pixels over the picture, a row's neighbours together.
    const std::vector<EdgePixel>& edges = control_.overlay();
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
    // The control's background is the mask colour, like any transparent part of a picture.
    const QRegion rest = QRegion(rect()) - QRegion(0, 0, image.width(), image.height());
    for (const QRect& r : rest)
        painter.fillRect(r, kMaskQColor);
}

void PictureWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !control_.dragMovesForm())
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
        // A drag that moved the window ends without a click, as on Windows.
        if (control_.dragMovesForm()) {
            dragOffset_.reset();
            return;
        }
        return Deliver(vbLeftButton, event);
    case Qt::RightButton:
        return Deliver(vbRightButton, event);
    case Qt::MiddleButton:
        return Deliver(vbMiddleButton, event);
    default:
        return;
    }
}

void PictureWidget::Deliver(int button, QMouseEvent* event) {
    Events* events = rt_.events();
    if (!events)
        return;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int shift = (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0);
    const QPointF at = event->position();
    const float x = PixelsToTwips(int(std::floor(at.x())), rt_.TwipsPerPixelX());
    const float y = PixelsToTwips(int(std::floor(at.y())), rt_.TwipsPerPixelY());
    events->C_Disp_Vesquin1_MouseEvent(button, shift, x, y);
}

void PictureWidget::closeEvent(QCloseEvent* event) {
    // Alt+F4 asks as the user's close; the session's end as the system's.
    // An accepted close only hides: the program's windows live until it ends.
    const int mode = rt_.quitting() ? vbAppWindows : vbFormControlMenu;
    if (Events* events = rt_.events(); events && events->C_Disp_Form_QueryUnload(mode))
        event->ignore();
    else
        event->accept();
}

// ---- C_Disp

DispForm::DispForm(QtRuntime& rt)
    : rt_(rt), control_(std::make_unique<Vesquin>(rt, *this)),
      widget_(std::make_unique<PictureWidget>(rt, *control_)) {
    const float tx = rt.TwipsPerPixelX(), ty = rt.TwipsPerPixelY();
    const QPoint o = rt.Origin();
    const TwipsRect& d = kDispDesignBounds;
    widget_->move(o.x() + WindowPixels(d.left, tx), o.y() + WindowPixels(d.top, ty));
    widget_->resize(WindowPixels(d.width, tx), WindowPixels(d.height, ty));
}

DispForm::~DispForm() = default;

float DispForm::Left() {
    return PixelsToTwips(widget_->pos().x() - rt_.Origin().x(), rt_.TwipsPerPixelX());
}
float DispForm::Top() {
    return PixelsToTwips(widget_->pos().y() - rt_.Origin().y(), rt_.TwipsPerPixelY());
}
float DispForm::Width() {
    return PixelsToTwips(widget_->width(), rt_.TwipsPerPixelX());
}
float DispForm::Height() {
    return PixelsToTwips(widget_->height(), rt_.TwipsPerPixelY());
}

void DispForm::SetLeft(float twips) {
    widget_->move(rt_.Origin().x() + WindowPixels(twips, rt_.TwipsPerPixelX()), widget_->pos().y());
}
void DispForm::SetTop(float twips) {
    widget_->move(widget_->pos().x(), rt_.Origin().y() + WindowPixels(twips, rt_.TwipsPerPixelY()));
}
void DispForm::SetWidth(float twips) {
    widget_->resize(std::max(0, WindowPixels(twips, rt_.TwipsPerPixelX())), widget_->height());
}
void DispForm::SetHeight(float twips) {
    widget_->resize(widget_->width(), std::max(0, WindowPixels(twips, rt_.TwipsPerPixelY())));
}

bool DispForm::Visible() {
    return widget_->isVisible();
}
void DispForm::SetVisible(bool visible) {
    if (visible)
        return Show();
    widget_->hide();
}
void DispForm::Show() {
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
void DispForm::Hide() {
    widget_->hide();
}

void DispForm::SetTopmost(bool on) {
    if (SetFlag(Qt::WindowStaysOnTopHint, on))
        AskKeepAbove(*widget_, on);
}

bool DispForm::SetFlag(Qt::WindowType flag, bool on) {
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

void DispForm::Unload() {
    widget_->hide();
}

// ---- C_Menu's command menu

CommandMenu::CommandMenu() {
    menu_.setTitle(QStringLiteral("MainMenu"));
    menu_.setWindowRole(QStringLiteral("ZorvaneMenu")); // names the popup, as the picture's
    // The exported menu has actions of its own: a QMenu whose action is triggered from
    // elsewhere (the host's pick) is left unable to open again.
    for (const MenuEntry& e : kCommandMenu) {
        if (!e.caption) {
            menu_.addSeparator();
            exported_.addSeparator();
            continue;
        }
        const std::size_t i = std::size_t(e.item);
        const QString caption = QString::fromUtf8(e.caption);
        actions_[i] = menu_.addAction(caption);
        exportedActions_[i] = exported_.addAction(caption);
        QObject::connect(exportedActions_[i], &QAction::triggered, &exported_, [this, i] {
            ShowCheckMarks();
            if (onExportedPick_)
                onExportedPick_(MenuItem(i));
        });
    }
    checked_[std::size_t(kCheckedAtFirst)] = true;
    ShowCheckMarks();
}

QMenu& CommandMenu::Exported(std::function<void(MenuItem)> onPicked) {
    onExportedPick_ = std::move(onPicked);
    return exported_;
}

void CommandMenu::SetChecked(MenuItem item, bool checked) {
    checked_[std::size_t(item)] = checked;
    ShowCheckMarks();
}

void CommandMenu::ShowCheckMarks() {
    // Only a checkable action shows a mark, but Qt also flips one when it is
    // picked; the marks are set back from checked_ after every pick. An
    // unchecked item is left uncheckable so that no empty box shows.
    for (auto* actions : {&actions_, &exportedActions_}) {
        for (std::size_t i = 0; i < actions->size(); ++i) {
            QAction* a = (*actions)[i];
            a->setCheckable(true);
            a->setChecked(checked_[i]);
            a->setCheckable(checked_[i]);
        }
    }
}

namespace {

// Under XWayland the menu's pointer grab sees no click on the desktop's own wallpaper or
// panels, and the menu would stay open: a see-through window over the whole desktop, under
// the menu, takes those clicks, which then close it as a click anywhere else does.
class ClickCatcher final : public QWidget {
  public:
    ClickCatcher()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_ShowWithoutActivating);
        QRect all;
        for (const QScreen* screen : QGuiApplication::screens())
            all |= screen->geometry();
        setGeometry(all);
    }

  protected:
    void paintEvent(QPaintEvent*) override {} // stays see-through
    void mousePressEvent(QMouseEvent*) override {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
};

} // namespace

std::optional<MenuItem> CommandMenu::Popup(int x, int y) {
    std::unique_ptr<ClickCatcher> catcher;
    if (XWaylandServer()) {
        catcher = std::make_unique<ClickCatcher>();
        catcher->show();
    }
    QAction* picked = menu_.exec(QPoint(x, y));
    catcher.reset();
    ShowCheckMarks();
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (picked && actions_[i] == picked)
            return MenuItem(i);
    return std::nullopt;
}

} // namespace zorvane::qt
