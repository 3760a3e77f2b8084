#pragma once
// The colour palette of the colour dialog: a saturation/value square beside a hue strip. A pick
// by the user (press or drag) raises "colorchanged"; SetColour from code raises nothing.
#include <QColor>
#include <QWidget>

namespace q417::ui {

class CColorPaletteUI : public QWidget {
    Q_OBJECT
public:
    explicit CColorPaletteUI(QWidget* parent = nullptr);

    QColor Colour() const;
    void SetColour(const QColor& colour);

    QSize sizeHint() const override { return {300, 240}; }

    // Makes the class known to the layout loader (idempotent).
    static void Register();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    enum class Drag { None, Square, Strip };
    QRect SquareRect() const;
    QRect StripRect() const;
    void PickAt(QPoint pos);
    void UserChanged();

    int hue_ = 0;         // 0..359
    int saturation_ = 0;  // 0..255
    int value_ = 255;     // 0..255
    Drag drag_ = Drag::None;
};

}  // namespace q417::ui
