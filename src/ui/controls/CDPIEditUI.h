#pragma once
// The edit box of a DPI stage: a press on it also raises "click" (the page selects that stage)
// before the usual editing; its text, Enter and focus notifications come from the bridge.
#include <QLineEdit>

namespace q417::ui {

class CDPIEditUI : public QLineEdit {
    Q_OBJECT
public:
    explicit CDPIEditUI(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace q417::ui
