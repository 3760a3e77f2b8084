#pragma once
// The light spots of the mouse picture ("light_" + n over the picture panel) and what each
// shows. A frame repaints only the spots whose light changed, each in its own rectangle: an
// animation costs the light region of the picture, a static light nothing after its first frame.
#include <QPointer>
#include <QRegion>
#include <span>
#include <vector>

#include "lighting/LightState.h"

class QWidget;

namespace q417::ui {

class CDeviceKeyButtonUI;

class CMousePicture {
public:
    // panel: the picture panel holding the spots (may be null: nothing is shown).
    explicit CMousePicture(QWidget* panel);

    // Shows one frame of LED colours (LED n on spot n). Returns the region, in the panel's
    // coordinates, that was given to repaint (empty when nothing changed).
    QRegion Show(std::span<const KeyColour> colours);

    // Every spot's rectangle in the panel's coordinates.
    QRegion LightRegion() const;
    int SpotCount() const { return static_cast<int>(spots_.size()); }

private:
    QPointer<QWidget> panel_;
    std::vector<QPointer<CDeviceKeyButtonUI>> spots_;
};

}  // namespace q417::ui
