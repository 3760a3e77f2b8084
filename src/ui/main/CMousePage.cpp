#include "ui/main/CMousePage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QStackedWidget>
#include <QWidget>
#include <algorithm>

#include "devices/DpiEncoding.h"
#include "devices/MousePageRules.h"
#include "transport/CommandResult.h"
#include "ui/controls/CCircleProgressUI.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/IndexedName.h"
#include "ui/framework/Silent.h"
#include "ui/main/CMousePicture.h"

namespace q417::ui {

namespace {

constexpr int kPerformancePage = 8;

// Two-option groups of the page and the setting each one stores.
struct OptionSetting {
    const char* prefix;
    std::size_t offset;
};
constexpr OptionSetting kOptionSettings[] = {
    {"Silent_Altitude_option_", MouseSystemStages::kSilentAltitude},
    {"Linear_Calibration_option_", MouseSystemStages::kLinearCalibration},
    {"motion_sync_option_", MouseSystemStages::kMotionSync},
    {"sensor_lif_option_", MouseSystemStages::kSensorLift},
    {"deep_sleep_option_", MouseSystemStages::kDeepSleepOff},
};

// Sliders and combo boxes that store one setting each; a slider and a combo box of the same
// setting show the same value.
struct ValueSetting {
    const char* slider;
    const char* combo;
    std::size_t offset;
};
constexpr ValueSetting kValueSettings[] = {
    {"Dormancy_slider", "Dormancy_combo_timeSelect", MouseSystemStages::kDormancyTime},
    {"Key_Delay_slider", "Key_Delay_combo_timeSelect", MouseSystemStages::kKeyDelay},
    {nullptr, "Anti_Shake_combo_timeSelect", MouseSystemStages::kAntiShake},
    {"pointer_speed_slider", nullptr, MouseSystemStages::kMouseSpeed},
    {"scroll_speed_slider", nullptr, MouseSystemStages::kWheelScrollLines},
    {"double_click_slider", nullptr, MouseSystemStages::kDoubleClickTime},
};

struct CheckSetting {
    const char* name;
    std::size_t offset;
};
constexpr CheckSetting kCheckSettings[] = {
    {"pointer_precision_check", MouseSystemStages::kPointerPrecision},
    {"scrolls_page_check", MouseSystemStages::kScrollPage},
};

QString StageName(const char* prefix, int s) {
    return QString(prefix) + QString::number(s);
}

QColor StageColour(std::uint32_t argb) {
    return QColor::fromRgb(argb & 0xFFFFFFu);
}

// The swatch keeps the skin's own frame and takes the stage's colour. The layout gives its
// declarations without a selector; appending a rule after them would make the sheet unparsable
// (and the placeholder colour would stay), so the skin's declarations and ours share one block,
// with the skin's own background taken out.
QString SwatchStyleSheet(QWidget* swatch, const QColor& colour) {
    if (!swatch->property("q417BaseSheet").isValid()) {
        swatch->setProperty("q417BaseSheet", swatch->styleSheet());
    }
    QString base = swatch->property("q417BaseSheet").toString();
    if (base.contains('{')) {
        // A skin that writes full rules: ours comes last and names the swatch, so it wins.
        return base +
               QString("\n#%1{background-color:%2;}").arg(swatch->objectName(), colour.name());
    }
    static const QRegularExpression background(QStringLiteral("background(-color)?\\s*:[^;]*;?"));
    base.remove(background);
    return QString("#%1{%2 background-color:%3;}")
        .arg(swatch->objectName(), base.trimmed(), colour.name());
}

}  // namespace

CMousePage::CMousePage(int entry, QWidget* page, std::shared_ptr<CTavrenixMouseDevice> device,
                       EventLoop& uiLoop, QObject* parent)
    : QObject(parent),
      entry_(entry),
      page_(page),
      device_(std::move(device)),
      loop_(uiLoop),
      picture_(std::make_unique<CMousePicture>(Find("SelectPanel"))) {
    lateFrame_.setSingleShot(true);
    connect(&lateFrame_, &QTimer::timeout, this, [this] { RenderLights(); });
    if (page_) {
        // A page shown again (another entry was on screen) catches up with a light that
        // stopped changing meanwhile.
        page_->installEventFilter(this);
    }
    for (int s = 0; s < kMouseStageCount; ++s) {
        SilentSetRange(Find<QSlider>(StageName("DPI_slider_", s)), kMinDpi, kMaxDpi);
    }
    if (auto* busy = Find("device_busy_layout")) {
        busy->hide();
    }
    ShowSettingsPage(0);
}

CMousePage::~CMousePage() {
    *alive_ = false;
}

bool CMousePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == page_ && event->type() == QEvent::Show) {
        RenderLights();
    }
    return QObject::eventFilter(watched, event);
}

template <class T>
T* CMousePage::Find(const QString& name) const {
    return page_ ? page_->findChild<T*>(name) : nullptr;
}

CDeviceProfileUI* CMousePage::ProfileControl() const {
    return page_ ? page_->findChild<CDeviceProfileUI*>() : nullptr;
}

bool CMousePage::Owns(QWidget* control) const {
    return control && page_ && (control == page_ || page_->isAncestorOf(control));
}

// --- Showing the device's state --------------------------------------------------------------

void CMousePage::Apply(const DeviceSnapshot& snapshot) {
    snapshot_ = snapshot;
    if (!snapshot.mouse) {
        return;
    }
    view_ = snapshot.mouse->page;
    haveView_ = true;
    if (writePending_ && !snapshot.mouse->writePending) {
        editFailed_ = false;  // the kept change has reached the mouse
    }
    writePending_ = snapshot.mouse->writePending;
    ApplyView();
    ShowWriteNotice();
}

bool CMousePage::WriteNoticeShown() const {
    auto* notice = Find<QLabel>("device_write_notice");
    return notice != nullptr && !notice->isHidden();
}

void CMousePage::ShowWriteNotice() {
    auto* notice = Find<QLabel>("device_write_notice");
    if (notice == nullptr) {
        return;
    }
    // A change kept for later says so; a change the mouse refused outright says that instead.
    const char* key = writePending_ ? "mouse_write_pending"
                      : editFailed_ ? "mouse_write_failed"
                                    : nullptr;
    if (key == nullptr) {
        notice->hide();
        return;
    }
    CResourceManager::GetInstance().SetTextId(notice, QString::fromLatin1(key));
    notice->show();
}

void CMousePage::ApplyStage(int s) {
    const DpiStageView& st = view_.stages[static_cast<std::size_t>(s)];
    if (auto* row = Find(StageName("DPI_layout_", s))) {
        row->setVisible(st.present);
        row->setEnabled(st.layoutEnabled && !busy_);
    }
    if (auto* check = Find<QAbstractButton>(StageName("DPI_enable_check_", s))) {
        SilentSetChecked(check, st.enableChecked);
        check->setEnabled(st.enableEnabled);
    }
    SilentSetChecked(Find<QAbstractButton>(StageName("DPI_select_check_", s)), st.selectChecked);
    if (auto* slider = Find<QSlider>(StageName("DPI_slider_", s))) {
        SilentSetRange(slider, view_.sliderMin, view_.sliderMax);
        if (!slider->isSliderDown()) {
            SilentSetValue(slider, st.dpi);
        }
        const QString thumb = CUiLoader::ResourcePath(QString::fromStdString(st.thumbImage));
        const QString sheet = QString("QSlider::handle:horizontal{image:url(%1);}").arg(thumb);
        if (slider->styleSheet() != sheet) {
            slider->setStyleSheet(sheet);
        }
        slider->setProperty("activeStage", st.selectChecked);
    }
    if (auto* edit = Find<QLineEdit>(StageName("DPI_edit_", s))) {
        if (!edit->hasFocus()) {
            SilentSetText(edit, QString::number(st.dpi));
        }
        const QString sheet =
            st.editBorder != 0
                ? QString("border:1px solid #%1;").arg(st.editBorder & 0xFFFFFFu, 6, 16, QChar('0'))
                : QString();
        if (edit->styleSheet() != sheet) {
            edit->setStyleSheet(sheet);
        }
    }
    if (auto* colour = Find<QAbstractButton>(StageName("DPI_color_option_", s))) {
        const QColor c = StageColour(st.colour);
        colour->setProperty("colour", c);
        const QString sheet = SwatchStyleSheet(colour, c);
        if (colour->styleSheet() != sheet) {
            colour->setStyleSheet(sheet);
        }
    }
}

void CMousePage::ApplyView() {
    for (int s = 0; s < kMouseStageCount; ++s) {
        ApplyStage(s);
    }
    for (int i = 0; i < kPollingOptionCount; ++i) {
        auto* option = Find<QAbstractButton>(StageName("polling_rate_option_", i));
        if (!option) {
            continue;
        }
        SilentSetChecked(option, i == view_.pollingOption);
        if (i >= 4) {
            option->setVisible(view_.highPollingOptionsVisible);
        }
    }
    // Codes 4 and 5 exist only on the high-rate receiver: the slider stops at code 3 elsewhere.
    if (auto* slider = Find<QSlider>("polling_rate_slider")) {
        SilentSetRange(slider, 6 - MaxPollingCode(), 6);
        SilentSetValue(slider, view_.pollingSlider);
    }
    const int optionValues[] = {view_.liftOffOption, view_.linearCalibrationOption,
                                view_.motionSyncOption, view_.sensorLiftOption,
                                view_.deepSleepOption};
    for (std::size_t g = 0; g < std::size(kOptionSettings); ++g) {
        for (int i = 0; i < 2; ++i) {
            SilentSetChecked(Find<QAbstractButton>(StageName(kOptionSettings[g].prefix, i)),
                             i == optionValues[g]);
        }
    }
    const MouseSystemStages* settings =
        snapshot_ && snapshot_->mouse ? &snapshot_->mouse->settings : nullptr;
    for (const ValueSetting& v : kValueSettings) {
        const int value = settings ? settings->Half(v.offset) : 0;
        if (v.slider) {
            if (auto* slider = Find<QSlider>(v.slider); slider && !slider->isSliderDown()) {
                SilentSetValue(slider, std::clamp(value, slider->minimum(), slider->maximum()));
            }
        }
        if (v.combo) {
            if (auto* combo = Find<QComboBox>(v.combo)) {
                SilentSetCurrentIndex(combo, value >= 0 && value < combo->count() ? value : 0);
            }
        }
    }
    for (const CheckSetting& c : kCheckSettings) {
        SilentSetChecked(Find<QAbstractButton>(c.name), settings && settings->Half(c.offset) != 0);
    }
}

void CMousePage::RenderLights() {
    if (!device_ || !page_ || !page_->isVisible()) {
        return;
    }
    // The light worker steps at up to 64 Hz; the picture needs no more than about 30 frames a
    // second, and each frame costs a repaint of the lights.
    const auto interval = static_cast<qint64>(kMinFrameInterval.count());
    if (lastFrame_.isValid() && lastFrame_.elapsed() < interval) {
        if (!lateFrame_.isActive()) {
            lateFrame_.start(static_cast<int>(interval - lastFrame_.elapsed()));
        }
        return;
    }
    lateFrame_.stop();
    lastFrame_.start();
    picture_->Show(device_->KeyColours());
}

int CMousePage::MaxPollingCode() const {
    return !haveView_ || view_.highPollingOptionsVisible ? kPollingOptionCount - 1 : 3;
}

// --- Pages -----------------------------------------------------------------------------------

int CMousePage::SettingsPageCount() const {
    auto* pages = Find<QStackedWidget>("mouse_device_seting_layout");
    return pages ? pages->count() : 0;
}

int CMousePage::SettingsPageShown() const {
    return settingsPage_;
}

void CMousePage::ShowSettingsPage(int n) {
    auto* pages = Find<QStackedWidget>("mouse_device_seting_layout");
    if (!pages) {
        return;
    }
    if (n < 0 || n >= pages->count()) {
        n = 0;
    }
    pages->setCurrentIndex(n);
    settingsPage_ = n;
    const QString shown = StageName("mouse_device_seting_option_", n);
    if (auto* options = Find("mouse_option_layout")) {
        const auto buttons = options->findChildren<QAbstractButton*>();
        for (QAbstractButton* b : buttons) {
            if (b->objectName().startsWith("mouse_device_seting_option_")) {
                SilentSetChecked(b, b->objectName() == shown);
            }
        }
    }
}

void CMousePage::SelectPage(int page) {
    // The performance settings are the page this mouse has today; its tab stays checked.
    const bool performance = page == kPerformancePage;
    SilentSetChecked(Find<QAbstractButton>("performance_Op_tab"), performance);
    if (auto* functions = Find<QStackedWidget>("device_function_switch")) {
        functions->setCurrentIndex(0);
    }
}

void CMousePage::SetBusy(bool busy) {
    busy_ = busy;
    for (const char* name : {"mouse_device_seting_layout", "mouse_option_layout", "SelectPanel"}) {
        if (auto* w = Find(name)) {
            w->setEnabled(!busy);
        }
    }
    if (auto* overlay = Find("device_busy_layout")) {
        overlay->setVisible(busy);
        overlay->raise();
    }
    if (auto* ring = Find<CCircleProgressUI>("device_busy_progress")) {
        // No figures yet: the ring turns rather than pretend to count.
        ring->SetValue(0);
        ring->SetIndeterminate(busy);
    }
    if (!busy) {
        if (haveView_) {
            ApplyView();
        }
    }
}

ChunkProgress CMousePage::MakeTransferProgress() {
    std::weak_ptr<bool> alive = alive_;
    EventLoop* loop = &loop_;
    return [this, alive, loop](std::size_t done, std::size_t total) {
        loop->Post([this, alive, done, total] {
            if (alive.lock()) {
                ShowTransfer(done, total);
            }
        });
    };
}

void CMousePage::ShowTransfer(std::size_t done, std::size_t total) {
    if (!busy_ || total == 0) {
        return;
    }
    if (auto* ring = Find<CCircleProgressUI>("device_busy_progress")) {
        ring->SetIndeterminate(false);
        ring->SetMinValue(0);
        ring->SetMaxValue(100);
        ring->SetValue(static_cast<int>(std::min(done, total) * 100 / total));
    }
}

// --- Edits -----------------------------------------------------------------------------------

void CMousePage::Submit(const QString& key, Edit edit) {
    if (!device_ || busy_) {
        return;
    }
    if (running_.value(key)) {
        waiting_.insert(key, std::move(edit));
        return;
    }
    SubmitNow(key, std::move(edit));
}

void CMousePage::SubmitNow(const QString& key, Edit edit) {
    running_.insert(key, true);
    ++inFlight_;
    auto device = device_;
    std::weak_ptr<bool> alive = alive_;
    const bool queued = device->Commands().Submit(
        [device, edit = std::move(edit)](CommandContext&) { return edit(*device); }, loop_,
        [this, alive, key](std::optional<int> result) {
            if (!alive.lock()) {
                return;
            }
            --inFlight_;
            running_.remove(key);
            if (result && *result != 1) {
                // A change kept for later is told by the snapshot; one refused outright here.
                editFailed_ = !writePending_ && *result != kResultBadArgument;
                emit editFailed(entry_, *result);
            } else if (result) {
                editFailed_ = false;
            }
            ShowWriteNotice();
            if (waiting_.contains(key)) {
                SubmitNow(key, waiting_.take(key));
            }
        });
    if (!queued) {
        --inFlight_;
        running_.remove(key);
    }
}

void CMousePage::ShowStageLocally(int s, bool on) {
    if (!haveView_) {
        return;
    }
    int active = 0;
    for (int i = 0; i < kMouseStageCount; ++i) {
        if (view_.stages[static_cast<std::size_t>(i)].selectChecked) {
            active = i;
        }
    }
    ShowStage(view_, active, s, on);
    for (int i = 0; i < kMouseStageCount; ++i) {
        ApplyStage(i);
    }
}

void CMousePage::ChangeDpi(int s, int dpi, bool fromSlider) {
    const int shown = NormaliseDpi(dpi);
    if (!fromSlider) {
        SilentSetValue(Find<QSlider>(StageName("DPI_slider_", s)), shown);
    }
    SilentSetText(Find<QLineEdit>(StageName("DPI_edit_", s)), QString::number(shown));
    if (haveView_) {
        view_.stages[static_cast<std::size_t>(s)].dpi = shown;
    }
    Submit(StageName("dpi_", s),
           [s, shown](CTavrenixMouseDevice& d) { return d.EditStageDpi(s, shown); });
}

void CMousePage::CommitDpiEdit(int s) {
    auto* edit = Find<QLineEdit>(StageName("DPI_edit_", s));
    if (!edit) {
        return;
    }
    bool ok = false;
    const long long typed = edit->text().trimmed().toLongLong(&ok, 10);
    const int before = haveView_ ? view_.stages[static_cast<std::size_t>(s)].dpi : -1;
    if (!ok) {
        // Not a number: show the stage's value again rather than guessing.
        if (before >= 0) {
            SilentSetText(edit, QString::number(before));
        }
        return;
    }
    const int shown = NormaliseDpi(typed);
    SilentSetText(edit, QString::number(shown));
    if (shown != before) {
        ChangeDpi(s, shown, false);
    }
}

bool CMousePage::HandleSelect(const QString& prefix, int index, bool on, const QString& name) {
    if (prefix == "DPI_enable_check_" && index < kMouseStageCount) {
        ShowStageLocally(index, on);
        Submit(StageName("enable_", index),
               [index, on](CTavrenixMouseDevice& d) { return d.EditStageEnabled(index, on); });
        return true;
    }
    if (prefix == "DPI_select_check_" && index < kMouseStageCount) {
        if (on) {
            Submit("active", [index](CTavrenixMouseDevice& d) { return d.EditActiveStage(index); });
        }
        return true;
    }
    if (prefix == "polling_rate_option_" && index <= MaxPollingCode()) {
        if (on) {
            SilentSetValue(Find<QSlider>("polling_rate_slider"), 6 - index);
            Submit("polling",
                   [index](CTavrenixMouseDevice& d) { return d.EditPollingRate(index); });
        }
        return true;
    }
    for (const OptionSetting& o : kOptionSettings) {
        if (prefix == o.prefix && index < 2) {
            if (on) {
                const std::size_t offset = o.offset;
                Submit(prefix, [offset, index](CTavrenixMouseDevice& d) {
                    return d.EditSetting(offset, static_cast<std::uint16_t>(index));
                });
            }
            return true;
        }
    }
    if (prefix == "mouse_device_seting_option_") {
        if (on) {
            ShowSettingsPage(index);
        }
        return true;
    }
    for (const CheckSetting& c : kCheckSettings) {
        if (name == c.name) {
            const std::size_t offset = c.offset;
            Submit(name, [offset, on](CTavrenixMouseDevice& d) {
                return d.EditSetting(offset, on ? 1 : 0);
            });
            return true;
        }
    }
    return false;
}

bool CMousePage::HandleValue(const QString& name, const QString& prefix, int index, int value) {
    if (prefix == "DPI_slider_" && index < kMouseStageCount) {
        ChangeDpi(index, value, true);
        return true;
    }
    if (name == "polling_rate_slider") {
        const int code = std::clamp(6 - value, 0, MaxPollingCode());
        for (int i = 0; i < kPollingOptionCount; ++i) {
            SilentSetChecked(Find<QAbstractButton>(StageName("polling_rate_option_", i)),
                             i == code);
        }
        Submit("polling", [code](CTavrenixMouseDevice& d) { return d.EditPollingRate(code); });
        return true;
    }
    for (const ValueSetting& v : kValueSettings) {
        if ((v.slider && name == v.slider) || (v.combo && name == v.combo)) {
            if (v.slider && v.combo) {
                // Keep the twin control in step.
                if (name == v.slider) {
                    auto* combo = Find<QComboBox>(v.combo);
                    if (combo && value < combo->count()) {
                        SilentSetCurrentIndex(combo, value);
                    }
                } else {
                    SilentSetValue(Find<QSlider>(v.slider), value);
                }
            }
            const std::size_t offset = v.offset;
            const auto stored = static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF));
            Submit(QString::number(offset), [offset, stored](CTavrenixMouseDevice& d) {
                return d.EditSetting(offset, stored);
            });
            return true;
        }
    }
    return false;
}

bool CMousePage::Handle(TNotifyUI& msg, const ChooseColourFn& chooseColour) {
    QWidget* sender = msg.pSender;
    if (!Owns(sender)) {
        return false;
    }
    const QString name = msg.SenderName();
    const IndexedName indexed = SplitIndexedName(name);
    if (busy_) {
        // A profile switch or reset is being written: edits would race it.
        return indexed.index >= 0 || name.endsWith("_slider") || name.endsWith("_check") ||
               name.endsWith("_timeSelect");
    }
    if (msg.Is(notify::kSelectChanged)) {
        return HandleSelect(indexed.prefix, indexed.index, msg.wParam != 0, name);
    }
    if (msg.Is(notify::kValueChanged) || msg.Is(notify::kItemSelect)) {
        return HandleValue(name, indexed.prefix, indexed.index, msg.wParam);
    }
    if (msg.Is(notify::kMoveValueChanged)) {
        if (indexed.prefix == "DPI_slider_" && indexed.index < kMouseStageCount) {
            // The device follows the drag; writes are coalesced to one in flight.
            ChangeDpi(indexed.index, msg.wParam, true);
            return true;
        }
        return false;
    }
    if (msg.Is(notify::kKillFocus) || msg.Is(notify::kReturn)) {
        if (indexed.prefix == "DPI_edit_" && indexed.index < kMouseStageCount) {
            CommitDpiEdit(indexed.index);
            return true;
        }
        return false;
    }
    if (msg.Is(notify::kClick)) {
        const bool colourOption = indexed.prefix == "DPI_color_option_";
        // Clicking the active stage's select check again edits its colour; the first click
        // only makes the stage active.
        const bool activeAgain =
            indexed.prefix == "DPI_select_check_" && haveView_ &&
            indexed.index < kMouseStageCount &&
            view_.stages[static_cast<std::size_t>(indexed.index)].selectChecked;
        if ((colourOption || activeAgain) && indexed.index < kMouseStageCount && chooseColour) {
            const int s = indexed.index;
            const QColor initial =
                haveView_ ? StageColour(view_.stages[static_cast<std::size_t>(s)].colour)
                          : QColor(Qt::white);
            if (std::optional<QColor> chosen = chooseColour(initial)) {
                const QColor c = *chosen;
                view_.stages[static_cast<std::size_t>(s)].colour =
                    0xFF000000u | (static_cast<std::uint32_t>(c.red()) << 16) |
                    (static_cast<std::uint32_t>(c.green()) << 8) |
                    static_cast<std::uint32_t>(c.blue());
                ApplyStage(s);
                Submit(StageName("colour_", s), [s, c](CTavrenixMouseDevice& d) {
                    return d.EditStageColour(s, static_cast<std::uint8_t>(c.red()),
                                             static_cast<std::uint8_t>(c.green()),
                                             static_cast<std::uint8_t>(c.blue()));
                });
            }
            return true;
        }
        // The DPI edit reports a press as a click; editing goes on in the edit itself.
        return indexed.prefix == "DPI_edit_" || indexed.prefix == "DPI_select_check_" ||
               indexed.prefix == "DPI_enable_check_";
    }
    return false;
}

}  // namespace q417::ui
