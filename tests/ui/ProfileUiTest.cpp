// The profile list control and the main window's profile actions, driven through the controls'
// own notifications against a real device manager on the emulated bus.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "devices/CDeviceManager.h"
#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"
#include "profiles/CJsonFile.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/QtEventLoop.h"
#include "ui/main/CProfileActions.h"

namespace q417::ui {
namespace {

namespace fs = std::filesystem;

// Pumps Qt's loop until pred holds; the bound is generous, the tests do not time anything.
bool PumpUntil(const std::function<bool()>& pred, int boundMs = 8000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > boundMs) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

class FakeHost : public IProfileActionsHost {
public:
    CDeviceManager& Manager() override { return *manager; }
    int ShownEntry() const override { return shown; }
    CDeviceProfileUI* ProfileControl(int entry) override { return entry == 0 ? control : nullptr; }
    int AskUser(const QString& key, bool question) override {
        (question ? questions : messages).push_back(key);
        return answer;
    }
    void ShowMessageText(const QString& text) override { messages.push_back(text); }
    QString OpenFileName(const QString& filter) override {
        filters.push_back(filter);
        return openPath;
    }
    QString SaveFileName(const QString& filter) override {
        filters.push_back(filter);
        return savePath;
    }
    void SetEntryBusy(int, bool busy) override { (busy ? busyOn : busyOff)++; }
    void ReloadAllProfileControls() override { ++reloads; }

    CDeviceManager* manager = nullptr;
    CDeviceProfileUI* control = nullptr;
    int shown = 0;
    int answer = 1;
    QStringList questions, messages, filters;
    QString openPath, savePath;
    int busyOn = 0, busyOff = 0, reloads = 0;
};

// A device page: the window end of the notifications, with a few page tabs.
class TestPage : public QWidget, public INotifyUI {
public:
    void Notify(TNotifyUI& msg) override {
        if (actions) {
            actions->Handle(msg);
        }
    }
    CProfileActions* actions = nullptr;
};

class ProfileUiTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/q417-profileui-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        // A copy of the defaults, so that a test can spoil its template.
        fs::copy(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData", scratch_ + "/DefaultData",
                 fs::copy_options::recursive);
        FolderRedirects r;
        r.userData = scratch_ + "/home";
        r.defaultData = scratch_ + "/DefaultData";
        SetFolderRedirects(r);
        CUiLoader::SetResourceRoot(QStringLiteral(Q417_SOURCE_DATA_DIR "skin/"));
        ASSERT_TRUE(CResourceManager::GetInstance().LoadLanguage("lan_en.xml"));

        bus_->PlugWiredMouse();
        DeviceManagerOptions options;
        options.backend = bus_;
        options.pollInterval = std::chrono::milliseconds(20);
        manager_ = std::make_unique<CDeviceManager>(loop_, options);
        manager_->SetObserver(&observer_);
        manager_->Start();
        ASSERT_TRUE(PumpUntil([&] { return observer_.synchronised > 0; }));

        page_.setProperty("devicePage", true);
        for (const char* name :
             {"deng_Op_tab", "key_Op_tab", "cursor_Op_tab", "6533_voice_Op_tab"}) {
            auto* tab = new QPushButton(&page_);
            tab->setObjectName(name);
            tab->setCheckable(true);
            tabs_.addButton(tab);
        }
        control_ = new CDeviceProfileUI(&page_);
        list_ = manager_->ProfileListFor(0);
        ASSERT_NE(list_, nullptr);
        control_->SetList(list_);
        control_->SetKind(2);
        ASSERT_EQ(control_->Initialise(), ProfileListResult::Done);
        host_.manager = manager_.get();
        host_.control = control_;
        actions_ = std::make_unique<CProfileActions>(host_);
        page_.actions = actions_.get();
        page_.show();
    }
    void TearDown() override {
        page_.actions = nullptr;
        actions_.reset();
        manager_->Stop();
        manager_.reset();
        SetFolderRedirects({});
        std::error_code ec;
        fs::remove_all(scratch_, ec);
    }

    void Click(const char* name) {
        auto* b = control_->findChild<QAbstractButton*>(name);
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    QComboBox* Combo() { return control_->Combo(); }
    // Adds profiles straight to the list (no questions) and shows them.
    void AddProfiles(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(list_->AddProfile(), ProfileListResult::Done);
        }
        control_->Reload();
    }
    bool SwitchesDone(int n) {
        return PumpUntil([&] { return host_.busyOff >= n && !actions_->IsBusy(0); });
    }
    std::size_t FilesInFolder() {
        std::size_t n = 0;
        for (const auto& e : fs::directory_iterator(list_->DeviceFolderPath())) {
            (void)e;
            ++n;
        }
        return n;
    }

    struct Observer : IDeviceManagerObserver {
        void OnManagerEvent(const DeviceManagerEvent& e) override {
            synchronised += e.type == DeviceManagerEvent::Type::Synchronised ? 1 : 0;
        }
        int synchronised = 0;
    };

    std::string scratch_;
    QtEventLoop loop_;
    std::shared_ptr<emu::EmulatedHidBus> bus_ = std::make_shared<emu::EmulatedHidBus>();
    Observer observer_;
    std::unique_ptr<CDeviceManager> manager_;
    TestPage page_;
    QButtonGroup tabs_;
    CDeviceProfileUI* control_ = nullptr;
    CProfileList* list_ = nullptr;
    FakeHost host_;
    std::unique_ptr<CProfileActions> actions_;
};

TEST_F(ProfileUiTest, ChoosingAProfileSwitchesAtOnceAndOnceMoreAfterTheRepeat) {
    AddProfiles(2);
    const std::string chosen = list_->Entries()[2].id;
    Combo()->setCurrentIndex(2);  // as the user's pick: raises "itemselect"
    EXPECT_TRUE(actions_->RepeatPending());
    ASSERT_TRUE(SwitchesDone(1));
    EXPECT_EQ(list_->GetCurrentId(), chosen);
    ASSERT_TRUE(SwitchesDone(2));
    EXPECT_FALSE(actions_->RepeatPending());
    QTest::qWait(2 * CProfileActions::kRepeatDelayMs);
    EXPECT_EQ(host_.busyOn, 2);
    EXPECT_EQ(host_.busyOff, 2);
    EXPECT_TRUE(host_.messages.isEmpty()) << host_.messages.join(';').toStdString();
    EXPECT_EQ(Combo()->currentIndex(), 2);
    EXPECT_EQ(control_->findChild<QLabel*>("device_profile_name_edit")->text(), "Profile3");

    // Showing a selection from code raises nothing.
    control_->Select(0);
    QTest::qWait(CProfileActions::kRepeatDelayMs + 100);
    EXPECT_EQ(host_.busyOn, 2);
}

TEST_F(ProfileUiTest, BusyEntryRefusesFurtherActionsUntilItsSwitchEnds) {
    AddProfiles(1);
    actions_->SwitchTo(0, 1);
    ASSERT_TRUE(actions_->IsBusy(0));
    actions_->SwitchTo(0, 0);
    actions_->Reset(0, false);
    Click("device_add_btn");
    EXPECT_TRUE(host_.questions.isEmpty());
    ASSERT_TRUE(SwitchesDone(1));
    QTest::qWait(100);
    EXPECT_EQ(host_.busyOn, 1);
    EXPECT_EQ(list_->GetCurrentId(), list_->Entries()[1].id);
}

TEST_F(ProfileUiTest, ChoiceMadeWhileBusyRunsWhenTheDeviceIsFree) {
    AddProfiles(2);
    actions_->SwitchTo(0, 1);
    Combo()->setCurrentIndex(2);
    ASSERT_TRUE(actions_->RepeatPending());
    ASSERT_TRUE(PumpUntil([&] { return !actions_->RepeatPending() && !actions_->IsBusy(0); }));
    EXPECT_EQ(host_.busyOn, 3);  // the direct switch, then the choice at once and repeated
    EXPECT_EQ(list_->GetCurrentId(), list_->Entries()[2].id);
}

TEST_F(ProfileUiTest, RenameIsTakenOnCommitWithTheRightMessages) {
    AddProfiles(1);  // Profile1, Profile2; Profile1 selected
    QLineEdit* edit = Combo()->lineEdit();
    ASSERT_NE(edit, nullptr);
    auto type = [&](const QString& text, bool commit) {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (commit) {
            QTest::keyClick(edit, Qt::Key_Return);
        }
    };

    type("Game", false);  // typing alone is an edit in progress
    EXPECT_EQ(list_->Entries()[0].name, "Profile1");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(list_->Entries()[0].name, "Game");
    EXPECT_EQ(Combo()->itemText(0), "Game");
    EXPECT_EQ(host_.reloads, 1);

    type("PROFILE2", true);
    EXPECT_EQ(host_.messages, QStringList{"message_text_5"});
    EXPECT_EQ(edit->text(), "Game");  // the refused name went back
    EXPECT_EQ(Combo()->currentIndex(), 0) << "a refused name must not select the other entry";

    type("  ", true);
    EXPECT_EQ(host_.messages, (QStringList{"message_text_5", "message_text_25"}));

    type("Game", true);  // its own name: nothing to say
    Click("device_profile_edit_save_btn");
    EXPECT_EQ(host_.messages.size(), 2);
    EXPECT_EQ(list_->Entries()[0].name, "Game");
    EXPECT_EQ(host_.busyOn, 0);  // no switch came from any of this
}

TEST_F(ProfileUiTest, ListLimitsRefuseSilentlyWithoutWritingAnything) {
    // One entry: delete neither asks nor removes.
    Click("device_sub_btn");
    EXPECT_TRUE(host_.questions.isEmpty());
    EXPECT_EQ(list_->GetCount(), 1);

    // Add asks, and a "no" keeps the list.
    host_.answer = 0;
    Click("device_add_btn");
    EXPECT_EQ(host_.questions, QStringList{"message_text_27"});
    EXPECT_EQ(list_->GetCount(), 1);

    AddProfiles(kMaxProfiles - 1);
    ASSERT_EQ(Combo()->count(), kMaxProfiles);
    const std::size_t files = FilesInFolder();
    const auto listTime = fs::last_write_time(list_->ListFilePath());
    host_.questions.clear();
    host_.answer = 1;
    Click("device_add_btn");
    Click("device_copy_btn");
    EXPECT_TRUE(host_.questions.isEmpty());
    EXPECT_EQ(FilesInFolder(), files);
    EXPECT_EQ(fs::last_write_time(list_->ListFilePath()), listTime);
    EXPECT_EQ(Combo()->count(), kMaxProfiles);
    EXPECT_EQ(host_.reloads, 0);
}

TEST_F(ProfileUiTest, DeleteAsksThenSwitchesToTheProfileSelectedInstead) {
    AddProfiles(2);
    control_->Select(2);
    const std::string gone = list_->GetCurrentId();
    const std::string next = list_->Entries()[1].id;
    Click("device_sub_btn");
    EXPECT_EQ(host_.questions, QStringList{"message_text_29"});
    EXPECT_FALSE(fs::exists(list_->DeviceFolderPath() + gone + ".Json"));
    EXPECT_EQ(Combo()->count(), 2);
    ASSERT_TRUE(SwitchesDone(1));
    EXPECT_EQ(list_->GetCurrentId(), next);
    EXPECT_EQ(Combo()->currentIndex(), 1);
}

TEST_F(ProfileUiTest, ExportThenImportAndSwitchToTheLastEntry) {
    const std::string stored = list_->CurrentProfilePath();
    host_.savePath = QString::fromStdString(scratch_ + "/Shared");  // no suffix given
    Click("device_export_btn");
    const std::string exported = scratch_ + "/Shared.json";
    ASSERT_TRUE(fs::exists(exported));
    EXPECT_EQ(CJsonFile::ReadDocument(exported), CJsonFile::ReadDocument(stored));

    host_.openPath = QString::fromStdString(exported);
    Click("device_import_btn");
    ASSERT_EQ(Combo()->count(), 2);
    EXPECT_EQ(Combo()->itemText(1), "Shared");
    ASSERT_TRUE(SwitchesDone(1));
    EXPECT_EQ(list_->GetCurSel(), 1);
    EXPECT_EQ(Combo()->currentIndex(), 1);
    EXPECT_EQ(host_.filters, (QStringList{"Profile Files(*.json)", "Profile Files(*.json)"}));

    // Cancelled, or a file that is no profile: nothing added, still a switch to the last entry.
    control_->Select(0);
    host_.openPath.clear();
    Click("device_import_btn");
    ASSERT_TRUE(SwitchesDone(2));
    EXPECT_EQ(list_->GetCurSel(), 1);
    std::ofstream(scratch_ + "/junk.json") << "{\"Device\": []}";
    host_.openPath = QString::fromStdString(scratch_ + "/junk.json");
    Click("device_import_btn");
    ASSERT_TRUE(SwitchesDone(3));
    EXPECT_EQ(Combo()->count(), 2);
    EXPECT_TRUE(host_.messages.isEmpty());
}

TEST_F(ProfileUiTest, AResetWithAnUnusableTemplateSaysSoAndKeepsEverything) {
    const std::string templ = scratch_ + "/DefaultData/mouse.Json";
    const std::string presets = scratch_ + "/home/color_option_info.config";
    std::ofstream(presets) << "{\"mine\": 1}\n";
    const std::string profile = list_->CurrentProfilePath();
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(profile); }));
    std::ofstream(templ, std::ios::trunc) << "{broken";
    const std::string before = CJsonFile::readjsonFile(profile);
    actions_->Reset(0, true);
    ASSERT_TRUE(SwitchesDone(1));
    EXPECT_EQ(host_.messages, QStringList{QString::fromLatin1(kMessageResetFailed)});
    EXPECT_EQ(CJsonFile::readjsonFile(profile), before);
    EXPECT_EQ(CJsonFile::readjsonFile(templ), "{broken");
    EXPECT_TRUE(fs::exists(presets));
    // Nothing was renamed aside in the template folder either.
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch_ + "/DefaultData"), {}),
              std::distance(
                  fs::directory_iterator(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData"), {}));
    // The message key has its text in the language file.
    EXPECT_TRUE(CResourceManager::GetInstance().HasText(QString::fromLatin1(kMessageResetFailed)));
}

TEST_F(ProfileUiTest, MenuTabsAndMessageFormat) {
    EXPECT_FALSE(control_->IsMenuShown());
    Click("profile_fun_spread_btn");
    EXPECT_TRUE(control_->IsMenuShown());
    Click("profile_fun_spread_btn");
    EXPECT_FALSE(control_->IsMenuShown());

    auto tab = [&](const char* name) { return page_.findChild<QPushButton*>(name); };
    control_->SelectTab(1);
    EXPECT_TRUE(tab("deng_Op_tab")->isChecked());
    control_->SelectTab(8);  // none, even in an exclusive group
    EXPECT_FALSE(tab("deng_Op_tab")->isChecked());
    tab("6533_voice_Op_tab")->hide();
    control_->SetKind(7);
    EXPECT_TRUE(tab("key_Op_tab")->isHidden());
    EXPECT_TRUE(tab("cursor_Op_tab")->isHidden());
    EXPECT_FALSE(tab("6533_voice_Op_tab")->isHidden());

    EXPECT_EQ(CProfileActions::FormatCount("Remove %d events (100%, %s)", 12),
              "Remove 12 events (100%, %s)");
    EXPECT_EQ(CProfileActions::FormatCount("%d of %d", 3), "3 of %d");
}

}  // namespace
}  // namespace q417::ui
