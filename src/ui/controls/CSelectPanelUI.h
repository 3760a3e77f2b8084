#pragma once
// A device picture's panel that selects its key buttons with a rubber band: dragging over the
// panel marks every key button (a direct child) the band touches and then raises
// "click_select_end"; the owner reads the marks with IsPanelSelected. A press and release
// without a move changes nothing.
#include <QPoint>
#include <QRect>
#include <QWidget>

namespace q417::ui {

class CSelectPanelUI : public QWidget {
    Q_OBJECT
public:
    explicit CSelectPanelUI(QWidget* parent = nullptr);

    bool IsDragging() const { return dragging_; }
    QRect SelectionRect() const { return selection_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void MarkButtons();

    bool pressed_ = false;
    bool dragging_ = false;
    QPoint start_;
    QPoint current_;
    QRect selection_;
};

}  // namespace q417::ui
