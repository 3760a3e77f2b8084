// Macro block: building one that fills the emulated mouse's macro memory, writing it with the
// devices' real pacing (by cable and through the receiver), and loading a library of 50 macros of
// 4000 events each.
//
// For the writes, "floor_ms" is what the pauses and the emulated latency alone take: every frame
// the device saw waits the channel's write pause after one report latency, and CmdEnd waits the end
// delay. "host_share_pct" is the rest, as a share of the measured time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "emulator/EmulatedHidBus.h"
#include "input/MacroBlock.h"
#include "input/MacroLibrary.h"

namespace {

using namespace std::chrono_literals;
using q417::CMacroLibrary;
using q417::MacroEvent;
using q417::MacroResult;

constexpr auto kLatency = 1ms;  // the emulator's default per-report latency

std::string MakeFolder(const char* tag) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string("q417-bench-") + tag + "-XXXXXX"))
            .string();
    char* made = ::mkdtemp(pattern.data());
    return made ? std::string(made) + "/" : std::string();
}

std::vector<MacroEvent> Events(std::size_t count, uint8_t key) {
    std::vector<MacroEvent> events;
    events.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        events.push_back({i % 2 == 0, 10, key, static_cast<uint16_t>(i % 500)});
    }
    return events;
}

// Four macros whose block is as large as the emulated mouse's 8 KiB allows:
// 16 + 4 x 6 + 4 x 2038 = 8192 bytes.
struct FullLibrary {
    std::string folder = MakeFolder("macro-full");
    CMacroLibrary library{folder, 2};
    std::vector<int> used{0, 1, 2, 3};
    FullLibrary() {
        const std::size_t counts[] = {510, 510, 509, 509};
        for (std::size_t m = 0; m < 4; ++m) {
            library.AddMacro();
            auto events = Events(counts[m], static_cast<uint8_t>(4 + m));
            library.SaveMacro(static_cast<int>(m), std::span<const MacroEvent>(events));
        }
    }
    ~FullLibrary() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

FullLibrary& Full() {
    static FullLibrary f;
    return f;
}

void BM_BuildFullMacroBlock(benchmark::State& state) {
    FullLibrary& f = Full();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto macros = q417::ReadUsedMacros(f.library, f.used);
        auto block = q417::BuildMacroBlock(*macros);
        bytes = block.size();
        benchmark::DoNotOptimize(block.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildFullMacroBlock)->Unit(benchmark::kMillisecond);

void BM_WriteFullMacroBlock(benchmark::State& state) {
    const bool wireless = state.range(0) != 0;
    FullLibrary& f = Full();
    auto bus = std::make_shared<q417::emu::EmulatedHidBus>();
    q417::emu::DeviceId device =
        wireless ? bus->PlugReceiver(q417::emu::kReceiverProductId, true) : bus->PlugWiredMouse();
    q417::CReportChannel channel(bus);
    std::string path;
    for (const std::string& p : bus->PathsOf(device)) {
        if (p.find("&col05") != std::string::npos) {
            path = p;
        }
    }
    q417::CHidInterface& hid = wireless ? channel.InterfaceB() : channel.InterfaceA();
    if (!hid.Open(path, true, true, true, false)) {
        state.SkipWithError("cannot open the emulated mouse");
        return;
    }
    channel.SetOpen(true);
    channel.SelectEndpoint(wireless ? 2 : 1);
    std::array<uint8_t, q417::kInfoBlockSize> info{};
    if (q417::CmdReadInfo(channel, info) != q417::kResultOk) {
        state.SkipWithError("cannot read the information block");
        return;
    }
    const q417::ChannelPacing pacing = channel.Pacing();
    double floorMs = 0;
    double totalMs = 0;
    std::size_t frames = 0;
    std::size_t exchanges = 0;
    for (auto _ : state) {
        bus->ClearCommandLog(device);
        std::size_t lastTotal = 0;
        auto start = std::chrono::steady_clock::now();
        int result = q417::WriteMacros(channel, wireless, f.library, f.used,
                                       [&](std::size_t, std::size_t total) { lastTotal = total; });
        auto elapsed = std::chrono::steady_clock::now() - start;
        if (result != q417::kMacrosWritten) {
            state.SkipWithError("WriteMacros failed");
            return;
        }
        frames = lastTotal;
        exchanges = bus->CommandLog(device).size();
        floorMs +=
            static_cast<double>(exchanges) *
                std::chrono::duration<double, std::milli>(pacing.writePause + kLatency).count() +
            std::chrono::duration<double, std::milli>(pacing.endDelay).count();
        totalMs += std::chrono::duration<double, std::milli>(elapsed).count();
    }
    state.counters["bytes"] = static_cast<double>(q417::MacroMemoryBytes(info));
    state.counters["block_frames"] = static_cast<double>(frames);
    state.counters["exchanges"] = static_cast<double>(exchanges);
    state.counters["floor_ms"] = floorMs / static_cast<double>(state.iterations());
    state.counters["host_share_pct"] = totalMs > 0 ? 100.0 * (totalMs - floorMs) / totalMs : 0;
}
BENCHMARK(BM_WriteFullMacroBlock)
    ->ArgName("receiver")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// 50 macros of 4000 events each.
struct BigLibrary {
    std::string folder = MakeFolder("macro-big");
    CMacroLibrary library{folder, 2};
    std::vector<int> all;
    BigLibrary() {
        auto events = Events(q417::kMaxMacroEvents, 4);
        for (int m = 0; m < q417::kMaxMacros; ++m) {
            library.AddMacro();
            library.SaveMacro(m, std::span<const MacroEvent>(events));
            all.push_back(m);
        }
    }
    ~BigLibrary() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

BigLibrary& Big() {
    static BigLibrary b;
    return b;
}

// The names, as the editor and the device's name lists load them.
void BM_LoadLibrary50x4000(benchmark::State& state) {
    BigLibrary& b = Big();
    CMacroLibrary library(b.folder, 2);
    for (auto _ : state) {
        if (library.LoadLibrary() != MacroResult::Done || library.Count() != q417::kMaxMacros) {
            state.SkipWithError("library not loaded");
            return;
        }
        benchmark::DoNotOptimize(library.MacroNames());
    }
}
BENCHMARK(BM_LoadLibrary50x4000)->Unit(benchmark::kMicrosecond);

// Every macro's events, as WriteMacros reads them when all 50 are used.
void BM_LoadAllEvents50x4000(benchmark::State& state) {
    BigLibrary& b = Big();
    std::size_t events = 0;
    for (auto _ : state) {
        auto macros = q417::ReadUsedMacros(b.library, b.all);
        events = 0;
        for (const auto& m : *macros) {
            events += m.size();
        }
        benchmark::DoNotOptimize(events);
    }
    state.counters["events"] = static_cast<double>(events);
    state.counters["events_per_s"] = benchmark::Counter(
        static_cast<double>(events), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadAllEvents50x4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
