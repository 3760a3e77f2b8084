#pragma once
// The user's settings file: $XDG_CONFIG_HOME/Q417/settings.ini (default ~/.config/Q417/), or
// the folder named by Q417_CONFIG_HOME. Lines of "KEY=value"; a key is set in place, and every
// other line (other keys, comments, sections) is kept as it was. Writes are atomic.
//
//   LANGUAGE   the chosen language's id of Language.config (0..0xFFFF)
#include <optional>
#include <string>
#include <string_view>

namespace q417 {

inline constexpr const char* kSettingsFileName = "settings.ini";
inline constexpr const char* kLanguageKey = "LANGUAGE";

class SettingsStore {
public:
    // The folder holding settings.ini, with a trailing '/'; not created here.
    static std::string Folder();
    static std::string FilePath();
    // Tests point the store at a scratch folder; std::nullopt restores the normal rule. A set
    // redirect wins over Q417_CONFIG_HOME.
    static void SetFolderRedirect(std::optional<std::string> folder);

    // The value of a key of the top level (before any [section]); nullopt when absent.
    static std::optional<std::string> Read(std::string_view key);
    // Sets a top-level key, creating the folder and the file when needed. False (with a reason)
    // when the key or value cannot be stored as one line, or the write fails; the old file is
    // then untouched.
    static bool Write(std::string_view key, std::string_view value, std::string* error = nullptr);

    // LANGUAGE as an integer in 0..0xFFFF; anything else counts as absent.
    static std::optional<int> Language();
    static bool SetLanguage(int id, std::string* error = nullptr);
};

}  // namespace q417
