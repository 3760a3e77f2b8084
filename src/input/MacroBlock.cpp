#include "input/MacroBlock.h"

#include <algorithm>
#include <array>
#include <climits>
#include <utility>

#include "input/MacroLibrary.h"
#include "platform/Trace.h"
#include "transport/GuardedWrite.h"

namespace q417 {
namespace {

void PutU16(std::vector<uint8_t>& out, std::size_t at, std::size_t value) {
    out[at] = static_cast<uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

std::size_t MacroMemoryBytes(std::span<const uint8_t, kInfoBlockSize> info) {
    return std::size_t{info[6]} * kMacroMemoryUnit;
}

std::size_t MacroBlockSize(std::span<const std::size_t> eventCounts) {
    std::size_t total = kMacroBlockHeaderSize;
    for (std::size_t count : eventCounts) {
        total += 2 + kMacroRecordHeaderSize + kEncodedEventSize * count;
    }
    return total;
}

int MacroEventsOverLimit(std::size_t total, std::size_t limit) {
    if (total <= limit) {
        return 0;
    }
    std::size_t over = ((total - limit) >> 2) + 1;
    return over > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(over);
}

std::vector<uint8_t> BuildMacroBlock(std::span<const std::vector<MacroEvent>> macros) {
    std::vector<std::size_t> counts;
    counts.reserve(macros.size());
    for (const auto& m : macros) {
        counts.push_back(m.size());
    }
    const std::size_t total = MacroBlockSize(counts);
    if (total > 0xFFFF) {
        return {};
    }
    std::vector<uint8_t> block(total, 0);
    PutU16(block, 0, kMacroBlockMagic);
    PutU16(block, 2, total);
    PutU16(block, 4, macros.size());
    std::size_t record = kMacroBlockHeaderSize + 2 * macros.size();
    for (std::size_t j = 0; j < macros.size(); ++j) {
        PutU16(block, kMacroBlockHeaderSize + 2 * j, record);
        PutU16(block, record, macros[j].size());
        std::size_t at = record + kMacroRecordHeaderSize;
        for (const MacroEvent& e : macros[j]) {
            const auto bytes = EncodeMacroEvent(e);
            std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
            at += kEncodedEventSize;
        }
        record = at;
    }
    return block;
}

std::optional<std::vector<std::vector<MacroEvent>>> ReadUsedMacros(
    const CMacroLibrary& library, const std::vector<int>& usedMacros) {
    std::optional<std::vector<MacroLibraryEntry>> entries = library.ReadLibrary();
    if (!entries) {
        return std::nullopt;
    }
    std::vector<std::vector<MacroEvent>> macros;
    macros.reserve(usedMacros.size());
    for (int j : usedMacros) {
        std::vector<MacroEvent>& events = macros.emplace_back();
        if (j < 0 || j >= static_cast<int>(entries->size())) {
            Trace("WriteMacros: used macro " + std::to_string(j) + " is not in the library");
            continue;
        }
        const std::string& id = (*entries)[static_cast<std::size_t>(j)].id;
        if (id.empty()) {
            continue;
        }
        // An unreadable event file plays nothing, like a missing one; the editor reports it.
        if (auto file = ReadMacroEventFile(library.Folder() + id + kMacroFileExtension)) {
            events = std::move(file->events);
        }
    }
    return macros;
}

int WriteMacroBlock(CReportChannel& channel, bool wireless, std::span<const uint8_t> block,
                    const ChunkProgress& progress, std::stop_token stop) {
    if (stop.stop_requested()) {
        return kMacrosCut;
    }
    GuardedWrite write(channel, wireless);
    write.Step([&] { return CmdWriteMacros(write.Channel(), block, progress, stop); });
    const int result = write.End();
    if (result == kResultCut) {
        Trace("WriteMacros: cut short by a stop");
        return kMacrosCut;
    }
    if (result != kResultOk) {
        Trace("WriteMacros: failed with " + std::to_string(result));
        return kMacrosNoDevice;
    }
    return kMacrosWritten;
}

int WriteMacros(CReportChannel& channel, bool wireless, const CMacroLibrary& library,
                const std::vector<int>& usedMacros, const ChunkProgress& progress,
                std::stop_token stop) {
    if (stop.stop_requested()) {
        return kMacrosCut;
    }
    // A closed device or a silent mouse behind the receiver is "no device", not "written": the
    // caller must then not write a key table that names macros the device does not hold.
    if (channel.IsOpen() == 0 || (wireless && !CmdQueryLink(channel))) {
        return kMacrosNoDevice;
    }
    if (usedMacros.empty()) {
        return kMacrosWritten;
    }
    std::optional<std::vector<std::vector<MacroEvent>>> macros =
        ReadUsedMacros(library, usedMacros);
    if (!macros) {
        return kMacrosWritten;
    }
    std::vector<std::size_t> counts;
    counts.reserve(macros->size());
    for (const auto& m : *macros) {
        counts.push_back(m.size());
    }
    const std::size_t total = MacroBlockSize(counts);
    // The size the device reports now: the block read at synchronisation may describe a mouse
    // that has since been replaced behind the same receiver, or updated.
    std::array<uint8_t, kInfoBlockSize> info{};
    if (int read = CmdReadInfo(channel, info); read != kResultOk) {
        Trace("WriteMacros: information block not read (" + std::to_string(read) + ")");
        return kMacrosNoDevice;
    }
    const std::size_t limit = MacroMemoryBytes(info);
    if (int over = MacroEventsOverLimit(total, limit); over > 0) {
        return over;
    }
    std::vector<uint8_t> block = BuildMacroBlock(*macros);
    if (block.empty()) {
        // Only reachable with a memory above 64 KiB, which byte 6 cannot describe.
        return MacroEventsOverLimit(total, 0xFFFF);
    }
    return WriteMacroBlock(channel, wireless, block, progress, std::move(stop));
}

}  // namespace q417
