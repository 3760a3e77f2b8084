// The mouse device on the emulated bus.
//
// BM_MouseSynchronise: a full Synchronise (information block, key tables, profile load, current
// record) on the wired mouse with the real pauses and 1 ms report latency. The counter "ratio"
// divides its time by its floor: every frame's 20 ms pause plus its latency, plus CmdEnd's 10 ms.
// BM_IdleMouseCpu: CPU time of the whole process over 10 s of wall time while one mouse object
// animates a colour cycle (speed 4: a step every 15.625 ms tick; speed 0: every 8 ticks) and its
// notification worker waits for a report; "cpu_percent" is that time as a share of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "BenchUtil.h"
#include "devices/CTavrenixMouseDevice.h"
#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"

namespace {

using namespace std::chrono_literals;
using q417::emu::EmulatedHidBus;

std::string PathOf(EmulatedHidBus& bus, q417::emu::DeviceId id, const char* needle) {
    for (const std::string& p : bus.PathsOf(id)) {
        if (p.find(needle) != std::string::npos) {
            return p;
        }
    }
    return {};
}

struct Rig {
    Rig() {
        char pattern[] = "/tmp/q417-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            folder = pattern;
            q417::FolderRedirects r;
            r.userData = folder;
            q417::SetFolderRedirects(r);
        }
        q417::DeviceOptions options;
        options.backend = bus;
        mouse = std::make_unique<q417::CTavrenixMouseDevice>("mouse", options);
        mouse->SetProfileId("bench");
        id = bus->PlugWiredMouse();
    }
    ~Rig() {
        mouse.reset();
        q417::SetFolderRedirects({});
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    bool Open() {
        auto& hid = mouse->CommandChannel().InterfaceA();
        if (!hid.Open(PathOf(*bus, id, "&col05"), true, true, true, false)) {
            return false;
        }
        mouse->CommandChannel().SetOpen(true);
        mouse->SetWireless(false);
        return mouse->OpenNotificationInterface(PathOf(*bus, id, "&col04"), q417::kKindMouseCable);
    }
    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    std::unique_ptr<q417::CTavrenixMouseDevice> mouse;
    q417::emu::DeviceId id = q417::emu::kNoDevice;
    std::string folder;
};

using q417::bench::ProcessCpuSeconds;

void BM_MouseSynchronise(benchmark::State& state) {
    Rig rig;
    if (!rig.Open()) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    const auto pacing = rig.mouse->CommandChannel().Pacing();
    double total = 0;
    std::size_t frames = 0;
    for (auto _ : state) {
        rig.bus->ClearCommandLog(rig.id);
        auto start = std::chrono::steady_clock::now();
        auto result = rig.mouse->Call([&] { return rig.mouse->Synchronise(); });
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!result || *result != 1) {
            state.SkipWithError("synchronisation failed");
            break;
        }
        frames = rig.bus->CommandLog(rig.id).size();
        total += elapsed;
        state.SetIterationTime(elapsed);
    }
    double floor = static_cast<double>(frames) *
                       std::chrono::duration<double>(pacing.writePause + 1ms).count() +
                   std::chrono::duration<double>(pacing.endDelay).count();
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["floor_ms"] = floor * 1e3;
    state.counters["ratio"] = total / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_MouseSynchronise)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_IdleMouseCpu(benchmark::State& state) {
    Rig rig;
    if (!rig.Open()) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    q417::LightState light{};
    light.effect = 1;                                         // colour cycle
    light.speed = static_cast<std::uint8_t>(state.range(0));  // 4: a step every tick
    light.brightness = 4;
    rig.mouse->SetLightSettings(light);
    rig.mouse->StartLightWorker();
    std::this_thread::sleep_for(200ms);
    for (auto _ : state) {
        double cpu0 = ProcessCpuSeconds();
        auto steps0 = rig.mouse->LightStepsRun();
        std::this_thread::sleep_for(10s);
        double cpu = ProcessCpuSeconds() - cpu0;
        state.counters["cpu_percent"] = cpu / 10.0 * 100.0;
        state.counters["steps_per_s"] =
            static_cast<double>(rig.mouse->LightStepsRun() - steps0) / 10.0;
    }
}
BENCHMARK(BM_IdleMouseCpu)
    ->ArgName("speed")
    ->Arg(4)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
