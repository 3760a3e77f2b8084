#include "ui/dialogs/CDialogBase.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

namespace q417::ui {

CDialogBase::CDialogBase(QWidget* owner)
    : CWindowBase(nullptr, Qt::Tool | Qt::FramelessWindowHint), owner_(owner) {}

void CDialogBase::AttachToOwner() {
    if (!owner_) {
        return;
    }
    QWidget* top = owner_->window();
    winId();  // the native window must exist before it can be given a parent
    if (windowHandle() && top && top->windowHandle()) {
        windowHandle()->setTransientParent(top->windowHandle());
    }
}

void CDialogBase::CentreOnOwner() {
    QRect area;
    if (owner_ && owner_->window()->isVisible()) {
        area = owner_->window()->frameGeometry();
    } else {
        const QScreen* screen = owner_ ? owner_->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            area = screen->availableGeometry();
        }
    }
    if (area.isEmpty()) {
        return;
    }
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void CDialogBase::Finish(int code) {
    result_ = code;
    Close(code);
}

bool CDialogBase::HandleWindowButton(const TNotifyUI& msg) {
    if (!msg.Is(notify::kClick)) {
        return false;
    }
    if (NameIs(msg, "closebtn")) {
        Finish(0);
    } else if (NameIs(msg, "minbtn")) {
        showMinimized();
    } else if (NameIs(msg, "maxbtn")) {
        showMaximized();
    } else if (NameIs(msg, "restorebtn")) {
        showNormal();
    } else {
        return false;
    }
    return true;
}

void CDialogBase::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Finish(0);
        return;
    }
    CWindowBase::keyPressEvent(event);
}

}  // namespace q417::ui
