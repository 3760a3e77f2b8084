#include "ui/main/CMainWnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>

#include "devices/DeviceTables.h"
#include "platform/Folders.h"
#include "platform/LanguageList.h"
#include "platform/SettingsStore.h"
#include "platform/Trace.h"
#include "ui/controls/CDeviceOptionUI.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/controls/CMpDevicePowerUI.h"
#include "ui/dialogs/CAboutWnd.h"
#include "ui/dialogs/CColorSelectWnd.h"
#include "ui/dialogs/CMsgWnd.h"
#include "ui/dialogs/CSkinFrame.h"
#include "ui/dialogs/CSkinSubject.h"
#include "ui/dialogs/SkinSettings.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CScreenFollower.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/DpiScale.h"
#include "ui/framework/IndexedName.h"
#include "ui/framework/Silent.h"
#include "ui/main/CMousePage.h"
#include "ui/main/CProfileActions.h"

namespace q417::ui {

namespace {

constexpr int kDesignWidth = 1000;
constexpr int kDesignHeight = 640;
constexpr int kTimerScale = 1011;     // apply the display scale after "windowinit"
constexpr int kTimerTrayMenu = 1032;  // open the tray menu
constexpr const char* kLightOnKey = "控制灯光";
constexpr const char* kLightOffKey = "不控制灯光";

// Page tabs and the function page each one selects.
struct PageTab {
    const char* name;
    int page;
};
constexpr PageTab kPageTabs[] = {
    {"deng_Op_tab", 2},   {"key_Op_tab", 2},         {"macro_Op_tab", 3}, {"system_Op_tab", 4},
    {"cursor_Op_tab", 5}, {"6533_voice_Op_tab", 6},  {"magic_Op_tab", 7}, {"performance_Op_tab", 8},
    {"About_Op_tab", 9},  {"Virtual7.1_Op_tab", 10},
};

}  // namespace

struct CMainWnd::EntryView {
    CDeviceOptionUI* option = nullptr;
    CMpDevicePowerUI* power = nullptr;
    QWidget* page = nullptr;
    CMousePage* mouse = nullptr;
    bool busy = false;
};

struct CMainWnd::Impl {
    std::unique_ptr<CDeviceManager> manager;
    std::vector<EntryView> views;
    std::unique_ptr<CProfileActions> profiles;
    QButtonGroup entryGroup;
    QPointer<QSystemTrayIcon> tray;
    std::unique_ptr<QMenu> trayMenu;
    QPointer<QMenu> languageMenu;
    QTimer trayMenuTimer;
    QTimer scaleTimer;
    std::vector<LanguageEntry> languages;
    QString baseStyleSheet;
    int styleSheetDpi = 0;
    int languageIndex = -1;
    bool lightControl = true;
    bool awake = true;
    bool shutDown = false;
    bool started = false;
    int screenWidth = 0;
    int screenHeight = 0;
    QPointer<QWidget> selectLayout;
    QPointer<QStackedWidget> deviceSwitch;
    QPointer<QStackedWidget> powerSwitch;
    QPointer<QWidget> noDevice;
    QPointer<CSkinFrame> skinFrame;
};

CMainWnd::CMainWnd(MainWndOptions options)
    : CWindowBase(nullptr, Qt::Window | Qt::FramelessWindowHint),
      impl_(std::make_unique<Impl>()),
      options_(std::move(options)) {
    setObjectName("MainWnd");
    setWindowTitle("Q417");
    impl_->entryGroup.setExclusive(true);
    impl_->trayMenuTimer.setSingleShot(true);
    impl_->trayMenuTimer.setInterval(10);
    connect(&impl_->trayMenuTimer, &QTimer::timeout, this, [this] {
        if (impl_->trayMenu) {
            impl_->trayMenu->popup(QCursor::pos());
        }
    });
    impl_->scaleTimer.setSingleShot(true);
    impl_->scaleTimer.setInterval(100);
    connect(&impl_->scaleTimer, &QTimer::timeout, this, [this] {
        ApplyDpiScale();
        update();
    });
    // Another monitor, or a new resolution of this one, may call for another scale. Queued: the
    // scale moves and resizes the window, which must not happen inside Qt's screen handling.
    connect(
        new CScreenFollower(this), &CScreenFollower::changed, this,
        [this] {
            if (!impl_->shutDown) {
                ApplyDpiScale();
            }
        },
        Qt::QueuedConnection);
}

CMainWnd::~CMainWnd() {
    ShutDown();
}

CDeviceManager& CMainWnd::Manager() {
    return *impl_->manager;
}

// --- Start-up --------------------------------------------------------------------------------

bool CMainWnd::CreateMain() {
    SetDesignSize({kDesignWidth, kDesignHeight});
    // The style sheet goes on before the controls exist, so each is styled once.
    QFile qss(CUiLoader::ResourcePath("style.qss"));
    if (qss.open(QIODevice::ReadOnly)) {
        impl_->baseStyleSheet = QString::fromUtf8(qss.readAll());
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect full = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
        const int dpi =
            ValidDpi(ScaleForScreen(full.width(), full.height()), "MAIN_WND DPI SET ERROR");
        qApp->setStyleSheet(ScaleStyleSheet(impl_->baseStyleSheet, dpi));
        impl_->styleSheetDpi = dpi;
    }
    // The saved language before the layout, so its controls get their texts once.
    impl_->languages = ReadLanguageList();
    ApplyLanguage(
        static_cast<int>(SavedLanguageIndex(impl_->languages, SettingsStore::Language())));
    if (!Create("XML_MAIN")) {
        return false;
    }
    const QIcon icon(CUiLoader::ResourcePath("common/logo.png"));
    setWindowIcon(icon);
    resize(kDesignWidth, kDesignHeight);

    // What "windowinit" does, before the window is first shown: the screen size for the device
    // pages, the device manager, and the scale once it settles.
    QScreen* primary = QGuiApplication::primaryScreen();
    impl_->screenWidth = options_.screenWidth > 0 ? options_.screenWidth
                                                  : (primary ? primary->geometry().width() : 0);
    impl_->screenHeight = options_.screenHeight > 0 ? options_.screenHeight
                                                    : (primary ? primary->geometry().height() : 0);

    DeviceManagerOptions managerOptions;
    managerOptions.backend = options_.backend;
    managerOptions.useUdev = options_.useUdev;
    managerOptions.extraRowsFile = options_.extraRowsFile;
    // The devices announce changed light colours themselves; no polling picture timer.
    managerOptions.renderLights = false;
    managerOptions.showsPicture = true;
    managerOptions.screenWidth = impl_->screenWidth;
    managerOptions.screenHeight = impl_->screenHeight;
    impl_->manager = std::make_unique<CDeviceManager>(loop_, std::move(managerOptions));
    impl_->manager->SetObserver(this);
    impl_->profiles = std::make_unique<CProfileActions>(*this);
    std::string warning;
    if (!impl_->manager->Start(&warning) && !warning.empty()) {
        Trace("main window: " + warning);
    }
    impl_->started = true;
    SyncEntries();
    ApplyDpiScale();
    impl_->scaleTimer.start();
    return true;
}

void CMainWnd::InitWindow() {
    impl_->selectLayout = FindControl("device_select_layout");
    impl_->deviceSwitch = FindControl<QStackedWidget>("device_switch");
    impl_->powerSwitch = FindControl<QStackedWidget>("device_power_switch");
    impl_->noDevice = FindControl("No_device_Link");
    if (QWidget* caption = FindControl("caption_layout")) {
        SetCaptionControl(caption);
    }
    // Windows that do not exist yet keep their buttons out of sight.
    for (const char* name : {"setbtn", "gamemodebtn", "cloudbtn", "smarteyesbtn", "maxbtn",
                             "restorebtn", "network_btn"}) {
        if (QWidget* w = FindControl(name)) {
            w->hide();
        }
    }
    SetLightControlLook(true);
    ShowVersion();
    CSkinSubject::Instance().AddReceiver(this, [this](const SkinChangedParam& p) {
        QWidget* root = FindControl("root");
        if (!root) {
            return;
        }
        if (p.useColor) {
            root->setStyleSheet(QString("#root{background-color:#%1;border-image:none;}")
                                    .arg(p.backgroundColor & 0xFFFFFFu, 6, 16, QChar('0')));
        } else {
            const QString path = ResolveSkinImage(p.backgroundImage);
            if (path.isEmpty()) {
                return;
            }
            root->setStyleSheet(QString("#root{border-image:url(%1);}").arg(path));
        }
    });
    if (std::optional<SkinChangedParam> saved = ReadSavedSkin()) {
        CSkinSubject::Instance().Broadcast(*saved);
    }
    CreateTray();
}

void CMainWnd::CreateTray() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    impl_->tray = new QSystemTrayIcon(QIcon(CUiLoader::ResourcePath("common/logo.png")), this);
    impl_->tray->setToolTip("Q417");
    impl_->trayMenu = std::make_unique<QMenu>();
    connect(impl_->tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    ToggleFromTray();
                } else if (reason == QSystemTrayIcon::Context) {
                    impl_->trayMenuTimer.start();
                }
            });
    RebuildTrayMenu();
    impl_->tray->show();
}

void CMainWnd::RebuildTrayMenu() {
    if (!impl_->trayMenu) {
        return;
    }
    const CResourceManager& text = CResourceManager::GetInstance();
    QMenu& menu = *impl_->trayMenu;
    menu.clear();
    QAction* about = menu.addAction(text.Text("about_menu"));
    about->setObjectName("about_menu");
    connect(about, &QAction::triggered, this, [this] { ShowAbout(this, Dpi()); });
    QMenu* languages = menu.addMenu(text.Text("language_menu"));
    languages->setObjectName("language_menu");
    for (std::size_t i = 0; i < impl_->languages.size(); ++i) {
        QAction* a = languages->addAction(QString::fromStdString(impl_->languages[i].name));
        a->setCheckable(true);
        a->setChecked(static_cast<int>(i) == impl_->languageIndex);
        connect(a, &QAction::triggered, this, [this, i] { ApplyLanguage(static_cast<int>(i)); });
    }
    menu.addSeparator();
    QAction* exit = menu.addAction(text.Text("exit"));
    exit->setObjectName("exit");
    connect(exit, &QAction::triggered, this, [this] {
        CloseChildWindows();
        emit quitRequested();
    });
}

bool CMainWnd::TrayAvailable() const {
    return impl_->tray != nullptr;
}

// --- Device entries and pages ----------------------------------------------------------------

void CMainWnd::BuildEntryView(int i) {
    const SelectorEntry& e = impl_->manager->Entries()[static_cast<std::size_t>(i)];
    EntryView view;
    if (impl_->selectLayout) {
        view.option = CDeviceOptionUI::Build(impl_->selectLayout);
        if (view.option) {
            if (QLayout* layout = impl_->selectLayout->layout()) {
                layout->addWidget(view.option);
            }
            view.option->SetDeviceType(e.kind, e.sub);
            view.option->SetEntryIndex(i);
            view.option->SetGroup(&impl_->entryGroup);
            view.option->SetNameText(
                CResourceManager::GetInstance().Text(view.option->TooltipKey()));
            view.option->SetShown(false);
        }
    }
    if (impl_->powerSwitch) {
        view.power = CMpDevicePowerUI::Build(impl_->powerSwitch);
        if (view.power) {
            impl_->powerSwitch->addWidget(view.power);
            view.power->SetIndicatorKind(e.kind, e.sub);
            view.power->ShowPowerLayout(e.battery);
            // The mouse's status record is made by the host: it carries no battery level.
            view.power->SetReportsLevel(!std::dynamic_pointer_cast<CTavrenixMouseDevice>(e.device));
        }
    }
    if (impl_->deviceSwitch && e.optionRow >= 0 &&
        static_cast<std::size_t>(e.optionRow) < kDeviceLayoutRows.size()) {
        const auto layout = kDeviceLayoutRows[static_cast<std::size_t>(e.optionRow)].pageLayout;
        view.page = CUiLoader::Build(
            QString::fromUtf8(layout.data(), static_cast<int>(layout.size())), impl_->deviceSwitch);
        if (view.page) {
            impl_->deviceSwitch->addWidget(view.page);
            // The page itself takes the focus, so no edit field (the profile name) starts with
            // it and a stray key press changes nothing.
            view.page->setFocusPolicy(Qt::ClickFocus);
            auto mouse = std::dynamic_pointer_cast<CTavrenixMouseDevice>(e.device);
            view.mouse = new CMousePage(i, view.page, mouse, loop_, this);
            if (mouse) {
                // Set on the device's own thread: its long writes read it there.
                mouse->Commands().Submit(
                    [mouse, progress = view.mouse->MakeTransferProgress()](CommandContext&) {
                        mouse->SetTransferProgress(progress);
                        return 0;
                    },
                    loop_, [](std::optional<int>) {});
            }
            if (CDeviceProfileUI* profile = view.mouse->ProfileControl()) {
                profile->SetList(impl_->manager->ProfileListFor(i));
                profile->SetKind(e.kind);
                profile->Initialise();
            }
            view.mouse->SelectPage(8);
        }
    }
    for (QWidget* w :
         {static_cast<QWidget*>(view.option), static_cast<QWidget*>(view.power), view.page}) {
        if (w) {
            CResourceManager::GetInstance().ReloadText(w);
            ApplyDpi(w, Dpi());
        }
    }
    impl_->views.push_back(view);
}

void CMainWnd::SyncEntries() {
    if (!impl_->manager) {
        return;
    }
    const auto& entries = impl_->manager->Entries();
    while (impl_->views.size() < entries.size()) {
        BuildEntryView(static_cast<int>(impl_->views.size()));
    }
    bool anyVisible = false;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SelectorEntry& e = entries[i];
        EntryView& v = impl_->views[i];
        anyVisible = anyVisible || e.visible;
        if (v.option) {
            v.option->SetShown(e.visible);
            if (auto* select = v.option->findChild<QAbstractButton*>("device_select")) {
                SilentSetChecked(select, e.selected);
            }
        }
        if (e.selected && e.visible) {
            if (v.page && impl_->deviceSwitch) {
                impl_->deviceSwitch->setCurrentWidget(v.page);
            }
            if (v.power && impl_->powerSwitch) {
                impl_->powerSwitch->setCurrentWidget(v.power);
            }
        }
    }
    if (impl_->noDevice) {
        impl_->noDevice->setVisible(!anyVisible);
    }
    if (!anyVisible) {
        if (impl_->deviceSwitch && impl_->deviceSwitch->count() > 0) {
            impl_->deviceSwitch->setCurrentIndex(0);
        }
        if (impl_->powerSwitch && impl_->powerSwitch->count() > 0) {
            impl_->powerSwitch->setCurrentIndex(0);
        }
    }
    if (impl_->powerSwitch) {
        impl_->powerSwitch->setVisible(anyVisible);
    }
}

void CMainWnd::OnManagerEvent(const DeviceManagerEvent& event) {
    using Type = DeviceManagerEvent::Type;
    switch (event.type) {
        case Type::Activation:
            SyncEntries();
            Activate();
            return;
        case Type::Arrived:
            SyncEntries();
            // A device plugged in while the window is in the tray brings it back.
            if (impl_->manager && impl_->manager->Activated() && !isVisible()) {
                Activate();
            }
            return;
        case Type::Notice:
            if (event.notice == DeviceNotice::InfoNotifyOff && impl_->noDevice &&
                impl_->manager->AnyEntryVisible()) {
                impl_->noDevice->hide();
            }
            return;
        default:
            SyncEntries();
            return;
    }
}

void CMainWnd::OnDeviceState(int entry, const DeviceSnapshot& snapshot) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= impl_->views.size()) {
        SyncEntries();
        if (entry < 0 || static_cast<std::size_t>(entry) >= impl_->views.size()) {
            return;
        }
    }
    EntryView& v = impl_->views[static_cast<std::size_t>(entry)];
    if (v.mouse) {
        v.mouse->Apply(snapshot);
    }
    if (v.power && snapshot.powerStatus) {
        v.power->UpdatePower(std::span<const std::uint8_t>(*snapshot.powerStatus));
    }
}

void CMainWnd::OnLightColoursChanged(int entry) {
    if (!isVisible() || entry != ShownEntry()) {
        return;
    }
    if (CMousePage* page = MousePage(entry)) {
        page->RenderLights();
    }
}

int CMainWnd::EntryCount() const {
    return static_cast<int>(impl_->views.size());
}

bool CMainWnd::IsEntryVisible(int entry) const {
    if (!impl_->manager || entry < 0 ||
        static_cast<std::size_t>(entry) >= impl_->manager->Entries().size()) {
        return false;
    }
    return impl_->manager->Entries()[static_cast<std::size_t>(entry)].visible;
}

bool CMainWnd::ShowEntryPage(int entry) {
    if (!IsEntryVisible(entry)) {
        return false;
    }
    impl_->manager->ShowEntry(entry, true, true);
    SyncEntries();
    return true;
}

CMousePage* CMainWnd::MousePage(int entry) const {
    if (entry < 0 || static_cast<std::size_t>(entry) >= impl_->views.size()) {
        return nullptr;
    }
    return impl_->views[static_cast<std::size_t>(entry)].mouse;
}

int CMainWnd::SettingsPageCount(int entry) const {
    CMousePage* page = MousePage(entry);
    return page ? page->SettingsPageCount() : 0;
}

void CMainWnd::ShowSettingsPage(int entry, int page) {
    if (CMousePage* p = MousePage(entry)) {
        p->ShowSettingsPage(page);
    }
}

int CMainWnd::ShownEntry() const {
    if (!impl_->manager) {
        return -1;
    }
    const int selected = impl_->manager->SelectedEntry();
    return IsEntryVisible(selected) ? selected : -1;
}

// --- The profile actions' host ---------------------------------------------------------------

CDeviceProfileUI* CMainWnd::ProfileControl(int entry) {
    CMousePage* page = MousePage(entry);
    return page ? page->ProfileControl() : nullptr;
}

int CMainWnd::AskUser(const QString& textKey, bool question) {
    return ShowMessage(this, QString(), textKey, Dpi(), 0, question ? 1 : 0);
}

void CMainWnd::ShowMessageText(const QString& text) {
    q417::ui::ShowMessageText(this, text, Dpi());
}

QString CMainWnd::OpenFileName(const QString& filter) {
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
}

QString CMainWnd::SaveFileName(const QString& filter) {
    return QFileDialog::getSaveFileName(this, QString(), QString(), filter);
}

void CMainWnd::SetEntryBusy(int entry, bool busy) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= impl_->views.size()) {
        return;
    }
    EntryView& v = impl_->views[static_cast<std::size_t>(entry)];
    v.busy = busy;
    if (v.mouse) {
        v.mouse->SetBusy(busy);
    }
}

void CMainWnd::ReloadAllProfileControls() {
    for (EntryView& v : impl_->views) {
        if (CDeviceProfileUI* profile = v.mouse ? v.mouse->ProfileControl() : nullptr) {
            profile->Reload();
        }
    }
}

// --- Notifications ---------------------------------------------------------------------------

void CMainWnd::Notify(TNotifyUI& msg) {
    if (!msg.Is(notify::kTimer) && TraceEnabled()) {
        Trace(msg.sType.toStdString() + " " + msg.SenderName().toStdString());
    }
    if (!impl_->awake || impl_->shutDown) {
        return;
    }
    const QString name = msg.SenderName();
    if (msg.Is(notify::kClick)) {
        OnClick(msg, name);
    } else if (msg.Is(notify::kSelectChanged)) {
        OnSelect(msg, name);
    } else if (impl_->profiles && impl_->profiles->Handle(msg)) {
        return;
    } else if (CMousePage* page = PageOf(msg.pSender)) {
        page->Handle(msg, [this](QColor initial) { return ChooseColour(this, initial, Dpi()); });
    }
}

CMousePage* CMainWnd::PageOf(QWidget* control) const {
    for (const EntryView& v : impl_->views) {
        if (v.page && control && (v.page == control || v.page->isAncestorOf(control))) {
            return v.mouse;
        }
    }
    return nullptr;
}

void CMainWnd::OnClick(TNotifyUI& msg, const QString& name) {
    const auto is = [&](const char* n) { return name.compare(n, Qt::CaseInsensitive) == 0; };
    if (is("closebtn")) {
        HideToTray();
    } else if (is("nodevice_ok_btn")) {
        // As the close button: a hidden window without a tray could never come back.
        HideToTray();
    } else if (is("control_light_status")) {
        SetLightControl(!impl_->lightControl);
    } else if (is("minbtn")) {
        showMinimized();
    } else if (is("maxbtn")) {
        showMaximized();
    } else if (is("restorebtn")) {
        showNormal();
    } else if (is("skinbtn")) {
        if (!impl_->skinFrame) {
            impl_->skinFrame = new CSkinFrame(this);
        }
        impl_->skinFrame->OpenAt(msg.pSender);
    } else if (is("device_select_prev")) {
        impl_->manager->SelectPrevious();
        SyncEntries();
    } else if (is("device_select_next")) {
        impl_->manager->SelectNext();
        SyncEntries();
    } else if (impl_->profiles && impl_->profiles->Handle(msg)) {
        return;
    } else if (CMousePage* page = PageOf(msg.pSender)) {
        page->Handle(msg, [this](QColor initial) { return ChooseColour(this, initial, Dpi()); });
    }
}

void CMainWnd::OnSelect(TNotifyUI& msg, const QString& name) {
    if (name == "device_select") {
        if (msg.wParam != 0) {
            for (std::size_t i = 0; i < impl_->views.size(); ++i) {
                CDeviceOptionUI* option = impl_->views[i].option;
                if (option && option->isAncestorOf(msg.pSender)) {
                    impl_->manager->ShowEntry(static_cast<int>(i), true, true);
                    SyncEntries();
                    break;
                }
            }
        }
        return;
    }
    if (name == "synchro_device_select") {
        // Synchronised lighting keeps the tick; the shared effect comes with its worker.
        return;
    }
    for (const PageTab& tab : kPageTabs) {
        if (name == tab.name) {
            if (msg.wParam != 0 && ShownEntry() >= 0) {
                for (EntryView& v : impl_->views) {
                    if (v.mouse) {
                        v.mouse->SelectPage(tab.page);
                    }
                }
            }
            return;
        }
    }
    if (CMousePage* page = PageOf(msg.pSender)) {
        page->Handle(msg, [this](QColor initial) { return ChooseColour(this, initial, Dpi()); });
    }
}

// --- Window, tray, activation ----------------------------------------------------------------

void CMainWnd::Activate() {
    if (impl_->shutDown) {
        return;
    }
    if (impl_->noDevice && impl_->manager) {
        impl_->noDevice->setVisible(!impl_->manager->AnyEntryVisible());
    }
    ApplyDpiScale();
    showNormal();
    raise();
    activateWindow();
    FocusShownPage();
    MarkWindowHidden(false);
    update();
}

void CMainWnd::FocusShownPage() {
    QWidget* page = impl_->deviceSwitch ? impl_->deviceSwitch->currentWidget() : nullptr;
    if (!page || !page->isVisible()) {
        return;
    }
    // A window without a focus of its own gets it in its first tab stop, the editable profile
    // combo box, with the name selected: the page takes it instead. A focus the user placed
    // elsewhere stays.
    QWidget* focus = focusWidget();
    bool inCombo = false;
    for (QWidget* w = focus; w && w != this && !inCombo; w = w->parentWidget()) {
        inCombo = qobject_cast<QComboBox*>(w) != nullptr;
    }
    if (focus == nullptr || inCombo) {
        page->setFocus(Qt::OtherFocusReason);
    }
}

void CMainWnd::MarkWindowHidden(bool hidden) {
    if (!impl_->manager) {
        return;
    }
    for (const SelectorEntry& e : impl_->manager->Entries()) {
        if (e.kind == kDeviceKindMouse || e.kind == kDeviceKindKeyboard) {
            e.device->SetWindowHidden(hidden);
        }
    }
}

bool CMainWnd::EntrySynchronised(int entry) const {
    CMousePage* page = MousePage(entry);
    return IsEntryVisible(entry) && page && page->Snapshot() && page->Snapshot()->open &&
           page->Snapshot()->mouse.has_value();
}

void CMainWnd::HideToTray() {
    CloseChildWindows();
    if (TrayAvailable()) {
        hide();
        MarkWindowHidden(true);
    } else {
        // Without a tray a hidden window could never come back.
        showMinimized();
        MarkWindowHidden(true);
    }
}

void CMainWnd::ToggleFromTray() {
    if (impl_->noDevice && impl_->manager && !impl_->manager->AnyEntryVisible()) {
        impl_->noDevice->show();
    }
    if (isVisible() && !isMinimized()) {
        CloseChildWindows();
        hide();
        MarkWindowHidden(true);
    } else {
        CloseChildWindows();
        Activate();
    }
}

void CMainWnd::CloseChildWindows() {
    if (impl_->skinFrame) {
        impl_->skinFrame->close();
    }
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        auto* child = qobject_cast<CWindowBase*>(w);
        if (child && child != this && child->InModalLoop()) {
            child->Close(0);
        }
    }
}

void CMainWnd::closeEvent(QCloseEvent* event) {
    if (impl_->shutDown) {
        event->accept();
        return;
    }
    // The window manager's close button behaves like ours: the program stays in the tray.
    event->ignore();
    if (TrayAvailable()) {
        HideToTray();
    } else {
        emit quitRequested();
    }
}

void CMainWnd::changeEvent(QEvent* event) {
    CWindowBase::changeEvent(event);
    // A minimised window shows no picture either.
    if (event->type() == QEvent::WindowStateChange && !impl_->shutDown) {
        MarkWindowHidden(isMinimized() || !isVisible());
    }
}

void CMainWnd::SetLightControl(bool on) {
    impl_->lightControl = on;
    SetLightControlLook(on);
    PassLightControl(on);
}

void CMainWnd::SetLightControlLook(bool on) {
    auto* light = FindControl<QAbstractButton>("control_light_status");
    if (!light) {
        return;
    }
    CResourceManager::GetInstance().SetTextId(light, on ? kLightOnKey : kLightOffKey);
    light->setProperty("lighting", on ? "on" : "off");
    light->setIcon(QIcon(CUiLoader::ResourcePath(on ? "common/caption/light_on.png"
                                                    : "common/caption/light_off.png")));
    light->style()->unpolish(light);
    light->style()->polish(light);
}

void CMainWnd::ShowVersion() {
    if (auto* label = FindControl<QLabel>("software_ver_label")) {
        label->setText(CResourceManager::GetInstance()
                           .Text("software_ver_text")
                           .arg(QCoreApplication::applicationVersion()));
    }
}

void CMainWnd::PassLightControl(bool on) {
    if (!impl_->manager) {
        return;
    }
    for (const SelectorEntry& e : impl_->manager->Entries()) {
        auto device = e.device;
        device->Commands().Submit(
            [device, on](CommandContext&) { return device->SetLightControl(on); }, loop_,
            [](std::optional<int>) {});
    }
}

bool CMainWnd::LightControlOn() const {
    return impl_->lightControl;
}

void CMainWnd::OnSuspend() {
    impl_->awake = false;
    PassLightControl(false);
}

void CMainWnd::OnResume() {
    impl_->awake = true;
    PassLightControl(impl_->lightControl);
}

// --- Language and scale ----------------------------------------------------------------------

int CMainWnd::LanguageIndex() const {
    return impl_->languageIndex;
}

bool CMainWnd::ApplyLanguage(int index) {
    if (index == impl_->languageIndex) {
        return false;
    }
    impl_->languages = ReadLanguageList();
    if (index < 0 || static_cast<std::size_t>(index) >= impl_->languages.size()) {
        Trace("main window: no language " + std::to_string(index));
        return false;
    }
    const LanguageEntry& entry = impl_->languages[static_cast<std::size_t>(index)];
    CResourceManager& text = CResourceManager::GetInstance();
    if (!text.LoadLanguage(QString::fromStdString(entry.file))) {
        return false;
    }
    impl_->languageIndex = index;
    // One face for every language; the system's sans font stands in when it is missing.
    QFont font("MiSans Normal");
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    text.SetLanguage(QString::fromStdString(entry.name));
    text.ReloadAllText();
    std::string error;
    if (!SettingsStore::SetLanguage(entry.id, &error)) {
        Trace("main window: language not stored: " + error);
    }
    for (std::size_t i = 0; i < impl_->views.size(); ++i) {
        const EntryView& v = impl_->views[i];
        if (v.option) {
            v.option->SetNameText(text.Text(v.option->TooltipKey()));
        }
    }
    ShowVersion();
    RebuildTrayMenu();
    update();
    return true;
}

void CMainWnd::ApplyDpiScale() {
    const bool wasShown = isVisible() && !isMinimized();
    QScreen* monitor = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect full = monitor ? monitor->geometry() : QRect(0, 0, 1024, 768);
    const int dpi = ValidDpi(ScaleForScreen(full.width(), full.height()), "MAIN_WND DPI SET ERROR");
    if (dpi != impl_->styleSheetDpi && !impl_->baseStyleSheet.isEmpty()) {
        qApp->setStyleSheet(ScaleStyleSheet(impl_->baseStyleSheet, dpi));
        impl_->styleSheetDpi = dpi;
    }
    SetDpi(dpi);
    if (monitor) {
        const QRect area = monitor->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (!wasShown && isVisible()) {
        hide();
    }
}

// --- Shut-down -------------------------------------------------------------------------------

void CMainWnd::ShutDown() {
    if (impl_->shutDown) {
        return;
    }
    impl_->shutDown = true;
    hide();
    CloseChildWindows();
    if (impl_->tray) {
        impl_->tray->hide();
    }
    impl_->scaleTimer.stop();
    impl_->trayMenuTimer.stop();
    impl_->profiles.reset();
    if (impl_->manager) {
        // Bounded: each device's command thread finishes the write in flight or is cut at its
        // bound, every worker is joined.
        impl_->manager->Stop();
    }
    loop_.Quit();
}

}  // namespace q417::ui
