#include "ui/framework/CScreenFollower.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace q417::ui {

CScreenFollower::CScreenFollower(QWidget* window) : QObject(window), widget_(window) {
    if (widget_) {
        // The native window is made on first show (or again after a re-parenting).
        widget_->installEventFilter(this);
        Attach();
    }
}

CScreenFollower::~CScreenFollower() {
    disconnect(screenChanged_);
    disconnect(geometryChanged_);
}

QScreen* CScreenFollower::Screen() const {
    return screen_;
}

bool CScreenFollower::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange)) {
        Attach();
    }
    return QObject::eventFilter(watched, event);
}

void CScreenFollower::Attach() {
    QWindow* window = widget_ ? widget_->windowHandle() : nullptr;
    if (!window || window == window_) {
        return;
    }
    disconnect(screenChanged_);
    window_ = window;
    screenChanged_ = connect(window, &QWindow::screenChanged, this, [this](QScreen* screen) {
        FollowScreen(screen);
        emit changed();
    });
    FollowScreen(window->screen());
}

void CScreenFollower::FollowScreen(QScreen* screen) {
    // Only the window's own screen counts: a resolution change elsewhere changes nothing here.
    disconnect(geometryChanged_);
    screen_ = screen;
    if (screen) {
        geometryChanged_ =
            connect(screen, &QScreen::geometryChanged, this, [this] { emit changed(); });
    }
}

}  // namespace q417::ui
