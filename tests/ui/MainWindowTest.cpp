// The main window on the emulated bus: device entries follow hot-plug, the mouse page's edits
// reach the device, the page follows the connection, and the language switch reaches the texts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "ui/MainWindowFixture.h"
#include "ui/UiTestUtil.h"
#include "ui/controls/RegisterControls.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/UiNotify.h"
#include "ui/main/CMainWnd.h"
#include "ui/main/CMousePage.h"

namespace q417::ui {
namespace {

using namespace std::chrono_literals;

using test::PumpUntil;

class MainWindowTest : public test::MainWindowFixture {
protected:
    MainWndOptions Options() const override {
        MainWndOptions options = MainWindowFixture::Options();
        options.screenWidth = 1920;
        options.screenHeight = 1080;
        return options;
    }

    template <class T = QWidget>
    T* Control(CMousePage* page, const QString& name) {
        return page->Widget()->findChild<T*>(name);
    }

    std::uint16_t StoredStageX(emu::DeviceId mouse, int stage) {
        const auto p = bus_->ReadMouseMemory(mouse, 0, 1);
        if (p.empty()) {
            return 0;
        }
        const auto bytes = bus_->ReadMouseMemory(
            mouse, p[0] * 96u + emu::kRecordFirstStage + emu::kDpiStageSize * stage + 2, 2);
        return bytes.size() == 2 ? static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)) : 0;
    }
};

TEST_F(MainWindowTest, HotPlugShowsAndHidesTheEntryAndTheNoDeviceNotice) {
    Start();
    QWidget* noDevice = main_->findChild<QWidget*>("No_device_Link");
    ASSERT_NE(noDevice, nullptr);
    EXPECT_FALSE(noDevice->isHidden());
    EXPECT_EQ(VisibleEntry(), -1);

    const emu::DeviceId mouse = bus_->PlugWiredMouse();
    ASSERT_TRUE(PumpUntil([&] { return VisibleEntry() >= 0; }));
    EXPECT_TRUE(noDevice->isHidden());
    ASSERT_NE(WaitForMousePage(), nullptr);

    ASSERT_TRUE(bus_->Unplug(mouse));
    ASSERT_TRUE(PumpUntil([&] { return VisibleEntry() < 0; }));
    EXPECT_FALSE(noDevice->isHidden());
}

TEST_F(MainWindowTest, ATypedDpiIsRoundedShownAndWrittenWithTheSensorRule) {
    const emu::DeviceId mouse = bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    auto* edit = Control<QLineEdit>(page, "DPI_edit_1");
    ASSERT_NE(edit, nullptr);
    edit->setText("1234");
    SendNotify(edit, notify::kKillFocus);
    EXPECT_EQ(edit->text(), "1250");
    // Sensor 0x3395 with step 50 from 50: (1250 − 50) ÷ 50.
    EXPECT_TRUE(PumpUntil([&] { return StoredStageX(mouse, 1) == 24; }));
    EXPECT_TRUE(PumpUntil([&] { return page->EditsInFlight() == 0; }));
    EXPECT_EQ(edit->text(), "1250");

    // Not a number: the stage's value comes back, nothing is written.
    edit->setText("fast");
    SendNotify(edit, notify::kReturn);
    EXPECT_EQ(edit->text(), "1250");
    edit->setText("99999");
    SendNotify(edit, notify::kReturn);
    EXPECT_EQ(edit->text(), "26000");
    EXPECT_TRUE(PumpUntil([&] { return StoredStageX(mouse, 1) == (26000 - 50) / 50; }));
}

TEST_F(MainWindowTest, AnEditTheMouseRefusedIsShownKeptAndSentLater) {
    const emu::DeviceId mouse = bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(page->WriteNoticeShown());
    // CmdBegin passes, the record's first frame fails.
    emu::Fault fail;
    fail.kind = emu::FaultKind::Status;
    fail.status = 0xFF;
    fail.skipFrames = 1;
    ASSERT_TRUE(bus_->InjectFault(mouse, fail));
    auto* edit = Control<QLineEdit>(page, "DPI_edit_2");
    ASSERT_NE(edit, nullptr);
    edit->setText("2000");
    SendNotify(edit, notify::kReturn);
    ASSERT_TRUE(PumpUntil([&] { return page->WriteNoticeShown(); }));
    auto* notice = Control<QLabel>(page, "device_write_notice");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), CResourceManager::GetInstance().Text("mouse_write_pending"));
    EXPECT_NE(StoredStageX(mouse, 2), (2000 - 50) / 50);

    // The mouse asks to be read again: what it missed goes out first, the notice goes away.
    ASSERT_TRUE(bus_->RaiseNotification(mouse, 0x0401));
    EXPECT_TRUE(PumpUntil([&] { return StoredStageX(mouse, 2) == (2000 - 50) / 50; }));
    EXPECT_TRUE(PumpUntil([&] { return !page->WriteNoticeShown(); }));
    EXPECT_EQ(edit->text(), "2000");
}

TEST_F(MainWindowTest, TheLastEnabledStageCannotBeSwitchedOff) {
    bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    for (int s = 0; s < 6; ++s) {
        auto* check = Control<QAbstractButton>(page, QString("DPI_enable_check_%1").arg(s));
        ASSERT_NE(check, nullptr);
        if (check->isEnabled() && check->isChecked()) {
            check->click();
        }
    }
    int checked = 0;
    QAbstractButton* last = nullptr;
    for (int s = 0; s < 6; ++s) {
        auto* check = Control<QAbstractButton>(page, QString("DPI_enable_check_%1").arg(s));
        if (check->isChecked()) {
            ++checked;
            last = check;
        }
    }
    ASSERT_EQ(checked, 1);
    EXPECT_FALSE(last->isEnabled());
    last->click();  // a disabled check does not move
    EXPECT_TRUE(last->isChecked());
    // The device's snapshot agrees once the writes are done.
    ASSERT_TRUE(PumpUntil([&] { return page->EditsInFlight() == 0; }));
    ASSERT_TRUE(PumpUntil([&] {
        int on = 0;
        for (const DpiStage& st : page->Snapshot()->mouse->stages) {
            on += st.active ? 1 : 0;
        }
        return on == 1;
    }));
}

TEST_F(MainWindowTest, HighPollingOptionsShowOnlyOnTheHighRateReceiver) {
    const emu::DeviceId cable = bus_->PlugWiredMouse();
    Start();
    CMousePage* page = WaitForMousePage();
    ASSERT_NE(page, nullptr);
    auto* option4 = Control(page, "polling_rate_option_4");
    auto* option5 = Control(page, "polling_rate_option_5");
    ASSERT_NE(option4, nullptr);
    ASSERT_NE(option5, nullptr);
    EXPECT_TRUE(option4->isHidden());
    EXPECT_TRUE(option5->isHidden());

    ASSERT_TRUE(bus_->Unplug(cable));
    ASSERT_TRUE(PumpUntil([&] { return VisibleEntry() < 0; }));
    bus_->PlugReceiver(0x7103, true);
    ASSERT_TRUE(PumpUntil([&] {
        const int e = VisibleEntry();
        CMousePage* p = e >= 0 ? main_->MousePage(e) : nullptr;
        return p && p->Snapshot() && p->Snapshot()->wireless &&
               !p->Widget()->findChild<QWidget*>("polling_rate_option_4")->isHidden();
    }));
    CMousePage* receiverPage = main_->MousePage(VisibleEntry());
    EXPECT_FALSE(Control(receiverPage, "polling_rate_option_5")->isHidden());
}

TEST_F(MainWindowTest, SwitchingTheLanguageChangesVisibleTextsAndIsStored) {
    Start();
    ASSERT_EQ(main_->LanguageIndex(), 0);
    // Every control that shows a keyed text, with what it shows now.
    std::vector<std::pair<QAbstractButton*, QString>> before;
    for (auto* b : main_->findChildren<QAbstractButton*>()) {
        if (!b->property("textid").toString().isEmpty() && !b->text().isEmpty()) {
            before.emplace_back(b, b->text());
        }
    }
    ASSERT_FALSE(before.empty());
    ASSERT_TRUE(main_->ApplyLanguage(1));
    int changed = 0;
    for (const auto& [button, text] : before) {
        changed += button->text() != text ? 1 : 0;
        EXPECT_EQ(button->text(),
                  CResourceManager::GetInstance().Text(button->property("textid").toString()));
    }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(SettingsStore::Language(), 2052);
    // The same language again does nothing.
    EXPECT_FALSE(main_->ApplyLanguage(1));
    // An index outside the list changes nothing.
    EXPECT_FALSE(main_->ApplyLanguage(7));
    EXPECT_EQ(main_->LanguageIndex(), 1);
}

TEST_F(MainWindowTest, CloseWithoutATrayMinimisesInsteadOfHiding) {
    Start();
    ASSERT_FALSE(main_->TrayAvailable());  // the offscreen platform has none
    main_->show();
    auto* close = main_->findChild<QAbstractButton*>("closebtn");
    ASSERT_NE(close, nullptr);
    close->click();
    EXPECT_TRUE(main_->isVisible());
    EXPECT_TRUE(main_->isMinimized());
}

}  // namespace
}  // namespace q417::ui
