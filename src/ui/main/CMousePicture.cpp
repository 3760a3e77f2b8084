#include "ui/main/CMousePicture.h"

#include <QLabel>
#include <QWidget>
#include <algorithm>

#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/controls/CSelectPanelUI.h"

namespace q417::ui {

CMousePicture::CMousePicture(QWidget* panel) : panel_(panel) {
    if (!panel) {
        return;
    }
    if (auto* select = qobject_cast<CSelectPanelUI*>(panel)) {
        // A frame repaints the lights only, not the styled window behind the picture.
        // The device picture beneath the lights is part of that cached layer.
        std::vector<QWidget*> underlays;
        for (QLabel* label : panel->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
            underlays.push_back(label);
        }
        select->SetCachedBackdrop(true, underlays);
    }
    // The spots are numbered without gaps; the first missing number ends the list.
    for (int n = 0;; ++n) {
        auto* spot = panel->findChild<CDeviceKeyButtonUI*>(QString("light_%1").arg(n));
        if (!spot) {
            break;
        }
        spot->SetLightOnly(true);
        spots_.emplace_back(spot);
    }
}

QRegion CMousePicture::Show(std::span<const KeyColour> colours) {
    QRegion dirty;
    if (!panel_) {
        return dirty;
    }
    const std::size_t count = std::min(colours.size(), spots_.size());
    for (std::size_t n = 0; n < count; ++n) {
        CDeviceKeyButtonUI* spot = spots_[n];
        if (!spot) {
            continue;
        }
        const KeyColour& c = colours[n];
        const quint32 bgr = c.red + (c.green << 8) + (static_cast<quint32>(c.blue) << 16);
        const bool on = (c.red | c.green | c.blue) != 0 && c.alpha != 0;
        if (spot->SetLight(bgr, c.alpha, on)) {
            // The spot's own rectangle: Qt repaints the picture beneath it, clipped to it.
            spot->update();
            dirty += QRect(spot->mapTo(panel_, QPoint(0, 0)), spot->size());
        }
    }
    return dirty;
}

QRegion CMousePicture::LightRegion() const {
    QRegion region;
    for (const QPointer<CDeviceKeyButtonUI>& spot : spots_) {
        if (spot && panel_) {
            region += QRect(spot->mapTo(panel_, QPoint(0, 0)), spot->size());
        }
    }
    return region;
}

}  // namespace q417::ui
