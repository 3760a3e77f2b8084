#pragma once
// Shared by the UI tests: running Qt's loop until a condition holds.
#include <QCoreApplication>
#include <QSize>
#include <chrono>
#include <functional>

namespace q417::ui::test {

// The offscreen platform's second screen (the test program's main sets it up), above
// 1500 × 960: a window there is scaled to 150 %.
inline constexpr QSize kLargeScreen{1920, 1080};

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
