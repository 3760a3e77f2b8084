// libFuzzer target: arbitrary bytes as a ".Shoot" recoil sequence file. The reader must never
// throw or crash; whatever it accepts must build a block within the recoil layout, and the editor
// must be able to import it, show every shot and store a shot that reads back as stored.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "input/RecoilBlock.h"
#include "input/RecoilGuns.h"
#include "platform/FileIo.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
    std::string root;
    Scratch() {
        std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = base + "/q417-fuzz-shoot-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            abort();
        }
        root = pattern + "/";
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void Check(bool ok) {
    if (!ok) {
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    using namespace q417;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    std::optional<ShootFile> file = ParseShootFile(bytes);
    if (file) {
        Check(file->document.isObject());
        Check(file->events.size() == std::min(file->fileEventCount, kMaxRecoilEvents));
        RecoilSet set;
        set[1] = file->events;
        set[3] = file->events;
        std::vector<uint8_t> block = BuildRecoilBlock(set);
        Check(block.size() == 40 + 8 * file->events.size());
        Check(block.size() <= kFullRecoilBlockSize);
        Check(block[0] == 0xAA && block[1] == 0x55);
        Check(std::size_t(block[2] | block[3] << 8) == block.size());
    }

    RecoilGuns guns;
    guns.SetDeviceFolder(scratch.root);
    guns.SetTemplateFolder(scratch.root + "none/");
    const std::string source = scratch.root + "in.shoot";
    Check(WriteFileAtomically(source, bytes));
    RecoilFileResult imported = guns.ImportGun(source);
    Check(imported == RecoilFileResult::Ok || imported == RecoilFileResult::SourceInvalid ||
          imported == RecoilFileResult::SourceMissing);
    for (int b = 0; b < kRecoilShotCount; ++b) {
        (void)guns.ShowBullet(0, b);
    }
    RecoilShot shot{static_cast<uint8_t>(size), size % 2 == 0, 7, true,
                    static_cast<uint16_t>(size * 31)};
    int at = static_cast<int>(size % kRecoilShotCount);
    if (guns.SaveBullet(0, at, shot)) {
        Check(guns.ShowBullet(0, at) == shot);
        Check(guns.ReadAll()[0].size() >= kEventsPerShot * std::size_t(at + 1));
    }
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(scratch.root, ec)) {
        fs::remove_all(e.path(), ec);
    }
    return 0;
}
