#include "ui/dialogs/CColorSelectWnd.h"

#include <QIntValidator>
#include <QLineEdit>

#include "ui/dialogs/CColorPaletteUI.h"
#include "ui/framework/DpiScale.h"
#include "ui/framework/Silent.h"

namespace q417::ui {

namespace {

constexpr int kSaveDelayMs = 400;
const QString kPresetPrefix = QStringLiteral("color_option_");
const QString kCollectPrefix = QStringLiteral("collect_color_option_");

// The N of "<prefix>N" when it names one of the 20 options; -1 otherwise.
int OptionIndex(const QString& name, const QString& prefix) {
    if (!name.startsWith(prefix, Qt::CaseInsensitive)) {
        return -1;
    }
    bool ok = false;
    const int index = name.mid(prefix.size()).toInt(&ok);
    return ok && index >= 0 && index < kColourOptionCount ? index : -1;
}

std::uint32_t Argb(const QColor& colour) {
    return static_cast<std::uint32_t>(colour.rgb()) | 0xFF000000u;
}

QColor Opaque(std::uint32_t argb) {
    return QColor::fromRgb(static_cast<QRgb>(argb | 0xFF000000u));
}

}  // namespace

CColorSelectWnd::CColorSelectWnd(QWidget* owner) : CDialogBase(owner) {
    setObjectName("PalletDialog");
    setWindowTitle("PalletDialog");
    CColorPaletteUI::Register();
    // A drag on the palette changes the colour many times a second: the store is written once
    // it settles (and at the latest when the window goes).
    saveTimer_.setSingleShot(true);
    connect(&saveTimer_, &QTimer::timeout, this, [this] { Save(); });
}

CColorSelectWnd::~CColorSelectWnd() {
    // A change still waiting for its timer is not lost.
    if (dirty_) {
        Save();
    }
}

bool CColorSelectWnd::Build() {
    if (!Create("PalletDialog.xml")) {
        return false;
    }
    if (auto* caption = FindControl<QWidget>("pallet_caption")) {
        SetCaptionControl(caption);
    }
    palette_ = FindControl<CColorPaletteUI>("Pallet");
    preview_ = FindControl<QPushButton>("color_show_btn");
    const char* editNames[] = {"color_edit_r", "color_edit_g", "color_edit_b"};
    for (std::size_t i = 0; i < edits_.size(); ++i) {
        edits_[i] = FindControl<QLineEdit>(editNames[i]);
        if (edits_[i]) {
            edits_[i]->setValidator(new QIntValidator(0, 255, edits_[i]));
            edits_[i]->setMaxLength(3);
        }
    }
    for (int i = 0; i < kColourOptionCount; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        presetButtons_[slot] = FindControl<QPushButton>(kPresetPrefix + QString::number(i));
        collectButtons_[slot] = FindControl<QPushButton>(kCollectPrefix + QString::number(i));
    }
    ReadLayoutColours();
    ReadColourStore(options_);
    ShowOptions();
    ShowChosen(true, true);
    SetDpi(Dpi());
    return true;
}

void CColorSelectWnd::ReadLayoutColours() {
    for (std::size_t i = 0; i < kColourOptionCount; ++i) {
        if (QPushButton* b = presetButtons_[i]) {
            b->setCheckable(true);
            const QColor c(b->property("bkcolor").toString());
            options_.presets[i] = c.isValid() ? Argb(c) : 0xFF000000u;
        }
        if (QPushButton* b = collectButtons_[i]) {
            b->setCheckable(true);
            const QColor c(b->property("bkcolor").toString());
            options_.collected[i] = c.isValid() ? Argb(c) : 0xFF000000u;
            options_.collectedFilled[i] = b->property("UserData").toString() == "1";
        }
    }
}

void CColorSelectWnd::PaintOption(QPushButton* button, std::uint32_t argb, bool filled) {
    if (!button) {
        return;
    }
    const QString colour = Opaque(argb).name(QColor::HexRgb);
    QString sheet;
    if (filled) {
        sheet = QStringLiteral(
                    "QPushButton { background-color: %1; border: 2px solid rgba(255,255,255,28);"
                    " border-radius: 5px; padding: 0px; min-width: 22px; min-height: 22px; }"
                    "QPushButton:hover { border-color: rgba(255,255,255,150); }"
                    "QPushButton:checked { border: 2px solid #FFFFFF; }")
                    .arg(colour);
    } else {
        sheet = QStringLiteral(
            "QPushButton { background-color: transparent; border: 1px dashed "
            "rgba(255,255,255,70); border-radius: 5px; padding: 0px; min-width: 22px; min-height: "
            "22px; }"
            "QPushButton:hover { border-color: rgba(255,255,255,160); }"
            "QPushButton:checked { border: 2px dashed #FFFFFF; }");
    }
    button->setStyleSheet(ScaleStyleSheet(sheet, Dpi()));
    button->setToolTip(filled ? colour.toUpper() : QString());
}

void CColorSelectWnd::ShowOptions() {
    for (std::size_t i = 0; i < kColourOptionCount; ++i) {
        PaintOption(presetButtons_[i], options_.presets[i], true);
        if (collectButtons_[i]) {
            collectButtons_[i]->setProperty("UserData", options_.collectedFilled[i] ? "1" : "0");
            PaintOption(collectButtons_[i], options_.collected[i], options_.collectedFilled[i]);
        }
    }
    MarkCheck(presetButtons_, options_.presetSelect);
    MarkCheck(collectButtons_, options_.collectSelect);
}

void CColorSelectWnd::MarkCheck(std::array<QPushButton*, kColourOptionCount>& buttons, int index) {
    for (int i = 0; i < kColourOptionCount; ++i) {
        SilentSetChecked(buttons[static_cast<std::size_t>(i)], i == index);
    }
}

void CColorSelectWnd::SetInitialColour(const QColor& colour) {
    if (colour.isValid()) {
        chosen_ = QColor::fromRgb(colour.rgb());
        ShowChosen(true, true);
    }
}

void CColorSelectWnd::ShowChosen(bool updatePalette, bool updateEdits) {
    if (updatePalette && palette_) {
        palette_->SetColour(chosen_);
    }
    if (updateEdits) {
        const int channels[] = {chosen_.red(), chosen_.green(), chosen_.blue()};
        for (std::size_t i = 0; i < edits_.size(); ++i) {
            SilentSetText(edits_[i], QString::number(channels[i]));
        }
    }
    if (preview_) {
        preview_->setStyleSheet(ScaleStyleSheet(
            QStringLiteral(
                "QPushButton { background-color: %1; border: 1px solid "
                "rgba(255,255,255,40); border-radius: 6px; padding: 0px; min-height: 70px; }")
                .arg(chosen_.name(QColor::HexRgb)),
            Dpi()));
        preview_->setToolTip(chosen_.name(QColor::HexRgb).toUpper());
    }
}

void CColorSelectWnd::ChoosePreset(int index) {
    const auto slot = static_cast<std::size_t>(index);
    options_.presetSelect = index;
    MarkCheck(presetButtons_, index);
    chosen_ = Opaque(options_.presets[slot]);
    ShowChosen(true, true);
    ScheduleSave();
}

void CColorSelectWnd::ChooseCollected(int index) {
    const auto slot = static_cast<std::size_t>(index);
    options_.collectSelect = index;
    MarkCheck(collectButtons_, index);
    if (options_.collectedFilled[slot]) {
        chosen_ = Opaque(options_.collected[slot]);
        ShowChosen(true, true);
    } else {
        // An empty slot keeps the colour being edited: that is how the user collects one.
        options_.collected[slot] = Argb(chosen_);
        options_.collectedFilled[slot] = true;
        ShowOptions();
    }
    ScheduleSave();
}

void CColorSelectWnd::ColourEdited() {
    const int slot = options_.collectSelect;
    if (slot >= 0 && slot < kColourOptionCount) {
        const auto s = static_cast<std::size_t>(slot);
        options_.collected[s] = Argb(chosen_);
        options_.collectedFilled[s] = true;
        if (QPushButton* b = collectButtons_[s]) {
            b->setProperty("UserData", "1");
            PaintOption(b, options_.collected[s], true);
        }
        ScheduleSave();
    }
}

void CColorSelectWnd::EditChannel(QLineEdit* edit, int channel) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        return;  // an emptied edit waits for a number
    }
    const int v = std::clamp(value, 0, 255);
    QColor next = chosen_;
    if (channel == 0) {
        next.setRed(v);
    } else if (channel == 1) {
        next.setGreen(v);
    } else {
        next.setBlue(v);
    }
    if (next == chosen_) {
        return;
    }
    chosen_ = next;
    ShowChosen(true, false);
    ColourEdited();
}

void CColorSelectWnd::ScheduleSave() {
    dirty_ = true;
    saveTimer_.start(kSaveDelayMs);
}

void CColorSelectWnd::Save() {
    dirty_ = false;
    saveTimer_.stop();
    WriteColourStore(options_);
}

void CColorSelectWnd::SetDpi(int dpi) {
    CDialogBase::SetDpi(dpi);
    // The option colours carry pixel sizes of their own.
    ShowOptions();
    ShowChosen(false, false);
}

void CColorSelectWnd::Notify(TNotifyUI& msg) {
    if (HandleWindowButton(msg)) {
        return;
    }
    const QString name = msg.SenderName();
    if (msg.Is(notify::kClick)) {
        if (NameIs(msg, "okbtn")) {
            if (dirty_) {
                Save();
            }
            Finish(palette_ ? 1 : 2);
        } else if (NameIs(msg, "cancelbtn")) {
            Finish(0);
        } else if (const int preset = OptionIndex(name, kPresetPrefix); preset >= 0) {
            ChoosePreset(preset);
        } else if (const int collected = OptionIndex(name, kCollectPrefix); collected >= 0) {
            ChooseCollected(collected);
        }
        return;
    }
    if (msg.Is(notify::kColorChanged) && msg.pSender == palette_ && palette_) {
        chosen_ = palette_->Colour();
        ShowChosen(false, true);
        ColourEdited();
        return;
    }
    for (std::size_t i = 0; i < edits_.size(); ++i) {
        if (!edits_[i] || msg.pSender != edits_[i]) {
            continue;
        }
        if (msg.Is(notify::kTextChanged)) {
            EditChannel(edits_[i], static_cast<int>(i));
        } else if (msg.Is(notify::kKillFocus) || msg.Is(notify::kReturn)) {
            ShowChosen(false, true);  // an emptied or clamped edit shows the channel again
        }
        return;
    }
}

std::optional<QColor> ChooseColour(QWidget* owner, QColor initial, int dpi) {
    CColorSelectWnd wnd(owner);
    if (!wnd.Build()) {
        return std::nullopt;
    }
    wnd.SetInitialColour(initial);
    wnd.SetDpi(ValidDpi(dpi, "COLOR_WND DPI SET ERROR"));
    wnd.AttachToOwner();
    wnd.CentreOnOwner();
    if (wnd.ShowModal() != 1) {
        return std::nullopt;
    }
    return wnd.ChosenColour();
}

}  // namespace q417::ui
