#pragma once
// A key or light spot on a device picture. Over the styled button it draws the spot's light
// (the light image tinted with the key's colour, or a glow of the colour when the skin gives
// no image), then the "not assigned" mark and the "changed" mark. Layouts give the three
// images as skin-relative paths; the owner sets colours and marks and repaints the page.
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QSize>
#include <QString>
#include <cstdint>

namespace q417::ui {

class CDeviceKeyButtonUI : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QString lightimage READ LightImage WRITE SetLightImage)
    Q_PROPERTY(QString keysetimage READ KeySetImage WRITE SetKeySetImage)
    Q_PROPERTY(QString keyunsetimage READ KeyUnsetImage WRITE SetKeyUnsetImage)
    // Accepted from older layouts; the name text is drawn by the style.
    Q_PROPERTY(QString gmnametextcolor READ GmNameTextColor WRITE SetGmNameTextColor)
public:
    explicit CDeviceKeyButtonUI(QWidget* parent = nullptr);

    QString LightImage() const { return lightImage_; }
    QString KeySetImage() const { return keySetImage_; }
    QString KeyUnsetImage() const { return keyUnsetImage_; }
    void SetLightImage(const QString& image);
    void SetKeySetImage(const QString& image);
    void SetKeyUnsetImage(const QString& image);
    QString GmNameTextColor() const { return {}; }
    void SetGmNameTextColor(const QString&) {}

    // colour is 0xBBGGRR (red in the low byte), alpha 0-255. Stored only: the owner repaints.
    // Returns whether what the spot shows changed (an unchanged light needs no repaint).
    bool SetLight(std::uint32_t colour, int alpha, bool on);
    std::uint32_t LightColour() const { return lightColour_; }
    int LightAlpha() const { return lightAlpha_; }
    bool IsLightOn() const { return lightOn_; }

    // Repaint only when the value changes.
    void SetChangedMark(bool on);
    void SetUnsetMark(bool on);
    void SetOwnerFlag(bool on);
    bool IsChangedMark() const { return changedMark_; }
    bool IsUnsetMark() const { return unsetMark_; }
    bool GetOwnerFlag() const { return ownerFlag_; }

    // A spot that is only a light (the picture's light spots): the skin keeps the button beneath
    // it transparent, so only the light is drawn, not the styled button (the costly part of a
    // frame of an animation).
    void SetLightOnly(bool on) { lightOnly_ = on; }
    bool IsLightOnly() const { return lightOnly_; }

    // True once the button's face in its resting state (no pointer, not pressed, not checked,
    // no focus) was found to draw nothing; such a face is then not painted at all.
    bool IsRestingFaceEmpty() const { return restingFaceEmpty_; }

    // Set by the enclosing selection panel.
    void SetPanelSelected(bool on) { panelSelected_ = on; }
    bool IsPanelSelected() const { return panelSelected_; }

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool IsResting() const;
    // Renders the resting face once (off any paint) to learn whether it draws anything: a key
    // whose style keeps it transparent until hovered would otherwise run the style-sheet
    // painter on every frame of the light animation beneath it.
    void ProbeRestingFace();
    void QueueProbe();
    static QPixmap LoadImage(const QString& image);
    // The light image scaled once to the spot's device pixels, then tinted per colour: a frame
    // of an animation only draws a ready pixmap 1:1.
    const QPixmap& TintedLight();

    QString lightImage_;
    QString keySetImage_;
    QString keyUnsetImage_;
    QPixmap lightPixmap_;
    QPixmap keySetPixmap_;
    QPixmap keyUnsetPixmap_;
    // The light image at the spot's size in device pixels (rebuilt when size or scale change)
    // and that image in the last colour drawn.
    QImage scaledLight_;
    QSize scaledFor_;
    QPixmap tinted_;
    std::uint32_t tintedColour_ = 0;
    bool tintedValid_ = false;

    std::uint32_t lightColour_ = 255;
    int lightAlpha_ = 200;
    bool lightOn_ = false;
    bool changedMark_ = false;
    bool unsetMark_ = false;
    bool ownerFlag_ = false;
    bool panelSelected_ = false;
    bool lightOnly_ = false;
    bool restingFaceEmpty_ = false;
    bool probeQueued_ = false;
    bool probing_ = false;
    QString probedText_;
    QSize probedSize_;
};

}  // namespace q417::ui
