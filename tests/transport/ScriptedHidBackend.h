#pragma once
// A scripted HID backend for channel and command tests: each device presents the vendor command
// collection (report ID 4, 64-byte input and output reports), records every report written to it
// and answers reads from a queue that a responder fills as requests arrive. Writes can fail, reads
// can time out or fail, replies can be stale, short or carry any status and CRC.
#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transport/CReportChannel.h"
#include "transport/FrameChecksum.h"
#include "transport/HidBackend.h"

namespace q417::test {

// Usage page 0xFF1C, usage 0x92, report ID 4 with 63 data bytes in and out (64 with the ID).
inline constexpr uint8_t kCommandCollectionDescriptor[] = {
    0x06, 0x1C, 0xFF,  // Usage Page (0xFF1C)
    0x09, 0x92,        // Usage (0x92)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x04,        //   Report ID (4)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x3F,        //   Report Count (63)
    0x09, 0x01,        //   Usage (1)
    0x81, 0x02,        //   Input (Data, Var, Abs)
    0x09, 0x01,        //   Usage (1)
    0x91, 0x02,        //   Output (Data, Var, Abs)
    0xC0,              // End Collection
};

inline constexpr char kCablePath[] = "hidraw#vid_4a1d&pid_7101&mi_00&col05#scripted.0001#cable";
inline constexpr char kReceiverPath[] =
    "hidraw#vid_4a1d&pid_7102&mi_00&col05#scripted.0002#receiver";

// One answer to one read.
struct ScriptedRead {
    enum class Kind { Reply, Timeout, Error };
    Kind kind = Kind::Reply;
    std::vector<uint8_t> bytes;  // Reply: the report as read (may be shorter than 64)

    static ScriptedRead Reply(std::span<const uint8_t> report) {
        return {Kind::Reply, std::vector<uint8_t>(report.begin(), report.end())};
    }
    static ScriptedRead TimedOut() { return {Kind::Timeout, {}}; }
    static ScriptedRead Failed() { return {Kind::Error, {}}; }
};

struct WrittenReport {
    std::vector<uint8_t> bytes;
    uint32_t timeoutMs = 0;
};

// A reply frame to request: same code, bytes 4-6 as sent, the given status and data; with the
// receiver's CRC when crc is set, else the sum checksum.
inline Frame MakeReply(std::span<const uint8_t> request, uint8_t status = 0,
                       std::span<const uint8_t> data = {}, bool crc = false) {
    Frame reply{};
    reply[0] = 4;
    for (std::size_t i = 3; i < 7 && i < request.size(); ++i) {
        reply[i] = request[i];
    }
    reply[7] = status;
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), 56), reply.begin() + 8);
    if (crc) {
        StoreFrameCrc(reply);
    } else {
        StoreSumChecksum(reply);
    }
    return reply;
}

// The state of one scripted device, shared by every handle opened on its path.
class ScriptedDevice {
public:
    using Responder = std::function<std::vector<ScriptedRead>(std::span<const uint8_t> request)>;

    explicit ScriptedDevice(HidAttributes attributes) : attributes_(attributes) {}

    HidAttributes Attributes() const { return attributes_; }

    // Called (outside the device's lock) for every successful write; its answers are queued.
    // The responder is kept in one place, so a stateful one sees every request.
    void SetResponder(Responder responder) {
        std::lock_guard lock(mutex_);
        responder_ = responder ? std::make_shared<Responder>(std::move(responder)) : nullptr;
    }
    void Queue(ScriptedRead read) {
        std::lock_guard lock(mutex_);
        reads_.push_back(std::move(read));
    }
    // The next `count` writes fail (count < 0: every write fails).
    void FailWrites(int count) {
        std::lock_guard lock(mutex_);
        failWrites_ = count;
    }

    std::vector<WrittenReport> Writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    std::vector<uint32_t> ReadTimeouts() const {
        std::lock_guard lock(mutex_);
        return readTimeouts_;
    }
    std::size_t PendingReads() const {
        std::lock_guard lock(mutex_);
        return reads_.size();
    }
    void ClearLog() {
        std::lock_guard lock(mutex_);
        writes_.clear();
        readTimeouts_.clear();
    }

    // An empty queue answers a read as a time-out at once, so tests never wait.
    HidIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) {
        std::lock_guard lock(mutex_);
        readTimeouts_.push_back(timeoutMs);
        if (reads_.empty()) {
            return {HidIoStatus::Timeout, 0};
        }
        ScriptedRead read = std::move(reads_.front());
        reads_.pop_front();
        switch (read.kind) {
            case ScriptedRead::Kind::Timeout:
                return {HidIoStatus::Timeout, 0};
            case ScriptedRead::Kind::Error:
                return {HidIoStatus::Error, 0};
            case ScriptedRead::Kind::Reply:
                break;
        }
        const std::size_t n = std::min(buffer.size(), read.bytes.size());
        std::copy_n(read.bytes.begin(), n, buffer.begin());
        return {HidIoStatus::Ok, n};
    }

    HidIoResult Write(std::span<const uint8_t> report, uint32_t timeoutMs) {
        std::shared_ptr<Responder> responder;
        {
            std::lock_guard lock(mutex_);
            writes_.push_back({std::vector<uint8_t>(report.begin(), report.end()), timeoutMs});
            if (failWrites_ != 0) {
                if (failWrites_ > 0) {
                    --failWrites_;
                }
                return {HidIoStatus::Error, 0};
            }
            responder = responder_;
        }
        if (responder) {
            std::vector<ScriptedRead> answers = (*responder)(report);
            std::lock_guard lock(mutex_);
            for (ScriptedRead& a : answers) {
                reads_.push_back(std::move(a));
            }
        }
        return {HidIoStatus::Ok, report.size()};
    }

private:
    const HidAttributes attributes_;
    mutable std::mutex mutex_;
    std::shared_ptr<Responder> responder_;
    std::deque<ScriptedRead> reads_;
    std::vector<WrittenReport> writes_;
    std::vector<uint32_t> readTimeouts_;
    int failWrites_ = 0;
};

class ScriptedHidHandle final : public IHidDevice {
public:
    explicit ScriptedHidHandle(std::shared_ptr<ScriptedDevice> device)
        : device_(std::move(device)) {}

    HidAttributes Attributes() const override { return device_->Attributes(); }
    std::span<const uint8_t> ReportDescriptor() const override {
        return kCommandCollectionDescriptor;
    }
    std::size_t CollectionIndex() const override { return 0; }
    HidIoResult Read(std::span<uint8_t> buffer, uint32_t timeoutMs) override {
        if (cancelled_) {
            return {HidIoStatus::Cancelled, 0};
        }
        return device_->Read(buffer, timeoutMs);
    }
    HidIoResult Write(std::span<const uint8_t> report, uint32_t timeoutMs) override {
        if (cancelled_) {
            return {HidIoStatus::Cancelled, 0};
        }
        return device_->Write(report, timeoutMs);
    }
    void CancelIo() override { cancelled_ = true; }

private:
    std::shared_ptr<ScriptedDevice> device_;
    std::atomic<bool> cancelled_{false};
};

class ScriptedHidBackend final : public IHidBackend {
public:
    std::shared_ptr<ScriptedDevice> AddDevice(const std::string& path, HidAttributes attributes) {
        auto device = std::make_shared<ScriptedDevice>(attributes);
        std::lock_guard lock(mutex_);
        devices_[path] = device;
        order_.push_back(path);
        return device;
    }

    bool EnumeratePaths(std::vector<std::string>& paths) override {
        std::lock_guard lock(mutex_);
        paths = order_;
        return true;
    }
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest&,
                                     HidOpenError* error, std::string* errorText) override {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(path);
        if (it == devices_.end()) {
            if (error != nullptr) {
                *error = HidOpenError::NotFound;
            }
            if (errorText != nullptr) {
                *errorText = "no scripted device at " + path;
            }
            return nullptr;
        }
        if (error != nullptr) {
            *error = HidOpenError::None;
        }
        return std::make_unique<ScriptedHidHandle>(it->second);
    }
    std::string Name() const override { return "scripted"; }

private:
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<ScriptedDevice>> devices_;
    std::vector<std::string> order_;
};

// A responder that behaves like a device with a flat memory: every request is answered once with
// its own code and bytes 4-6, status 0, and data bytes that are the low bytes of the addresses
// (bytes 5-6) they stand for, so assembled reads are easy to check. CRC when crc is set.
inline ScriptedDevice::Responder AddressEchoResponder(bool crc, uint8_t status = 0) {
    return [crc, status](std::span<const uint8_t> request) {
        const unsigned address = request[5] | (request[6] << 8);
        std::array<uint8_t, 56> data{};
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(address + i);
        }
        return std::vector<ScriptedRead>{
            ScriptedRead::Reply(MakeReply(request, status, data, crc))};
    };
}

// A channel over a scripted cable device and a scripted receiver device.
struct ScriptedChannel {
    std::shared_ptr<ScriptedHidBackend> backend = std::make_shared<ScriptedHidBackend>();
    std::shared_ptr<ScriptedDevice> cable =
        backend->AddDevice(kCablePath, {0x4A1D, 0x7101, 0x0100});
    std::shared_ptr<ScriptedDevice> receiver =
        backend->AddDevice(kReceiverPath, {0x4A1D, 0x7102, 0x0100});
    CReportChannel channel{backend};

    // Opens the connection's interface the way the device manager does and marks the channel open.
    bool Connect(Endpoint endpoint) {
        const bool rx = endpoint == Endpoint::Receiver;
        CHidInterface& hid = rx ? channel.InterfaceB() : channel.InterfaceA();
        if (!hid.Open(rx ? kReceiverPath : kCablePath, true, true, true, false)) {
            return false;
        }
        channel.SelectEndpoint(static_cast<int>(endpoint));
        channel.SetOpen(true);
        return true;
    }
    ScriptedDevice& Active() { return channel.UseReceiver() ? *receiver : *cable; }
};

}  // namespace q417::test
