// The custom controls on Qt's offscreen platform: device selector entries and power
// indicators built from a scratch skin, key button drawing, rubber-band selection, the DPI
// edit's click and the ring progress.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <array>
#include <cstdint>
#include <vector>

#include "ui/controls/CCircleProgressUI.h"
#include "ui/controls/CDPIEditUI.h"
#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/controls/CDeviceOptionUI.h"
#include "ui/controls/CMpDevicePowerUI.h"
#include "ui/controls/CSelectPanelUI.h"
#include "ui/controls/RegisterControls.h"
#include "ui/framework/CNotifyBridge.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {
namespace {

// Stands in for a window: records every notification its controls raise.
class NotifyHost : public QWidget, public INotifyUI {
public:
    void Notify(TNotifyUI& msg) override { received.push_back(msg); }
    int Count(const char* type, const QString& sender = {}) const {
        int n = 0;
        for (const TNotifyUI& m : received) {
            n += m.Is(type) && (sender.isEmpty() || m.SenderName() == sender) ? 1 : 0;
        }
        return n;
    }
    std::vector<TNotifyUI> received;
};

constexpr const char* kDeviceOptionUi = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>DeviceOption</class>
 <widget class="CDeviceOptionUI" name="device_option">
  <layout class="QHBoxLayout">
   <item><widget class="QToolButton" name="device_select">
     <property name="checkable"><bool>true</bool></property></widget></item>
   <item><widget class="QCheckBox" name="synchro_device_select"/></item>
   <item><widget class="QLabel" name="device_select_name"/></item>
  </layout>
 </widget>
 <customwidgets><customwidget><class>CDeviceOptionUI</class><extends>QWidget</extends>
  <header></header><container>1</container></customwidget></customwidgets>
</ui>
)";

constexpr const char* kMpDevicePowerUi = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>MpDevicePower</class>
 <widget class="CMpDevicePowerUI" name="power">
  <layout class="QHBoxLayout">
   <item><widget class="QWidget" name="device_power_Layout">
    <layout class="QHBoxLayout">
     <item><widget class="QLabel" name="device_power_value"/></item>
     <item><widget class="QLabel" name="device_wuxian_logo"/></item>
     <item><widget class="QLabel" name="device_wuxian_logo_text"/></item>
     <item><widget class="QLabel" name="device_youxian_logo_text"/></item>
     <item><widget class="QProgressBar" name="device_Power_progress"/></item>
     <item><widget class="QLabel" name="device_power_status"/></item>
     <item><widget class="QLabel" name="device_powering_status"/></item>
     <item><widget class="QLabel" name="device_powering_status_text"/></item>
     <item><widget class="QLabel" name="device_phone_type"/></item>
    </layout>
   </widget></item>
  </layout>
 </widget>
 <customwidgets><customwidget><class>CMpDevicePowerUI</class><extends>QWidget</extends>
  <header></header><container>1</container></customwidget></customwidgets>
</ui>
)";

// A scratch skin with the two layouts and a white light image; the real root comes back after.
class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterControls();
        savedRoot_ = CUiLoader::ResourceRoot();
        ASSERT_TRUE(dir_.isValid());
        const QString root = dir_.path() + '/';
        Write(root + "res.xml",
              R"(<Res><Layout id="XML\CustomControlXML\DeviceOption.xml" file="DeviceOption.ui"/>
                 <Layout id="XML\CustomControlXML\MpDevicePower.xml" file="MpDevicePower.ui"/></Res>)");
        Write(root + "DeviceOption.ui", kDeviceOptionUi);
        Write(root + "MpDevicePower.ui", kMpDevicePowerUi);
        QImage white(16, 16, QImage::Format_ARGB32);
        white.fill(Qt::white);
        ASSERT_TRUE(white.save(root + "light.png"));
        CUiLoader::SetResourceRoot(root);
    }
    void TearDown() override { CUiLoader::SetResourceRoot(savedRoot_); }

    static void Write(const QString& path, const char* text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    QTemporaryDir dir_;
    QString savedRoot_;
    NotifyHost host_;
};

QAbstractButton* SelectOf(CDeviceOptionUI* entry) {
    return entry->findChild<QAbstractButton*>("device_select");
}

TEST_F(ControlsTest, DeviceOptionDressesItsIconByKindAndKeepsItForAnUnknownPad) {
    CDeviceOptionUI* entry = CDeviceOptionUI::Build(&host_);
    ASSERT_NE(entry, nullptr);
    QAbstractButton* select = SelectOf(entry);

    entry->SetDeviceType(7, 0);
    EXPECT_EQ(select->property("normalimage").toString(), "common/device_ico/hd_device_normal.png");
    EXPECT_EQ(select->property("selectedimage").toString(),
              "common/device_ico/hd_device_selected.png");
    EXPECT_EQ(select->property("tooltipid").toString(), "hd_device_name_text");

    entry->SetDeviceType(3, 1);
    EXPECT_EQ(entry->Icons().synchroSelected,
              "common/device_ico/soft_mp_device_synchro_selected.png");

    // A pad of an unknown sub leaves every icon, path and tip as it was.
    entry->SetDeviceType(3, 2);
    EXPECT_EQ(entry->GetKind(), 3);
    EXPECT_EQ(entry->GetSub(), 2);
    EXPECT_EQ(entry->Icons().normal, "common/device_ico/soft_mp_device_normal.png");
    EXPECT_EQ(select->property("normalimage").toString(),
              "common/device_ico/soft_mp_device_normal.png");
    EXPECT_EQ(select->property("tooltipid").toString(), "soft_mp_device_name_text");

    entry->SetDeviceType(6, 0);
    EXPECT_EQ(entry->TooltipKey(), "unknow_device_name_text");
}

TEST_F(ControlsTest, SetSynchroNotifiesAndSwitchesTheIconPair) {
    CDeviceOptionUI* entry = CDeviceOptionUI::Build(&host_);
    ASSERT_NE(entry, nullptr);
    entry->SetDeviceType(2, 0);

    entry->SetSynchro(true);
    EXPECT_TRUE(entry->IsSynchro());
    EXPECT_EQ(host_.Count(notify::kSelectChanged, "synchro_device_select"), 1);
    EXPECT_EQ(SelectOf(entry)->property("normalimage").toString(),
              "common/device_ico/ms_device_synchro_normal.png");

    entry->SetSynchro(false);
    EXPECT_FALSE(entry->IsSynchro());
    EXPECT_EQ(host_.Count(notify::kSelectChanged, "synchro_device_select"), 2);
    EXPECT_EQ(SelectOf(entry)->property("selectedimage").toString(),
              "common/device_ico/ms_device_selected.png");
}

TEST_F(ControlsTest, SelectingAnEntryInTheGroupDeselectsTheOther) {
    QButtonGroup group;
    CDeviceOptionUI* first = CDeviceOptionUI::Build(&host_);
    CDeviceOptionUI* second = CDeviceOptionUI::Build(&host_);
    ASSERT_TRUE(first && second);
    first->SetGroup(&group);
    second->SetGroup(&group);

    first->SelectEntry(true);
    second->SelectEntry(true);
    EXPECT_FALSE(first->IsEntrySelected());
    EXPECT_TRUE(second->IsEntrySelected());
    // On, on, and the first one's off.
    EXPECT_EQ(host_.Count(notify::kSelectChanged, "device_select"), 3);
    EXPECT_EQ(host_.received.back().wParam, 1);
}

TEST_F(ControlsTest, DeviceOptionWithoutChildrenDoesNothingAndAnswersFalse) {
    CDeviceOptionUI bare(&host_);
    bare.SetSynchro(true);
    bare.SelectEntry(true);
    bare.BindPage("device_tab", 2);
    bare.SetNameText("x");
    EXPECT_FALSE(bare.IsSynchro());
    EXPECT_FALSE(bare.IsEntrySelected());
    EXPECT_EQ(bare.GetPageIndex(), -1);
    EXPECT_TRUE(host_.received.empty());

    bare.SetPowerTab("", 3);
    EXPECT_EQ(bare.GetPowerIndex(), -1);
    bare.SetPowerTab("power_tab", 3);
    bare.SetPowerTab("power_tab", -1);
    EXPECT_EQ(bare.GetPowerIndex(), 3);

    CUiLoader::SetResourceRoot(dir_.path() + "/missing/");
    EXPECT_EQ(CDeviceOptionUI::Build(&host_), nullptr);
    EXPECT_EQ(CMpDevicePowerUI::Build(&host_), nullptr);
}

struct PowerView {
    explicit PowerView(CMpDevicePowerUI* p)
        : progress(p->findChild<QProgressBar*>("device_Power_progress")),
          value(p->findChild<QLabel*>("device_power_value")),
          wirelessLogo(p->findChild<QLabel*>("device_wuxian_logo")),
          wirelessText(p->findChild<QLabel*>("device_wuxian_logo_text")),
          wiredText(p->findChild<QLabel*>("device_youxian_logo_text")),
          status(p->findChild<QLabel*>("device_power_status")),
          powering(p->findChild<QLabel*>("device_powering_status")),
          poweringText(p->findChild<QLabel*>("device_powering_status_text")),
          phone(p->findChild<QLabel*>("device_phone_type")) {}
    static QString Image(QLabel* l) { return l->property("image").toString(); }
    QProgressBar* progress;
    QLabel *value, *wirelessLogo, *wirelessText, *wiredText, *status, *powering, *poweringText,
        *phone;
};

TEST_F(ControlsTest, ShortPowerRecordReadsMissingBytesAsZero) {
    CMpDevicePowerUI* power = CMpDevicePowerUI::Build(&host_);
    ASSERT_NE(power, nullptr);
    power->SetIndicatorKind(2, 0);
    PowerView v(power);
    const std::array<std::uint8_t, 2> twoBytes{57, 1};
    power->UpdatePower(twoBytes);

    EXPECT_EQ(v.progress->value(), 57);
    EXPECT_EQ(v.value->text(), "57%");
    // Connection byte 0: by cable.
    EXPECT_EQ(PowerView::Image(v.wirelessLogo), "power/cable.png");
    EXPECT_TRUE(v.wirelessText->isHidden());
    EXPECT_FALSE(v.wiredText->isHidden());
    // Charging.
    EXPECT_FALSE(v.poweringText->isHidden());
    EXPECT_TRUE(v.progress->isHidden());
    EXPECT_EQ(PowerView::Image(v.status), "power/powering_down.png");

    // A pad with no phone byte shows "no device".
    power->SetIndicatorKind(3, 0);
    power->UpdatePower(twoBytes);
    EXPECT_EQ(PowerView::Image(v.phone), "power/Phone_type_no_device.png");
    EXPECT_EQ(v.phone->property("tooltipid").toString(), "Phone_type_no_device");
}

TEST_F(ControlsTest, UnknownChargeStateChangesOnlyBatteryConnectionAndPhone) {
    CMpDevicePowerUI* power = CMpDevicePowerUI::Build(&host_);
    ASSERT_NE(power, nullptr);
    power->SetIndicatorKind(3, 0);
    PowerView v(power);
    const std::array<std::uint8_t, 6> full{100, 2, 0, 0, 0, 1};
    power->UpdatePower(full);
    EXPECT_EQ(PowerView::Image(v.phone), "power/Phone_type_iphone.png");

    const std::array<std::uint8_t, 6> odd{40, 3, 0, 1, 0, 2};
    power->UpdatePower(odd);
    EXPECT_EQ(v.progress->value(), 40);
    EXPECT_EQ(v.value->text(), "40%");
    EXPECT_FALSE(v.wirelessText->isHidden());
    EXPECT_TRUE(v.wiredText->isHidden());
    EXPECT_EQ(PowerView::Image(v.phone), "power/Phone_type_samsung.png");
    // The charge display keeps the "full" state.
    EXPECT_EQ(PowerView::Image(v.status), "power/power.png");
    EXPECT_EQ(PowerView::Image(v.powering), "power/power.png");
    EXPECT_TRUE(v.poweringText->isHidden());
    EXPECT_FALSE(v.progress->isHidden());

    // An indicator missing a child ignores records altogether.
    delete v.phone;
    const std::array<std::uint8_t, 6> empty{5, 0, 0, 0, 0, 0};
    power->UpdatePower(empty);
    EXPECT_EQ(v.value->text(), "40%");
}

QRgb PixelAt(QWidget& w, QPoint p) {
    return w.grab().toImage().pixel(p);
}

TEST_F(ControlsTest, KeyButtonTintsItsLightWithTheBgrColour) {
    CDeviceKeyButtonUI button(&host_);
    button.setStyleSheet("background: black; border: none;");
    button.resize(20, 20);
    button.setProperty("lightimage", "light.png");
    EXPECT_EQ(button.LightImage(), "light.png");

    button.SetLight(0x0000FF, 255, true);  // red
    QRgb c = PixelAt(button, {10, 10});
    EXPECT_GT(qRed(c), 200);
    EXPECT_LT(qBlue(c), 50);

    button.SetLight(0xFF0000, 255, true);  // blue: a new colour is tinted again
    c = PixelAt(button, {10, 10});
    EXPECT_GT(qBlue(c), 200);
    EXPECT_LT(qRed(c), 50);

    button.SetLight(0xFF0000, 255, false);
    EXPECT_LT(qBlue(PixelAt(button, {10, 10})), 50);

    // Without an image the colour glows from the centre.
    button.setProperty("lightimage", "");
    button.SetLight(0x00FF00, 255, true);
    c = PixelAt(button, {10, 10});
    EXPECT_GT(qGreen(c), 200);
    EXPECT_LT(qRed(c), 50);
}

// Keys over the mouse picture are transparent until hovered; their face is then not painted
// on every frame of the light beneath them, but any state or text that shows still is.
TEST_F(ControlsTest, KeyButtonSkipsOnlyAnEmptyRestingFace) {
    host_.resize(100, 100);
    host_.show();
    auto* key = new CDeviceKeyButtonUI(&host_);
    key->setCheckable(true);
    key->setStyleSheet(
        "QPushButton { background: transparent; border: none; color: rgb(0, 255, 0); }"
        "QPushButton:checked { background: rgb(255, 0, 0); }");
    key->setGeometry(10, 10, 30, 30);
    key->show();
    QApplication::processEvents();
    EXPECT_TRUE(key->IsRestingFaceEmpty());

    key->setChecked(true);
    EXPECT_GT(qRed(PixelAt(*key, {15, 15})), 200);
    key->setChecked(false);
    EXPECT_LT(qRed(PixelAt(*key, {15, 15})), 100);

    key->setText("WWW");
    const QImage face = key->grab().toImage();
    bool textDrawn = false;
    for (int y = 0; y < face.height() && !textDrawn; ++y) {
        for (int x = 0; x < face.width() && !textDrawn; ++x) {
            const QRgb c = face.pixel(x, y);
            textDrawn = qGreen(c) > 150 && qRed(c) < 100;
        }
    }
    EXPECT_TRUE(textDrawn);

    key->setStyleSheet("QPushButton { background: rgb(0, 0, 255); border: none; }");
    QApplication::processEvents();
    EXPECT_FALSE(key->IsRestingFaceEmpty());
    EXPECT_GT(qBlue(PixelAt(*key, {15, 15})), 200);
}

TEST_F(ControlsTest, KeyButtonDoubleClickSendsDbclick) {
    host_.resize(100, 100);
    host_.show();
    auto* button = new CDeviceKeyButtonUI(&host_);
    button->setGeometry(10, 10, 30, 30);
    button->show();
    QTest::mouseDClick(button, Qt::LeftButton);
    EXPECT_EQ(host_.Count(notify::kDbClick), 1);
    button->setEnabled(false);
    QTest::mouseDClick(button, Qt::LeftButton);
    EXPECT_EQ(host_.Count(notify::kDbClick), 1);
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

class SelectPanelTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        panel_ = new CSelectPanelUI(&host_);
        panel_->setGeometry(0, 0, 300, 200);
        a_ = Key(10, 10);
        b_ = Key(100, 50);
        c_ = Key(200, 150);
        // A key inside a sub-widget is not the panel's.
        auto* group = new QWidget(panel_);
        group->setGeometry(0, 0, 300, 200);
        nested_ = new CDeviceKeyButtonUI(group);
        nested_->setGeometry(10, 10, 40, 40);
    }
    CDeviceKeyButtonUI* Key(int x, int y) {
        auto* key = new CDeviceKeyButtonUI(panel_);
        key->setGeometry(x, y, 40, 40);
        return key;
    }
    CSelectPanelUI* panel_ = nullptr;
    CDeviceKeyButtonUI *a_, *b_, *c_, *nested_;
};

TEST_F(SelectPanelTest, PressAndReleaseWithoutMoveChangesNothing) {
    a_->SetPanelSelected(true);
    SendMouse(panel_, QEvent::MouseButtonPress, {150, 100});
    SendMouse(panel_, QEvent::MouseButtonRelease, {150, 100});
    EXPECT_TRUE(a_->IsPanelSelected());
    EXPECT_FALSE(b_->IsPanelSelected());
    EXPECT_EQ(host_.Count(notify::kClickSelectEnd), 0);
}

TEST_F(SelectPanelTest, DragMarksTheKeysItCrossesAndEndsOnce) {
    c_->SetPanelSelected(true);
    SendMouse(panel_, QEvent::MouseButtonPress, {150, 60});
    SendMouse(panel_, QEvent::MouseMove, {90, 30});
    SendMouse(panel_, QEvent::MouseMove, {20, 20});
    EXPECT_EQ(host_.Count(notify::kClickSelectEnd), 0);
    SendMouse(panel_, QEvent::MouseButtonRelease, {20, 20});

    EXPECT_TRUE(a_->IsPanelSelected());
    EXPECT_TRUE(b_->IsPanelSelected());
    EXPECT_FALSE(c_->IsPanelSelected());
    EXPECT_FALSE(nested_->IsPanelSelected());
    EXPECT_EQ(host_.Count(notify::kClickSelectEnd, panel_->objectName()), 1);

    // A straight horizontal drag still selects what it crosses; the next click does not.
    SendMouse(panel_, QEvent::MouseButtonPress, {5, 170});
    SendMouse(panel_, QEvent::MouseMove, {290, 170});
    SendMouse(panel_, QEvent::MouseButtonRelease, {290, 170});
    EXPECT_FALSE(a_->IsPanelSelected());
    EXPECT_TRUE(c_->IsPanelSelected());
    SendMouse(panel_, QEvent::MouseButtonPress, {5, 5});
    SendMouse(panel_, QEvent::MouseButtonRelease, {5, 5});
    EXPECT_EQ(host_.Count(notify::kClickSelectEnd), 2);
}

TEST_F(ControlsTest, DpiEditPressSendsClickAndEditingStillReports) {
    host_.resize(200, 50);
    host_.show();
    auto* edit = new CDPIEditUI(&host_);
    edit->setObjectName("dpi_edit_1");
    edit->setGeometry(0, 0, 100, 24);
    edit->show();
    CNotifyBridge::Attach(&host_);

    QTest::mouseClick(edit, Qt::LeftButton);
    EXPECT_EQ(host_.Count(notify::kClick, "dpi_edit_1"), 1);
    QTest::keyClicks(edit, "12");
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(host_.Count(notify::kTextChanged, "dpi_edit_1"), 2);

    edit->hide();
    SendMouse(edit, QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(host_.Count(notify::kClick, "dpi_edit_1"), 1);
}

TEST_F(ControlsTest, RingSweepsClockwiseFromTheBottomAndSurvivesAnEmptyRange) {
    CCircleProgressUI ring(&host_);
    ring.resize(100, 100);
    ring.SetBkColor(Qt::black);
    ring.SetForeColor(Qt::red);
    ring.setProperty("value", 50);
    EXPECT_EQ(ring.SweepDegrees(), 180);
    // Half a turn clockwise from six o'clock covers the left half of the ring.
    const QImage half = ring.grab().toImage();
    EXPECT_GT(qRed(half.pixel(4, 50)), 200);
    EXPECT_LT(qRed(half.pixel(95, 50)), 50);

    ring.SetValue(500);
    EXPECT_EQ(ring.SweepDegrees(), 360);
    ring.SetMinValue(100);
    ring.SetMaxValue(200);
    ring.SetValue(150);
    EXPECT_EQ(ring.SweepDegrees(), 180);

    ring.SetMaxValue(100);
    EXPECT_EQ(ring.SweepDegrees(), 0);
    EXPECT_EQ(qRed(ring.grab().toImage().pixel(4, 50)), 0);
}

// The skin's own layouts must build into the controls with every child they look up.
TEST(ControlsSkinTest, SkinLayoutsCarryTheChildrenTheControlsUse) {
    RegisterControls();
    NotifyHost host;
    if (CUiLoader::ResolveLayout("XML\\CustomControlXML\\DeviceOption.xml").isEmpty() ||
        CUiLoader::ResolveLayout("XML\\CustomControlXML\\MpDevicePower.xml").isEmpty()) {
        GTEST_SKIP() << "skin layouts not present";
    }
    CDeviceOptionUI* entry = CDeviceOptionUI::Build(&host);
    ASSERT_NE(entry, nullptr);
    EXPECT_NE(entry->findChild<QAbstractButton*>("device_select"), nullptr);
    EXPECT_NE(entry->findChild<QAbstractButton*>("synchro_device_select"), nullptr);
    EXPECT_NE(entry->findChild<QLabel*>("device_select_name"), nullptr);

    CMpDevicePowerUI* power = CMpDevicePowerUI::Build(&host);
    ASSERT_NE(power, nullptr);
    power->SetIndicatorKind(2, 0);
    const std::array<std::uint8_t, 6> record{77, 2, 0, 0, 0, 0};
    power->UpdatePower(record);
    auto* value = power->findChild<QLabel*>("device_power_value");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->text(), "77%");
}

}  // namespace
}  // namespace q417::ui
