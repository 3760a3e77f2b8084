#include "ui/framework/CNotifyBridge.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>

#include "ui/framework/UiNotify.h"

namespace q417::ui {

namespace {
constexpr const char* kAttached = "q417Attached";
constexpr const char* kSelfNotifying = "q417SelfNotifying";
}  // namespace

CNotifyBridge& CNotifyBridge::FocusWatcher() {
    // Owned by the application object so it goes away with it.
    static QPointer<CNotifyBridge> watcher;
    if (!watcher) {
        watcher = new CNotifyBridge(QCoreApplication::instance());
    }
    return *watcher;
}

void CNotifyBridge::MarkSelfNotifying(QWidget* control) {
    if (control) {
        control->setProperty(kSelfNotifying, true);
    }
}

void CNotifyBridge::Attach(QWidget* root) {
    if (!root) {
        return;
    }
    AttachOne(root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        AttachOne(w);
    }
}

void CNotifyBridge::AttachOne(QWidget* w) {
    if (w->property(kAttached).toBool() || w->property(kSelfNotifying).toBool()) {
        return;
    }
    w->setProperty(kAttached, true);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [button] { SendNotify(button, notify::kClick); });
        if (button->isCheckable()) {
            QObject::connect(button, &QAbstractButton::toggled, button, [button](bool on) {
                SendNotify(button, notify::kSelectChanged, on ? 1 : 0);
            });
        }
        return;
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo](int index) { SendNotify(combo, notify::kItemSelect, index); });
        // The edit field of an editable combo box reports for the combo box.
        if (QLineEdit* edit = combo->lineEdit()) {
            edit->setProperty(kAttached, true);
            QObject::connect(edit, &QLineEdit::textEdited, combo,
                             [combo] { SendNotify(combo, notify::kTextChanged); });
            QObject::connect(edit, &QLineEdit::returnPressed, combo,
                             [combo] { SendNotify(combo, notify::kReturn); });
        }
        return;
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(w)) {
        QObject::connect(slider, &QAbstractSlider::sliderMoved, slider, [slider](int value) {
            SendNotify(slider, notify::kMoveValueChanged, value);
        });
        QObject::connect(slider, &QAbstractSlider::sliderReleased, slider,
                         [slider] { SendNotify(slider, notify::kValueChanged, slider->value()); });
        // Keys, wheel and page steps change the value without a drag.
        QObject::connect(slider, &QAbstractSlider::valueChanged, slider, [slider](int value) {
            if (!slider->isSliderDown()) {
                SendNotify(slider, notify::kValueChanged, value);
            }
        });
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QObject::connect(edit, &QLineEdit::textEdited, edit,
                         [edit] { SendNotify(edit, notify::kTextChanged); });
        QObject::connect(edit, &QLineEdit::returnPressed, edit,
                         [edit] { SendNotify(edit, notify::kReturn); });
        edit->installEventFilter(&FocusWatcher());
        return;
    }
}

bool CNotifyBridge::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && !w->signalsBlocked()) {
        if (event->type() == QEvent::FocusIn) {
            SendNotify(w, notify::kSetFocus);
        } else if (event->type() == QEvent::FocusOut) {
            SendNotify(w, notify::kKillFocus);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace q417::ui
