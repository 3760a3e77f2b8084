// Arbitrary bytes play the device: whether each write fails, how many replies follow, and every
// byte of those replies (codes, status, CRC, short reads, time-outs, read failures). The channel's
// exchanges and the command builders must return only their result codes, write only well-formed
// frames, and never crash or overrun a buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tests/transport/ScriptedHidBackend.h"
#include "transport/Commands.h"

namespace {

using q417::Frame;
using q417::test::ScriptedRead;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<ScriptedRead> Respond(FuzzedDataProvider& fdp, std::span<const uint8_t> request) {
    std::vector<ScriptedRead> reads;
    const int count = fdp.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < count && fdp.remaining_bytes() > 0; ++i) {
        switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
            case 0:
                reads.push_back(ScriptedRead::TimedOut());
                break;
            case 1:
                reads.push_back(ScriptedRead::Failed());
                break;
            case 2: {  // raw bytes, any length
                const std::size_t n = fdp.ConsumeIntegralInRange<std::size_t>(0, 80);
                const std::vector<uint8_t> raw = fdp.ConsumeBytes<uint8_t>(n);
                reads.push_back(ScriptedRead::Reply(raw));
                break;
            }
            default: {  // a plausible reply with fuzzed status, data, code and CRC
                const uint8_t status = fdp.ConsumeIntegral<uint8_t>();
                const std::vector<uint8_t> data =
                    fdp.ConsumeBytes<uint8_t>(fdp.ConsumeIntegralInRange<std::size_t>(0, 56));
                Frame reply = q417::test::MakeReply(request, status, data, fdp.ConsumeBool());
                if (fdp.ConsumeIntegralInRange<int>(0, 5) == 0) {
                    reply[3] = fdp.ConsumeIntegral<uint8_t>();  // stale, refusal or garbage
                }
                if (fdp.ConsumeIntegralInRange<int>(0, 7) == 0) {
                    reply[1] ^= fdp.ConsumeIntegral<uint8_t>();
                }
                reads.push_back(ScriptedRead::Reply(reply));
                break;
            }
        }
    }
    return reads;
}

std::vector<uint8_t> Buffer(FuzzedDataProvider& fdp, std::size_t maxSize) {
    return std::vector<uint8_t>(fdp.ConsumeIntegralInRange<std::size_t>(0, maxSize), 0x5A);
}

int RunOne(FuzzedDataProvider& fdp, q417::CReportChannel& ch, int& kind) {
    using namespace q417;
    kind = fdp.ConsumeIntegralInRange<int>(0, 20);
    switch (kind) {
        case 0: {
            const std::vector<uint8_t> req = fdp.ConsumeBytes<uint8_t>(70);
            std::vector<uint8_t> reply = Buffer(fdp, 80);
            const int r = ch.Exchange(req, reply);
            Check(r == 1 || r == 0 || r == -1 || r == -101);
            return r;
        }
        case 1: {
            const std::vector<uint8_t> req = fdp.ConsumeBytes<uint8_t>(70);
            std::vector<uint8_t> reply = Buffer(fdp, 80);
            const int r = ch.ExchangeWithCrc(req, reply);
            Check(r == 1 || r == 0 || r == -1 || r == -101);
            return r;
        }
        case 2:
            return CmdBegin(ch);
        case 3:
            return CmdEnd(ch);
        case 4: {
            std::array<uint8_t, kInfoBlockSize> info{};
            return CmdReadInfo(ch, info);
        }
        case 5: {
            std::vector<uint8_t> dest = Buffer(fdp, 300);
            return CmdReadMemory(ch, dest, fdp.ConsumeIntegral<uint16_t>());
        }
        case 6: {
            const std::vector<uint8_t> src = Buffer(fdp, 300);
            return CmdWriteMemory(ch, src, fdp.ConsumeIntegral<uint16_t>());
        }
        case 7: {
            std::vector<uint8_t> dest = Buffer(fdp, 520);
            return CmdReadKeyTable(ch, dest);
        }
        case 8: {
            std::vector<uint8_t> dest = Buffer(fdp, 520);
            return CmdReadKeyTableBank(ch, dest, fdp.ConsumeIntegralInRange<int>(-1, 2));
        }
        case 9: {
            const std::vector<uint8_t> src = Buffer(fdp, 520);
            const int bank = fdp.ConsumeIntegralInRange<int>(-1, 2);
            return fdp.ConsumeBool() ? CmdWriteKeyTable(ch, src, bank)
                                     : CmdWriteKeyTable2(ch, src, bank);
        }
        case 10: {
            std::vector<uint8_t> dest = Buffer(fdp, 300);
            return CmdReadPage(ch, dest, fdp.ConsumeIntegral<uint16_t>(),
                               fdp.ConsumeIntegral<uint16_t>());
        }
        case 11: {
            const std::vector<uint8_t> src = Buffer(fdp, 300);
            return CmdWritePage(ch, src, fdp.ConsumeIntegral<uint16_t>(),
                                fdp.ConsumeIntegral<uint16_t>());
        }
        case 12:
            return CmdStreamLight(ch, Buffer(fdp, 200));
        case 13:
            return CmdWriteMacros(ch, Buffer(fdp, 300));
        case 14: {
            std::size_t last = 0;
            const int r =
                CmdWriteRecoil(ch, Buffer(fdp, 300), [&](std::size_t done, std::size_t total) {
                    Check(done == last + 1 && done <= total);
                    last = done;
                });
            return r;
        }
        case 15: {
            std::vector<uint8_t> dest = Buffer(fdp, 64);
            return CmdReadStatus(ch, dest, fdp.ConsumeIntegral<uint8_t>(),
                                 fdp.ConsumeIntegral<uint16_t>());
        }
        case 16: {
            std::vector<uint8_t> dest = Buffer(fdp, 200);
            return CmdReadKeyAttributes(ch, dest);
        }
        case 17:
            return CmdQueryLink(ch) ? 1 : 0;
        case 18:
            return CmdEnableLightControl(ch);
        case 19: {
            CmdTransaction tx(ch);
            if (!tx.Begun()) {
                return tx.Result();
            }
            std::array<uint8_t, kInfoBlockSize> info{};
            return CmdReadInfo(ch, info);
        }
        default:
            ch.SetBlockSize(fdp.ConsumeIntegral<uint16_t>());
            Check(ch.BlockSize() <= kMaxBlockSize);
            return 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider fdp(data, size);
    q417::test::ScriptedChannel s;
    s.channel.SetPacing({std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    const bool receiver = fdp.ConsumeBool();
    if (!s.Connect(receiver ? q417::Endpoint::Receiver : q417::Endpoint::Cable)) {
        std::abort();  // the scripted device always opens
    }
    s.channel.SetOpen(fdp.ConsumeIntegralInRange<int>(0, 15) != 0);
    s.Active().FailWrites(fdp.ConsumeIntegralInRange<int>(0, 7) == 0 ? 1 : 0);
    s.Active().SetResponder(
        [&fdp](std::span<const uint8_t> request) { return Respond(fdp, request); });

    for (int op = 0; op < 6 && fdp.remaining_bytes() > 0; ++op) {
        const std::size_t writesBefore = s.Active().Writes().size();
        int kind = 0;
        const int result = RunOne(fdp, s.channel, kind);
        Check(q417::IsCommandResult(result));
        const auto writes = s.Active().Writes();
        // Builders write whole, well-formed frames; the light stream carries the CRC on the
        // receiver, every other builder frame the sum.
        const bool builder = kind >= 2;
        const bool crcFrame = kind == 12 && receiver;
        for (std::size_t i = writesBefore; i < writes.size(); ++i) {
            const std::vector<uint8_t>& w = writes[i].bytes;
            Check(w.size() == q417::kFrameSize);
            if (!builder) {
                continue;
            }
            const std::span<const uint8_t, q417::kFrameSize> frame(w.data(), q417::kFrameSize);
            Check(w[0] == q417::kReportId && w[7] == 0 &&
                  (kind == 15 || w[4] <= q417::kMaxFrameData));
            if (crcFrame) {
                Check(q417::FrameCrcMatches(frame));
            } else {
                const uint16_t sum = q417::SumChecksum(frame);
                Check(w[1] == (sum & 0xFF) && w[2] == (sum >> 8));
            }
        }
    }
    Check(!s.channel.IsBusy());
    return 0;
}
