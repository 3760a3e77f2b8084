#include "transport/CReportChannel.h"

#include <algorithm>
#include <thread>

#include "platform/Trace.h"

namespace q417 {
namespace {

// Counts one exchange in flight for the length of a scope.
class BusyScope {
public:
    explicit BusyScope(std::atomic<int>& count) : count_(count) { count_.fetch_add(1); }
    ~BusyScope() { count_.fetch_sub(1); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::atomic<int>& count_;
};

Frame MakeFrame(std::span<const uint8_t> request) {
    Frame frame{};
    std::copy_n(request.begin(), std::min(request.size(), frame.size()), frame.begin());
    return frame;
}

void TraceFrame(std::string_view title, const Frame& frame) {
    if (!TraceEnabled()) {
        return;
    }
    std::span<const uint8_t> bytes(frame);
    Trace(title);
    Trace(FormatTraceHexLine(bytes.first(32)));
    Trace(FormatTraceHexLine(bytes.last(32)));
}

void CopyReply(const Frame& frame, std::span<uint8_t> reply) {
    const std::size_t n = std::min(reply.size(), frame.size());
    std::copy_n(frame.begin(), n, reply.begin());
    std::fill(reply.begin() + static_cast<std::ptrdiff_t>(n), reply.end(), uint8_t{0});
}

}  // namespace

CReportChannel::CReportChannel(std::shared_ptr<IHidBackend> backend)
    : interfaceA_(backend), interfaceB_(backend) {}

CReportChannel::~CReportChannel() {
    interfaceA_.Close();
    interfaceB_.Close();
}

void CReportChannel::SelectEndpoint(int kind) {
    const bool receiver = kind == static_cast<int>(Endpoint::Receiver);
    useReceiver_.store(receiver);
    chunkSize_.store(receiver ? kReceiverChunkSize : kCableChunkSize);
}

bool CReportChannel::SetBlockSize(uint16_t size) {
    if (size > kMaxBlockSize) {
        return false;
    }
    blockSize_.store(size);
    return true;
}

void CReportChannel::SetPacing(const ChannelPacing& pacing) {
    writePauseMs_.store(std::max<int64_t>(0, pacing.writePause.count()));
    endDelayMs_.store(std::max<int64_t>(0, pacing.endDelay.count()));
}

ChannelPacing CReportChannel::Pacing() const {
    return ChannelPacing{std::chrono::milliseconds(writePauseMs_.load()),
                         std::chrono::milliseconds(endDelayMs_.load())};
}

bool CReportChannel::ReadReply(CHidInterface& hid, Frame& frame, uint32_t timeoutMs,
                               uint32_t* transferred) {
    // A failed read must never be judged by the bytes of an earlier reply.
    frame.fill(0);
    uint32_t count = 0;
    const bool ok = hid.ReadReport(frame, &count, timeoutMs);
    if (transferred != nullptr) {
        *transferred = ok ? count : 0;
    }
    return ok;
}

int CReportChannel::Exchange(std::span<const uint8_t> request, std::span<uint8_t> reply,
                             uint32_t* transferred) {
    BusyScope busy(busyCount_);
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (!open_.load()) {
        return kResultNoReply;
    }
    const Frame frame = MakeFrame(request);
    TraceFrame("命令", frame);

    const bool receiver = useReceiver_.load();
    CHidInterface& hid = receiver ? interfaceB_ : interfaceA_;
    const uint32_t readTimeout = receiver ? kReceiverReadTimeoutMs : kCableReadTimeoutMs;
    Frame in{};
    int result = kResultNoReply;
    {
        // Held through the pause and the reads: a reply is only ever read by its own exchange.
        std::lock_guard io(ioLock_);
        uint32_t written = 0;
        if (!hid.WriteReport(frame, &written,
                             receiver ? kReceiverWriteTimeoutMs : kCableWriteTimeoutMs)) {
            return kResultWriteFailed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(writePauseMs_.load()));
        for (int attempt = 0; attempt < 2; ++attempt) {
            const bool ok = ReadReply(hid, in, readTimeout, transferred);
            result = ok ? kResultOk : kResultNoReply;
            if (!ok) {
                continue;  // nothing to judge; the second read decides
            }
            if (in[3] == frame[3]) {
                break;
            }
            if (receiver && in[3] == kReceiverRefusal) {
                result = kResultRefused;
                break;
            }
            // Another command's reply (stale): skipped once.
        }
    }
    TraceFrame("返回", in);
    CopyReply(in, reply);
    return result;
}

int CReportChannel::ExchangeWithCrc(std::span<const uint8_t> request, std::span<uint8_t> reply,
                                    uint32_t* transferred) {
    BusyScope busy(busyCount_);
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (!open_.load()) {
        return kResultNoReply;
    }
    Frame frame = MakeFrame(request);
    const bool receiver = useReceiver_.load();
    CHidInterface& hid = receiver ? interfaceB_ : interfaceA_;
    const uint32_t readTimeout = receiver ? kReceiverReadTimeoutMs : kCableReadTimeoutMs;
    if (receiver) {
        StoreFrameCrc(frame);
    }
    Frame in{};
    int result = kResultNoReply;
    {
        std::lock_guard io(ioLock_);
        uint32_t written = 0;
        if (!hid.WriteReport(frame, &written,
                             receiver ? kReceiverCrcWriteTimeoutMs : kCableWriteTimeoutMs)) {
            return kResultWriteFailed;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            const bool ok = ReadReply(hid, in, readTimeout, transferred);
            result = ok ? kResultOk : kResultNoReply;
            if (!ok) {
                continue;
            }
            if (receiver && in[3] != kReceiverRefusal && !FrameCrcMatches(in)) {
                result = kResultRefused;
            }
            if (in[3] == frame[3]) {
                break;
            }
            if (receiver && in[3] == kReceiverRefusal) {
                result = kResultRefused;
                break;
            }
        }
    }
    CopyReply(in, reply);
    return result;
}

}  // namespace q417
