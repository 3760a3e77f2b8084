#include "transport/HidBackend.h"

#include <mutex>

#include "transport/HidrawBackend.h"
#include "transport/HotplugMonitor.h"

namespace q417 {
namespace {

std::mutex& DefaultBackendMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<IHidBackend>& DefaultBackendSlot() {
    static std::shared_ptr<IHidBackend> backend;
    return backend;
}

}  // namespace

std::unique_ptr<IHotplugSource> IHidBackend::OpenHotplugSource(std::string& error) {
    error = "the " + Name() + " backend has no hot-plug events of its own";
    return nullptr;
}

std::shared_ptr<IHidBackend> DefaultHidBackend() {
    std::lock_guard lock(DefaultBackendMutex());
    auto& slot = DefaultBackendSlot();
    if (!slot) {
        // Made on first use so that the environment (fixture roots) set before that counts.
        slot = std::make_shared<HidrawBackend>();
    }
    return slot;
}

void SetDefaultHidBackend(std::shared_ptr<IHidBackend> backend) {
    std::lock_guard lock(DefaultBackendMutex());
    // Objects holding the previous backend keep it alive until they are gone.
    DefaultBackendSlot() = std::move(backend);
}

}  // namespace q417
