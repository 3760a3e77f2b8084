#pragma once
// Shared by the UI tests: running Qt's loop until a condition holds.
#include <QCoreApplication>
#include <chrono>
#include <functional>

namespace q417::ui::test {

// Processes events until done() is true; false when the bound passed first.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::milliseconds(8000)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

}  // namespace q417::ui::test
