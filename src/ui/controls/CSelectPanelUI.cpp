#include "ui/controls/CSelectPanelUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {

CSelectPanelUI::CSelectPanelUI(QWidget* parent) : QWidget(parent) {}

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

void CSelectPanelUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
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
