#include "ui/main/CProfileActions.h"

#include <QFileInfo>
#include <QPointer>

#include "devices/CDeviceManager.h"
#include "platform/Trace.h"
#include "profiles/CProfileList.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/framework/CResourceManager.h"

namespace q417::ui {

namespace {

constexpr const char* kFilter = "Profile Files(*.json)";
constexpr const char* kCombo = "device_profile_combo";

bool IsProfileButton(const QString& name) {
    static const char* const kButtons[] = {
        "device_add_btn",    "device_sub_btn",         "device_copy_btn",
        "device_import_btn", "device_export_btn",      "device_profile_edit_save_btn",
        "device_reset_btn",  "profile_fun_spread_btn",
    };
    for (const char* b : kButtons) {
        if (name == QLatin1String(b)) {
            return true;
        }
    }
    return false;
}

}  // namespace

CProfileActions::CProfileActions(IProfileActionsHost& host, QObject* parent)
    : QObject(parent), host_(host) {
    repeat_.setSingleShot(true);
    repeat_.setInterval(kRepeatDelayMs);
    connect(&repeat_, &QTimer::timeout, this, &CProfileActions::OnRepeatTimer);
}

QString CProfileActions::FormatCount(const QString& format, int number) {
    const qsizetype at = format.indexOf(QLatin1String("%d"));
    if (at < 0) {
        return format;
    }
    return format.left(at) + QString::number(number) + format.mid(at + 2);
}

bool CProfileActions::RepeatPending() const {
    return repeat_.isActive() || repeatAfterBusy_ || choiceAfterBusy_;
}

CDeviceProfileUI* CProfileActions::ShownControl(int& entry) const {
    entry = host_.ShownEntry();
    return entry >= 0 ? host_.ProfileControl(entry) : nullptr;
}

bool CProfileActions::Confirm(const char* key) {
    return host_.AskUser(QString::fromLatin1(key), true) == 1;
}

bool CProfileActions::Handle(TNotifyUI& msg) {
    const QString name = msg.SenderName();
    const bool click = msg.Is(notify::kClick);
    const bool fromCombo = name == QLatin1String(kCombo);
    if (!(click && (IsProfileButton(name) || name == QLatin1String("default_btn"))) &&
        !(fromCombo && (msg.Is(notify::kItemSelect) || msg.Is(notify::kTextChanged) ||
                        msg.Is(notify::kReturn) || msg.Is(notify::kKillFocus)))) {
        return false;
    }
    // Typing is an edit in progress: renaming to every prefix would rename the profile to each
    // and report names as taken mid-word. The name is taken on Enter, on leaving the field or
    // with the save button.
    if (msg.Is(notify::kTextChanged)) {
        return true;
    }

    int entry = -1;
    if (click && name == QLatin1String("default_btn")) {
        entry = host_.ShownEntry();
        if (entry >= 0 && !IsBusy(entry) && Confirm("message_text_22")) {
            Reset(entry, false);
        }
        return true;
    }
    CDeviceProfileUI* control = ShownControl(entry);
    if (control == nullptr) {
        return true;
    }
    if (click && name == QLatin1String("profile_fun_spread_btn")) {
        control->ShowMenu(!control->IsMenuShown());
        return true;
    }
    if (fromCombo && msg.Is(notify::kItemSelect)) {
        OnChosen(entry, *control);
        return true;
    }
    if (IsBusy(entry)) {
        // One operation per device at a time; a typed name goes back to the stored one.
        if (fromCombo || name == QLatin1String("device_profile_edit_save_btn")) {
            control->RevertEditText();
        }
        return true;
    }
    if (fromCombo || name == QLatin1String("device_profile_edit_save_btn")) {
        CommitRename(*control);
    } else if (name == QLatin1String("device_add_btn")) {
        // A full list refuses silently; asking first would promise what cannot happen.
        if (control->ProfileCount() < kMaxProfiles && Confirm("message_text_27") &&
            control->AddProfile() == ProfileListResult::Done) {
            host_.ReloadAllProfileControls();
        }
    } else if (name == QLatin1String("device_copy_btn")) {
        if (control->GetCurSel() >= 0 && control->ProfileCount() < kMaxProfiles &&
            Confirm("message_text_26") && control->CopyProfile() == ProfileListResult::Done) {
            host_.ReloadAllProfileControls();
        }
    } else if (name == QLatin1String("device_sub_btn")) {
        if (control->GetCurSel() >= 0 && control->ProfileCount() > 1 &&
            Confirm("message_text_29") && control->DeleteProfile() == ProfileListResult::Done) {
            host_.ReloadAllProfileControls();
            // The device must not keep editing a document that is gone: it loads the profile
            // the list selected in its place.
            SwitchTo(entry, control->GetCurSel());
        }
    } else if (name == QLatin1String("device_import_btn")) {
        Import(entry, *control);
    } else if (name == QLatin1String("device_export_btn")) {
        Export(*control);
    } else if (name == QLatin1String("device_reset_btn")) {
        if (Confirm("message_text_22")) {
            Reset(entry, true);
        }
    }
    return true;
}

void CProfileActions::OnChosen(int entry, CDeviceProfileUI& control) {
    const int index = control.GetCurSel();
    CProfileList* list = control.List();
    if (index < 0 || list == nullptr || index >= list->GetCount()) {
        return;
    }
    repeatEntry_ = entry;
    repeatId_ = list->Entries()[static_cast<std::size_t>(index)].id;
    repeatAfterBusy_ = false;
    choiceAfterBusy_ = false;
    lastMessage_.clear();
    repeat_.start();  // a new choice restarts the repeat
    if (IsBusy(entry)) {
        choiceAfterBusy_ = true;
    } else {
        Switch(entry, index, false);
    }
}

void CProfileActions::OnRepeatTimer() {
    if (repeatEntry_ < 0) {
        return;
    }
    if (IsBusy(repeatEntry_)) {
        repeatAfterBusy_ = true;  // runs once the first switch has finished
        return;
    }
    repeatAfterBusy_ = true;
    RunWaiting(repeatEntry_);
}

void CProfileActions::RunWaiting(int entry) {
    if (entry != repeatEntry_ || IsBusy(entry)) {
        return;
    }
    bool repeat = false;
    if (choiceAfterBusy_) {
        choiceAfterBusy_ = false;
    } else if (repeatAfterBusy_) {
        repeatAfterBusy_ = false;
        repeat = true;
    } else {
        return;
    }
    CProfileList* list = host_.Manager().ProfileListFor(entry);
    const int index = list ? list->IndexOfId(repeatId_) : -1;
    if (index < 0) {
        // The chosen profile was removed meanwhile.
        repeatAfterBusy_ = false;
        return;
    }
    Switch(entry, index, repeat);
}

void CProfileActions::SwitchTo(int entry, int index) {
    lastMessage_.clear();
    Switch(entry, index, false);
}

void CProfileActions::Switch(int entry, int index, bool repeat) {
    if (entry < 0 || index < 0 || !BeginBusy(entry)) {
        return;
    }
    QPointer<CProfileActions> self(this);
    host_.Manager().SwitchProfile(entry, index, [self, entry, repeat](ProfileApplyResult r) {
        if (!self) {
            return;
        }
        self->EndBusy(entry);
        if (CDeviceProfileUI* control = self->host_.ProfileControl(entry)) {
            control->Refresh();
        }
        if (r.listResult != static_cast<int>(ProfileListResult::Done)) {
            Trace(std::string("profile switch refused: ") +
                  ProfileListResultText(static_cast<ProfileListResult>(r.listResult)));
        }
        const QString message =
            QString::fromStdString(r.messageKey) + ':' + QString::number(r.messageNumber);
        if (!repeat || message != self->lastMessage_) {
            self->ShowApplyMessage(r);
        }
        if (self) {
            self->lastMessage_ = message;
            self->RunWaiting(entry);
        }
    });
    // The list already holds the new selection; show it while the device works.
    if (CDeviceProfileUI* control = host_.ProfileControl(entry)) {
        control->Refresh();
    }
}

void CProfileActions::Reset(int entry, bool full) {
    if (entry < 0 || !BeginBusy(entry)) {
        return;
    }
    QPointer<CProfileActions> self(this);
    host_.Manager().ResetDevice(entry, full, [self, entry](ProfileApplyResult r) {
        if (!self) {
            return;
        }
        self->EndBusy(entry);
        self->ShowApplyMessage(r);
        if (self) {
            self->RunWaiting(entry);
        }
    });
}

void CProfileActions::CommitRename(CDeviceProfileUI& control) {
    const QString name = control.GetEditText();
    if (name.isEmpty() || name == control.CurrentName()) {
        return;  // nothing typed, or the name as stored
    }
    switch (control.RenameProfile(name)) {
        case 1:
            host_.ReloadAllProfileControls();
            break;
        case 0:
            host_.AskUser(QStringLiteral("message_text_5"), false);
            break;
        case 2:
            host_.AskUser(QStringLiteral("message_text_25"), false);
            break;
        default:
            break;
    }
}

void CProfileActions::Import(int entry, CDeviceProfileUI& control) {
    if (control.GetCurSel() < 0) {
        return;
    }
    const QString path = host_.OpenFileName(QString::fromLatin1(kFilter));
    // A file that is no profile document, or a full list, is ignored without a message.
    if (!path.isEmpty() && control.ImportProfile(path) == ProfileListResult::Done) {
        host_.ReloadAllProfileControls();
    }
    // Imported or not, the device goes to the last profile of the list.
    SwitchTo(entry, control.GetCount() - 1);
}

void CProfileActions::Export(CDeviceProfileUI& control) {
    if (control.GetCurSel() < 0) {
        return;
    }
    QString path = host_.SaveFileName(QString::fromLatin1(kFilter));
    if (path.isEmpty()) {
        return;
    }
    // Without a suffix the file would not show in the import dialog's filter.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".json");
    }
    ProfileListResult r = control.ExportProfile(path);
    if (r != ProfileListResult::Done) {
        Trace(std::string("profile export: ") + ProfileListResultText(r));
    }
}

bool CProfileActions::BeginBusy(int entry) {
    if (!busy_.insert(entry).second) {
        return false;
    }
    host_.SetEntryBusy(entry, true);
    return true;
}

void CProfileActions::EndBusy(int entry) {
    if (busy_.erase(entry) != 0) {
        host_.SetEntryBusy(entry, false);
    }
}

void CProfileActions::ShowApplyMessage(const ProfileApplyResult& result) {
    if (result.messageKey == "message_text_7") {
        host_.AskUser(QStringLiteral("message_text_7"), false);
    } else if (result.messageKey == kMessageResetFailed) {
        host_.AskUser(QString::fromLatin1(kMessageResetFailed), false);
    } else if (result.messageKey == "message_text_16") {
        const QString format =
            CResourceManager::GetInstance().Text(QStringLiteral("message_text_16"));
        host_.ShowMessageText(FormatCount(format, result.messageNumber));
    }
}

}  // namespace q417::ui
