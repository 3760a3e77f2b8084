#include "ui/framework/CWindowBase.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/framework/CNotifyBridge.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/CUiLoader.h"
#include "ui/framework/DpiScale.h"

namespace q417::ui {

namespace {
CWindowBase::ModalHook& Hook() {
    static CWindowBase::ModalHook hook;
    return hook;
}
}  // namespace

CWindowBase::CWindowBase(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

CWindowBase::~CWindowBase() {
    if (modalLoop_) {
        modalLoop_->exit(0);
    }
    // The controls go after this body (with the QWidget base); their timers' clean-up must not
    // reach the timer table that goes first.
    for (const QMetaObject::Connection& c : timerCleanups_) {
        disconnect(c);
    }
}

void CWindowBase::SetModalHook(ModalHook hook) {
    Hook() = std::move(hook);
}

bool CWindowBase::Create(const QString& layoutId) {
    QWidget* content = CUiLoader::Build(layoutId, this);
    if (!content) {
        return false;
    }
    root_ = content;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content);
    if (designSize_.isEmpty()) {
        designSize_ = content->size();
    }
    CResourceManager::GetInstance().ReloadText(this);
    InitWindow();
    return true;
}

void CWindowBase::Notify(TNotifyUI&) {}

void CWindowBase::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!initSent_) {
        initSent_ = true;
        SendNotify(root_ ? root_.data() : this, notify::kWindowInit);
    }
}

void CWindowBase::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        if (modalLoop_) {
            modalLoop_->exit(closeCode_);
        }
        emit closed(closeCode_);
    }
}

int CWindowBase::ShowModal() {
    closeCode_ = 0;
    if (Hook()) {
        if (!initSent_) {
            initSent_ = true;
            SendNotify(root_ ? root_.data() : this, notify::kWindowInit);
        }
        return Hook()(*this);
    }
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    modalLoop_ = &loop;
    // The window may be destroyed while its loop runs (its parent went away).
    const QPointer<CWindowBase> self(this);
    show();
    raise();
    activateWindow();
    const int code = loop.exec();
    if (self) {
        modalLoop_ = nullptr;
    }
    return code;
}

void CWindowBase::Close(int code) {
    closeCode_ = code;
    if (isVisible()) {
        close();
    } else if (modalLoop_) {
        modalLoop_->exit(code);
    }
}

void CWindowBase::SetTimer(QWidget* control, int id, int milliseconds) {
    if (!control) {
        return;
    }
    const QPair<QWidget*, int> key(control, id);
    QTimer* timer = timers_.value(key);
    if (!timer) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        QPointer<QWidget> target(control);
        connect(timer, &QTimer::timeout, this, [target, id] {
            if (target) {
                SendNotify(target, notify::kTimer, id);
            }
        });
        // The timer goes with its control.
        timerCleanups_.push_back(connect(control, &QObject::destroyed, this, [this, key] {
            if (QTimer* t = timers_.take(key)) {
                t->deleteLater();
            }
        }));
        timers_.insert(key, timer);
    }
    timer->start(milliseconds);
}

void CWindowBase::KillTimer(QWidget* control, int id) {
    if (QTimer* timer = timers_.value({control, id})) {
        timer->stop();
    }
}

bool CWindowBase::IsTimerActive(QWidget* control, int id) const {
    const QTimer* timer = timers_.value({control, id});
    return timer && timer->isActive();
}

void CWindowBase::SetDpi(int dpi) {
    dpi_ = ValidDpi(dpi, "WINDOW DPI SET ERROR");
    ApplyDpi(this, dpi_);
    if (!designSize_.isEmpty()) {
        resize(Scaled(designSize_.width(), dpi_), Scaled(designSize_.height(), dpi_));
    }
}

void CWindowBase::SetCaptionControl(QWidget* control) {
    if (caption_) {
        caption_->removeEventFilter(this);
    }
    caption_ = control;
    if (control) {
        control->installEventFilter(this);
    }
}

bool CWindowBase::eventFilter(QObject* watched, QEvent* event) {
    if (watched == caption_ && event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton && windowHandle()) {
            windowHandle()->startSystemMove();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace q417::ui
