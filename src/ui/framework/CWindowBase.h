#pragma once
// A window built from a skin layout: the layout's controls become the window's content, their
// user actions arrive in Notify, "windowinit" is raised when the window is first shown, and the
// window offers per-control timers ("timer" notifications), a modal loop that returns the code
// given to Close, and its own display scale.
#include <QHash>
#include <QPair>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/framework/UiNotify.h"

class QEventLoop;

namespace q417::ui {

class CWindowBase : public QWidget, public INotifyUI {
    Q_OBJECT
public:
    explicit CWindowBase(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~CWindowBase() override;

    // Builds the layout (an identifier of the skin's index or a file) as the window's content.
    // False when it cannot be built; the window is then empty.
    bool Create(const QString& layoutId);
    QWidget* Root() const { return root_; }

    // The first control of the window's tree with this name; null when none (or not a T).
    template <class T = QWidget>
    T* FindControl(const QString& name) const {
        if (root_ && root_->objectName() == name) {
            return qobject_cast<T*>(root_.data());
        }
        return root_ ? root_->findChild<T*>(name) : nullptr;
    }

    void Notify(TNotifyUI& msg) override;

    // Shows the window modal to the application and returns the code given to Close (0 when
    // the window was closed another way).
    int ShowModal();
    void Close(int code = 0);
    bool InModalLoop() const { return modalLoop_ != nullptr; }

    // Tests answer modal windows through this hook: when set, ShowModal calls it (the window is
    // built and initialised but not shown) and returns its result.
    using ModalHook = std::function<int(CWindowBase& window)>;
    static void SetModalHook(ModalHook hook);

    // One-shot or repeating timers per control: each expiry raises "timer" from the control
    // with wParam = id. Starting a running timer restarts it.
    void SetTimer(QWidget* control, int id, int milliseconds);
    void KillTimer(QWidget* control, int id);
    bool IsTimerActive(QWidget* control, int id) const;

    int Dpi() const { return dpi_; }
    // Scales the content and the window's design size (the size the layout asks for at 96).
    virtual void SetDpi(int dpi);
    void SetDesignSize(QSize size) { designSize_ = size; }
    QSize DesignSize() const { return designSize_; }

    // Pressing the left button on this control moves the window (a skin's own title bar).
    void SetCaptionControl(QWidget* control);

signals:
    void closed(int code);

protected:
    // Called once the layout is built (the controls exist).
    virtual void InitWindow() {}
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> root_;
    QPointer<QWidget> caption_;
    QEventLoop* modalLoop_ = nullptr;
    int closeCode_ = 0;
    bool initSent_ = false;
    int dpi_ = 96;
    QSize designSize_;
    QHash<QPair<QWidget*, int>, QTimer*> timers_;
    std::vector<QMetaObject::Connection> timerCleanups_;
};

}  // namespace q417::ui
