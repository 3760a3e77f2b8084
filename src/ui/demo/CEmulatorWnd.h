#pragma once
// The demo's "Emulator" window: stands in for the user's hands on the hardware. It plugs and
// unplugs the wired mouse and the two receivers of the emulated bus, switches a receiver's mouse
// on and off, and presses the mouse's DPI and profile buttons (the mouse changes its memory and
// announces it, as the real one does).
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <memory>

#include "emulator/EmulatedHidBus.h"

namespace q417::ui {

class CEmulatorWnd : public QWidget {
    Q_OBJECT
public:
    explicit CEmulatorWnd(std::shared_ptr<emu::EmulatedHidBus> bus, QWidget* parent = nullptr);
    ~CEmulatorWnd() override;

    // The plugs the window drives: the wired mouse and the receivers 0x7102 and 0x7103.
    enum Plug { kWired = 0, kReceiver = 1, kReceiver2 = 2, kPlugCount = 3 };
    static uint16_t ProductOf(Plug plug);

    // The actions behind the buttons (the tests and the screenshot mode call them too).
    bool TogglePlug(Plug plug);
    bool ToggleLink(Plug plug);
    // The mouse the buttons press: the wired one, else a receiver whose mouse is on.
    emu::DeviceId TargetMouse() const;
    bool PressDpiButton();
    bool PressProfileButton();

    emu::DeviceId DeviceAt(Plug plug) const { return devices_[plug]; }
    QString StatusText() const;

public slots:
    // Re-reads the bus (it changes from the buttons and from elsewhere).
    void Refresh();

private:
    struct Row {
        QLabel* state = nullptr;
        QPushButton* plug = nullptr;
        QPushButton* link = nullptr;
    };
    void FindDevices();
    void SetStatus(const QString& text);

    std::shared_ptr<emu::EmulatedHidBus> bus_;
    int listener_ = -1;
    std::array<emu::DeviceId, kPlugCount> devices_{};
    std::array<Row, kPlugCount> rows_{};
    QLabel* target_ = nullptr;
    QPushButton* dpiButton_ = nullptr;
    QPushButton* profileButton_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace q417::ui
