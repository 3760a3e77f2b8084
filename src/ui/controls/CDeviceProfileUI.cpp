#include "ui/controls/CDeviceProfileUI.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <array>
#include <initializer_list>
#include <utility>

#include "platform/Trace.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/Silent.h"
#include "ui/framework/UiNotify.h"

namespace q417::ui {

namespace {

// Height of one entry of the drop-down list.
constexpr int kEntryHeight = 30;

// Page tabs by their SelectTab number (0 and 8 name none).
constexpr std::array<std::pair<int, const char*>, 9> kPageTabs{{
    {1, "deng_Op_tab"},
    {2, "key_Op_tab"},
    {3, "macro_Op_tab"},
    {4, "system_Op_tab"},
    {5, "cursor_Op_tab"},
    {6, "6533_voice_Op_tab"},
    {7, "magic_Op_tab"},
    {9, "About_Op_tab"},
    {10, "Virtual7.1_Op_tab"},
}};

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

std::string ToFilePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

CDeviceProfileUI::CDeviceProfileUI(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget* content = CUiLoader::Build(kLayout, this);
    if (content == nullptr) {
        Trace("profile list: layout missing");
        return;
    }
    layout->addWidget(content);
    CResourceManager::GetInstance().ReloadText(content);

    combo_ = content->findChild<QComboBox*>("device_profile_combo");
    nameView_ = content->findChild<QWidget*>("device_profile_name_edit");
    menu_ = content->findChild<QWidget*>("profile_menu_layout");
    if (combo_) {
        // Typing a name renames the selected profile: the combo box must neither add the text
        // as a new entry nor complete it into another entry's name.
        combo_->setEditable(true);
        combo_->setInsertPolicy(QComboBox::NoInsert);
        combo_->setCompleter(nullptr);
        if (QLineEdit* edit = combo_->lineEdit()) {
            edit->installEventFilter(this);
        }
    }
    if (menu_) {
        menu_->hide();
    }
}

bool CDeviceProfileUI::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the edit field commits a typed name (the bridge does not watch the edit field of a
    // combo box). Opening the drop-down or switching windows is not leaving it.
    if (combo_ && watched == combo_->lineEdit() && event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            !combo_->signalsBlocked()) {
            SendNotify(combo_, notify::kKillFocus);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CDeviceProfileUI::SetList(CProfileList* list) {
    list_ = list;
}

void CDeviceProfileUI::SetKind(int kind) {
    kind_ = kind;
    ApplyKindToTabs();
}

ProfileListResult CDeviceProfileUI::Initialise() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    ProfileListResult r = ProfileListResult::Done;
    if (list_->GetCurSel() < 0 || list_->NeedsReload()) {
        r = list_->Reload();
    }
    Fill();
    ApplyKindToTabs();
    return r;
}

void CDeviceProfileUI::SelectTab(int n) {
    for (const auto& [number, name] : kPageTabs) {
        auto* tab = qobject_cast<QAbstractButton*>(PageTab(name));
        if (tab == nullptr) {
            continue;
        }
        // An exclusive group would refuse to leave every tab unchecked.
        QButtonGroup* group = tab->group();
        const bool exclusive = group != nullptr && group->exclusive();
        if (exclusive) {
            group->setExclusive(false);
        }
        SilentSetChecked(tab, number == n);
        if (exclusive) {
            group->setExclusive(true);
        }
    }
}

ProfileListResult CDeviceProfileUI::Reload() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    return Show(list_->Reload());
}

void CDeviceProfileUI::Refresh() {
    if (Ready()) {
        Fill();
    }
}

ProfileListResult CDeviceProfileUI::Select(int index) {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    return Show(list_->Select(index));
}

std::string CDeviceProfileUI::GetCurrentId() const {
    return list_ ? list_->GetCurrentId() : std::string();
}

int CDeviceProfileUI::GetCurSel() const {
    return combo_ ? combo_->currentIndex() : -1;
}

int CDeviceProfileUI::GetCount() const {
    return combo_ ? combo_->count() : 0;
}

QString CDeviceProfileUI::GetEditText() const {
    return combo_ ? combo_->currentText() : QString();
}

QString CDeviceProfileUI::CurrentName() const {
    if (!list_) {
        return {};
    }
    const int sel = list_->GetCurSel();
    const auto& entries = list_->Entries();
    if (sel < 0 || sel >= static_cast<int>(entries.size())) {
        return {};
    }
    return FromUtf8(entries[static_cast<std::size_t>(sel)].name);
}

void CDeviceProfileUI::RevertEditText() {
    if (combo_ && combo_->lineEdit()) {
        SilentSetText(combo_->lineEdit(), CurrentName());
    }
}

void CDeviceProfileUI::ShowName(const QString& name) {
    if (auto* label = qobject_cast<QLabel*>(nameView_)) {
        label->setText(name);
        label->setToolTip(name);
    } else if (auto* edit = qobject_cast<QLineEdit*>(nameView_)) {
        SilentSetText(edit, name);
    }
}

void CDeviceProfileUI::ShowMenu(bool visible) {
    if (menu_) {
        menu_->setVisible(visible);
    }
}

bool CDeviceProfileUI::IsMenuShown() const {
    return menu_ && !menu_->isHidden();
}

int CDeviceProfileUI::ProfileCount() {
    if (!list_) {
        return 0;
    }
    if (list_->NeedsReload()) {
        Show(list_->Reload());
    }
    return list_->GetCount();
}

std::string CDeviceProfileUI::ProfilePathAt(int index) const {
    return list_ ? list_->ProfilePathAt(index) : std::string();
}

ProfileListResult CDeviceProfileUI::AddProfile() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    return Show(list_->AddProfile());
}

ProfileListResult CDeviceProfileUI::DeleteProfile() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    if (GetCurSel() < 0) {
        return ProfileListResult::NoSelection;
    }
    return Show(list_->DeleteProfile());
}

ProfileListResult CDeviceProfileUI::CopyProfile() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    if (GetCurSel() < 0) {
        return ProfileListResult::NoSelection;
    }
    return Show(list_->CopyProfile());
}

ProfileListResult CDeviceProfileUI::ImportProfile(const QString& path) {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    return Show(list_->ImportProfile(ToFilePath(path)));
}

ProfileListResult CDeviceProfileUI::ExportProfile(const QString& path) {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    if (GetCurSel() < 0) {
        return ProfileListResult::NoSelection;
    }
    return list_->ExportProfile(ToFilePath(path));
}

ProfileListResult CDeviceProfileUI::ResetProfileFile() {
    if (!Ready()) {
        return ProfileListResult::NotInitialised;
    }
    if (GetCurSel() < 0) {
        return ProfileListResult::NoSelection;
    }
    return list_->ResetProfileFile();
}

int CDeviceProfileUI::RenameProfile(const QString& name) {
    if (!Ready()) {
        return -1;
    }
    if (GetCurSel() < 0) {
        return CProfileList::RenameResultCode(ProfileListResult::NoSelection);
    }
    // A refused name goes back to the stored one in the edit field.
    return CProfileList::RenameResultCode(Show(list_->RenameProfile(ToUtf8(name))));
}

ProfileListResult CDeviceProfileUI::Show(ProfileListResult result) {
    if (result != ProfileListResult::Done) {
        Trace(std::string("profile list: ") + ProfileListResultText(result));
    }
    Fill();
    return result;
}

void CDeviceProfileUI::Fill() {
    if (!Ready()) {
        return;
    }
    const QSignalBlocker block(combo_);
    combo_->clear();
    for (const ProfileListEntry& entry : list_->Entries()) {
        combo_->addItem(FromUtf8(entry.name));
        combo_->setItemData(combo_->count() - 1, QSize(0, kEntryHeight), Qt::SizeHintRole);
    }
    const int sel = list_->GetCurSel();
    combo_->setCurrentIndex(sel >= 0 && sel < combo_->count() ? sel : -1);
    RevertEditText();
    ShowName(CurrentName());
}

void CDeviceProfileUI::ApplyKindToTabs() {
    auto show = [this](std::initializer_list<const char*> names, bool visible) {
        for (const char* name : names) {
            if (QWidget* tab = PageTab(name)) {
                tab->setVisible(visible);
            }
        }
    };
    switch (kind_) {
        case 1:
            show({"cursor_Op_tab"}, false);
            break;
        case 3:
        case 5:
            show({"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, false);
            break;
        case 4:
            show({"cursor_Op_tab", "macro_Op_tab", "key_Op_tab"}, false);
            break;
        case 7:
            show({"cursor_Op_tab", "macro_Op_tab", "system_Op_tab", "key_Op_tab"}, false);
            show({"6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"}, true);
            break;
        default:  // mice (2, 6) keep the page as laid out
            break;
    }
}

QWidget* CDeviceProfileUI::DevicePage() const {
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (w->property("devicePage").toBool()) {
            return w;
        }
    }
    return nullptr;
}

QWidget* CDeviceProfileUI::PageTab(const char* name) const {
    QWidget* page = DevicePage();
    return page ? page->findChild<QWidget*>(QString::fromLatin1(name)) : nullptr;
}

}  // namespace q417::ui
