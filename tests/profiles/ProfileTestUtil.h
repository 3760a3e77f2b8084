#pragma once
// Temporary folders and small file helpers for the profile tests.
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace q417::test {

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "q417-prof-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        m_path = made != nullptr ? std::string(made) + "/" : std::string("/nonexistent/");
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in '/'.
    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << text;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline Json::Value Parse(const std::string& text) {
    Json::CharReaderBuilder b;
    Json::Value v;
    std::string errors;
    std::istringstream in(text);
    Json::parseFromStream(b, in, &v, &errors);
    return v;
}

inline std::string TemplatePath(const std::string& name) {
    return std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/" + name;
}

}  // namespace q417::test
