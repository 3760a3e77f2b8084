#include "ui/demo/CEmulatorWnd.h"

#include <QFrame>
#include <QGridLayout>
#include <QMetaObject>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <string>

#include "emulator/MouseFirmware.h"
#include "ui/framework/CResourceManager.h"

namespace q417::ui {
namespace {

QString Tr(const char* key) {
    return CResourceManager::GetInstance().Text(QString::fromLatin1(key));
}

// A text with placeholders; a language without the key still shows the values.
QString TrArgs(const char* key, std::initializer_list<QString> args) {
    QString text = Tr(key);
    int n = 1;
    for (auto it = args.begin(); it != args.end(); ++it, ++n) {
        if (!text.contains(QString("%%1").arg(n))) {
            text += QString(" %%1").arg(n);
        }
    }
    for (const QString& a : args) {
        text = text.arg(a);
    }
    return text;
}

constexpr const char* kStyle = R"(
QWidget { background: #16181d; color: #d8dce4; font-size: 13px; }
QLabel#emu_heading { color: #8a92a3; font-size: 11px; font-weight: bold; }
QLabel#emu_state { color: #8a92a3; }
QLabel#emu_status { color: #41c7a8; padding-top: 6px; }
QPushButton { background: #242832; border: 1px solid #323846; border-radius: 4px;
              padding: 5px 12px; min-width: 96px; }
QPushButton:hover { background: #2d3340; border-color: #41c7a8; }
QPushButton:pressed { background: #1c2028; }
QPushButton:disabled { color: #5b6170; border-color: #262a33; }
QFrame#emu_line { background: #2a2f3a; max-height: 1px; }
)";

// The name of a pluggable product; products without a text of their own show their ids.
QString ProductName(const emu::PlugOption& option) {
    const char* key = option.productId == emu::kWiredMouseProductId  ? "demo_wired"
                      : option.productId == emu::kReceiverProductId  ? "demo_receiver"
                      : option.productId == emu::kReceiver2ProductId ? "demo_receiver2"
                                                                     : nullptr;
    if (key != nullptr) {
        return Tr(key);
    }
    return QString("USB %1:%2")
        .arg(option.vendorId, 4, 16, QChar('0'))
        .arg(option.productId, 4, 16, QChar('0'));
}

// "Profile button pressed: profile 3" from the notification the press announced.
QString PressedText(const std::string& button, uint16_t code) {
    const QString key = QString::fromStdString("demo_pressed_" + button);
    if (button == "dpi") {
        return TrArgs(key.toLatin1().constData(), {QString::number(((code >> 4) & 0x0F) + 1)});
    }
    if (button == "profile") {
        return TrArgs(key.toLatin1().constData(), {QString::number((code & 0x0F) + 1)});
    }
    return TrArgs(key.toLatin1().constData(), {QString("0x%1").arg(code, 4, 16, QChar('0'))});
}

}  // namespace

CEmulatorWnd::CEmulatorWnd(std::shared_ptr<emu::EmulatedHidBus> bus, QWidget* parent)
    : QWidget(parent, Qt::Window), bus_(std::move(bus)) {
    setObjectName("emulator_wnd");
    setStyleSheet(kStyle);
    CResourceManager& texts = CResourceManager::GetInstance();
    setWindowTitle("Emulator");  // a name, the same in every language

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 14, 16, 14);
    outer->setSpacing(10);

    auto* heading = new QLabel(this);
    heading->setObjectName("emu_heading");
    texts.SetTextId(heading, "demo_devices");
    outer->addWidget(heading);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    const std::vector<emu::PlugOption> catalogue = bus_->Catalogue();
    rows_.resize(catalogue.size());
    for (int i = 0; i < PlugCount(); ++i) {
        Row& row = rows_[static_cast<std::size_t>(i)];
        row.option = catalogue[static_cast<std::size_t>(i)];
        auto* name = new QLabel(ProductName(row.option), this);
        row.state = new QLabel(this);
        row.state->setObjectName("emu_state");
        row.plug = new QPushButton(this);
        row.plug->setObjectName(QString("emu_plug_%1").arg(i));
        connect(row.plug, &QPushButton::clicked, this, [this, i] { TogglePlug(i); });
        grid->addWidget(name, i, 0);
        grid->addWidget(row.state, i, 1);
        grid->addWidget(row.plug, i, 2);
        if (row.option.receiver) {
            row.link = new QPushButton(this);
            row.link->setObjectName(QString("emu_link_%1").arg(i));
            connect(row.link, &QPushButton::clicked, this, [this, i] { ToggleLink(i); });
            grid->addWidget(row.link, i, 3);
        }
    }
    grid->setColumnStretch(1, 1);
    outer->addLayout(grid);

    // One group of buttons per physical device that the plug list reaches.
    for (const emu::PlugOption& option : catalogue) {
        if (std::any_of(devices_.begin(), devices_.end(),
                        [&](const DeviceButtons& d) { return d.firmware == option.firmware; })) {
            continue;
        }
        DeviceButtons group;
        group.firmware = option.firmware;
        std::string kind;
        std::vector<std::string> names;
        bus_->WithFirmware<emu::DeviceFirmware>(option.firmware, [&](emu::DeviceFirmware& f) {
            kind = std::string(f.Kind());
            names = f.Buttons();
        });
        if (names.empty()) {
            continue;
        }
        auto* line = new QFrame(this);
        line->setObjectName("emu_line");
        line->setFrameShape(QFrame::NoFrame);
        line->setFixedHeight(1);
        outer->addWidget(line);
        auto* deviceHeading = new QLabel(this);
        deviceHeading->setObjectName("emu_heading");
        texts.SetTextId(deviceHeading, QString::fromStdString("demo_" + kind));
        outer->addWidget(deviceHeading);
        auto* buttons = new QGridLayout();
        group.target = new QLabel(this);
        group.target->setObjectName("emu_state");
        buttons->addWidget(group.target, 0, 0);
        int column = 1;
        for (const std::string& button : names) {
            auto* b = new QPushButton(this);
            // The mouse's buttons keep the names the screenshots and tests know.
            b->setObjectName(QString::fromStdString("emu_" + button + "_btn"));
            texts.SetTextId(b, QString::fromStdString("demo_" + button + "_btn"));
            const emu::FirmwareId firmware = group.firmware;
            connect(b, &QPushButton::clicked, this,
                    [this, firmware, button] { PressButton(firmware, button); });
            buttons->addWidget(b, 0, column++);
            group.buttons.push_back(b);
        }
        buttons->setColumnStretch(0, 1);
        outer->addLayout(buttons);
        devices_.push_back(std::move(group));
    }

    status_ = new QLabel(this);
    status_->setObjectName("emu_status");
    outer->addWidget(status_);
    outer->addStretch(1);

    // The bus calls back on whatever thread plugged; the window repaints on its own.
    listener_ = bus_->AddChangeListener(
        [this] { QMetaObject::invokeMethod(this, &CEmulatorWnd::Refresh, Qt::QueuedConnection); });
    FindDevices();
    Refresh();
    resize(sizeHint().expandedTo(QSize(520, 0)));
}

CEmulatorWnd::~CEmulatorWnd() {
    if (listener_ >= 0) {
        bus_->RemoveChangeListener(listener_);
    }
}

void CEmulatorWnd::FindDevices() {
    for (Row& row : rows_) {
        if (row.device == emu::kNoDevice || !bus_->IsPlugged(row.device)) {
            row.device = bus_->FindPlugged(row.option.productId);
        }
    }
}

emu::DeviceId CEmulatorWnd::DeviceAt(Plug plug) const {
    if (plug < 0 || plug >= PlugCount()) {
        return emu::kNoDevice;
    }
    return rows_[static_cast<std::size_t>(plug)].device;
}

bool CEmulatorWnd::TogglePlug(Plug plug) {
    if (plug < 0 || plug >= PlugCount()) {
        return false;
    }
    Row& row = rows_[static_cast<std::size_t>(plug)];
    bool ok = false;
    if (row.device != emu::kNoDevice && bus_->IsPlugged(row.device)) {
        ok = bus_->Unplug(row.device);
        row.device = emu::kNoDevice;
    } else {
        row.device = bus_->Plug(row.option.productId);
        ok = row.device != emu::kNoDevice;
    }
    Refresh();
    return ok;
}

bool CEmulatorWnd::ToggleLink(Plug plug) {
    const emu::DeviceId device = DeviceAt(plug);
    const std::optional<bool> up = bus_->LinkUp(device);
    const bool ok = up && bus_->SetLink(device, !*up);
    Refresh();
    return ok;
}

std::optional<emu::PluggedDevice> CEmulatorWnd::Reaching(emu::FirmwareId firmware) const {
    std::optional<emu::PluggedDevice> viaReceiver;
    for (const emu::PluggedDevice& d : bus_->Plugged()) {
        if (d.firmware != firmware) {
            continue;
        }
        if (!d.receiver) {
            return d;  // the cable wins
        }
        if (d.linkUp && !viaReceiver) {
            viaReceiver = d;
        }
    }
    return viaReceiver;
}

emu::DeviceId CEmulatorWnd::TargetMouse() const {
    const std::optional<emu::PluggedDevice> via = Reaching(bus_->MainMouse());
    return via ? via->id : emu::kNoDevice;
}

bool CEmulatorWnd::PressButton(emu::FirmwareId firmware, const std::string& button) {
    // Out of reach the device still changes, but nobody hears about it: the button is disabled.
    if (!Reaching(firmware)) {
        return false;
    }
    const std::optional<uint16_t> code = bus_->PressButton(firmware, button);
    if (code) {
        SetStatus(PressedText(button, *code));
    }
    Refresh();
    return code.has_value();
}

bool CEmulatorWnd::PressDpiButton() {
    return PressButton(bus_->MainMouse(), std::string(emu::kMouseDpiButton));
}

bool CEmulatorWnd::PressProfileButton() {
    return PressButton(bus_->MainMouse(), std::string(emu::kMouseProfileButton));
}

void CEmulatorWnd::SetStatus(const QString& text) {
    status_->setText(text);
}

QString CEmulatorWnd::StatusText() const {
    return status_->text();
}

void CEmulatorWnd::Refresh() {
    FindDevices();
    CResourceManager& texts = CResourceManager::GetInstance();
    for (Row& row : rows_) {
        const bool plugged = row.device != emu::kNoDevice;
        texts.SetTextId(row.plug, plugged ? "demo_unplug" : "demo_plug");
        QString state = Tr(plugged ? "demo_plugged" : "demo_absent");
        if (row.link != nullptr) {
            const bool up = plugged && bus_->LinkUp(row.device).value_or(false);
            row.link->setEnabled(plugged);
            texts.SetTextId(row.link, up ? "demo_link_off" : "demo_link_on");
            if (plugged) {
                state += " · " + Tr(up ? "demo_linked" : "demo_unlinked");
            }
        }
        row.state->setText(state);
    }
    for (DeviceButtons& group : devices_) {
        const std::optional<emu::PluggedDevice> via = Reaching(group.firmware);
        for (QPushButton* b : group.buttons) {
            b->setEnabled(via.has_value());
        }
        if (!via) {
            group.target->setText(Tr("demo_no_mouse"));
            continue;
        }
        const bool viaCable = !via->receiver;
        uint8_t profile = 0;
        uint8_t stage = 0;
        bus_->WithFirmware<emu::MouseFirmware>(group.firmware, [&](emu::MouseFirmware& m) {
            profile = m.CurrentProfile();
            stage = m.ActiveDpiStage();
        });
        group.target->setText(
            TrArgs("demo_mouse_state", {Tr(viaCable ? "demo_via_cable" : "demo_via_receiver"),
                                        QString::number(profile + 1), QString::number(stage + 1)}));
    }
}

}  // namespace q417::ui
