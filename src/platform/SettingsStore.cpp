#include "platform/SettingsStore.h"

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "platform/LanguageList.h"

namespace q417 {
namespace {

std::mutex& RedirectMutex() {
    static std::mutex m;
    return m;
}

std::optional<std::string>& Redirect() {
    static std::optional<std::string> folder;
    return folder;
}

std::string ConfigBase() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return WithTrailingSlash(xdg);
    }
    const char* home = std::getenv("HOME");
    return WithTrailingSlash(home != nullptr && home[0] == '/' ? home : "/tmp") + ".config/";
}

bool ValidKey(std::string_view key) {
    if (key.empty()) {
        return false;
    }
    for (char c : key) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool IsSection(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.front() == '[';
}

// The value when line is "key=value" for this key.
std::optional<std::string_view> ValueOf(std::string_view line, std::string_view key) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != key) {
        return std::nullopt;
    }
    return Trim(line.substr(eq + 1));
}

}  // namespace

std::string SettingsStore::Folder() {
    {
        std::lock_guard lock(RedirectMutex());
        if (Redirect() && !Redirect()->empty()) {
            return WithTrailingSlash(*Redirect());
        }
    }
    const char* env = std::getenv("Q417_CONFIG_HOME");
    if (env != nullptr && *env != '\0') {
        return WithTrailingSlash(env);
    }
    return ConfigBase() + "Q417/";
}

std::string SettingsStore::FilePath() {
    return Folder() + kSettingsFileName;
}

void SettingsStore::SetFolderRedirect(std::optional<std::string> folder) {
    std::lock_guard lock(RedirectMutex());
    Redirect() = std::move(folder);
}

std::optional<std::string> SettingsStore::Read(std::string_view key) {
    FileReadResult read = ReadWholeFile(FilePath());
    if (read.status != ReadStatus::Ok || !ValidKey(key)) {
        return std::nullopt;
    }
    for (const std::string& line : SplitLines(read.data)) {
        if (IsSection(line)) {
            break;
        }
        if (auto value = ValueOf(line, key)) {
            return std::string(*value);
        }
    }
    return std::nullopt;
}

bool SettingsStore::Write(std::string_view key, std::string_view value, std::string* error) {
    if (!ValidKey(key) || value.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos) {
        if (error != nullptr) {
            *error = "settings: a key or value that does not fit on one line";
        }
        return false;
    }
    const std::string folder = Folder();
    if (!MakeFolders(folder, 0700)) {
        if (error != nullptr) {
            *error = "settings: cannot create " + folder;
        }
        return false;
    }
    const std::string path = folder + kSettingsFileName;
    FileReadResult read = ReadWholeFile(path);
    if (read.status != ReadStatus::Ok && read.status != ReadStatus::Missing) {
        // Rewriting a file we cannot read would lose the keys it holds.
        if (error != nullptr) {
            *error = "settings: cannot read " + path + ": " + read.error;
        }
        return false;
    }
    std::vector<std::string> lines = SplitLines(read.data);
    const std::string newLine = std::string(key) + "=" + std::string(value);
    bool replaced = false;
    std::size_t firstSection = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsSection(lines[i])) {
            firstSection = i;
            break;
        }
        if (ValueOf(lines[i], key)) {
            lines[i] = newLine;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(firstSection), newLine);
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return WriteFileAtomically(path, text, error);
}

std::optional<int> SettingsStore::Language() {
    std::optional<std::string> text = Read(kLanguageKey);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    int value = 0;
    const char* end = text->data() + text->size();
    auto [stop, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc() || stop != end || value < 0 || value > kMaxLanguageId) {
        return std::nullopt;
    }
    return value;
}

bool SettingsStore::SetLanguage(int id, std::string* error) {
    if (id < 0 || id > kMaxLanguageId) {
        if (error != nullptr) {
            *error = "settings: language id out of range";
        }
        return false;
    }
    return Write(kLanguageKey, std::to_string(id), error);
}

}  // namespace q417
