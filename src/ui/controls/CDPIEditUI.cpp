#include "ui/controls/CDPIEditUI.h"

#include <QMouseEvent>

#include "ui/framework/UiNotify.h"

namespace q417::ui {

CDPIEditUI::CDPIEditUI(QWidget* parent) : QLineEdit(parent) {}

void CDPIEditUI::mousePressEvent(QMouseEvent* event) {
    if (isEnabled() && isVisible()) {
        SendNotify(this, notify::kClick);
    }
    QLineEdit::mousePressEvent(event);
}

}  // namespace q417::ui
