// libFuzzer target: arbitrary bytes as "default_light.json" and "zyrel_light.config", read by
// ReloadLightNameLists for several profile numbers; the lists that come out must stay aligned and
// translate codes consistently. The same bytes then drive the light engine as user-effect segments
// and light settings, so every step runs on hostile values without reading or writing out of range.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "lighting/CLightEngine.h"
#include "lighting/EffectLists.h"
#include "lighting/MouseLightModes.h"

namespace {

struct RunFile {
    std::string folder;
    std::string path;
    RunFile() {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "q417-fuzz-light-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            abort();
        }
        folder = pattern + "/";
        path = folder + "light.json";
    }
    ~RunFile() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

void CheckLists(const q417::EffectLists& l) {
    Check(l.names.size() == l.visible.size() && l.names.size() == l.codes.size());
    for (std::size_t i = 0; i < l.codes.size(); ++i) {
        const auto index = q417::EffectIndex(l, l.codes[i]);
        Check(index.has_value() && static_cast<std::size_t>(*index) <= i);
    }
    const auto mouse = q417::EffectCode(l, 12, q417::EffectRange::Mouse);
    Check(mouse.has_value() == !l.codes.empty());
    Check(!q417::EffectCode(l, static_cast<int>(l.codes.size()), q417::EffectRange::Keyboard));
}

void DriveEngine(const std::uint8_t* data, std::size_t size) {
    std::vector<q417::LightSegment> segments;
    for (std::size_t off = 0; off + sizeof(q417::LightSegment) <= size && segments.size() < 8;
         off += sizeof(q417::LightSegment)) {
        q417::LightSegment s;
        std::memcpy(&s, data + off, sizeof s);
        s.time %= 50;
        segments.push_back(s);
    }
    q417::LightState light{};
    if (size >= sizeof light) {
        std::memcpy(&light, data, sizeof light);
    }
    q417::CLightEngine engine(size % 20);
    engine.SetLight(light);
    engine.SetAnimationPhase(size > 8 ? data[8] : 0);
    engine.SetHueIndex(size > 9 ? data[9] : 0);
    engine.SetUserEffect(segments);
    engine.StartReactionAll();
    for (std::uint32_t pass = 0; pass < 64; ++pass) {
        const int effect = pass < size ? data[pass] % 12 : static_cast<int>(pass % 12);
        if (!q417::RunMouseLightStep(engine, effect, pass * 16)) {
            engine.PlayUserEffect(pass * 16, light.speed);
        }
        engine.FadeKey(static_cast<int>(pass) - 2, effect);
    }
    Check(engine.LedCount() == size % 20);

    // The player as the worker runs it (at its due times) against one pass every millisecond.
    q417::CLightEngine byDue(size % 20);
    q417::CLightEngine perMs(size % 20);
    byDue.SetUserEffect(segments);
    perMs.SetUserEffect(segments);
    std::uint32_t t = size > 10 ? 0xFFFFFF00u + data[10] : 5000;  // across the clock's wrap
    auto next = byDue.PlayUserEffectUntil(t, light.speed, true);
    perMs.PlayUserEffect(t, light.speed);
    for (int wakes = 0; wakes < 12 && next.has_value(); ++wakes) {
        Check(next->count() >= 1);
        const auto wait = static_cast<std::uint32_t>(std::min<std::int64_t>(next->count(), 60));
        for (std::uint32_t k = 1; k <= wait; ++k) {
            perMs.PlayUserEffect(t + k, light.speed);
        }
        t += wait;
        next = byDue.PlayUserEffectUntil(t, light.speed, true);
        const auto& a = byDue.Player();
        const auto& b = perMs.Player();
        Check(a.segmentIndex == b.segmentIndex && a.phase == b.phase &&
              a.passCounter == b.passCounter && a.flashOn == b.flashOn &&
              a.flashHue == b.flashHue && a.segmentStartMs == b.segmentStartMs);
        Check(std::equal(byDue.KeyColours().begin(), byDue.KeyColours().end(),
                         perMs.KeyColours().begin(), perMs.KeyColours().end()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RunFile file;
    {
        std::ofstream out(file.path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (int n : {-1, 0, 1, 5, 1000}) {
        q417::EffectLists lists;
        lists.names = {"keep"};
        lists.visible = {true};
        lists.codes = {3};
        q417::ReloadLightNameLists(lists, n, file.path, file.path);
        CheckLists(lists);
    }
    DriveEngine(data, size);
    return 0;
}
