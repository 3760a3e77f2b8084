#include "platform/LanguageList.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/Trace.h"

namespace q417 {
namespace {

std::optional<LanguageEntry> EntryOf(const Json::Value& item) {
    if (!item.isObject()) {
        return std::nullopt;
    }
    const Json::Value& name = item["Language_name"];
    const Json::Value& file = item["Language_file"];
    const Json::Value& id = item["Language_ID"];
    // isInt() also accepts a double holding a whole number; the range check keeps it sane.
    if (!name.isString() || !file.isString() || !id.isInt()) {
        return std::nullopt;
    }
    const int value = id.asInt();
    if (value < 0 || value > kMaxLanguageId || !IsBareFileName(file.asString())) {
        return std::nullopt;
    }
    return LanguageEntry{name.asString(), file.asString(), value};
}

}  // namespace

std::vector<LanguageEntry> ParseLanguageList(std::string_view json) {
    if (json.starts_with("\xEF\xBB\xBF")) {
        json.remove_prefix(3);
    }
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string errors;
    bool ok = false;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ok = reader->parse(json.data(), json.data() + json.size(), &root, &errors);
    } catch (const std::exception& e) {
        // jsoncpp throws when nesting exceeds its stack limit: just an unreadable list.
        errors = e.what();
    }
    if (!ok) {
        Trace("Language list: not a JSON document: " + errors);
        return {};
    }
    std::vector<LanguageEntry> entries;
    if (!root.isObject() || !root["Language"].isArray()) {
        return entries;
    }
    for (const Json::Value& item : root["Language"]) {
        if (auto entry = EntryOf(item)) {
            entries.push_back(std::move(*entry));
        } else {
            Trace("Language list: an entry with a bad name, file or id was skipped");
        }
    }
    return entries;
}

std::vector<LanguageEntry> ReadLanguageList(const std::string& path) {
    FileReadResult read = ReadWholeFile(path);
    if (read.status != ReadStatus::Ok) {
        return {};
    }
    return ParseLanguageList(read.data);
}

std::vector<LanguageEntry> ReadLanguageList() {
    return ReadLanguageList(DefaultDataFolder() + kLanguageListFile);
}

std::size_t SavedLanguageIndex(const std::vector<LanguageEntry>& entries,
                               std::optional<int> storedId) {
    if (!storedId) {
        return 0;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].id == *storedId) {
            return i;
        }
    }
    return 0;
}

}  // namespace q417
