#include "ui/framework/UiNotify.h"

#include <atomic>

namespace q417::ui {

namespace {
std::atomic<NotifyTap> g_tap{nullptr};
}

void SetNotifyTap(NotifyTap tap) {
    g_tap.store(tap);
}

void SendNotify(QWidget* sender, const QString& type, int wParam, int lParam) {
    if (!sender) {
        return;
    }
    for (QWidget* w = sender; w; w = w->parentWidget()) {
        if (auto* sink = dynamic_cast<INotifyUI*>(w)) {
            TNotifyUI msg{type, sender, wParam, lParam};
            if (NotifyTap tap = g_tap.load()) {
                tap(msg);
            }
            sink->Notify(msg);
            return;
        }
    }
}

}  // namespace q417::ui
