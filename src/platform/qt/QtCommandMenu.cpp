#include "platform/qt/QtCommandMenu.h"

#include "app/Texts.h"
#include "platform/qt/X11State.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <memory>

namespace zorvane::qt {

QtCommandMenu::QtCommandMenu() {
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
        const std::size_t i = std::size_t(e.command);
        const QString caption = QString::fromUtf8(e.caption);
        actions_[i] = menu_.addAction(caption);
        exportedActions_[i] = exported_.addAction(caption);
        QObject::connect(exportedActions_[i], &QAction::triggered, &exported_, [this, i] {
            ShowCheckMarks();
            if (onExportedPick_)
                onExportedPick_(Command(i));
        });
    }
    ShowCheckMarks();
}

QMenu& QtCommandMenu::Exported(std::function<void(Command)> onPicked) {
    onExportedPick_ = std::move(onPicked);
    return exported_;
}

void QtCommandMenu::SetChecked(Command command, bool checked) {
    checked_[std::size_t(command)] = checked;
    ShowCheckMarks();
}

void QtCommandMenu::ShowCheckMarks() {
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

std::optional<Command> QtCommandMenu::Popup(QPoint at) {
    std::unique_ptr<ClickCatcher> catcher;
    if (XWaylandServer()) {
        catcher = std::make_unique<ClickCatcher>();
        catcher->show();
    }
    QAction* picked = menu_.exec(at);
    catcher.reset();
    ShowCheckMarks();
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (picked && actions_[i] == picked)
            return Command(i);
    return std::nullopt;
}

} // namespace zorvane::qt
