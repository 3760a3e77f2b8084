#pragma once
// The mouse's device page: a view over the mouse's snapshot (what the device and its profile
// hold) and the place where the page's edits become device operations. Every edit is submitted
// to the mouse's command thread; the page shows the value at once and the device's next
// snapshot confirms it. Drags are coalesced so a slider never queues more than one write.
#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "devices/CTavrenixMouseDevice.h"
#include "devices/DeviceObserver.h"
#include "platform/EventLoop.h"
#include "ui/framework/UiNotify.h"

class QWidget;

namespace q417::ui {

class CDeviceProfileUI;
class CMousePicture;

class CMousePage : public QObject {
    Q_OBJECT
public:
    using ChooseColourFn = std::function<std::optional<QColor>(QColor initial)>;

    // page: the built page layout (owned by its parent widget). device may be null for a page
    // whose device is not a mouse (nothing is then submitted).
    CMousePage(int entry, QWidget* page, std::shared_ptr<CTavrenixMouseDevice> device,
               EventLoop& uiLoop, QObject* parent = nullptr);
    ~CMousePage() override;

    QWidget* Widget() const { return page_; }
    int Entry() const { return entry_; }
    CDeviceProfileUI* ProfileControl() const;
    const std::optional<DeviceSnapshot>& Snapshot() const { return snapshot_; }

    // Shows what the device reported (the page refresh).
    void Apply(const DeviceSnapshot& snapshot);
    // The device's light colours onto the picture's light spots (only changed spots repaint).
    // Frames closer together than kMinFrameInterval are joined: the later one is shown when the
    // interval is over, so the picture always ends on the device's last colours.
    void RenderLights();
    static constexpr std::chrono::milliseconds kMinFrameInterval{33};
    const CMousePicture& Picture() const { return *picture_; }

    // Handles a notification from a control of this page; false when it is not one of ours.
    bool Handle(TNotifyUI& msg, const ChooseColourFn& chooseColour);

    void ShowSettingsPage(int n);
    int SettingsPageCount() const;
    int SettingsPageShown() const;
    // Page tabs: the function page shown (8 = performance).
    void SelectPage(int page);

    // A long operation runs on the device: the settings refuse edits and the page shows it.
    void SetBusy(bool busy);
    // The device's progress of a long write (frames done of total), for the busy ring. The
    // callback may be called on any thread; it hands the figures to the page's loop.
    ChunkProgress MakeTransferProgress();
    void ShowTransfer(std::size_t done, std::size_t total);
    bool Busy() const { return busy_; }
    // The notice under the settings is shown (tests).
    bool WriteNoticeShown() const;
    // Edits submitted and not yet answered (tests).
    int EditsInFlight() const { return inFlight_; }

signals:
    // An edit's write failed (the device did not take it).
    void editFailed(int entry, int result);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Edit = std::function<int(CTavrenixMouseDevice&)>;

    bool Owns(QWidget* control) const;
    int MaxPollingCode() const;
    template <class T = QWidget>
    T* Find(const QString& name) const;
    // Submits an edit; a newer edit with the same key replaces one that waits behind it.
    void Submit(const QString& key, Edit edit);
    void SubmitNow(const QString& key, Edit edit);
    void ApplyStage(int s);
    void ApplyView();
    void ShowStageLocally(int s, bool on);
    void CommitDpiEdit(int s);
    void ChangeDpi(int s, int dpi, bool fromSlider);
    bool HandleSelect(const QString& prefix, int index, bool on, const QString& name);
    bool HandleValue(const QString& name, const QString& prefix, int index, int value);
    // The notice under the settings: a change kept for the mouse, or one it did not take.
    void ShowWriteNotice();

    int entry_;
    QPointer<QWidget> page_;
    std::shared_ptr<CTavrenixMouseDevice> device_;
    EventLoop& loop_;
    std::optional<DeviceSnapshot> snapshot_;
    MousePageView view_;
    bool haveView_ = false;
    bool busy_ = false;
    bool writePending_ = false;
    bool editFailed_ = false;
    int inFlight_ = 0;
    QHash<QString, bool> running_;  // key → an edit of that key is on the device thread
    QHash<QString, Edit> waiting_;  // key → the newest edit waiting behind it
    std::unique_ptr<CMousePicture> picture_;
    QElapsedTimer lastFrame_;
    QTimer lateFrame_;  // runs only while frames come faster than kMinFrameInterval
    int settingsPage_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace q417::ui
