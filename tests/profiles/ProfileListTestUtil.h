#pragma once
// Helpers of the profile list tests: a scratch device folder with a small template, file access,
// and a read-only switch for provoking write failures (works for root too).
#include <fcntl.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "profiles/CProfileList.h"

#include "profiles/ProfileTestUtil.h"

namespace q417::listtest {

class ScratchFolder {
public:
    // base: the folder to make it in; the system's temporary folder when empty.
    explicit ScratchFolder(const std::string& base = {}) {
        std::filesystem::path parent =
            base.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(base);
        std::string pattern = (parent / "q417-list-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        path_ = made != nullptr ? std::string(made) + "/" : std::string("/nonexistent/");
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

using test::ReadText;
using test::WriteText;

inline Json::Value ParseFile(const std::string& path) {
    Json::CharReaderBuilder b;
    Json::Value v;
    std::string errors;
    std::istringstream in(ReadText(path));
    if (!Json::parseFromStream(b, in, &v, &errors)) {
        return Json::Value();
    }
    return v;
}

inline void WriteJson(const std::string& path, const Json::Value& v) {
    WriteText(path, v.toStyledString());
}

// Names of the files in a folder that end in ".Json".
inline std::vector<std::string> JsonFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        std::string n = e.path().filename().string();
        if (n.size() > 5 && n.ends_with(".Json")) {
            names.push_back(n);
        }
    }
    return names;
}

// A template with a "Device" element and an extra member, so copies of it can be recognised.
inline Json::Value SmallTemplate() {
    Json::Value t(Json::objectValue);
    Json::Value element(Json::objectValue);
    element["LightInfo"]["LEDBrightness"] = 3;
    element["KeyList"] = Json::Value(Json::arrayValue);
    element["KeyList"].append(Json::Value(Json::objectValue));
    element["KeyList"][0]["Assignment"] = 1;
    element["CustomEQNameInfo"] = "template names";
    t["Device"].append(element);
    t["TemplateMark"] = "from template";
    return t;
}

// A device folder "dev/" with "tpl.Json" beside it, and a list bound to both.
struct ListFixtureFolders {
    ScratchFolder root;
    std::string device = root.path() + "dev/";
    std::string templatePath = root.path() + "tpl.Json";
    explicit ListFixtureFolders(const std::string& base = {}) : root(base) {
        std::filesystem::create_directories(device);
        WriteJson(templatePath, SmallTemplate());
    }
    void Bind(CProfileList& list, int kind = 2) const {
        list.SetKind(kind);
        list.SetFolders(device, templatePath);
    }
};

// Makes a folder immutable while alive, so that nothing can be created or replaced in it (even by
// root). ok() is false when the file system does not support the flag.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &old_) == 0) {
            int flags = old_ | FS_IMMUTABLE_FL;
            ok_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~ImmutableFolder() {
        if (ok_) {
            ::ioctl(fd_, FS_IOC_SETFLAGS, &old_);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    bool ok() const { return ok_; }

private:
    int fd_ = -1;
    int old_ = 0;
    bool ok_ = false;
};

}  // namespace q417::listtest
