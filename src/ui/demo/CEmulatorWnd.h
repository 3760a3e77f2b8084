#pragma once
// The demo's "Emulator" window: stands in for the user's hands on the hardware. Built from the
// bus's list of what can be plugged in and of its physical devices, it plugs and unplugs cables
// and receivers, switches a receiver's device on and off, and presses the devices' own buttons
// (the firmware changes its memory and announces it, as the real one does).
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "emulator/EmulatedHidBus.h"

namespace q417::ui {

class CEmulatorWnd : public QWidget {
    Q_OBJECT
public:
    explicit CEmulatorWnd(std::shared_ptr<emu::EmulatedHidBus> bus, QWidget* parent = nullptr);
    ~CEmulatorWnd() override;

    // Rows of the plug list, in the bus's catalogue order (the demo bus lists the wired mouse,
    // then the receivers 0x7102 and 0x7103).
    using Plug = int;
    static constexpr Plug kWired = 0;
    static constexpr Plug kReceiver = 1;
    static constexpr Plug kReceiver2 = 2;
    int PlugCount() const { return static_cast<int>(rows_.size()); }

    // The actions behind the buttons (the tests and the screenshot mode call them too).
    bool TogglePlug(Plug plug);
    bool ToggleLink(Plug plug);
    // The connection through which the main mouse is reached: its cable, else a receiver whose
    // link is up; kNoDevice when out of reach.
    emu::DeviceId TargetMouse() const;
    // Presses one of a physical device's buttons ("dpi", "profile" on the mouse).
    bool PressButton(emu::FirmwareId firmware, const std::string& button);
    bool PressDpiButton();
    bool PressProfileButton();

    emu::DeviceId DeviceAt(Plug plug) const;
    QString StatusText() const;

public slots:
    // Re-reads the bus (it changes from the buttons and from elsewhere).
    void Refresh();

private:
    struct Row {
        emu::PlugOption option;
        emu::DeviceId device = emu::kNoDevice;
        QLabel* state = nullptr;
        QPushButton* plug = nullptr;
        QPushButton* link = nullptr;
    };
    struct DeviceButtons {
        emu::FirmwareId firmware = emu::FirmwareId::None;
        QLabel* target = nullptr;
        std::vector<QPushButton*> buttons;
    };
    void FindDevices();
    // Through which connection the physical device is reached now (none: out of reach).
    std::optional<emu::PluggedDevice> Reaching(emu::FirmwareId firmware) const;
    void SetStatus(const QString& text);

    std::shared_ptr<emu::EmulatedHidBus> bus_;
    int listener_ = -1;
    std::vector<Row> rows_;
    std::vector<DeviceButtons> devices_;
    QLabel* status_ = nullptr;
};

}  // namespace q417::ui
