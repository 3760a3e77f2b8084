#include "app/CSignalWatch.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace q417::ui {
namespace {

// The write end for the handler; one watch at a time.
std::atomic<int> gWriteFd{-1};

}  // namespace

CSignalWatch::CSignalWatch(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    gWriteFd.store(fds_[1]);
    struct sigaction sa {};
    sa.sa_handler = &CSignalWatch::Handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &sa, &oldTerm_) != 0 || ::sigaction(SIGINT, &sa, &oldInt_) != 0) {
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        gWriteFd.store(-1);
        ::close(fds_[0]);
        ::close(fds_[1]);
        fds_[0] = fds_[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &CSignalWatch::OnReadable);
}

CSignalWatch::~CSignalWatch() {
    if (fds_[0] < 0) {
        return;
    }
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::sigaction(SIGINT, &oldInt_, nullptr);
    gWriteFd.store(-1);
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void CSignalWatch::Handler(int signalNumber) {
    // Only async-signal-safe calls here: one byte into the pipe.
    const int saved = errno;
    const int fd = gWriteFd.load();
    if (fd >= 0) {
        const char byte = static_cast<char>(signalNumber);
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

void CSignalWatch::OnReadable() {
    char bytes[16];
    ssize_t n = 0;
    int last = 0;
    while ((n = ::read(fds_[0], bytes, sizeof bytes)) > 0) {
        last = bytes[n - 1];
    }
    if (last != 0) {
        emit terminateRequested(last);
    }
}

}  // namespace q417::ui
