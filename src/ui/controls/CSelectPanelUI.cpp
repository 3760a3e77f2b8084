#include "ui/controls/CSelectPanelUI.h"

#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <vector>

#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {

CSelectPanelUI::CSelectPanelUI(QWidget* parent) : QWidget(parent) {}

void CSelectPanelUI::SetCachedBackdrop(bool on, std::vector<QWidget*> underlays) {
    if (backdropWanted_ == on) {
        return;
    }
    backdropWanted_ = on;
    underlays_.assign(underlays.begin(), underlays.end());
    if (on) {
        window()->installEventFilter(this);
    } else {
        window()->removeEventFilter(this);
    }
    DropBackdrop();
}

void CSelectPanelUI::DropBackdrop() {
    const bool had = !backdrop_.isNull();
    backdrop_ = QPixmap();
    // Until the new picture exists the window paints behind the panel as usual.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (had) {
        for (QWidget* w : underlays_) {
            if (w) {
                w->show();
            }
        }
    }
    if (backdropWanted_ && !rebuildQueued_) {
        // Made outside any paint event, once the change has settled.
        rebuildQueued_ = true;
        QMetaObject::invokeMethod(
            this, [this] { BuildBackdrop(); }, Qt::QueuedConnection);
    }
}

void CSelectPanelUI::BuildBackdrop() {
    rebuildQueued_ = false;
    if (!backdropWanted_ || !isVisible() || size().isEmpty()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    QPixmap picture((QSizeF(size()) * ratio).toSize());
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    // Each ancestor's own drawing (not its children) over the panel's area, outermost first.
    std::vector<QWidget*> ancestors;
    for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        ancestors.push_back(w);
    }
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        QWidget* a = *it;
        const QRect area(mapTo(a, QPoint(0, 0)), size());
        a->render(&picture, QPoint(), QRegion(area), QWidget::DrawWindowBackground);
    }
    for (QWidget* w : underlays_) {
        if (w && w->isVisible()) {
            w->render(&picture, w->pos(), QRegion(), QWidget::DrawWindowBackground);
        }
    }
    backdrop_ = picture;
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    for (QWidget* w : underlays_) {
        if (w) {
            w->hide();
        }
    }
    update();
}

bool CSelectPanelUI::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::Show:
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
        case QEvent::ParentChange:
            if (backdropWanted_) {
                DropBackdrop();
            }
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

bool CSelectPanelUI::eventFilter(QObject* watched, QEvent* event) {
    // The window's background stretches with it, and a skin change restyles it.
    if (watched == window() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::StyleChange)) {
        DropBackdrop();
    }
    return QWidget::eventFilter(watched, event);
}

void CSelectPanelUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        pressed_ = true;
        start_ = event->position().toPoint();
        current_ = start_;
    }
    QWidget::mousePressEvent(event);
}

void CSelectPanelUI::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_) {
        dragging_ = true;
    }
    if (dragging_) {
        current_ = event->position().toPoint();
        // Both corners belong to the band, so a straight horizontal or vertical drag still
        // touches the buttons it crosses.
        selection_ =
            QRect(QPoint(std::min(start_.x(), current_.x()), std::min(start_.y(), current_.y())),
                  QPoint(std::max(start_.x(), current_.x()), std::max(start_.y(), current_.y())));
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void CSelectPanelUI::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = false;
        if (dragging_) {
            dragging_ = false;
            start_ = current_;
            MarkButtons();
            update();
            SendNotify(this, notify::kClickSelectEnd, 0, 0);
        }
    }
    QWidget::mouseReleaseEvent(event);
}

void CSelectPanelUI::MarkButtons() {
    const auto children = findChildren<CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly);
    for (CDeviceKeyButtonUI* button : children) {
        // Exactly key buttons: a derived class is some other kind of spot.
        if (button->metaObject() == &CDeviceKeyButtonUI::staticMetaObject) {
            button->SetPanelSelected(button->geometry().intersects(selection_));
        }
    }
}

void CSelectPanelUI::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (!backdrop_.isNull()) {
        // Rectangle by rectangle: one blit of the whole picture under a small clip would still
        // be handed to Qt's worker threads as a large copy.
        const qreal ratio = backdrop_.devicePixelRatio();
        for (const QRect& r : event->region()) {
            const QRectF source(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio);
            p.drawPixmap(QRectF(r), backdrop_, source);
        }
    }
    // The skin's style sheet gives the panel its background.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &p, this);
    if (dragging_) {
        // A faint band while dragging, so the user sees what will be selected.
        QColor accent = palette().color(QPalette::Highlight);
        QColor fill = accent;
        fill.setAlpha(40);
        p.setPen(accent);
        p.setBrush(fill);
        p.drawRect(selection_.adjusted(0, 0, -1, -1));
    }
}

}  // namespace q417::ui
