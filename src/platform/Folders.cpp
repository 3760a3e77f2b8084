#include "platform/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "platform/FileIo.h"
#include "platform/Trace.h"

namespace q417 {
namespace {

std::mutex& RedirectMutex() {
    static std::mutex m;
    return m;
}

FolderRedirects& Redirects() {
    static FolderRedirects r;
    return r;
}

std::optional<std::string> Redirect(std::optional<std::string> FolderRedirects::*member,
                                    const char* envName) {
    {
        std::lock_guard lock(RedirectMutex());
        const std::optional<std::string>& set = Redirects().*member;
        if (set && !set->empty()) {
            return set;
        }
    }
    const char* env = std::getenv(envName);
    if (env != nullptr && *env != '\0') {
        return std::string(env);
    }
    return std::nullopt;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are ignored, as
// the XDG rules say), else HOME + fallback.
std::string XdgBase(const char* var, const char* homeRelative) {
    const char* value = std::getenv(var);
    if (value != nullptr && value[0] == '/') {
        return WithTrailingSlash(value);
    }
    return WithTrailingSlash(HomeFolder()) + homeRelative;
}

std::string EnsureFolder(const std::string& path, unsigned mode = 0755) {
    if (!MakeFolders(path, mode)) {
        Trace("Folders: cannot create " + path + ": " + std::strerror(errno));
    }
    return path;
}

std::string ExecutableFolder() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return {};
    }
    buf.resize(static_cast<std::size_t>(n));
    std::size_t slash = buf.find_last_of('/');
    return slash == std::string::npos ? std::string() : buf.substr(0, slash + 1);
}

}  // namespace

std::string WithTrailingSlash(std::string path) {
    if (!path.empty() && path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty()) {
        return false;
    }
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string level = path.substr(0, pos);
        if (level.empty() || IsDirectory(level)) {
            continue;
        }
        if (::mkdir(level.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return IsDirectory(path);
}

void SetFolderRedirects(FolderRedirects redirects) {
    std::lock_guard lock(RedirectMutex());
    Redirects() = std::move(redirects);
}

DemoDataScope::DemoDataScope() {
    const char* told = std::getenv("Q417_DATA_HOME");
    if (told != nullptr && *told != '\0') {
        return;
    }
    const std::string demo = UserDataFolder() + "demo/";
    std::lock_guard lock(RedirectMutex());
    previous_ = Redirects();
    Redirects().userData = demo;
}

DemoDataScope::~DemoDataScope() {
    if (previous_) {
        SetFolderRedirects(std::move(*previous_));
    }
}

std::string ProgramFolder() {
    std::string folder = ExecutableFolder();
    return folder.empty() ? std::string("./") : folder;
}

namespace {

std::vector<std::string> FindDataFolderCandidates() {
    std::vector<std::string> candidates;
    const std::string exe = ExecutableFolder();
    if (exe.empty()) {
        return candidates;
    }
    // <exe dir>/../share/q417/: spelled without ".." where the executable's folder has a parent,
    // so that messages name a plain path.
    const std::string withoutSlash = exe.substr(0, exe.size() - 1);
    const std::size_t slash = withoutSlash.find_last_of('/');
    candidates.push_back((slash == std::string::npos ? exe + "../" : exe.substr(0, slash + 1)) +
                         "share/q417/");
    std::ifstream marker(exe + std::string(kBuildTreeMarker));
    std::string source;
    if (marker && std::getline(marker, source) && !source.empty()) {
        candidates.push_back(WithTrailingSlash(source));
    }
    return candidates;
}

}  // namespace

std::vector<std::string> DataFolderCandidates() {
    // The executable's place and its marker do not change while the program runs; every data
    // and skin lookup asks, so the marker is read once.
    static const std::vector<std::string> candidates = FindDataFolderCandidates();
    return candidates;
}

std::string DataFolder() {
    const std::vector<std::string> candidates = DataFolderCandidates();
    for (const std::string& folder : candidates) {
        if (IsDirectory(folder)) {
            return folder;
        }
    }
    // None there: the installed place, so that what fails names where the data belongs.
    return candidates.empty() ? std::string() : candidates.front();
}

std::string MissingDataMessage(bool needSkin) {
    std::vector<std::string> wanted{DefaultDataFolder()};
    if (needSkin) {
        wanted.push_back(ResourceRoot());
    }
    for (const std::string& folder : wanted) {
        if (IsDirectory(folder)) {
            continue;
        }
        std::string searched;
        for (const std::string& candidate : DataFolderCandidates()) {
            searched += (searched.empty() ? "" : ", ") + candidate;
        }
        if (auto redirect = Redirect(&FolderRedirects::defaultData, "Q417_DEFAULT_DATA");
            redirect && folder == DefaultDataFolder()) {
            searched = WithTrailingSlash(*redirect) + " (Q417_DEFAULT_DATA)";
        }
        return "the program's data is missing: no folder " + folder + " (searched " +
               (searched.empty() ? std::string("nothing: the executable's folder is unknown")
                                 : searched) +
               ")";
    }
    return {};
}

std::string DefaultDataFolder() {
    if (auto redirect = Redirect(&FolderRedirects::defaultData, "Q417_DEFAULT_DATA")) {
        std::string folder = WithTrailingSlash(*redirect);
        if (IsDirectory(folder + "DefaultData")) {
            return folder + "DefaultData/";
        }
        return folder;
    }
    return DataFolder() + "DefaultData/";
}

std::string ResourceRoot() {
    return DataFolder() + "skin/";
}

std::string UserDataFolder() {
    if (auto redirect = Redirect(&FolderRedirects::userData, "Q417_DATA_HOME")) {
        return EnsureFolder(WithTrailingSlash(*redirect));
    }
    return EnsureFolder(XdgBase("XDG_DATA_HOME", ".local/share/") + "Q417/");
}

std::string DeviceFolder(std::string_view deviceFolderName) {
    if (!IsBareFileName(deviceFolderName)) {
        return {};
    }
    return EnsureFolder(UserDataFolder() + std::string(deviceFolderName) + "/");
}

std::string UpdateDownloadFolder() {
    std::string base;
    if (auto redirect = Redirect(&FolderRedirects::cache, "Q417_CACHE_HOME")) {
        base = WithTrailingSlash(*redirect);
    } else {
        base = XdgBase("XDG_CACHE_HOME", ".cache/") + "Q417/";
    }
    std::string folder = base + "UpdateData/";
    EnsureFolder(base);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        Trace("Folders: cannot create " + folder + ": " + std::strerror(errno));
        return folder;
    }
    // An existing folder may have been made with looser rights (or by someone else): tighten it,
    // and say so when that is impossible.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        Trace("Folders: " + folder + " is not a folder of this user");
    } else if ((st.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
        Trace("Folders: cannot restrict " + folder + ": " + std::strerror(errno));
    }
    return folder;
}

}  // namespace q417
