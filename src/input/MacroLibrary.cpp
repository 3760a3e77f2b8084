#include "input/MacroLibrary.h"

#include <cstdio>
#include <utility>

#include "input/MacroRenumber.h"
#include "platform/FileIo.h"
#include "platform/Trace.h"
#include "profiles/CJsonFile.h"
#include "profiles/CProfileList.h"

namespace q417 {
namespace {

constexpr const char* kMacroInfo = "MacroInfo";
constexpr const char* kMacroName = "MacroName";
constexpr const char* kGuid = "Guid";

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsAsciiSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsAsciiSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Numbered(const char* format, int n) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, n);
    return buf;
}

// The library's "MacroInfo" array, made one when absent.
Json::Value& InfoArray(Json::Value& document) {
    Json::Value& info = document[kMacroInfo];
    if (!info.isArray()) {
        info = Json::Value(Json::arrayValue);
    }
    return info;
}

// A profile document to rewrite and the bytes to put back should a later write fail.
struct ProfileRewrite {
    std::string id;
    std::string path;
    std::string oldBytes;
    Json::Value document;
};

void PutBack(const std::vector<ProfileRewrite>& rewrites, std::size_t written) {
    for (std::size_t i = 0; i < written; ++i) {
        const ProfileRewrite& p = rewrites[i];
        std::string error;
        if (!WriteFileAtomically(p.path, p.oldBytes, &error)) {
            Trace("macro delete: cannot restore " + p.path + ": " + error);
        }
    }
}

}  // namespace

const char* MacroResultText(MacroResult result) {
    switch (result) {
        case MacroResult::Done:
            return "done";
        case MacroResult::NotInitialised:
            return "no device folder";
        case MacroResult::LibraryFull:
            return "the library already holds 50 macros";
        case MacroResult::NoSelection:
            return "no such macro";
        case MacroResult::NameBlank:
            return "the name is blank";
        case MacroResult::NameTaken:
            return "the name is already in use";
        case MacroResult::LibraryUnreadable:
            return "the macro library file cannot be read";
        case MacroResult::ProfilesUnreadable:
            return "the profile list cannot be read";
        case MacroResult::ImportFileUnreadable:
            return "the macro file cannot be read";
        case MacroResult::ImportFileInvalid:
            return "not a valid macro file";
        case MacroResult::EventFileUnreadable:
            return "the macro's event file cannot be read";
        case MacroResult::TooManyEvents:
            static_assert(kMaxMacroEvents == 4000);
            return "the macro has more than 4000 events, the most one macro can hold";
        case MacroResult::WriteFailed:
            return "a file could not be written";
    }
    return "?";
}

CMacroLibrary::CMacroLibrary(std::string deviceFolder, int deviceKind) {
    SetFolder(std::move(deviceFolder), deviceKind);
}

void CMacroLibrary::SetFolder(std::string deviceFolder, int deviceKind) {
    folder_ = std::move(deviceFolder);
    if (!folder_.empty() && folder_.back() != '/') {
        folder_.push_back('/');
    }
    libraryName_ = MacroLibraryFileName(deviceKind);
    entries_.clear();
    selected_ = -1;
}

std::string CMacroLibrary::LibraryPath() const {
    return folder_.empty() ? std::string() : folder_ + libraryName_;
}

std::string CMacroLibrary::EventFilePath(int index) const {
    if (folder_.empty() || index < 0 || index >= Count() || entries_[index].id.empty()) {
        return {};
    }
    return folder_ + entries_[index].id + kMacroFileExtension;
}

std::optional<std::vector<MacroLibraryEntry>> CMacroLibrary::ReadLibrary() const {
    if (folder_.empty()) {
        return std::nullopt;
    }
    return ReadMacroLibraryFile(LibraryPath());
}

MacroResult CMacroLibrary::LoadLibrary() {
    if (folder_.empty()) {
        return MacroResult::NotInitialised;
    }
    std::optional<std::vector<MacroLibraryEntry>> entries = ReadLibrary();
    Take(entries ? std::move(*entries) : std::vector<MacroLibraryEntry>{});
    return entries ? MacroResult::Done : MacroResult::LibraryUnreadable;
}

void CMacroLibrary::Take(std::vector<MacroLibraryEntry> entries) {
    entries_ = std::move(entries);
    if (selected_ < 0 || selected_ >= Count()) {
        selected_ = entries_.empty() ? -1 : 0;
    }
}

std::vector<std::string> CMacroLibrary::MacroNames() const {
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const MacroLibraryEntry& e : entries_) {
        names.push_back(e.name);
    }
    return names;
}

int CMacroLibrary::IndexOfName(std::string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        if (CProfileList::SameName(entries_[i].name, name)) {
            return i;
        }
    }
    return -1;
}

bool CMacroLibrary::Select(int index) {
    if (index < -1 || index >= Count()) {
        return false;
    }
    selected_ = index;
    return true;
}

bool CMacroLibrary::NameInUse(const std::vector<MacroLibraryEntry>& entries,
                              std::string_view name) const {
    for (const MacroLibraryEntry& e : entries) {
        if (CProfileList::SameName(e.name, name)) {
            return true;
        }
    }
    return false;
}

MacroResult CMacroLibrary::ReadForChange(Json::Value& document,
                                         std::vector<MacroLibraryEntry>& entries) const {
    if (folder_.empty()) {
        return MacroResult::NotInitialised;
    }
    // An unreadable library is never rewritten: that would lose every name in it.
    std::optional<std::vector<MacroLibraryEntry>> read =
        ReadMacroLibraryFile(LibraryPath(), nullptr, &document);
    if (!read) {
        return MacroResult::LibraryUnreadable;
    }
    entries = std::move(*read);
    return MacroResult::Done;
}

MacroResult CMacroLibrary::Append(Json::Value& document, std::vector<MacroLibraryEntry>& entries,
                                  std::string name, const std::string* eventBytes,
                                  std::string* stored) {
    std::string id = MakeMacroId(folder_, entries);
    std::string eventPath = folder_ + id + kMacroFileExtension;
    if (eventBytes != nullptr) {
        std::string error;
        if (!WriteFileAtomically(eventPath, *eventBytes, &error)) {
            Trace("macro import: cannot write " + eventPath + ": " + error);
            return MacroResult::WriteFailed;
        }
    }
    Json::Value item(Json::objectValue);
    item[kMacroName] = name;
    item[kGuid] = id;
    InfoArray(document).append(std::move(item));
    if (!CJsonFile::WriteDocument(LibraryPath(), document)) {
        if (eventBytes != nullptr) {
            std::remove(eventPath.c_str());
        }
        Take(std::move(entries));
        return MacroResult::WriteFailed;
    }
    if (stored != nullptr) {
        *stored = name;
    }
    entries.push_back({std::move(name), std::move(id)});
    selected_ = static_cast<int>(entries.size()) - 1;
    Take(std::move(entries));
    return MacroResult::Done;
}

MacroResult CMacroLibrary::ReadForAdding(Json::Value& document,
                                         std::vector<MacroLibraryEntry>& entries) {
    if (MacroResult r = ReadForChange(document, entries); r != MacroResult::Done) {
        return r;
    }
    if (entries.size() >= static_cast<std::size_t>(kMaxMacros)) {
        Take(std::move(entries));
        return MacroResult::LibraryFull;
    }
    return MacroResult::Done;
}

MacroResult CMacroLibrary::ReadForEntry(Json::Value& document,
                                        std::vector<MacroLibraryEntry>& entries, int index) {
    if (MacroResult r = ReadForChange(document, entries); r != MacroResult::Done) {
        return r;
    }
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        Take(std::move(entries));
        return MacroResult::NoSelection;
    }
    return MacroResult::Done;
}

MacroResult CMacroLibrary::AddMacro(std::string* name) {
    Json::Value document;
    std::vector<MacroLibraryEntry> entries;
    if (MacroResult r = ReadForAdding(document, entries); r != MacroResult::Done) {
        return r;
    }
    int n = 1;
    std::string candidate = Numbered("macro_%d", n);
    while (NameInUse(entries, candidate)) {
        candidate = Numbered("macro_%d", ++n);
    }
    return Append(document, entries, std::move(candidate), nullptr, name);
}

MacroResult CMacroLibrary::RenameMacro(int index, std::string_view newName, std::string* stored) {
    Json::Value document;
    std::vector<MacroLibraryEntry> entries;
    if (MacroResult r = ReadForEntry(document, entries, index); r != MacroResult::Done) {
        return r;
    }
    std::string_view trimmed = Trim(newName);
    if (CProfileList::IsBlank(trimmed)) {
        Take(std::move(entries));
        return MacroResult::NameBlank;
    }
    // The macro's own name counts too: renaming to the same name (any case) changes nothing.
    if (NameInUse(entries, trimmed)) {
        Take(std::move(entries));
        return MacroResult::NameTaken;
    }
    Json::Value& item = document[kMacroInfo][index];
    if (!item.isObject()) {
        item = Json::Value(Json::objectValue);
    }
    item[kMacroName] = std::string(trimmed);
    if (!CJsonFile::WriteDocument(LibraryPath(), document)) {
        Take(std::move(entries));
        return MacroResult::WriteFailed;
    }
    entries[index].name = std::string(trimmed);
    if (stored != nullptr) {
        *stored = entries[index].name;
    }
    Take(std::move(entries));
    return MacroResult::Done;
}

MacroResult CMacroLibrary::DeleteMacro(int index, CProfileList& profiles,
                                       MacroDeleteOutcome* outcome) {
    MacroDeleteOutcome local;
    MacroDeleteOutcome& out = outcome ? *outcome : local;
    out = MacroDeleteOutcome{};
    Json::Value document;
    std::vector<MacroLibraryEntry> entries;
    if (MacroResult r = ReadForEntry(document, entries, index); r != MacroResult::Done) {
        return r;
    }
    // Without the profile list the codes of other profiles cannot be renumbered, and deleting
    // anyway would make their later macros play their neighbours.
    if (profiles.Reload() != ProfileListResult::Done) {
        Take(std::move(entries));
        return MacroResult::ProfilesUnreadable;
    }

    std::vector<ProfileRewrite> rewrites;
    for (int p = 0; p < profiles.GetCount(); ++p) {
        ProfileRewrite rw;
        rw.id = profiles.Entries()[p].id;
        rw.path = profiles.ProfilePathAt(p);
        FileReadResult file = ReadWholeFile(rw.path, kMaxDocumentBytes);
        if (file.status == ReadStatus::Missing ||
            (file.status == ReadStatus::Ok && file.data.empty())) {
            continue;  // made from the template when first loaded: no codes of ours yet
        }
        std::optional<Json::Value> doc;
        if (file.status == ReadStatus::Ok) {
            doc = ParseJsonText(file.data);
        }
        if (!doc) {
            Trace("macro delete: profile document unreadable, left as it is: " + rw.path);
            out.skippedProfileIds.push_back(rw.id);
            continue;
        }
        if (RenumberMacroCodesInDocument(*doc, index)) {
            rw.oldBytes = std::move(file.data);
            rw.document = std::move(*doc);
            rewrites.push_back(std::move(rw));
        }
    }

    for (std::size_t i = 0; i < rewrites.size(); ++i) {
        if (!CJsonFile::WriteDocument(rewrites[i].path, rewrites[i].document)) {
            PutBack(rewrites, i);
            Take(std::move(entries));
            return MacroResult::WriteFailed;
        }
    }

    Json::Value removed;
    document[kMacroInfo].removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
    if (!CJsonFile::WriteDocument(LibraryPath(), document)) {
        PutBack(rewrites, rewrites.size());
        Take(std::move(entries));
        return MacroResult::WriteFailed;
    }

    // Two entries naming one file (a hand-edited library) must not lose the other's events.
    const std::string id = entries[index].id;
    entries.erase(entries.begin() + index);
    bool shared = false;
    for (const MacroLibraryEntry& e : entries) {
        shared |= !id.empty() && e.id == id;
    }
    if (!id.empty() && !shared) {
        std::string eventPath = folder_ + id + kMacroFileExtension;
        if (std::remove(eventPath.c_str()) != 0 && FileExists(eventPath)) {
            Trace("macro delete: cannot remove " + eventPath);
        }
    }

    for (const ProfileRewrite& rw : rewrites) {
        out.changedProfileIds.push_back(rw.id);
        out.currentProfileChanged |= rw.id == profiles.GetCurrentId();
    }
    selected_ = entries.empty() ? -1 : 0;
    Take(std::move(entries));
    return MacroResult::Done;
}

MacroResult CMacroLibrary::ImportMacro(const std::string& path, std::string* name,
                                       MacroFileCheck* check) {
    if (path.empty()) {
        return MacroResult::ImportFileUnreadable;
    }
    Json::Value document;
    std::vector<MacroLibraryEntry> entries;
    if (MacroResult r = ReadForAdding(document, entries); r != MacroResult::Done) {
        return r;
    }
    // One byte past the cap tells "too large" from "exactly at the cap".
    FileReadResult file = ReadWholeFile(path, kMaxMacroFileBytes + 1);
    if (file.status == ReadStatus::TooLarge) {
        if (check != nullptr) {
            *check = MacroFileCheck::TooLarge;
        }
        Take(std::move(entries));
        return MacroResult::ImportFileInvalid;
    }
    if (file.status != ReadStatus::Ok) {
        Take(std::move(entries));
        return MacroResult::ImportFileUnreadable;
    }
    MacroFileCheck verdict = CheckMacroFile(file.data);
    if (check != nullptr) {
        *check = verdict;
    }
    if (verdict != MacroFileCheck::Ok) {
        Trace("macro import refused (" + std::string(MacroFileCheckText(verdict)) + "): " + path);
        Take(std::move(entries));
        return MacroResult::ImportFileInvalid;
    }

    std::string candidate = CJsonFile::FileTitle(path);
    if (CProfileList::IsBlank(candidate)) {
        candidate = "macro";
    }
    // Suffixes accumulate: Jump, Jump_1, Jump_1_2, ...
    for (int attempt = 1; NameInUse(entries, candidate); ++attempt) {
        candidate += Numbered("_%d", attempt);
    }
    return Append(document, entries, std::move(candidate), &file.data, name);
}

MacroResult CMacroLibrary::ExportMacro(int index, const std::string& path) const {
    if (folder_.empty()) {
        return MacroResult::NotInitialised;
    }
    if (index < 0 || index >= Count()) {
        return MacroResult::NoSelection;
    }
    const std::string source = EventFilePath(index);
    FileReadResult file = source.empty() ? FileReadResult{ReadStatus::Missing, {}, {}}
                                         : ReadWholeFile(source, kMaxDocumentBytes);
    std::string bytes;
    if (file.status == ReadStatus::Ok && !file.data.empty()) {
        bytes = std::move(file.data);
    } else if (file.status == ReadStatus::Missing || file.status == ReadStatus::Ok) {
        // Never saved yet: the export is a macro with no events.
        MacroEventFile empty;
        empty.name = entries_[index].name;
        empty.guid = entries_[index].id;
        bytes = MacroEventFileToJson(empty).toStyledString() + "\n";
    } else {
        return MacroResult::EventFileUnreadable;
    }
    std::string error;
    if (!WriteFileAtomically(path, bytes, &error)) {
        Trace("macro export: cannot write " + path + ": " + error);
        return MacroResult::WriteFailed;
    }
    return MacroResult::Done;
}

MacroResult CMacroLibrary::SaveMacro(int index, std::span<MacroEventRow> rows) {
    std::vector<MacroEvent> events;
    events.reserve(rows.size());
    for (MacroEventRow& row : rows) {
        if (row.delayEmpty) {
            row.event.delay = 0;
            row.delayEmpty = false;
        }
        events.push_back(row.event);
    }
    return SaveMacro(index, std::span<const MacroEvent>(events));
}

MacroResult CMacroLibrary::SaveMacro(int index, std::span<const MacroEvent> events) {
    Json::Value document;
    std::vector<MacroLibraryEntry> entries;
    if (MacroResult r = ReadForEntry(document, entries, index); r != MacroResult::Done) {
        return r;
    }
    if (events.size() > kMaxMacroEvents) {
        Take(std::move(entries));
        return MacroResult::TooManyEvents;
    }
    // A stored file above the limit was never loaded whole, so whatever is saved here would
    // stand for a cut copy of it.
    if (!entries[index].id.empty()) {
        std::optional<MacroEventFile> stored =
            ReadMacroEventFile(folder_ + entries[index].id + kMacroFileExtension);
        if (stored && stored->events.size() > kMaxMacroEvents) {
            Take(std::move(entries));
            return MacroResult::TooManyEvents;
        }
    }
    MacroEventFile file;
    file.name = entries[index].name;
    file.guid = entries[index].id;
    file.events.assign(events.begin(), events.end());
    const bool needsId = file.guid.empty();
    if (needsId) {
        // The entry had no identifier that could name a file here: give it a fresh one.
        file.guid = MakeMacroId(folder_, entries);
    }
    if (!WriteMacroEventFile(folder_ + file.guid + kMacroFileExtension, file)) {
        Take(std::move(entries));
        return MacroResult::WriteFailed;
    }
    if (needsId) {
        Json::Value& item = document[kMacroInfo][index];
        if (!item.isObject()) {
            item = Json::Value(Json::objectValue);
            item[kMacroName] = file.name;
        }
        item[kGuid] = file.guid;
        if (!CJsonFile::WriteDocument(LibraryPath(), document)) {
            std::remove((folder_ + file.guid + kMacroFileExtension).c_str());
            Take(std::move(entries));
            return MacroResult::WriteFailed;
        }
        entries[index].id = file.guid;
    }
    Take(std::move(entries));
    return MacroResult::Done;
}

MacroResult CMacroLibrary::LoadEvents(int index, MacroEventFile& file) const {
    if (folder_.empty()) {
        return MacroResult::NotInitialised;
    }
    if (index < 0 || index >= Count()) {
        return MacroResult::NoSelection;
    }
    const std::string path = EventFilePath(index);
    if (path.empty()) {
        file = MacroEventFile{};
        return MacroResult::Done;
    }
    std::optional<MacroEventFile> read = ReadMacroEventFile(path);
    if (!read) {
        return MacroResult::EventFileUnreadable;
    }
    file = std::move(*read);
    return file.events.size() > kMaxMacroEvents ? MacroResult::TooManyEvents : MacroResult::Done;
}

}  // namespace q417
