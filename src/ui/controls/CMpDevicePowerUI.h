#pragma once
// A device's battery and connection indicator: battery percent, charge state, cable or
// receiver and, for the mouse pad, the phone on its charger. The content comes from the skin's
// "MpDevicePower" layout.
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <span>

class QLabel;
class QProgressBar;

namespace q417::ui {

class CMpDevicePowerUI : public QWidget {
    Q_OBJECT
public:
    explicit CMpDevicePowerUI(QWidget* parent = nullptr);

    // Builds an indicator from the skin's layout; null when the layout is missing or its root
    // is not an indicator.
    static CMpDevicePowerUI* Build(QWidget* parent);

    // The device kind (1 keyboard, 2 mouse, 3 mouse pad, 7 headset) and sub.
    void SetIndicatorKind(int kind, int sub);
    int GetKind() const { return kind_; }
    int GetSub() const { return sub_; }

    void ShowPowerLayout(bool visible);

    // Whether the device's records carry a battery level and charge state at all. A device that
    // never reports one shows its connection only: no level, no bar, no charging mark.
    void SetReportsLevel(bool reports);
    bool ReportsLevel() const { return reportsLevel_; }

    // Shows a device status record: byte 0 battery percent, 1 charge state (0 discharging,
    // 1 charging, 2 full; others leave the charge display alone), 3 non-zero through the
    // receiver, 5 the phone on a mouse pad's charger. Bytes past the record read as 0, bytes
    // past 64 are ignored. Does nothing unless the layout has every child it draws into.
    void UpdatePower(std::span<const std::uint8_t> status);

    static constexpr std::size_t kRecordSize = 64;

private:
    struct Children {
        QPointer<QProgressBar> progress;
        QPointer<QLabel> value;
        QPointer<QLabel> wirelessLogo;
        QPointer<QWidget> wirelessText;
        QPointer<QWidget> wiredText;
        QPointer<QLabel> powerStatus;
        QPointer<QLabel> poweringStatus;
        QPointer<QWidget> poweringText;
        QPointer<QLabel> phoneType;
    };
    bool FindChildren();
    void ShowLevelParts(bool visible);

    int kind_ = 0;
    int sub_ = 0;
    bool reportsLevel_ = true;
    Children children_;
};

}  // namespace q417::ui
