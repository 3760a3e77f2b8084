#pragma once
// The main window's handling of the profile list's notifications: questions before a list
// change, the file dialogs of import and export, renames, the profile switch and the device
// reset on the device's own thread, and their messages. One operation per entry at a time: while
// a switch or a reset of an entry runs, further profile actions on that entry are refused, so a
// double click never queues a second round of device writes.
#include <QObject>
#include <QString>
#include <QTimer>
#include <set>
#include <string>

#include "ui/framework/UiNotify.h"
#include "ui/main/IProfileActionsHost.h"

namespace q417 {
struct ProfileApplyResult;
}

namespace q417::ui {

class CDeviceProfileUI;

class CProfileActions : public QObject {
    Q_OBJECT
public:
    // Identifier of the timer that repeats a switch chosen in the list, and its delay.
    static constexpr int kRepeatTimerId = 1055;
    static constexpr int kRepeatDelayMs = 400;

    explicit CProfileActions(IProfileActionsHost& host, QObject* parent = nullptr);

    // True when msg is one of the profile notifications (handled or refused).
    bool Handle(TNotifyUI& msg);

    // Switches the entry's device to profile `index` of its list (nothing while it is busy).
    void SwitchTo(int entry, int index);
    // Resets the entry's device from its template (full: also the shell's colour presets, the
    // macros and the key table). Nothing while it is busy.
    void Reset(int entry, bool full);

    // A switch chosen in the list still has its repeat to run.
    bool RepeatPending() const;
    // A switch or reset of the entry is running.
    bool IsBusy(int entry) const { return busy_.count(entry) != 0; }

    // "message_text_16" holds one %d for the number; only that one is replaced.
    static QString FormatCount(const QString& format, int number);

private:
    CDeviceProfileUI* ShownControl(int& entry) const;
    void OnChosen(int entry, CDeviceProfileUI& control);
    void OnRepeatTimer();
    // Runs what waited for the entry's operation to end: a choice made meanwhile, or the repeat.
    void RunWaiting(int entry);
    void Switch(int entry, int index, bool repeat);
    void CommitRename(CDeviceProfileUI& control);
    void Import(int entry, CDeviceProfileUI& control);
    void Export(CDeviceProfileUI& control);
    // Marks the entry busy for a device operation; false when it already is.
    bool BeginBusy(int entry);
    void EndBusy(int entry);
    void ShowApplyMessage(const ProfileApplyResult& result);
    bool Confirm(const char* key);

    IProfileActionsHost& host_;
    std::set<int> busy_;
    // The choice the repeat switches to: the profile's identifier, so a list that changed in
    // the meantime never switches to the wrong profile.
    QTimer repeat_;
    int repeatEntry_ = -1;
    std::string repeatId_;
    bool repeatAfterBusy_ = false;
    // The choice arrived while the entry was busy: its first switch runs when it is free.
    bool choiceAfterBusy_ = false;
    // The repeat of a choice shows a message only when it differs from the first switch's.
    QString lastMessage_;
};

}  // namespace q417::ui
