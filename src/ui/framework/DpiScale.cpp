#include "ui/framework/DpiScale.h"

#include <QAbstractButton>
#include <QLayout>
#include <QRegularExpression>
#include <QVariant>
#include <algorithm>

#include "platform/Trace.h"

namespace q417::ui {

namespace {

constexpr const char* kBaseMin = "q417BaseMin";
constexpr const char* kBaseMax = "q417BaseMax";
constexpr const char* kBaseGeometry = "q417BaseGeometry";
constexpr const char* kBaseIcon = "q417BaseIcon";
constexpr const char* kBaseMargins = "q417BaseMargins";
constexpr const char* kBaseSpacing = "q417BaseSpacing";

int ScaleExtent(int px, int dpi) {
    // QWIDGETSIZE_MAX means "no limit" and stays so.
    return px >= QWIDGETSIZE_MAX ? QWIDGETSIZE_MAX : Scaled(px, dpi);
}

QSize ScaleSize(QSize size, int dpi) {
    return {ScaleExtent(size.width(), dpi), ScaleExtent(size.height(), dpi)};
}

void ScaleLayout(QLayout* layout, int dpi) {
    if (!layout) {
        return;
    }
    if (!layout->property(kBaseMargins).isValid()) {
        const QMargins m = layout->contentsMargins();
        layout->setProperty(kBaseMargins, QRect(m.left(), m.top(), m.right(), m.bottom()));
        layout->setProperty(kBaseSpacing, layout->spacing());
    }
    const QRect m = layout->property(kBaseMargins).toRect();
    layout->setContentsMargins(Scaled(m.x(), dpi), Scaled(m.y(), dpi), Scaled(m.width(), dpi),
                               Scaled(m.height(), dpi));
    const int spacing = layout->property(kBaseSpacing).toInt();
    if (spacing >= 0) {
        layout->setSpacing(Scaled(spacing, dpi));
    }
    for (int i = 0; i < layout->count(); ++i) {
        ScaleLayout(layout->itemAt(i)->layout(), dpi);
    }
}

void ScaleWidget(QWidget* w, int dpi) {
    if (!w->property(kBaseMin).isValid()) {
        w->setProperty(kBaseMin, w->minimumSize());
        w->setProperty(kBaseMax, w->maximumSize());
        // Controls placed by coordinates (no layout in their parent) keep their geometry.
        const QWidget* parent = w->parentWidget();
        if (parent && !w->isWindow() && !parent->layout()) {
            w->setProperty(kBaseGeometry, w->geometry());
        }
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            w->setProperty(kBaseIcon, button->iconSize());
        }
    }
    w->setMinimumSize(ScaleSize(w->property(kBaseMin).toSize(), dpi));
    w->setMaximumSize(ScaleSize(w->property(kBaseMax).toSize(), dpi));
    const QVariant geometry = w->property(kBaseGeometry);
    if (geometry.isValid()) {
        const QRect r = geometry.toRect();
        w->setGeometry(Scaled(r.x(), dpi), Scaled(r.y(), dpi), Scaled(r.width(), dpi),
                       Scaled(r.height(), dpi));
    }
    const QVariant icon = w->property(kBaseIcon);
    if (icon.isValid()) {
        static_cast<QAbstractButton*>(w)->setIconSize(ScaleSize(icon.toSize(), dpi));
    }
    ScaleLayout(w->layout(), dpi);
}

}  // namespace

int ScaleForScreen(int width, int height) {
    return width > 1500 && height > 960 ? 144 : 96;
}

int ValidDpi(int dpi, std::string_view traceText) {
    if (std::find(kValidDpis.begin(), kValidDpis.end(), dpi) != kValidDpis.end()) {
        return dpi;
    }
    Trace(traceText);
    return kBaseDpi;
}

void ApplyDpi(QWidget* root, int dpi) {
    if (!root) {
        return;
    }
    ScaleWidget(root, dpi);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        ScaleWidget(w, dpi);
    }
}

QString ScaleStyleSheet(const QString& styleSheet, int dpi) {
    static const QRegularExpression px(QStringLiteral("(\\d+)px"));
    QString out;
    out.reserve(styleSheet.size());
    qsizetype last = 0;
    auto it = px.globalMatch(styleSheet);
    while (it.hasNext()) {
        const auto m = it.next();
        out += styleSheet.mid(last, m.capturedStart() - last);
        const int value = m.captured(1).toInt();
        // A hairline stays visible at every scale.
        out += QString::number(value == 0 ? 0 : std::max(1, Scaled(value, dpi))) + "px";
        last = m.capturedEnd();
    }
    out += styleSheet.mid(last);
    return out;
}

}  // namespace q417::ui
