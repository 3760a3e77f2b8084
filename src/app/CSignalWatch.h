#pragma once
// SIGTERM and SIGINT turned into a Qt signal on the UI thread (a self-pipe read by a socket
// notifier), so that a terminal's Ctrl+C or a session's logout runs the same orderly shut-down as
// the tray's "exit". The previous handlers come back when the watch goes.
#include <signal.h>
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace q417::ui {

class CSignalWatch : public QObject {
    Q_OBJECT
public:
    explicit CSignalWatch(QObject* parent = nullptr);
    ~CSignalWatch() override;
    // False when the pipe or the handlers could not be set up (the default handlers stay).
    bool Active() const { return notifier_ != nullptr; }

signals:
    void terminateRequested(int signalNumber);

private:
    static void Handler(int signalNumber);
    void OnReadable();

    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
};

}  // namespace q417::ui
