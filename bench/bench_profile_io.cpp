// Load and save of a full keyboard profile (170 keys, ten custom colour groups).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "profiles/CKeyboardProfiledata.h"

namespace {

using q417::CKeyboardProfiledata;
using q417::RgbaColor;

constexpr int kKeys = 170;
constexpr int kGroups = 10;

struct Fixture {
    std::string folder;
    std::string document;

    Fixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "q417-bench-XXXXXX").string();
        folder = std::string(::mkdtemp(pattern.data())) + "/";
        document = folder + "2024_03_07_09_05_07_042.Json";
        // A profile made from the template, every group painted with distinct colours.
        CKeyboardProfiledata p;
        p.SetTemplatePath(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/keyboard.Json");
        p.SetProfilePath(document);
        p.LoadProfile(document);
        for (int g = 0; g < kGroups; ++g) {
            std::vector<RgbaColor> colours(kKeys);
            for (int k = 0; k < kKeys; ++k) {
                colours[static_cast<std::size_t>(k)] =
                    RgbaColor{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(g * 20),
                              static_cast<std::uint8_t>(255 - k), 255};
            }
            p.SetCustomLightColors(colours, g);
        }
        p.Save();
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

// What a keyboard does when it loads a profile: the element and every section it shows.
void LoadKeyboard(CKeyboardProfiledata& p, const std::string& doc) {
    p.SetProfilePath(doc);
    p.LoadProfile(doc);
    benchmark::DoNotOptimize(p.GetKeyList());
    benchmark::DoNotOptimize(p.GetLightInfo());
    benchmark::DoNotOptimize(p.GetAudioLightInfo());
    benchmark::DoNotOptimize(p.GetLightList());
    benchmark::DoNotOptimize(p.GetSystemStages());
    benchmark::DoNotOptimize(p.GetCustomLightColors(p.GetCustomLightGroup(), kKeys));
}

void BM_LoadKeyboardProfile(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        CKeyboardProfiledata p;
        LoadKeyboard(p, f.document);
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(f.document));
}
BENCHMARK(BM_LoadKeyboardProfile)->Unit(benchmark::kMillisecond);

// A colour-group edit followed by the save that persists it (read, merge, atomic write).
void BM_SaveKeyboardProfile(benchmark::State& state) {
    Fixture& f = Shared();
    CKeyboardProfiledata p;
    LoadKeyboard(p, f.document);
    std::vector<RgbaColor> colours = p.GetCustomLightColors(3, kKeys);
    std::uint8_t n = 0;
    for (auto _ : state) {
        colours[0].red = ++n;
        p.SetCustomLightColors(colours, 3);
        if (p.Save() != q417::SaveResult::Written) {
            state.SkipWithError("save failed");
            break;
        }
    }
}
BENCHMARK(BM_SaveKeyboardProfile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
