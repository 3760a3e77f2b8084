#pragma once
// The colour dialog: a palette, red/green/blue edits, a preview, 20 preset colours and 20
// collected colours that the user fills. The presets, the collected colours and the selected
// item of each are remembered in the colour store (ColourStore.h).
#include <QColor>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <optional>

#include "ui/dialogs/CDialogBase.h"
#include "ui/dialogs/ColourStore.h"

class QLineEdit;

namespace q417::ui {

class CColorPaletteUI;

class CColorSelectWnd : public CDialogBase {
    Q_OBJECT
public:
    explicit CColorSelectWnd(QWidget* owner = nullptr);
    ~CColorSelectWnd() override;

    // Builds "PalletDialog.xml" and fills the options from the colour store.
    bool Build();
    void SetInitialColour(const QColor& colour);
    QColor ChosenColour() const { return chosen_; }
    const ColourOptions& Options() const { return options_; }
    int SelectedPreset() const { return options_.presetSelect; }
    int SelectedCollected() const { return options_.collectSelect; }

    void SetDpi(int dpi) override;
    void Notify(TNotifyUI& msg) override;

private:
    void ReadLayoutColours();
    void ShowOptions();
    void PaintOption(QPushButton* button, std::uint32_t argb, bool filled);
    void ShowChosen(bool updatePalette, bool updateEdits);
    void ChoosePreset(int index);
    void ChooseCollected(int index);
    void ColourEdited();
    void EditChannel(QLineEdit* edit, int channel);
    void MarkCheck(std::array<QPushButton*, kColourOptionCount>& buttons, int index);
    void ScheduleSave();
    void Save();

    ColourOptions options_;
    QColor chosen_{Qt::white};
    bool dirty_ = false;
    QTimer saveTimer_;
    CColorPaletteUI* palette_ = nullptr;
    std::array<QLineEdit*, 3> edits_{};
    QPushButton* preview_ = nullptr;
    std::array<QPushButton*, kColourOptionCount> presetButtons_{};
    std::array<QPushButton*, kColourOptionCount> collectButtons_{};
};

// Runs the colour dialog modally. The colour when "okbtn" closed it; nothing otherwise.
std::optional<QColor> ChooseColour(QWidget* owner, QColor initial, int dpi);

}  // namespace q417::ui
