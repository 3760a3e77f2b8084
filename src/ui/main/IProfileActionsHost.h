#pragma once
// What the profile actions need from the main window: the device manager, the page shown, the
// list control of a page, the message boxes and file dialogs (so tests can answer them), and the
// busy state of a page while a long operation runs on the device.
#include <QString>

namespace q417 {
class CDeviceManager;
}

namespace q417::ui {

class CDeviceProfileUI;

class IProfileActionsHost {
public:
    virtual ~IProfileActionsHost() = default;
    virtual CDeviceManager& Manager() = 0;
    // The entry whose device page is shown; -1 when none.
    virtual int ShownEntry() const = 0;
    // The profile list control of an entry's page; null when it has none.
    virtual CDeviceProfileUI* ProfileControl(int entry) = 0;
    // A message box with the wording of a language key; question: confirm and cancel buttons.
    // 1 when confirmed.
    virtual int AskUser(const QString& textKey, bool question) = 0;
    // A message box with a text that is already translated and formatted.
    virtual void ShowMessageText(const QString& text) = 0;
    // File dialogs with a filter like "Profile Files(*.json)"; empty when cancelled.
    virtual QString OpenFileName(const QString& filter) = 0;
    virtual QString SaveFileName(const QString& filter) = 0;
    // A long operation (profile switch, reset) runs on the entry's device: the page shows it and
    // refuses conflicting edits until it ends.
    virtual void SetEntryBusy(int entry, bool busy) = 0;
    // After a profile was added: every device page reloads its list.
    virtual void ReloadAllProfileControls() = 0;
};

}  // namespace q417::ui
