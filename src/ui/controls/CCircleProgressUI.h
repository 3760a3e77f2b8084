#pragma once
// Ring-shaped progress: a full disc in the background colour, the done part as a pie starting
// straight down and running clockwise in the foreground colour, and the middle filled with the
// window colour so a ring 10 px wide remains. Until real figures arrive the ring is
// indeterminate: an arc that turns, animated only while the ring is on screen.
#include <QColor>
#include <QTimer>
#include <QWidget>

namespace q417::ui {

class CCircleProgressUI : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ GetMinValue WRITE SetMinValue)
    Q_PROPERTY(int maximum READ GetMaxValue WRITE SetMaxValue)
    Q_PROPERTY(int value READ GetValue WRITE SetValue)
    Q_PROPERTY(QColor bkcolor READ BkColor WRITE SetBkColor)
    Q_PROPERTY(QColor forecolor READ ForeColor WRITE SetForeColor)
public:
    explicit CCircleProgressUI(QWidget* parent = nullptr);

    int GetMinValue() const { return minimum_; }
    int GetMaxValue() const { return maximum_; }
    int GetValue() const { return value_; }
    void SetMinValue(int minimum);
    void SetMaxValue(int maximum);
    void SetValue(int value);

    QColor BkColor() const { return bkColor_; }
    QColor ForeColor() const { return foreColor_; }
    void SetBkColor(const QColor& colour);
    void SetForeColor(const QColor& colour);

    // Degrees of the done part, 0-360; 0 while the range is empty.
    int SweepDegrees() const;

    // No figures yet: a turning arc instead of the done part. Setting a value does not end it;
    // the owner says when the figures are real.
    void SetIndeterminate(bool on);
    bool IsIndeterminate() const { return indeterminate_; }
    // The turning arc's start, in degrees; it moves only while the ring is animating.
    int ArcStartDegrees() const { return arcStart_; }
    bool IsAnimating() const { return spin_.isActive(); }

    static constexpr int kRingWidth = 10;
    static constexpr int kArcDegrees = 90;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void UpdateSpin();

    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    QColor bkColor_{0x2A, 0x2E, 0x36};
    QColor foreColor_{0x00, 0xA2, 0xFF};
    bool indeterminate_ = false;
    int arcStart_ = 0;
    QTimer spin_;
};

}  // namespace q417::ui
