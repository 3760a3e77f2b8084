#include "transport/CHidInterface.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

namespace q417 {
namespace {

// The hexadecimal number after `key` in a device path (key matched in any letter case), 0 when
// the key is absent. Reads hex digits like "%x" does, at most eight of them.
uint32_t HexAfterKey(std::string_view path, std::string_view key) {
    auto lower = [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    };
    auto it = std::search(path.begin(), path.end(), key.begin(), key.end(),
                          [&](char a, char b) { return lower(a) == lower(b); });
    if (it == path.end()) {
        return 0;
    }
    it += static_cast<std::ptrdiff_t>(key.size());
    uint32_t value = 0;
    for (int digits = 0; it != path.end() && digits < 8; ++it, ++digits) {
        const char c = lower(*it);
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
        } else {
            break;
        }
    }
    return value;
}

}  // namespace

CHidInterface::CHidInterface(std::shared_ptr<IHidBackend> backend) : backend_(std::move(backend)) {}

CHidInterface::~CHidInterface() {
    Close();
}

bool CHidInterface::Enumerate() {
    std::vector<std::string> found;
    const bool ok = backend_ && backend_->EnumeratePaths(found);
    // Only real paths are kept: an entry the backend could not fill leaves no hole in the list.
    std::erase_if(found, [](const std::string& p) { return p.empty(); });
    std::lock_guard lock(mutex_);
    paths_.clear();
    if (ok) {
        paths_ = std::move(found);
    }
    pathCursor_ = 0;
    return ok;
}

std::optional<std::string> CHidInterface::NextPath() {
    std::lock_guard lock(mutex_);
    if (pathCursor_ >= paths_.size()) {
        return std::nullopt;
    }
    return paths_[pathCursor_++];
}

void CHidInterface::FreePaths() {
    std::lock_guard lock(mutex_);
    paths_.clear();
    paths_.shrink_to_fit();
    pathCursor_ = 0;
}

std::size_t CHidInterface::PathCount() const {
    std::lock_guard lock(mutex_);
    return paths_.size();
}

bool CHidInterface::Open(const std::string& path, bool read, bool write, bool overlapped,
                         bool exclusive) {
    {
        std::lock_guard lock(mutex_);
        openForRead_ = read;
        openForWrite_ = write;
        // Every transfer here waits with a time-out and can be cancelled, so "overlapped" is
        // kept for what callers ask but changes nothing.
        openOverlapped_ = overlapped;
        openExclusive_ = exclusive;
        path_ = path;
    }
    return Reopen();
}

bool CHidInterface::Reopen() {
    std::unique_lock lock(mutex_);
    // CloseLocked may wait; if another thread opened meanwhile, close that open as well.
    do {
        CloseLocked(lock);
    } while (device_);

    auto fail = [&](HidOpenError error, std::string text) {
        lastOpenError_ = error;
        lastOpenErrorText_ = std::move(text);
        return false;
    };
    if (!backend_) {
        return fail(HidOpenError::Other, "no HID backend");
    }
    if (path_.empty()) {
        return fail(HidOpenError::NotFound, "no path to open");
    }
    // A new device object per open: a cancel aimed at an earlier open can never reach it.
    HidOpenError error = HidOpenError::None;
    std::string errorText;
    std::shared_ptr<IHidDevice> device = backend_->Open(
        path_, HidOpenRequest{openForRead_, openForWrite_, openExclusive_}, &error, &errorText);
    if (!device) {
        return fail(error == HidOpenError::None ? HidOpenError::Other : error,
                    errorText.empty() ? "cannot open " + path_ : errorText);
    }
    std::string parseError;
    auto info = ParseHidReportDescriptor(device->ReportDescriptor(), &parseError);
    const std::size_t index = device->CollectionIndex();
    if (!info || index >= info->collections.size() || !info->collections[index]) {
        return fail(HidOpenError::BadDescriptor,
                    "report descriptor: " +
                        (info ? "no collection " + std::to_string(index + 1) : parseError));
    }
    preparsed_ = info->collections[index];
    attributes_ = device->Attributes();
    for (int t = 0; t < kHidReportTypeCount; ++t) {
        items_[t] = BuildHidDataItems(*preparsed_, static_cast<HidReportType>(t));
    }
    interfaceNumber_ = HexAfterKey(path_, "&mi_");
    collectionNumber_ = HexAfterKey(path_, "&col");
    device_ = std::move(device);
    lastOpenError_ = HidOpenError::None;
    lastOpenErrorText_.clear();
    return true;
}

void CHidInterface::Close() {
    std::unique_lock lock(mutex_);
    CloseLocked(lock);
}

void CHidInterface::CloseLocked(std::unique_lock<std::mutex>& lock) {
    std::shared_ptr<IHidDevice> old = std::move(device_);
    device_.reset();
    // Capability data goes at once; UnpackReport callers hold their own reference to it.
    preparsed_.reset();
    attributes_ = {};
    for (auto& items : items_) {
        items.clear();
    }
    interfaceNumber_ = 0;
    collectionNumber_ = 0;
    if (!old) {
        return;
    }
    // Wake a blocked transfer on this open, then wait for every transfer on it to leave before
    // the descriptor is closed. Only this open's transfers count: a Reopen from another thread
    // may already have started transfers on a new device while we wait.
    old->CancelIo();
    std::weak_ptr<IHidDevice> watch = old;
    old.reset();
    transfersDone_.wait(lock, [&] { return watch.expired(); });
}

bool CHidInterface::IsOpen() const {
    std::lock_guard lock(mutex_);
    return device_ != nullptr;
}

std::shared_ptr<IHidDevice> CHidInterface::BeginTransfer() {
    std::lock_guard lock(mutex_);
    if (!device_) {
        return nullptr;
    }
    ++transfersInFlight_;
    return device_;
}

void CHidInterface::EndTransfer() {
    {
        std::lock_guard lock(mutex_);
        --transfersInFlight_;
    }
    transfersDone_.notify_all();
}

// The transfer works directly on the caller's buffer: on Linux nothing stays pending in the
// kernel after the backend call returns (a read copies a report that is already queued), so an
// abandoned transfer can never complete into memory the caller has since reused.
bool CHidInterface::ReadReport(std::span<uint8_t> buffer, uint32_t* transferred,
                               uint32_t timeoutMs) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    std::shared_ptr<IHidDevice> device = BeginTransfer();
    if (!device) {
        return false;
    }
    const HidIoResult result = device->Read(buffer, timeoutMs);
    device.reset();  // Close waits for this reference to be dropped
    EndTransfer();
    if (result.status != HidIoStatus::Ok) {
        return false;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<uint32_t>(result.transferred);
    }
    return true;
}

bool CHidInterface::WriteReport(std::span<const uint8_t> buffer, uint32_t* transferred,
                                uint32_t timeoutMs) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    std::shared_ptr<IHidDevice> device = BeginTransfer();
    if (!device) {
        return false;
    }
    const HidIoResult result = device->Write(buffer, timeoutMs);
    device.reset();
    EndTransfer();
    if (result.status != HidIoStatus::Ok) {
        return false;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<uint32_t>(result.transferred);
    }
    return true;
}

bool CHidInterface::UnpackReport(std::span<const uint8_t> report, HidReportType type,
                                 std::span<HidDataItem> items, const HidPreparsed& preparsed) {
    return UnpackHidReport(report, type, items, preparsed);
}

bool CHidInterface::UnpackInputReport(std::span<const uint8_t> report) {
    std::lock_guard lock(mutex_);
    if (!preparsed_) {
        return false;
    }
    auto& items = items_[static_cast<int>(HidReportType::Input)];
    return UnpackHidReport(report, HidReportType::Input, items, *preparsed_);
}

HidAttributes CHidInterface::Attributes() const {
    std::lock_guard lock(mutex_);
    return attributes_;
}

HidCaps CHidInterface::Caps() const {
    std::lock_guard lock(mutex_);
    return preparsed_ ? preparsed_->Caps() : HidCaps{};
}

std::shared_ptr<const HidPreparsed> CHidInterface::Preparsed() const {
    std::lock_guard lock(mutex_);
    return preparsed_;
}

std::vector<HidDataItem> CHidInterface::Items(HidReportType type) const {
    const auto t = static_cast<int>(type);
    if (t < 0 || t >= kHidReportTypeCount) {
        return {};
    }
    std::lock_guard lock(mutex_);
    return items_[t];
}

uint32_t CHidInterface::InterfaceNumber() const {
    std::lock_guard lock(mutex_);
    return interfaceNumber_;
}

uint32_t CHidInterface::CollectionNumber() const {
    std::lock_guard lock(mutex_);
    return collectionNumber_;
}

std::string CHidInterface::Path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

HidOpenError CHidInterface::LastOpenError() const {
    std::lock_guard lock(mutex_);
    return lastOpenError_;
}

std::string CHidInterface::LastOpenErrorText() const {
    std::lock_guard lock(mutex_);
    return lastOpenErrorText_;
}

}  // namespace q417
