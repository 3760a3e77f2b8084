#pragma once
// One HID interface (one top-level collection): path enumeration, open with the four flags,
// capabilities and decoding records, reads and writes with a time-out that another thread can
// cancel by closing, and report unpacking into usages.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transport/HidBackend.h"
#include "transport/HidReportDescriptor.h"
#include "transport/HidTypes.h"

namespace q417 {

class CHidInterface {
public:
    explicit CHidInterface(std::shared_ptr<IHidBackend> backend = DefaultHidBackend());
    ~CHidInterface();
    CHidInterface(const CHidInterface&) = delete;
    CHidInterface& operator=(const CHidInterface&) = delete;

    // Path list: replaced by Enumerate, walked with NextPath (nullopt at the end).
    bool Enumerate();
    std::optional<std::string> NextPath();
    void FreePaths();
    std::size_t PathCount() const;

    bool Open(const std::string& path, bool read, bool write, bool overlapped, bool exclusive);
    bool Reopen();
    // Wakes a blocked read or write at once, waits for it to leave, then releases everything.
    void Close();
    bool IsOpen() const;

    bool ReadReport(std::span<uint8_t> buffer, uint32_t* transferred, uint32_t timeoutMs);
    bool WriteReport(std::span<const uint8_t> buffer, uint32_t* transferred, uint32_t timeoutMs);

    static bool UnpackReport(std::span<const uint8_t> report, HidReportType type,
                             std::span<HidDataItem> items, const HidPreparsed& preparsed);
    // Unpacks an input report into this interface's own input items; false when closed.
    bool UnpackInputReport(std::span<const uint8_t> report);

    // Capability data; valid while open (empty/zero otherwise).
    HidAttributes Attributes() const;
    HidCaps Caps() const;
    std::shared_ptr<const HidPreparsed> Preparsed() const;
    std::vector<HidDataItem> Items(HidReportType type) const;
    uint32_t InterfaceNumber() const;
    uint32_t CollectionNumber() const;
    std::string Path() const;

    // Why the last Open/Reopen failed (None after a success).
    HidOpenError LastOpenError() const;
    std::string LastOpenErrorText() const;

    const std::shared_ptr<IHidBackend>& Backend() const { return backend_; }

private:
    // Takes a reference to the open device for one transfer; Close waits for it to be released.
    std::shared_ptr<IHidDevice> BeginTransfer();
    void EndTransfer();
    void CloseLocked(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<IHidBackend> backend_;

    std::vector<std::string> paths_;
    std::size_t pathCursor_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable transfersDone_;
    int transfersInFlight_ = 0;

    bool openForRead_ = false;
    bool openForWrite_ = false;
    bool openOverlapped_ = false;
    bool openExclusive_ = false;
    std::string path_;
    std::shared_ptr<IHidDevice> device_;
    std::shared_ptr<const HidPreparsed> preparsed_;
    HidAttributes attributes_;
    std::vector<HidDataItem> items_[kHidReportTypeCount];
    uint32_t interfaceNumber_ = 0;
    uint32_t collectionNumber_ = 0;
    HidOpenError lastOpenError_ = HidOpenError::None;
    std::string lastOpenErrorText_;
};

}  // namespace q417
