#include "platform/Wakeup.h"

namespace q417 {

void CWakeup::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    wakeup_.notify_all();
}

bool CWakeup::WaitFor(std::chrono::milliseconds timeout, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    const bool woken = wakeup_.wait_for(lock, stop, timeout, [this] { return woken_; });
    // A stop wins over a pending wake: the sleeper is about to leave, not to run another pass.
    // The flag stays set in that case so the wake is not lost for a later waiter.
    if (!woken || stop.stop_requested()) {
        return false;
    }
    woken_ = false;
    return true;
}

}  // namespace q417
