// One enumeration pass of the hidraw backend over a fixture tree with 32 hidraw nodes (16
// composite devices with two interfaces each). Detection polls every 100 ms, so a pass should
// stay under 2 ms to cost less than 2 % of a core. Passes after the first reuse what they
// learnt about nodes whose kernel instance is unchanged.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tests/transport/SysfsFixture.h"
#include "transport/HidrawBackend.h"

namespace {

// 16 composite devices: interface 0 with five collections, interface 1 with two.
bool Populate(q417::test::SysfsFixture& fx) {
    if (!fx.Ok()) {
        return false;
    }
    for (int n = 0; n < 32; ++n) {
        q417::test::FixtureHidNode node;
        node.number = n;
        node.productId = static_cast<uint16_t>(0x7101 + n / 2);
        node.usbDevice = n / 2;
        node.interfaceNumber = n % 2;
        node.numInterfaces = 2;
        node.descriptor = n % 2 == 0 ? q417::test::FiveCollectionMouseDescriptor()
                                     : q417::test::VendorConsumerDescriptor();
        fx.AddNode(node);
    }
    return true;
}

// Repeated passes of one backend, as the detection worker runs them.
void BM_HidrawEnumerate32Nodes(benchmark::State& state) {
    q417::test::SysfsFixture fx;
    if (!Populate(fx)) {
        state.SkipWithError("cannot create the fixture tree");
        return;
    }
    q417::HidrawBackend backend(fx.SysfsRoot(), fx.DevRoot());
    std::vector<std::string> paths;
    for (auto _ : state) {
        const bool ok = backend.EnumeratePaths(paths);
        benchmark::DoNotOptimize(ok);
        if (!ok || paths.size() != 16u * 7u) {
            state.SkipWithError("unexpected enumeration result");
            break;
        }
    }
    state.counters["paths"] = static_cast<double>(paths.size());
}
BENCHMARK(BM_HidrawEnumerate32Nodes)->Unit(benchmark::kMicrosecond);

// A first pass: every node's attributes and descriptor read and parsed.
void BM_HidrawEnumerate32NodesFirstPass(benchmark::State& state) {
    q417::test::SysfsFixture fx;
    if (!Populate(fx)) {
        state.SkipWithError("cannot create the fixture tree");
        return;
    }
    std::vector<std::string> paths;
    for (auto _ : state) {
        q417::HidrawBackend backend(fx.SysfsRoot(), fx.DevRoot());
        if (!backend.EnumeratePaths(paths) || paths.size() != 16u * 7u) {
            state.SkipWithError("unexpected enumeration result");
            break;
        }
    }
}
BENCHMARK(BM_HidrawEnumerate32NodesFirstPass)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
