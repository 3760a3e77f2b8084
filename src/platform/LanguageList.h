#pragma once
// The languages the application offers, listed in the default data folder's "Language.config":
//   { "Language": [ { "Language_name": "English", "Language_file": "lan_en.xml",
//                     "Language_ID": 1033 }, ... ] }
// An entry whose id is not an integer in 0..0xFFFF, whose name or file is not a string, or whose
// file is not a bare file name (it names a file of the skin folder, nothing else) is dropped, so
// the list only ever holds entries that are safe to use.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q417 {

inline constexpr const char* kLanguageListFile = "Language.config";
inline constexpr int kMaxLanguageId = 0xFFFF;

struct LanguageEntry {
    std::string name;
    std::string file;
    int id = 0;
};

// The entries of a Language.config document; empty when it does not parse or has no array.
std::vector<LanguageEntry> ParseLanguageList(std::string_view json);
// The entries of the file at path; empty when it is missing or unreadable.
std::vector<LanguageEntry> ReadLanguageList(const std::string& path);
// The entries of DefaultDataFolder() + "Language.config".
std::vector<LanguageEntry> ReadLanguageList();

// The index of the first entry whose id is storedId; 0 when there is no stored id or no match.
std::size_t SavedLanguageIndex(const std::vector<LanguageEntry>& entries,
                               std::optional<int> storedId);

}  // namespace q417
