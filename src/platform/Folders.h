#pragma once
// The application's folders. Every getter builds its path afresh, returns it with a trailing '/'
// and, where the folder holds the user's own files, creates it first.
//
//   program folder         the executable's folder                              not created
//   data folder            <exe dir>/../share/q417/ when installed; in a build tree, where
//                          that is absent, the folder named by the marker file
//                          "q417-source-data" beside the executable           not created
//   default data folder    data folder + "DefaultData/" (templates, Language.config ...)
//                          redirect: Q417_DEFAULT_DATA                          not created
//   resource root          data folder + "skin/"                                not created
//   user data folder       $XDG_DATA_HOME/Q417/ (default ~/.local/share/Q417/)
//                          redirect: Q417_DATA_HOME                             created
//   device folder          user data folder + device folder name + "/"           created
//   demo data folder       user data folder + "demo/" (the user data folder while a
//                          DemoDataScope lives), unless Q417_DATA_HOME is set      created
//   update download folder $XDG_CACHE_HOME/Q417/UpdateData/ (default ~/.cache/...), mode 0700
//                          redirect: Q417_CACHE_HOME                            created
//
// A redirect names the folder itself. Q417_DEFAULT_DATA may also name the folder that holds
// "DefaultData/" (a data folder); when such a sub-folder exists it is used.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q417 {

// The build tree's marker: one line naming the source data folder; never installed.
inline constexpr std::string_view kBuildTreeMarker = "q417-source-data";

std::string ProgramFolder();
// The data folders looked at, in order: the installed one, then the build tree's marker's.
std::vector<std::string> DataFolderCandidates();
// The first candidate that exists; the installed one when none does.
std::string DataFolder();
// Empty when the default data folder (and, with needSkin, the resource root) exists; otherwise
// one line naming the missing folder and every folder searched.
std::string MissingDataMessage(bool needSkin);
std::string DefaultDataFolder();
std::string ResourceRoot();
std::string UserDataFolder();

// Empty when deviceFolderName is not a bare file name ("mouse", "keyboard", "MousePad", "HD").
std::string DeviceFolder(std::string_view deviceFolderName);

// Created with mode 0700 (and tightened to 0700 when it already exists): downloaded installers
// must not be replaceable by another user.
std::string UpdateDownloadFolder();

// Programmatic redirects for tests; a set member wins over the environment. Reset with {}.
struct FolderRedirects {
    std::optional<std::string> userData;
    std::optional<std::string> defaultData;
    std::optional<std::string> cache;  // the folder that receives "UpdateData/"
};
void SetFolderRedirects(FolderRedirects redirects);

// While alive, the user data folder is the demo's own: "demo/" inside the user data folder, so
// that the emulated devices' profiles never mix with the user's. With Q417_DATA_HOME set the run
// was told where to work and the folder stays. The redirects are put back on destruction.
class DemoDataScope {
public:
    DemoDataScope();
    ~DemoDataScope();
    DemoDataScope(const DemoDataScope&) = delete;
    DemoDataScope& operator=(const DemoDataScope&) = delete;

private:
    std::optional<FolderRedirects> previous_;
};

// Appends '/' unless the path already ends in one (an empty path stays empty).
std::string WithTrailingSlash(std::string path);

// Creates every missing level of path (like mkdir -p). True when the folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0755);

}  // namespace q417
