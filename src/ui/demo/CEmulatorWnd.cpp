#include "ui/demo/CEmulatorWnd.h"

#include <QFrame>
#include <QGridLayout>
#include <QMetaObject>
#include <QVBoxLayout>
#include <initializer_list>

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

}  // namespace

uint16_t CEmulatorWnd::ProductOf(Plug plug) {
    switch (plug) {
        case kWired:
            return emu::kWiredMouseProductId;
        case kReceiver:
            return emu::kReceiverProductId;
        default:
            return emu::kReceiver2ProductId;
    }
}

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
    const std::array<const char*, kPlugCount> names{"demo_wired", "demo_receiver",
                                                    "demo_receiver2"};
    for (int i = 0; i < kPlugCount; ++i) {
        const Plug plug = static_cast<Plug>(i);
        auto* name = new QLabel(this);
        texts.SetTextId(name, names[i]);
        Row& row = rows_[i];
        row.state = new QLabel(this);
        row.state->setObjectName("emu_state");
        row.plug = new QPushButton(this);
        row.plug->setObjectName(QString("emu_plug_%1").arg(i));
        connect(row.plug, &QPushButton::clicked, this, [this, plug] { TogglePlug(plug); });
        grid->addWidget(name, i, 0);
        grid->addWidget(row.state, i, 1);
        grid->addWidget(row.plug, i, 2);
        if (plug != kWired) {
            row.link = new QPushButton(this);
            row.link->setObjectName(QString("emu_link_%1").arg(i));
            connect(row.link, &QPushButton::clicked, this, [this, plug] { ToggleLink(plug); });
            grid->addWidget(row.link, i, 3);
        }
    }
    grid->setColumnStretch(1, 1);
    outer->addLayout(grid);

    auto* line = new QFrame(this);
    line->setObjectName("emu_line");
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(1);
    outer->addWidget(line);

    auto* mouseHeading = new QLabel(this);
    mouseHeading->setObjectName("emu_heading");
    texts.SetTextId(mouseHeading, "demo_mouse");
    outer->addWidget(mouseHeading);
    auto* buttons = new QGridLayout();
    target_ = new QLabel(this);
    target_->setObjectName("emu_state");
    dpiButton_ = new QPushButton(this);
    dpiButton_->setObjectName("emu_dpi_btn");
    texts.SetTextId(dpiButton_, "demo_dpi_btn");
    connect(dpiButton_, &QPushButton::clicked, this, [this] { PressDpiButton(); });
    profileButton_ = new QPushButton(this);
    profileButton_->setObjectName("emu_profile_btn");
    texts.SetTextId(profileButton_, "demo_profile_btn");
    connect(profileButton_, &QPushButton::clicked, this, [this] { PressProfileButton(); });
    buttons->addWidget(target_, 0, 0);
    buttons->addWidget(dpiButton_, 0, 1);
    buttons->addWidget(profileButton_, 0, 2);
    buttons->setColumnStretch(0, 1);
    outer->addLayout(buttons);

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
    devices_.fill(emu::kNoDevice);
    for (emu::DeviceId id : bus_->Devices()) {
        const std::optional<uint16_t> product = bus_->ProductOf(id);
        for (int i = 0; i < kPlugCount; ++i) {
            if (product && *product == ProductOf(static_cast<Plug>(i)) &&
                devices_[i] == emu::kNoDevice) {
                devices_[i] = id;
            }
        }
    }
}

bool CEmulatorWnd::TogglePlug(Plug plug) {
    bool ok = false;
    if (devices_[plug] != emu::kNoDevice && bus_->IsPlugged(devices_[plug])) {
        ok = bus_->Unplug(devices_[plug]);
        devices_[plug] = emu::kNoDevice;
    } else {
        devices_[plug] =
            plug == kWired ? bus_->PlugWiredMouse() : bus_->PlugReceiver(ProductOf(plug), true);
        ok = devices_[plug] != emu::kNoDevice;
    }
    Refresh();
    return ok;
}

bool CEmulatorWnd::ToggleLink(Plug plug) {
    const std::optional<bool> up = bus_->LinkUp(devices_[plug]);
    const bool ok = up && bus_->SetLink(devices_[plug], !*up);
    Refresh();
    return ok;
}

emu::DeviceId CEmulatorWnd::TargetMouse() const {
    if (devices_[kWired] != emu::kNoDevice && bus_->IsPlugged(devices_[kWired])) {
        return devices_[kWired];
    }
    for (Plug plug : {kReceiver, kReceiver2}) {
        if (devices_[plug] != emu::kNoDevice && bus_->LinkUp(devices_[plug]).value_or(false)) {
            return devices_[plug];
        }
    }
    return emu::kNoDevice;
}

bool CEmulatorWnd::PressDpiButton() {
    const emu::DeviceId target = TargetMouse();
    const std::optional<uint8_t> stage = bus_->ActiveDpiStage(target);
    if (!stage) {
        return false;
    }
    // The button steps to the next stage and wraps round; a stage the mouse refuses is passed.
    for (std::size_t step = 1; step <= emu::kDpiStageCount; ++step) {
        const auto next = static_cast<uint8_t>((*stage + step) % emu::kDpiStageCount);
        if (bus_->SwitchDpiStageOnDevice(target, next)) {
            SetStatus(TrArgs("demo_pressed_dpi", {QString::number(next + 1)}));
            return true;
        }
    }
    return false;
}

bool CEmulatorWnd::PressProfileButton() {
    const emu::DeviceId target = TargetMouse();
    const std::optional<uint8_t> profile = bus_->CurrentProfile(target);
    if (!profile) {
        return false;
    }
    for (std::size_t step = 1; step < emu::kProfileCount; ++step) {
        const auto next = static_cast<uint8_t>((*profile + step) % emu::kProfileCount);
        if (bus_->SwitchProfileOnDevice(target, next)) {
            SetStatus(TrArgs("demo_pressed_profile", {QString::number(next + 1)}));
            return true;
        }
    }
    return false;
}

void CEmulatorWnd::SetStatus(const QString& text) {
    status_->setText(text);
}

QString CEmulatorWnd::StatusText() const {
    return status_->text();
}

void CEmulatorWnd::Refresh() {
    for (int i = 0; i < kPlugCount; ++i) {
        Row& row = rows_[i];
        const bool plugged = devices_[i] != emu::kNoDevice && bus_->IsPlugged(devices_[i]);
        if (!plugged) {
            devices_[i] = emu::kNoDevice;
        }
        CResourceManager& texts = CResourceManager::GetInstance();
        texts.SetTextId(row.plug, plugged ? "demo_unplug" : "demo_plug");
        QString state = Tr(plugged ? "demo_plugged" : "demo_absent");
        if (row.link != nullptr) {
            const bool up = plugged && bus_->LinkUp(devices_[i]).value_or(false);
            row.link->setEnabled(plugged);
            texts.SetTextId(row.link, up ? "demo_link_off" : "demo_link_on");
            if (plugged) {
                state += " · " + Tr(up ? "demo_linked" : "demo_unlinked");
            }
        }
        row.state->setText(state);
    }
    const emu::DeviceId target = TargetMouse();
    const bool any = target != emu::kNoDevice;
    dpiButton_->setEnabled(any);
    profileButton_->setEnabled(any);
    if (!any) {
        target_->setText(Tr("demo_no_mouse"));
        return;
    }
    const QString via = Tr(target == devices_[kWired] ? "demo_via_cable" : "demo_via_receiver");
    target_->setText(TrArgs("demo_mouse_state",
                            {via, QString::number(bus_->CurrentProfile(target).value_or(0) + 1),
                             QString::number(bus_->ActiveDpiStage(target).value_or(0) + 1)}));
}

}  // namespace q417::ui
