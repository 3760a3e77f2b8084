#include "ui/controls/CDeviceKeyButtonUI.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QRadialGradient>
#include <QTimer>
#include <algorithm>

#include "ui/framework/CUiLoader.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {

namespace {

QColor ColourOf(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// Older skins wrap the path as "file='path' ..."; take the path out of such a description.
QString ImageFile(const QString& image) {
    const QString trimmed = image.trimmed();
    if (trimmed.startsWith(QLatin1String("file='"))) {
        const qsizetype end = trimmed.indexOf('\'', 6);
        return end > 6 ? trimmed.mid(6, end - 6) : QString();
    }
    return trimmed;
}

}  // namespace

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : QPushButton(parent) {}

QPixmap CDeviceKeyButtonUI::LoadImage(const QString& image) {
    const QString file = ImageFile(image);
    return file.isEmpty() ? QPixmap() : QPixmap(CUiLoader::ResourcePath(file));
}

void CDeviceKeyButtonUI::SetLightImage(const QString& image) {
    lightImage_ = image;
    lightPixmap_ = LoadImage(image);
    scaledFor_ = QSize();
    tintedValid_ = false;
    update();
}

void CDeviceKeyButtonUI::SetKeySetImage(const QString& image) {
    keySetImage_ = image;
    keySetPixmap_ = LoadImage(image);
    update();
}

void CDeviceKeyButtonUI::SetKeyUnsetImage(const QString& image) {
    keyUnsetImage_ = image;
    keyUnsetPixmap_ = LoadImage(image);
    update();
}

bool CDeviceKeyButtonUI::SetLight(std::uint32_t colour, int alpha, bool on) {
    colour &= 0xFFFFFF;
    alpha = std::clamp(alpha, 0, 255);
    const bool wasShown = lightOn_ && lightAlpha_ > 0;
    const bool shown = on && alpha > 0;
    const bool changed =
        wasShown != shown || (shown && (colour != lightColour_ || alpha != lightAlpha_));
    lightColour_ = colour;
    lightAlpha_ = alpha;
    lightOn_ = on;
    return changed;
}

void CDeviceKeyButtonUI::SetChangedMark(bool on) {
    if (changedMark_ != on) {
        changedMark_ = on;
        update();
    }
}

void CDeviceKeyButtonUI::SetUnsetMark(bool on) {
    if (unsetMark_ != on) {
        unsetMark_ = on;
        update();
    }
}

void CDeviceKeyButtonUI::SetOwnerFlag(bool on) {
    if (ownerFlag_ != on) {
        ownerFlag_ = on;
        update();
    }
}

void CDeviceKeyButtonUI::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!isEnabled() || !rect().contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    // Pushed and holding the pointer like a press, so the release still ends as a click.
    QPushButton::mousePressEvent(event);
    SendNotify(this, notify::kDbClick, 0, 0);
    update();
}

const QPixmap& CDeviceKeyButtonUI::TintedLight() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (scaledFor_ != pixels) {
        scaledLight_ = lightPixmap_.toImage()
                           .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        scaledFor_ = pixels;
        tintedValid_ = false;
    }
    if (!tintedValid_ || tintedColour_ != lightColour_) {
        // An effect walks through the same colours on every spot again and again: tinted copies
        // are shared by spots of the same image and size.
        const QString key = QString("q417-light:%1:%2x%3:%4")
                                .arg(lightImage_)
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(lightColour_);
        if (QPixmapCache::find(key, &tinted_)) {
            tintedColour_ = lightColour_;
            tintedValid_ = true;
            return tinted_;
        }
        // Multiply keeps the image's shading; DestinationIn puts back its shape.
        QImage image = scaledLight_;
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_Multiply);
        p.fillRect(image.rect(), ColourOf(lightColour_));
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, scaledLight_);
        p.end();
        tinted_ = QPixmap::fromImage(image);
        tinted_.setDevicePixelRatio(ratio);
        QPixmapCache::insert(key, tinted_);
        tintedColour_ = lightColour_;
        tintedValid_ = true;
    }
    return tinted_;
}

bool CDeviceKeyButtonUI::IsResting() const {
    return !underMouse() && !isDown() && !isChecked() && !hasFocus();
}

bool CDeviceKeyButtonUI::event(QEvent* event) {
    switch (event->type()) {
        // Whatever may change how the face looks sends it back to the style painter until a
        // new probe says otherwise.
        case QEvent::StyleChange:
        case QEvent::Polish:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::EnabledChange:
        case QEvent::DynamicPropertyChange:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Leave:
        case QEvent::FocusOut:
        case QEvent::MouseButtonRelease:
            restingFaceEmpty_ = false;
            QueueProbe();
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}

void CDeviceKeyButtonUI::QueueProbe() {
    if (lightOnly_ || probeQueued_) {
        return;
    }
    probeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        probeQueued_ = false;
        ProbeRestingFace();
    });
}

void CDeviceKeyButtonUI::ProbeRestingFace() {
    restingFaceEmpty_ = false;
    if (lightOnly_ || !isVisible() || size().isEmpty() || !IsResting()) {
        return;
    }
    QImage face(size(), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    probing_ = true;
    render(&face, QPoint(), QRegion(), QWidget::RenderFlags());
    probing_ = false;
    for (int y = 0; y < face.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(face.constScanLine(y));
        for (int x = 0; x < face.width(); ++x) {
            if (qAlpha(line[x]) != 0) {
                return;
            }
        }
    }
    restingFaceEmpty_ = true;
    probedText_ = text();
    probedSize_ = size();
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent* event) {
    if (probing_) {
        QPushButton::paintEvent(event);
        return;
    }
    const bool faceEmpty =
        restingFaceEmpty_ && IsResting() && text() == probedText_ && size() == probedSize_;
    if (!lightOnly_ && !faceEmpty) {
        QPushButton::paintEvent(event);
    }
    if (!lightOn_ && !unsetMark_ && !changedMark_) {
        return;
    }
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect area = rect();
    if (lightOn_ && lightAlpha_ > 0) {
        p.save();
        p.setOpacity(lightAlpha_ / 255.0);
        if (!lightPixmap_.isNull()) {
            p.drawPixmap(0, 0, TintedLight());
        } else {
            p.setRenderHint(QPainter::Antialiasing);
            QRadialGradient glow(QRectF(area).center(),
                                 std::min(area.width(), area.height()) / 2.0);
            QColor centre = ColourOf(lightColour_);
            QColor edge = centre;
            edge.setAlpha(0);
            glow.setColorAt(0.0, centre);
            glow.setColorAt(0.6, centre);
            glow.setColorAt(1.0, edge);
            p.setPen(Qt::NoPen);
            p.setBrush(glow);
            p.drawEllipse(area);
        }
        p.restore();
    }
    if (unsetMark_ && !keyUnsetPixmap_.isNull()) {
        p.drawPixmap(area, keyUnsetPixmap_);
    }
    if (changedMark_ && !keySetPixmap_.isNull()) {
        p.drawPixmap(area, keySetPixmap_);
    }
}

}  // namespace q417::ui
