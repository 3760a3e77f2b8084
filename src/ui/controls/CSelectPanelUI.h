#pragma once
// A device picture's panel that selects its key buttons with a rubber band: dragging over the
// panel marks every key button (a direct child) the band touches and then raises
// "click_select_end"; the owner reads the marks with IsPanelSelected. A press and release
// without a move changes nothing.
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

namespace q417::ui {

class CSelectPanelUI : public QWidget {
    Q_OBJECT
public:
    explicit CSelectPanelUI(QWidget* parent = nullptr);

    bool IsDragging() const { return dragging_; }
    QRect SelectionRect() const { return selection_; }

    // Keeps what the window draws behind the panel as a picture and paints the panel opaque from
    // it, so that repainting a small part of the panel (a light of an animation) does not
    // repaint every styled widget behind it. The picture is made again when the panel or the
    // window changes size or style.
    // underlays: children that never change (the device picture) drawn into it as well and
    // kept out of sight while it is valid, so that no frame redraws them.
    void SetCachedBackdrop(bool on, std::vector<QWidget*> underlays = {});
    bool HasBackdrop() const { return !backdrop_.isNull(); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void MarkButtons();
    void DropBackdrop();
    void BuildBackdrop();

    bool pressed_ = false;
    bool dragging_ = false;
    QPoint start_;
    QPoint current_;
    QRect selection_;
    bool backdropWanted_ = false;
    bool rebuildQueued_ = false;
    QPixmap backdrop_;
    std::vector<QPointer<QWidget>> underlays_;
};

}  // namespace q417::ui
