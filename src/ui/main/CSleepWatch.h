#pragma once
// Machine suspend and resume, from logind's PrepareForSleep(bool) signal on the system bus:
// true as the machine goes to sleep, false once it is back. Without a system bus (a container,
// a CI machine) the watch does nothing and says nothing.
#include <QObject>
#include <functional>

namespace q417::ui {

class CSleepWatch : public QObject {
    Q_OBJECT
public:
    CSleepWatch(std::function<void()> onSuspend, std::function<void()> onResume,
                QObject* parent = nullptr);
    // True when the signal is subscribed on the system bus.
    bool Connected() const { return connected_; }

public slots:
    // logind's signal; also the entry point for tests. Repeats of the same state are ignored.
    void OnPrepareForSleep(bool sleeping);

private:
    static bool SystemBusPresent();

    std::function<void()> onSuspend_;
    std::function<void()> onResume_;
    bool connected_ = false;
    bool sleeping_ = false;
};

}  // namespace q417::ui
