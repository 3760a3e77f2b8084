// Arbitrary bytes as a profile document: parsing, loading with template fallback, every Get
// operation and a save must neither crash nor throw.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"

namespace {

// A private folder for the run, removed when the fuzzer exits.
struct RunFolder {
    std::string path;
    RunFolder() {
        // Documents are written with fsync; a memory-backed folder keeps the runs fast.
        std::error_code ec;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::string pattern = (base / "q417-fuzz-profile-XXXXXX").string();
        const char* made = ::mkdtemp(pattern.data());
        path = made != nullptr ? std::string(made) + "/" : std::string();
    }
    ~RunFolder() {
        std::error_code ec;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ec);
        }
    }
};

const std::string& Folder() {
    static RunFolder folder;
    return folder.path;
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Exercise(q417::CBasicProfiledata& p) {
    p.GetLightInfo();
    p.GetAudioLightInfo();
    p.GetLightList();
    p.GetKeyList();
    p.LoadLightConfig(p.GetLightConfigPath());
    p.GetCustomLightEffects();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = Folder();
    if (dir.empty()) {
        std::abort();  // no temporary folder: nothing can be exercised
    }
    const std::string doc = dir + "doc.Json";
    const std::string templ = dir + "template.Json";
    // The same bytes serve as profile document, template and light configuration, so that
    // every reader sees them.
    WriteBytes(doc, data, size);
    WriteBytes(templ, data, size);
    WriteBytes(dir + "zyrel_light.config", data, size);

    Json::Value parsed = q417::CJsonFile::ReadDocument(doc);
    (void)parsed;

    const int index = size > 0 ? data[0] % 8 : 0;

    q417::CKeyboardProfiledata keyboard;
    keyboard.SetTemplatePath(templ);
    keyboard.SetLightConfigPath(dir + "zyrel_light.config");
    keyboard.SetProfilePath(doc);
    keyboard.LoadProfile(doc);
    Exercise(keyboard);
    keyboard.GetSystemStages();
    const int group = keyboard.GetCustomLightGroup();
    keyboard.GetCustomLightColors(group, 170);
    keyboard.Save();

    WriteBytes(doc, data, size);
    q417::CMouseProfiledata mouse;
    mouse.SetTemplatePath(templ);
    mouse.SetDeviceIndex(index);
    mouse.LoadProfile(doc);
    Exercise(mouse);
    mouse.GetDpiStages();
    mouse.GetSystemStages();

    WriteBytes(doc, data, size);
    q417::CHs6533Profiledata headset;
    headset.SetTemplatePath(templ);
    headset.LoadProfile(doc);
    Exercise(headset);
    const q417::HeadsetSystemSetStages s = headset.GetSystemSetStages();
    headset.GetEqBands(s.eqType);
    headset.GetCustomEqBands(s.customEqIndex);
    headset.GetCustomEqNames();

    // Keep-aside copies of unparsable inputs would pile up over a run.
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename().string().find(".unreadable-") != std::string::npos) {
            std::error_code ec;
            std::filesystem::remove(e.path(), ec);
        }
    }
    return 0;
}
