// Cost of the host's side of device exchanges on the emulated bus.
//
// BM_ExchangeOverhead: one plain exchange on the wired mouse with the real 20 ms pause and the
// default 1 ms report latency; the reported time is what remains after the pause and the
// latency on the exchange's critical path (the request's time on the wire; the reply's own
// latency passes during the pause).
// BM_TimerOvershoot: the same pause and latency spent in plain sleeps, minus their nominal time:
// what the machine's scheduler adds on its own (large on a loaded machine); the host's overhead
// is BM_ExchangeOverhead minus this.
// BM_ExchangeBare: the same exchange with no pause and no latency: the pure software cost.
// BM_MouseSync: information block + key tables (CmdBegin, CmdReadInfo, SetBlockSize(keys x 3),
// CmdReadKeyTable, CmdReadKeyTableBank(0), CmdEnd); the counter "ratio" divides its time by its
// floor: 20 ms + 2 x latency per exchange, plus CmdEnd's 10 ms.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "emulator/EmulatedHidBus.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using q417::emu::DeviceId;
using q417::emu::EmulatedHidBus;

constexpr auto kLatency = 1ms;

struct Rig {
    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    q417::CReportChannel channel{bus};
    DeviceId device = q417::emu::kNoDevice;

    bool Connect(bool receiver) {
        device = receiver ? bus->PlugReceiver(q417::emu::kReceiverProductId, true)
                          : bus->PlugWiredMouse();
        std::string path;
        for (const std::string& p : bus->PathsOf(device)) {
            if (p.find("&col05") != std::string::npos) {
                path = p;
            }
        }
        q417::CHidInterface& hid = receiver ? channel.InterfaceB() : channel.InterfaceA();
        if (!hid.Open(path, true, true, true, false)) {
            return false;
        }
        channel.SetOpen(true);
        channel.SelectEndpoint(receiver ? 2 : 1);
        return true;
    }
};

void BM_ExchangeOverhead(benchmark::State& state) {
    Rig rig;
    if (!rig.Connect(false)) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    const auto pause = rig.channel.Pacing().writePause;
    q417::Frame request{};
    request[0] = 4;
    request[3] = q417::kCmdBegin;
    q417::StoreSumChecksum(request);
    q417::Frame reply{};
    for (auto _ : state) {
        auto start = Clock::now();
        int result = rig.channel.Exchange(request, reply);
        auto elapsed = Clock::now() - start;
        if (result != q417::kResultOk) {
            state.SkipWithError("exchange failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed - pause - kLatency).count());
    }
}
BENCHMARK(BM_ExchangeOverhead)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

void BM_TimerOvershoot(benchmark::State& state) {
    for (auto _ : state) {
        auto start = Clock::now();
        std::this_thread::sleep_for(kLatency);
        std::this_thread::sleep_for(20ms);
        auto elapsed = Clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(elapsed - 20ms - kLatency).count());
    }
}
BENCHMARK(BM_TimerOvershoot)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

void BM_ExchangeBare(benchmark::State& state) {
    Rig rig;
    if (!rig.Connect(false)) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    rig.bus->SetLatency(rig.device, 0us);
    rig.channel.SetPacing({0ms, 0ms});
    q417::Frame request{};
    request[0] = 4;
    request[3] = q417::kCmdBegin;
    q417::StoreSumChecksum(request);
    q417::Frame reply{};
    for (auto _ : state) {
        if (rig.channel.Exchange(request, reply) != q417::kResultOk) {
            state.SkipWithError("exchange failed");
            break;
        }
    }
}
BENCHMARK(BM_ExchangeBare)->Unit(benchmark::kMicrosecond);

void BM_MouseSync(benchmark::State& state) {
    const bool receiver = state.range(0) != 0;
    Rig rig;
    if (!rig.Connect(receiver)) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    const auto pacing = rig.channel.Pacing();
    std::array<uint8_t, q417::kInfoBlockSize> info{};
    std::array<uint8_t, 512> keys{};
    std::array<uint8_t, 512> bank{};
    double elapsedTotal = 0;
    double floorTotal = 0;
    for (auto _ : state) {
        rig.channel.SetBlockSize(512);
        rig.bus->ClearCommandLog(rig.device);
        auto start = Clock::now();
        bool ok = q417::CmdBegin(rig.channel) == q417::kResultOk &&
                  q417::CmdReadInfo(rig.channel, info) == q417::kResultOk &&
                  rig.channel.SetBlockSize(static_cast<uint16_t>(info[5] * 3)) &&
                  q417::CmdReadKeyTable(rig.channel, keys) == q417::kResultOk &&
                  q417::CmdReadKeyTableBank(rig.channel, bank, 0) == q417::kResultOk &&
                  q417::CmdEnd(rig.channel) == q417::kResultOk;
        std::chrono::duration<double> elapsed = Clock::now() - start;
        if (!ok) {
            state.SkipWithError("synchronisation failed");
            break;
        }
        const auto exchanges = rig.bus->TakeCommandLog(rig.device).size();
        std::chrono::duration<double> floor =
            exchanges * (pacing.writePause + 2 * kLatency) + pacing.endDelay;
        elapsedTotal += elapsed.count();
        floorTotal += floor.count();
        state.counters["exchanges"] = static_cast<double>(exchanges);
    }
    if (floorTotal > 0) {
        state.counters["ratio"] = elapsedTotal / floorTotal;
        state.counters["floor_ms"] = 1000.0 * floorTotal / static_cast<double>(state.iterations());
    }
}
BENCHMARK(BM_MouseSync)->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
