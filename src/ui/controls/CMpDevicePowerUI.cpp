#include "ui/controls/CMpDevicePowerUI.h"

#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QProgressBar>
#include <algorithm>
#include <array>

#include "ui/framework/CControlFactory.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"

namespace q417::ui {

namespace {

constexpr const char* kClassName = "CMpDevicePowerUI";
constexpr const char* kLayoutId = "XML\\CustomControlXML\\MpDevicePower.xml";

// Shows a skin image in a label and keeps its skin-relative name in the "image" property.
void SetImage(QLabel* label, const QString& relative) {
    // The record comes every few seconds, mostly unchanged: the same image is not set again.
    if (label->property("image").toString() == relative) {
        return;
    }
    label->setProperty("image", relative);
    label->setPixmap(QPixmap(CUiLoader::ResourcePath(relative)));
}

}  // namespace

CMpDevicePowerUI::CMpDevicePowerUI(QWidget* parent) : QWidget(parent) {}

CMpDevicePowerUI* CMpDevicePowerUI::Build(QWidget* parent) {
    if (!CControlFactory::Instance().Has(kClassName)) {
        RegisterControlClass<CMpDevicePowerUI>(kClassName);
    }
    QWidget* built = CUiLoader::Build(kLayoutId, parent);
    auto* indicator = qobject_cast<CMpDevicePowerUI*>(built);
    if (!indicator) {
        delete built;
    }
    return indicator;
}

void CMpDevicePowerUI::SetIndicatorKind(int kind, int sub) {
    kind_ = kind;
    sub_ = sub;
}

void CMpDevicePowerUI::ShowPowerLayout(bool visible) {
    if (auto* box = findChild<QWidget*>("device_power_Layout")) {
        box->setVisible(visible);
    } else if (auto* layout = findChild<QLayout*>("device_power_Layout")) {
        // A plain layout in the file: its widgets stand for it.
        for (int i = 0; i < layout->count(); ++i) {
            if (QWidget* w = layout->itemAt(i)->widget()) {
                w->setVisible(visible);
            }
        }
    }
}

void CMpDevicePowerUI::SetReportsLevel(bool reports) {
    reportsLevel_ = reports;
    if (!reports && FindChildren()) {
        ShowLevelParts(false);
    }
}

void CMpDevicePowerUI::ShowLevelParts(bool visible) {
    Children& c = children_;
    for (QWidget* w : {static_cast<QWidget*>(c.powerStatus), static_cast<QWidget*>(c.progress),
                       static_cast<QWidget*>(c.value), static_cast<QWidget*>(c.poweringStatus),
                       c.poweringText.data()}) {
        w->setVisible(visible);
    }
    if (auto* separator = findChild<QWidget*>("device_power_separator")) {
        separator->setVisible(visible);
    }
}

bool CMpDevicePowerUI::FindChildren() {
    Children& c = children_;
    if (!c.progress)
        c.progress = findChild<QProgressBar*>("device_Power_progress");
    if (!c.value)
        c.value = findChild<QLabel*>("device_power_value");
    if (!c.wirelessLogo)
        c.wirelessLogo = findChild<QLabel*>("device_wuxian_logo");
    if (!c.wirelessText)
        c.wirelessText = findChild<QWidget*>("device_wuxian_logo_text");
    if (!c.wiredText)
        c.wiredText = findChild<QWidget*>("device_youxian_logo_text");
    if (!c.powerStatus)
        c.powerStatus = findChild<QLabel*>("device_power_status");
    if (!c.poweringStatus)
        c.poweringStatus = findChild<QLabel*>("device_powering_status");
    if (!c.poweringText)
        c.poweringText = findChild<QWidget*>("device_powering_status_text");
    if (!c.phoneType)
        c.phoneType = findChild<QLabel*>("device_phone_type");
    return c.progress && c.value && c.wirelessLogo && c.wirelessText && c.wiredText &&
           c.powerStatus && c.poweringStatus && c.poweringText && c.phoneType;
}

void CMpDevicePowerUI::UpdatePower(std::span<const std::uint8_t> status) {
    std::array<std::uint8_t, kRecordSize> record{};
    std::copy_n(status.begin(), std::min(status.size(), record.size()), record.begin());
    if (!FindChildren()) {
        return;
    }
    Children& c = children_;
    const int battery = record[0];
    const int charge = record[1];
    const bool wireless = record[3] != 0;
    const int phone = record[5];
    const bool keyboardOrMouse = kind_ == 1 || kind_ == 2;

    c.wirelessText->setVisible(wireless);
    c.wiredText->setVisible(!wireless);
    if (!reportsLevel_) {
        // The record's level and charge bytes are only zeros: the connection is all there is
        // to show, and its icon names the way the device is reached.
        SetImage(c.wirelessLogo, wireless ? "power/WIFI_down.png" : "power/cable.png");
        ShowLevelParts(false);
        return;
    }

    c.progress->setValue(std::clamp(battery, c.progress->minimum(), c.progress->maximum()));
    c.value->setText(QStringLiteral("%1%").arg(battery));

    if (wireless) {
        if (keyboardOrMouse) {
            SetImage(c.wirelessLogo, "power/WIFI_down.png");
            SetImage(c.poweringStatus, "power/powering.png");
        }
    } else if (keyboardOrMouse) {
        SetImage(c.wirelessLogo, "power/cable.png");
    }

    switch (charge) {
        case 0:
            c.poweringText->setVisible(false);
            c.value->setVisible(false);
            c.progress->setVisible(true);
            SetImage(c.powerStatus, "power/powering.png");
            SetImage(c.poweringStatus, "power/light.png");
            break;
        case 1:
            c.poweringText->setVisible(true);
            c.value->setVisible(false);
            c.progress->setVisible(false);
            SetImage(c.powerStatus, "power/powering_down.png");
            SetImage(c.poweringStatus, "power/powering_down.png");
            break;
        case 2:
            c.poweringText->setVisible(false);
            c.value->setVisible(false);
            c.progress->setVisible(true);
            SetImage(c.powerStatus, "power/power.png");
            SetImage(c.poweringStatus, "power/power.png");
            break;
        default:
            break;
    }

    if (kind_ == 3) {
        const char* key = "Phone_type_no_device";
        switch (phone) {
            case 1:
                key = "Phone_type_iphone";
                break;
            case 2:
                key = "Phone_type_samsung";
                break;
            case 3:
                key = "Phone_type_other";
                break;
            default:
                break;
        }
        const QString tip = QLatin1String(key);
        c.phoneType->setProperty("tooltipid", tip);
        c.phoneType->setToolTip(CResourceManager::GetInstance().Text(tip));
        SetImage(c.phoneType, "power/" + tip + ".png");
    }
}

}  // namespace q417::ui
