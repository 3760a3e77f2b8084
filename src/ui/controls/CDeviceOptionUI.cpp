#include "ui/controls/CDeviceOptionUI.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>

#include "ui/framework/CControlFactory.h"
#include "ui/framework/CNotifyBridge.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"

namespace q417::ui {

namespace {

constexpr const char* kClassName = "CDeviceOptionUI";
constexpr const char* kLayoutId = "XML\\CustomControlXML\\DeviceOption.xml";

struct DeviceFamily {
    const char* stem;
    const char* tooltip;
};

// The icon family of a device kind (1 keyboard, 2 mouse, 3 mouse pad, 4/7 headset, 5 hub);
// null for a mouse pad whose sub names no known model.
const DeviceFamily* FamilyOf(int kind, int sub) {
    static constexpr DeviceFamily kKeyboard{"kb", "kb_device_name_text"};
    static constexpr DeviceFamily kMouse{"ms", "ms_device_name_text"};
    static constexpr DeviceFamily kHardPad{"hard_mp", "hard_mp_device_name_text"};
    static constexpr DeviceFamily kSoftPad{"soft_mp", "soft_mp_device_name_text"};
    static constexpr DeviceFamily kHeadset{"hd", "hd_device_name_text"};
    static constexpr DeviceFamily kHub{"hub", "hub_device_name_text"};
    static constexpr DeviceFamily kUnknown{"unknow", "unknow_device_name_text"};
    switch (kind) {
        case 1:
            return &kKeyboard;
        case 2:
            return &kMouse;
        case 3:
            return sub == 0 ? &kHardPad : sub == 1 ? &kSoftPad : nullptr;
        case 4:
        case 7:
            return &kHeadset;
        case 5:
            return &kHub;
        default:
            return &kUnknown;
    }
}

CDeviceOptionUI::IconPaths PathsOf(const char* stem) {
    const QString base = QStringLiteral("common/device_ico/") + QLatin1String(stem);
    return {base + "_device_normal.png", base + "_device_selected.png",
            base + "_device_synchro_normal.png", base + "_device_synchro_selected.png"};
}

}  // namespace

CDeviceOptionUI::CDeviceOptionUI(QWidget* parent) : QWidget(parent), icons_(PathsOf("unknow")) {}

CDeviceOptionUI* CDeviceOptionUI::Build(QWidget* parent) {
    // The layout's root is an entry: without the class in the factory the loader would make a
    // plain widget of it.
    if (!CControlFactory::Instance().Has(kClassName)) {
        RegisterControlClass<CDeviceOptionUI>(kClassName);
    }
    QWidget* built = CUiLoader::Build(kLayoutId, parent);
    auto* entry = qobject_cast<CDeviceOptionUI*>(built);
    if (!entry) {
        delete built;
    }
    return entry;
}

QAbstractButton* CDeviceOptionUI::SelectButton() const {
    if (!select_) {
        select_ = findChild<QAbstractButton*>(kSelectName);
        // Selection changes must reach the window even when the entry was not built by the
        // loader (attaching twice is harmless).
        CNotifyBridge::Attach(select_);
    }
    return select_;
}

QAbstractButton* CDeviceOptionUI::SynchroBox() const {
    if (!synchro_) {
        synchro_ = findChild<QAbstractButton*>(kSynchroName);
        CNotifyBridge::Attach(synchro_);
    }
    return synchro_;
}

QLabel* CDeviceOptionUI::NameLabel() const {
    if (!name_) {
        name_ = findChild<QLabel*>(kNameLabelName);
    }
    return name_;
}

void CDeviceOptionUI::SetDeviceType(int kind, int sub) {
    kind_ = kind;
    sub_ = sub;
    const DeviceFamily* family = FamilyOf(kind, sub);
    if (!family) {
        return;
    }
    icons_ = PathsOf(family->stem);
    tooltipKey_ = QLatin1String(family->tooltip);
    if (QAbstractButton* button = SelectButton()) {
        button->setProperty("tooltipid", tooltipKey_);
        button->setToolTip(CResourceManager::GetInstance().Text(tooltipKey_));
    }
    ApplyIconPair(false);
}

void CDeviceOptionUI::ApplyIconPair(bool synchro) {
    QAbstractButton* button = SelectButton();
    if (!button) {
        return;
    }
    const QString normal = synchro ? icons_.synchroNormal : icons_.normal;
    const QString selected = synchro ? icons_.synchroSelected : icons_.selected;
    const QString normalFile = CUiLoader::ResourcePath(normal);
    const QString selectedFile = CUiLoader::ResourcePath(selected);
    QIcon icon;
    icon.addFile(normalFile, QSize(), QIcon::Normal, QIcon::Off);
    icon.addFile(normalFile, QSize(), QIcon::Disabled, QIcon::Off);
    icon.addFile(normalFile, QSize(), QIcon::Disabled, QIcon::On);
    icon.addFile(selectedFile, QSize(), QIcon::Normal, QIcon::On);
    button->setIcon(icon);
    // The skin-relative names, for whoever inspects the entry.
    button->setProperty("normalimage", normal);
    button->setProperty("selectedimage", selected);
}

void CDeviceOptionUI::ShowSynchroOption(bool visible) {
    if (QAbstractButton* box = SynchroBox()) {
        box->setVisible(visible);
        ApplyIconPair(box->isChecked());
    }
}

void CDeviceOptionUI::SetSynchro(bool on) {
    if (QAbstractButton* box = SynchroBox()) {
        box->setChecked(on);
        ApplyIconPair(on);
    }
}

bool CDeviceOptionUI::IsSynchro() const {
    QAbstractButton* box = SynchroBox();
    return box && box->isChecked();
}

void CDeviceOptionUI::SelectEntry(bool on) {
    if (QAbstractButton* button = SelectButton()) {
        button->setChecked(on);
    }
}

bool CDeviceOptionUI::IsEntrySelected() const {
    QAbstractButton* button = SelectButton();
    return button && button->isChecked();
}

void CDeviceOptionUI::BindPage(const QString& tabLayoutName, int index) {
    QAbstractButton* button = SelectButton();
    if (!button) {
        return;
    }
    pageLayout_ = tabLayoutName;
    pageIndex_ = index;
    if (!pageConnected_) {
        pageConnected_ = true;
        connect(button, &QAbstractButton::toggled, this, [this](bool on) {
            if (on) {
                ShowBoundPage();
            }
        });
    }
    if (button->isChecked()) {
        ShowBoundPage();
    }
}

void CDeviceOptionUI::ShowBoundPage() {
    if (pageLayout_.isEmpty() || pageIndex_ < 0) {
        return;
    }
    QWidget* target = window()->findChild<QWidget*>(pageLayout_);
    if (auto* stack = qobject_cast<QStackedWidget*>(target)) {
        if (pageIndex_ < stack->count()) {
            stack->setCurrentIndex(pageIndex_);
        }
    } else if (auto* tabs = qobject_cast<QTabWidget*>(target)) {
        if (pageIndex_ < tabs->count()) {
            tabs->setCurrentIndex(pageIndex_);
        }
    }
}

int CDeviceOptionUI::GetPageIndex() const {
    return SelectButton() ? pageIndex_ : -1;
}

void CDeviceOptionUI::SetPowerTab(const QString& tabLayoutName, int index) {
    if (tabLayoutName.isEmpty()) {
        return;
    }
    powerTab_ = tabLayoutName;
    if (index >= 0) {
        powerIndex_ = index;
    }
}

void CDeviceOptionUI::SetGroup(QButtonGroup* group) {
    QAbstractButton* button = SelectButton();
    if (!button) {
        return;
    }
    if (QButtonGroup* old = button->group(); old && old != group) {
        old->removeButton(button);
    }
    if (group) {
        group->setExclusive(true);
        group->addButton(button);
    }
}

void CDeviceOptionUI::SetNameText(const QString& text) {
    if (QLabel* label = NameLabel()) {
        label->setText(text);
    }
}

void CDeviceOptionUI::SetShown(bool shown) {
    shown_ = shown;
    setVisible(shown);
}

}  // namespace q417::ui
