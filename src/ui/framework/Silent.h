#pragma once
// Setting a control's value from code without raising a notification: the window's dispatch
// must only see what the user did.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace q417::ui {

inline void SilentSetChecked(QAbstractButton* button, bool on) {
    if (button) {
        const QSignalBlocker block(button);
        button->setChecked(on);
    }
}

inline void SilentSetValue(QAbstractSlider* slider, int value) {
    if (slider) {
        const QSignalBlocker block(slider);
        slider->setValue(value);
    }
}

inline void SilentSetRange(QAbstractSlider* slider, int minimum, int maximum) {
    if (slider) {
        const QSignalBlocker block(slider);
        slider->setRange(minimum, maximum);
    }
}

inline void SilentSetText(QLineEdit* edit, const QString& text) {
    if (edit && edit->text() != text) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
}

inline void SilentSetCurrentIndex(QComboBox* combo, int index) {
    if (combo) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
}

}  // namespace q417::ui
