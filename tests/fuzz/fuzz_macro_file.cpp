// libFuzzer target: arbitrary bytes as a ".mac" event file (and as a macro library file). The
// readers must never throw or crash; whatever they accept must survive a write/read round trip and
// encode into a macro block that decodes to the same events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "input/MacroBlock.h"
#include "input/MacroFiles.h"
#include "platform/FileIo.h"
#include "tests/input/MacroBlockDecode.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace q417;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const MacroFileCheck check = CheckMacroFile(bytes);
    std::optional<MacroEventFile> file = ParseMacroEventFile(bytes);
    // Whatever the import check accepts the reader reads, every event included.
    if (check == MacroFileCheck::Ok) {
        Check(file.has_value());
        Check(file->events.size() <= kMaxMacroEvents);
        std::optional<Json::Value> root = ParseJsonText(bytes);
        Check(root && file->events.size() == (*root)["Events"].size());
    }

    if (file) {
        std::optional<MacroEventFile> back =
            ParseMacroEventFile(MacroEventFileToJson(*file).toStyledString());
        // Names are not compared: jsoncpp replaces invalid UTF-8 when it writes a string.
        Check(back && back->events == file->events);

        if (file->events.size() <= kMaxMacroEvents) {
            const std::vector<std::vector<MacroEvent>> macros = {file->events, {}};
            const std::vector<uint8_t> block = BuildMacroBlock(macros);
            auto decoded = test::DecodeMacroBlock(block);
            Check(decoded && decoded->length == block.size());
            Check(decoded->macros.size() == 2 && decoded->macros[1].empty());
            // Bit 7 of the type byte carries "down", so only types below 0x80 come back whole.
            for (std::size_t i = 0; i < file->events.size(); ++i) {
                const MacroEvent& a = file->events[i];
                const MacroEvent& b = decoded->macros[0][i];
                Check(a.delay == b.delay && a.button == b.button &&
                      b.down == (a.down || (a.type & 0x80) != 0) && (a.type & 0x7F) == b.type);
            }
        }
    }

    // The same bytes as a library: no identifier that could leave the device folder.
    if (std::optional<Json::Value> root = ParseJsonText(bytes)) {
        if (auto entries = MacroLibraryFromJson(*root)) {
            for (const MacroLibraryEntry& e : *entries) {
                Check(e.id.empty() || IsBareFileName(e.id));
            }
        }
    }
    return 0;
}
