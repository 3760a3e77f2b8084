#pragma once
// The main window: the hub of the desktop application. It builds the "XML_MAIN" layout, owns
// the device manager (on the UI thread's loop) and renders its entries, pages and power
// indicators, turns every notification into a device operation or an editor call, and runs
// the tray icon, activation, suspend/resume, language, display scale and skin.
#include <QPointer>
#include <QSystemTrayIcon>
#include <memory>
#include <string>
#include <vector>

#include "devices/CDeviceManager.h"
#include "transport/HidBackend.h"
#include "ui/framework/CWindowBase.h"
#include "ui/framework/QtEventLoop.h"
#include "ui/main/IProfileActionsHost.h"

namespace q417::ui {

class CMousePage;
class CProfileActions;
class CMpDevicePowerUI;
class CDeviceOptionUI;

struct MainWndOptions {
    std::shared_ptr<IHidBackend> backend = DefaultHidBackend();
    bool useUdev = true;
    std::string extraRowsFile;
    // Screen size handed to the device pages; 0: the primary screen's.
    int screenWidth = 0;
    int screenHeight = 0;
};

class CMainWnd : public CWindowBase, public IDeviceManagerObserver, public IProfileActionsHost {
    Q_OBJECT
public:
    explicit CMainWnd(MainWndOptions options);
    ~CMainWnd() override;

    // Builds "XML_MAIN" and starts the device manager; false when the skin cannot be loaded.
    bool CreateMain();
    // The activation another start of the program hands over: show, restore, raise.
    void Activate();
    // Orderly, bounded shut-down: the manager and every device stop (writes in flight finish
    // or are cut at their bound), the tray icon goes. Safe to call twice.
    void ShutDown();

    CDeviceManager& Manager() override;
    EventLoop& UiLoop() { return loop_; }

    // Pages, for the screenshot mode and the tests.
    int EntryCount() const;
    bool IsEntryVisible(int entry) const;
    bool ShowEntryPage(int entry);
    int SettingsPageCount(int entry) const;
    void ShowSettingsPage(int entry, int page);
    CMousePage* MousePage(int entry) const;
    bool TrayAvailable() const;
    // The entry is visible and its page shows what the device reported.
    bool EntrySynchronised(int entry) const;

    // Language index I of "Language.config" (false: the same index, or not available).
    bool ApplyLanguage(int index);
    int LanguageIndex() const;
    // The display scale from the monitor that holds the window, applied to the whole window.
    void ApplyDpiScale();
    // "closebtn": into the tray (minimised when there is no tray); the tray icon's click.
    void HideToTray();
    void ToggleFromTray();
    bool LightControlOn() const;

    // The machine suspends / resumes (logind): devices are told the host lets the lighting go.
    void OnSuspend();
    void OnResume();

    // IProfileActionsHost
    int ShownEntry() const override;
    CDeviceProfileUI* ProfileControl(int entry) override;
    int AskUser(const QString& textKey, bool question) override;
    void ShowMessageText(const QString& text) override;
    QString OpenFileName(const QString& filter) override;
    QString SaveFileName(const QString& filter) override;
    void SetEntryBusy(int entry, bool busy) override;
    void ReloadAllProfileControls() override;

signals:
    // "exit" from the tray menu: the application runs the orderly shut-down and quits with 0.
    void quitRequested();

protected:
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // IDeviceManagerObserver
    void OnManagerEvent(const DeviceManagerEvent& event) override;
    void OnDeviceState(int entry, const DeviceSnapshot& snapshot) override;
    void OnLightColoursChanged(int entry) override;

    struct EntryView;
    struct Impl;

    void CreateTray();
    void RebuildTrayMenu();
    void BuildEntryView(int entry);
    void SyncEntries();
    CMousePage* PageOf(QWidget* control) const;
    void OnClick(TNotifyUI& msg, const QString& name);
    void OnSelect(TNotifyUI& msg, const QString& name);
    void CloseChildWindows();
    void SetLightControl(bool on);
    void SetLightControlLook(bool on);
    void ShowVersion();
    void MarkWindowHidden(bool hidden);
    void FocusShownPage();
    void PassLightControl(bool on);

    std::unique_ptr<Impl> impl_;
    MainWndOptions options_;
    QtEventLoop loop_;
};

}  // namespace q417::ui
