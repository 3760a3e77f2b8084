#include "ui/controls/CCircleProgressUI.h"

#include <QPainter>
#include <algorithm>

namespace q417::ui {

namespace {
// About 30 frames a second, a turn in a little over a second.
constexpr int kSpinInterval = 33;
constexpr int kSpinStep = 10;
}  // namespace

CCircleProgressUI::CCircleProgressUI(QWidget* parent) : QWidget(parent) {
    spin_.setInterval(kSpinInterval);
    connect(&spin_, &QTimer::timeout, this, [this] {
        arcStart_ = (arcStart_ + kSpinStep) % 360;
        update();
    });
}

void CCircleProgressUI::SetIndeterminate(bool on) {
    if (indeterminate_ != on) {
        indeterminate_ = on;
        arcStart_ = 0;
        update();
    }
    UpdateSpin();
}

void CCircleProgressUI::UpdateSpin() {
    // A ring nobody can see (hidden, or inside a hidden window) costs no wake-ups.
    if (indeterminate_ && isVisible()) {
        if (!spin_.isActive()) {
            spin_.start();
        }
    } else {
        spin_.stop();
    }
}

void CCircleProgressUI::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    UpdateSpin();
}

void CCircleProgressUI::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    UpdateSpin();
}

void CCircleProgressUI::SetMinValue(int minimum) {
    if (minimum_ != minimum) {
        minimum_ = minimum;
        update();
    }
}

void CCircleProgressUI::SetMaxValue(int maximum) {
    if (maximum_ != maximum) {
        maximum_ = maximum;
        update();
    }
}

void CCircleProgressUI::SetValue(int value) {
    if (value_ != value) {
        value_ = value;
        update();
    }
}

void CCircleProgressUI::SetBkColor(const QColor& colour) {
    bkColor_ = colour;
    update();
}

void CCircleProgressUI::SetForeColor(const QColor& colour) {
    foreColor_ = colour;
    update();
}

int CCircleProgressUI::SweepDegrees() const {
    if (maximum_ <= minimum_) {
        return 0;
    }
    // Measured from the minimum and held to one turn: a value outside the range must not wrap
    // round or run backwards.
    const double span = static_cast<double>(maximum_) - minimum_;
    const double done = static_cast<double>(value_) - minimum_;
    return static_cast<int>(std::clamp(done / span * 360.0, 0.0, 360.0));
}

void CCircleProgressUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QRectF area = rect();
    p.setBrush(bkColor_);
    p.drawEllipse(area);
    if (indeterminate_) {
        // Clockwise from straight down, like the done part, turned by the animation.
        p.setBrush(foreColor_);
        p.drawPie(area, (-90 - arcStart_) * 16, -kArcDegrees * 16);
    } else if (const int sweep = SweepDegrees(); sweep > 0) {
        p.setBrush(foreColor_);
        // Qt counts angles anticlockwise from three o'clock in 1/16 degree.
        p.drawPie(area, -90 * 16, -sweep * 16);
    }
    const QRectF inner = area.adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth);
    if (inner.width() > 0 && inner.height() > 0) {
        p.setBrush(palette().color(QPalette::Window));
        p.drawEllipse(inner);
    }
}

}  // namespace q417::ui
