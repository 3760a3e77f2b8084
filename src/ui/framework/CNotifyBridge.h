#pragma once
// Turns the signals of Qt's standard controls into the window's notifications:
//   button clicked → "click"; checkable button toggled → "selectchanged" (wParam: checked);
//   combo box current index changed → "itemselect" (wParam: index); slider released, or moved
//   by key or page step → "valuechanged"; slider dragged → "movevaluechanged"; line edit
//   text edited → "textchanged", Enter → "return", focus in / out → "setfocus" / "killfocus".
// Values set from code with a QSignalBlocker (Silent.h) raise nothing.
#include <QObject>
#include <QWidget>

namespace q417::ui {

class CNotifyBridge : public QObject {
    Q_OBJECT
public:
    // Connects every control in root's tree (root included) that is not connected yet. Call it
    // again after adding controls; controls already attached are skipped.
    static void Attach(QWidget* root);

    // Marks a control whose notifications its own class raises, so Attach leaves it alone.
    static void MarkSelfNotifying(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CNotifyBridge(QObject* parent) : QObject(parent) {}
    static CNotifyBridge& FocusWatcher();
    static void AttachOne(QWidget* w);
};

}  // namespace q417::ui
