#include "input/MacroFiles.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "platform/FileIo.h"
#include "platform/Trace.h"
#include "profiles/CJsonFile.h"

namespace q417 {
namespace {

constexpr const char* kMacroInfo = "MacroInfo";
constexpr const char* kMacroName = "MacroName";
constexpr const char* kGuid = "Guid";
constexpr const char* kEvents = "Events";
constexpr const char* kVersion = "Version";

std::string StringMember(const Json::Value& object, const char* key) {
    const Json::Value& v = object[key];
    return v.isString() ? v.asString() : std::string();
}

}  // namespace

std::string MacroLibraryFileName(int deviceKind) {
    return deviceKind == 3 || deviceKind == 7 ? kNameOnlyMacroLibraryFileName
                                              : kMacroLibraryFileName;
}

std::optional<Json::Value> ParseJsonText(std::string_view text) {
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = false;
    Json::Value root;
    std::string errors;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
            return std::nullopt;
        }
    } catch (const std::exception&) {
        // jsoncpp throws when nesting exceeds its stack limit: just text that does not parse.
        return std::nullopt;
    }
    return root;
}

std::optional<MacroEventFile> MacroEventFileFromJson(const Json::Value& root) {
    if (!root.isObject()) {
        return std::nullopt;
    }
    MacroEventFile file;
    file.name = StringMember(root, kMacroName);
    file.guid = StringMember(root, kGuid);
    const Json::Value& version = root[kVersion];
    file.version = version.isInt() ? version.asInt() : 0;
    const Json::Value& events = root[kEvents];
    if (events.isArray()) {
        file.events.reserve(events.size());
        for (const Json::Value& item : events) {
            if (std::optional<MacroEvent> e = MacroEventFromJson(item)) {
                file.events.push_back(*e);
            }
        }
    }
    return file;
}

std::optional<MacroEventFile> ParseMacroEventFile(std::string_view bytes) {
    std::optional<Json::Value> root = ParseJsonText(bytes);
    if (!root) {
        return std::nullopt;
    }
    return MacroEventFileFromJson(*root);
}

std::optional<MacroEventFile> ReadMacroEventFile(const std::string& path, EventFileState* state) {
    EventFileState local = EventFileState::Ok;
    EventFileState& s = state ? *state : local;
    FileReadResult r = ReadWholeFile(path, kMaxDocumentBytes);
    if (r.status == ReadStatus::Missing || (r.status == ReadStatus::Ok && r.data.empty())) {
        s = EventFileState::Missing;
        return MacroEventFile{};
    }
    if (r.status != ReadStatus::Ok) {
        s = EventFileState::Unreadable;
        Trace("macro event file unreadable: " + path + " " + r.error);
        return std::nullopt;
    }
    std::optional<MacroEventFile> file = ParseMacroEventFile(r.data);
    s = file ? EventFileState::Ok : EventFileState::Unreadable;
    if (!file) {
        Trace("macro event file does not parse: " + path);
    }
    return file;
}

Json::Value MacroEventFileToJson(const MacroEventFile& file) {
    Json::Value root(Json::objectValue);
    root[kMacroName] = file.name;
    root[kGuid] = file.guid;
    Json::Value& events = root[kEvents] = Json::Value(Json::arrayValue);
    for (const MacroEvent& e : file.events) {
        events.append(MacroEventToJson(e, DelayForm::String));
    }
    root[kVersion] = kMacroFileVersion;
    return root;
}

bool WriteMacroEventFile(const std::string& path, const MacroEventFile& file) {
    return CJsonFile::WriteDocument(path, MacroEventFileToJson(file));
}

MacroFileCheck CheckMacroFile(std::string_view bytes) {
    if (bytes.size() > kMaxMacroFileBytes) {
        return MacroFileCheck::TooLarge;
    }
    std::optional<Json::Value> root = ParseJsonText(bytes);
    if (!root) {
        return MacroFileCheck::NotJson;
    }
    if (!root->isObject()) {
        return MacroFileCheck::NotObject;
    }
    const Json::Value& events = (*root)[kEvents];
    if (!events.isArray()) {
        return MacroFileCheck::NoEventArray;
    }
    if (events.size() > kMaxMacroEvents) {
        return MacroFileCheck::TooManyEvents;
    }
    for (const Json::Value& e : events) {
        if (!e.isObject()) {
            return MacroFileCheck::BadEvent;
        }
    }
    return MacroFileCheck::Ok;
}

const char* MacroFileCheckText(MacroFileCheck check) {
    switch (check) {
        case MacroFileCheck::Ok:
            return "ok";
        case MacroFileCheck::TooLarge:
            return "file too large";
        case MacroFileCheck::NotJson:
            return "not a JSON document";
        case MacroFileCheck::NotObject:
            return "not a JSON object";
        case MacroFileCheck::NoEventArray:
            return "no \"Events\" array";
        case MacroFileCheck::TooManyEvents:
            static_assert(kMaxMacroEvents == 4000);
            return "more than 4000 events, the most one macro can hold";
        case MacroFileCheck::BadEvent:
            return "an event is not an object";
    }
    return "?";
}

std::optional<std::vector<MacroLibraryEntry>> MacroLibraryFromJson(const Json::Value& root) {
    if (!root.isObject()) {
        return std::nullopt;
    }
    const Json::Value& info = root[kMacroInfo];
    if (!info.isNull() && !info.isArray()) {
        return std::nullopt;
    }
    std::vector<MacroLibraryEntry> entries;
    entries.reserve(info.size());
    for (const Json::Value& item : info) {
        MacroLibraryEntry entry;
        if (item.isObject()) {
            entry.name = StringMember(item, kMacroName);
            entry.id = StringMember(item, kGuid);
            if (!entry.id.empty() && !IsBareFileName(entry.id)) {
                Trace("macro library: ignoring identifier that is not a bare name: " + entry.id);
                entry.id.clear();
            }
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<std::vector<MacroLibraryEntry>> ReadMacroLibraryFile(const std::string& path,
                                                                   LibraryFileState* state,
                                                                   Json::Value* document) {
    LibraryFileState local = LibraryFileState::Ok;
    LibraryFileState& s = state ? *state : local;
    CJsonFile::DocumentState ds = CJsonFile::DocumentState::Missing;
    Json::Value root = CJsonFile::ReadDocument(path, ds);
    if (ds == CJsonFile::DocumentState::Missing) {
        s = LibraryFileState::Missing;
        if (document) {
            *document = Json::Value(Json::objectValue);
        }
        return std::vector<MacroLibraryEntry>{};
    }
    std::optional<std::vector<MacroLibraryEntry>> entries;
    if (ds == CJsonFile::DocumentState::Ok) {
        entries = MacroLibraryFromJson(root);
    }
    if (!entries) {
        s = LibraryFileState::Unreadable;
        Trace("macro library unreadable: " + path);
        return std::nullopt;
    }
    s = LibraryFileState::Ok;
    if (document) {
        *document = std::move(root);
    }
    return entries;
}

std::vector<std::string> ReadMacroNames(const std::string& libraryPath) {
    std::vector<std::string> names;
    if (auto entries = ReadMacroLibraryFile(libraryPath)) {
        names.reserve(entries->size());
        for (MacroLibraryEntry& e : *entries) {
            names.push_back(std::move(e.name));
        }
    }
    return names;
}

std::string MakeMacroId(const std::string& folder, const std::vector<MacroLibraryEntry>& taken) {
    auto used = [&](const std::string& id) {
        return FileExists(folder + id + kMacroFileExtension) ||
               std::any_of(taken.begin(), taken.end(),
                           [&](const MacroLibraryEntry& e) { return e.id == id; });
    };
    // Successive stamps of this process differ, so the loop moves on a millisecond each turn.
    std::string id = CJsonFile::MakeTimeStampId();
    for (int i = 0; i < 100000 && used(id); ++i) {
        id = CJsonFile::MakeTimeStampId();
    }
    return id;
}

}  // namespace q417
