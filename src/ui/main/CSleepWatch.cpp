#include "ui/main/CSleepWatch.h"

#include <QDBusConnection>
#include <QFileInfo>

namespace q417::ui {

CSleepWatch::CSleepWatch(std::function<void()> onSuspend, std::function<void()> onResume,
                         QObject* parent)
    : QObject(parent), onSuspend_(std::move(onSuspend)), onResume_(std::move(onResume)) {
    if (!SystemBusPresent()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return;
    }
    connected_ = bus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                             "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                             SLOT(OnPrepareForSleep(bool)));
}

bool CSleepWatch::SystemBusPresent() {
    // Asking Qt for a bus that is not there costs a connection attempt; look first.
    if (!qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) {
        return true;
    }
    return QFileInfo::exists("/run/dbus/system_bus_socket") ||
           QFileInfo::exists("/var/run/dbus/system_bus_socket");
}

void CSleepWatch::OnPrepareForSleep(bool sleeping) {
    if (sleeping == sleeping_) {
        return;
    }
    sleeping_ = sleeping;
    const auto& call = sleeping ? onSuspend_ : onResume_;
    if (call) {
        call();
    }
}

}  // namespace q417::ui
