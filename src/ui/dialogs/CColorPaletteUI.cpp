#include "ui/dialogs/CColorPaletteUI.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/framework/CControlFactory.h"
#include "ui/framework/CNotifyBridge.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {

namespace {
constexpr int kStripWidth = 22;
constexpr int kGap = 12;
}  // namespace

CColorPaletteUI::CColorPaletteUI(QWidget* parent) : QWidget(parent) {
    CNotifyBridge::MarkSelfNotifying(this);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setMinimumSize(120, 90);
}

void CColorPaletteUI::Register() {
    if (!CControlFactory::Instance().Has("CColorPaletteUI")) {
        RegisterControlClass<CColorPaletteUI>("CColorPaletteUI");
    }
}

QColor CColorPaletteUI::Colour() const {
    return QColor::fromHsv(hue_, saturation_, value_);
}

void CColorPaletteUI::SetColour(const QColor& colour) {
    const QColor hsv = colour.toHsv();
    // A grey has no hue: keep the strip where it was.
    if (hsv.hsvHue() >= 0) {
        hue_ = hsv.hsvHue();
    }
    saturation_ = hsv.hsvSaturation();
    value_ = hsv.value();
    update();
}

QRect CColorPaletteUI::SquareRect() const {
    const QRect r = contentsRect().adjusted(1, 1, -1, -1);
    return QRect(r.left(), r.top(), std::max(1, r.width() - kStripWidth - kGap), r.height());
}

QRect CColorPaletteUI::StripRect() const {
    const QRect r = contentsRect().adjusted(1, 1, -1, -1);
    return QRect(r.right() - kStripWidth + 1, r.top(), kStripWidth, r.height());
}

void CColorPaletteUI::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect square = SquareRect();
    const QRect strip = StripRect();

    // Saturation left to right over the pure hue, then value top to bottom.
    QLinearGradient sat(square.topLeft(), square.topRight());
    sat.setColorAt(0, Qt::white);
    sat.setColorAt(1, QColor::fromHsv(hue_, 255, 255));
    p.fillRect(square, sat);
    QLinearGradient val(square.topLeft(), square.bottomLeft());
    val.setColorAt(0, QColor(0, 0, 0, 0));
    val.setColorAt(1, QColor(0, 0, 0, 255));
    p.fillRect(square, val);

    QLinearGradient hues(strip.topLeft(), strip.bottomLeft());
    for (int i = 0; i <= 6; ++i) {
        hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 255, 255));
    }
    p.fillRect(strip, hues);

    // Markers: a ring at the chosen saturation/value, a bar at the hue.
    const double x = square.left() + saturation_ / 255.0 * (square.width() - 1);
    const double y = square.top() + (255 - value_) / 255.0 * (square.height() - 1);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 3));
    p.drawEllipse(QPointF(x, y), 6, 6);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(QPointF(x, y), 6, 6);
    const double hy = strip.top() + hue_ / 359.0 * (strip.height() - 1);
    const QRectF bar(strip.left() - 3, hy - 3, strip.width() + 6, 6);
    p.setPen(QPen(Qt::black, 3));
    p.drawRoundedRect(bar, 2, 2);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawRoundedRect(bar, 2, 2);
}

void CColorPaletteUI::PickAt(QPoint pos) {
    if (drag_ == Drag::Square) {
        const QRect square = SquareRect();
        const int x = std::clamp(pos.x() - square.left(), 0, square.width() - 1);
        const int y = std::clamp(pos.y() - square.top(), 0, square.height() - 1);
        saturation_ = square.width() > 1 ? x * 255 / (square.width() - 1) : 0;
        value_ = square.height() > 1 ? 255 - y * 255 / (square.height() - 1) : 255;
    } else if (drag_ == Drag::Strip) {
        const QRect strip = StripRect();
        const int y = std::clamp(pos.y() - strip.top(), 0, strip.height() - 1);
        hue_ = strip.height() > 1 ? y * 359 / (strip.height() - 1) : 0;
    } else {
        return;
    }
    UserChanged();
}

void CColorPaletteUI::UserChanged() {
    update();
    SendNotify(this, notify::kColorChanged);
}

void CColorPaletteUI::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    if (StripRect().adjusted(-kGap / 2, 0, 0, 0).contains(pos)) {
        drag_ = Drag::Strip;
    } else {
        drag_ = Drag::Square;
    }
    PickAt(pos);
}

void CColorPaletteUI::mouseMoveEvent(QMouseEvent* event) {
    if (drag_ != Drag::None && (event->buttons() & Qt::LeftButton)) {
        PickAt(event->position().toPoint());
    }
}

void CColorPaletteUI::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        drag_ = Drag::None;
    }
}

void CColorPaletteUI::keyPressEvent(QKeyEvent* event) {
    // Arrows move in the square; Page Up/Down move the hue.
    const int step = (event->modifiers() & Qt::ShiftModifier) ? 16 : 4;
    switch (event->key()) {
        case Qt::Key_Left:
            saturation_ = std::max(0, saturation_ - step);
            break;
        case Qt::Key_Right:
            saturation_ = std::min(255, saturation_ + step);
            break;
        case Qt::Key_Up:
            value_ = std::min(255, value_ + step);
            break;
        case Qt::Key_Down:
            value_ = std::max(0, value_ - step);
            break;
        case Qt::Key_PageUp:
            hue_ = (hue_ + 360 - step) % 360;
            break;
        case Qt::Key_PageDown:
            hue_ = (hue_ + step) % 360;
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    UserChanged();
}

}  // namespace q417::ui
