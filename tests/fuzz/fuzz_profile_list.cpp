// libFuzzer target: arbitrary bytes as ProfileList.ini, read by Reload and Initialise, followed by
// a select and a rename on whatever list came out. Every outcome must leave a consistent list.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/FileIo.h"
#include "profiles/CProfileList.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
    std::string root;
    std::string device;
    std::string templatePath;
    Scratch() {
        std::string base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = base + "/q417-fuzz-list-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            abort();
        }
        root = pattern + "/";
        device = root + "dev/";
        templatePath = root + "tpl.Json";
        fs::create_directories(device);
        q417::WriteFileAtomically(templatePath, "{\"Device\": [{\"LightInfo\": {}}]}\n");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void Clear() const {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(device, ec)) {
            fs::remove_all(e.path(), ec);
        }
    }
};

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

void CheckList(const q417::CProfileList& list) {
    Check(list.GetCount() >= 1);
    Check(list.GetCurSel() >= 0 && list.GetCurSel() < list.GetCount());
    for (const q417::ProfileListEntry& e : list.Entries()) {
        Check(q417::IsBareFileName(e.id));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    scratch.Clear();
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!q417::WriteFileAtomically(scratch.device + q417::kProfileListFileName, text)) {
        return 0;
    }
    q417::CProfileList list;
    list.SetKind(7);
    list.SetFolders(scratch.device, scratch.templatePath);
    if (list.Reload() == q417::ProfileListResult::Done) {
        CheckList(list);
    }
    if (list.Initialise() != q417::ProfileListResult::Done) {
        return 0;
    }
    CheckList(list);
    list.Select(list.GetCount() - 1);
    list.RenameProfile("fuzz");
    list.ResetProfileFile();
    CheckList(list);
    return 0;
}
