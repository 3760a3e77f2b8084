// The device manager on the emulated bus.
//
// BM_PlugToVisible/wake:N: from plugging the wired mouse to its selector entry being visible.
// N=2: the bus plays a live hot-plug monitor (as udev does on real hardware), the pass runs on
// its events and otherwise every 2 s; N=1: the bus's change listener wakes the worker, which
// also polls every 100 ms; N=0: the 100 ms polling alone (no monitor: a container, no udev).
// BM_HeadlessManagerCpu: CPU of the whole process over 10 s of wall time with a wired mouse and a
// receiver attached and synchronised, light effect off, monitor live; "cpu_percent" is the share
// of one core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "BenchUtil.h"
#include "devices/CDeviceManager.h"
#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"
#include "platform/HeadlessEventLoop.h"

namespace {

using namespace std::chrono_literals;
using q417::CDeviceManager;
using q417::DeviceManagerEvent;
using q417::emu::EmulatedHidBus;

struct VisibleWatch : q417::IDeviceManagerObserver {
    explicit VisibleWatch(CDeviceManager*& m) : manager(m) {}
    void OnManagerEvent(const DeviceManagerEvent& e) override {
        if (e.type == DeviceManagerEvent::Type::EntriesChanged && manager != nullptr) {
            visible.store(manager->Entries()[0].visible);
        }
        if (e.type == DeviceManagerEvent::Type::Synchronised) {
            syncs.fetch_add(1);
        }
    }
    CDeviceManager*& manager;
    std::atomic<bool> visible{false};
    std::atomic<int> syncs{0};
};

enum class Wake { Poll = 0, Listener = 1, Monitor = 2 };

struct Rig {
    explicit Rig(Wake wake) {
        char pattern[] = "/tmp/q417-bench-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            folder = pattern;
            q417::FolderRedirects r;
            r.userData = folder;
            q417::SetFolderRedirects(r);
        }
        loop.Start();
        bus->SetHotplugMonitor(wake == Wake::Monitor);
        q417::DeviceManagerOptions options;
        options.backend = bus;
        loop.PostAndWait([&] {
            owned = std::make_unique<CDeviceManager>(loop, options);
            manager = owned.get();
            manager->SetObserver(&watch);
            manager->Start();
        });
        if (wake == Wake::Listener) {
            listener = bus->AddChangeListener([this] {
                if (auto* m = live.load()) {
                    m->Wake();
                }
            });
        }
        live.store(manager);
    }
    ~Rig() {
        if (listener >= 0) {
            bus->RemoveChangeListener(listener);
        }
        live.store(nullptr);
        loop.PostAndWait([&] {
            owned.reset();
            manager = nullptr;
        });
        loop.Stop(2s);
        q417::SetFolderRedirects({});
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    bool WaitVisible(bool v, std::chrono::milliseconds bound) {
        auto end = std::chrono::steady_clock::now() + bound;
        while (watch.visible.load() != v) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(200us);
        }
        return true;
    }
    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    q417::HeadlessEventLoop loop;
    std::unique_ptr<CDeviceManager> owned;
    CDeviceManager* manager = nullptr;
    std::atomic<CDeviceManager*> live{nullptr};
    VisibleWatch watch{manager};
    int listener = -1;
    std::string folder;
};

void BM_PlugToVisible(benchmark::State& state) {
    Rig rig(static_cast<Wake>(state.range(0)));
    std::this_thread::sleep_for(300ms);  // the first pass is done
    double total = 0;
    double worst = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        auto id = rig.bus->PlugWiredMouse();
        if (!rig.WaitVisible(true, 3s)) {
            state.SkipWithError("the entry did not become visible");
            break;
        }
        double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += elapsed;
        worst = std::max(worst, elapsed);
        state.SetIterationTime(elapsed);
        rig.bus->Unplug(id);
        if (!rig.WaitVisible(false, 3s)) {
            state.SkipWithError("the entry did not go away");
            break;
        }
        // Plug at a random point of the polling cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(37 * (state.iterations() % 3)));
    }
    state.counters["mean_ms"] = total * 1e3 / static_cast<double>(state.iterations());
    state.counters["max_ms"] = worst * 1e3;
}
BENCHMARK(BM_PlugToVisible)
    ->ArgName("wake")
    ->Arg(2)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

using q417::bench::ProcessCpuSeconds;

void BM_HeadlessManagerCpu(benchmark::State& state) {
    Rig rig(Wake::Monitor);
    auto wired = rig.bus->PlugWiredMouse();
    auto receiver = rig.bus->PlugReceiver(q417::emu::kReceiver2ProductId, true);
    // Light off on both mice: no animation.
    std::vector<uint8_t> off{10};
    for (int p = 0; p < 6; ++p) {
        rig.bus->WriteMouseMemory(wired, static_cast<std::size_t>(p) * 96 + 1, off);
        rig.bus->WriteMouseMemory(receiver, static_cast<std::size_t>(p) * 96 + 1, off);
    }
    auto end = std::chrono::steady_clock::now() + 10s;
    while (rig.watch.syncs.load() < 2 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(3s);  // past the first link-watch and power timers
    for (auto _ : state) {
        double cpu0 = ProcessCpuSeconds();
        std::this_thread::sleep_for(10s);
        state.counters["cpu_percent"] = (ProcessCpuSeconds() - cpu0) / 10.0 * 100.0;
    }
}
BENCHMARK(BM_HeadlessManagerCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
