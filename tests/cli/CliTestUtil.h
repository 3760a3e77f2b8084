#pragma once
// Shared by the q417ctl tests: a scratch data home, one q417ctl run, its JSON lines.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliCommands.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::cli::ctltest {

struct CtlOutcome {
    int code = -1;
    std::string out;
    std::string err;
};

// One q417ctl process: on the given emulated bus, or as main would run it.
inline CtlOutcome RunCtl(const std::vector<std::string>& args,
                         const std::shared_ptr<emu::EmulatedHidBus>& bus = nullptr) {
    std::ostringstream out, err;
    CtlOutcome o;
    o.code = bus ? RunQ417ctlOnBus(args, out, err, bus) : RunQ417ctl(args, out, err);
    o.out = out.str();
    o.err = err.str();
    return o;
}

// The demo bus's wired mouse and receiver (kNoDevice for one that is not plugged).
inline void FindDemoDevices(emu::EmulatedHidBus& bus, emu::DeviceId& cable,
                            emu::DeviceId& receiver) {
    for (emu::DeviceId id : bus.Devices()) {
        if (bus.ProductOf(id) == emu::kWiredMouseProductId) {
            cable = id;
        } else {
            receiver = id;
        }
    }
}

// Every line of text as a JSON document (a line that does not parse fails the test).
inline std::vector<Json::Value> JsonLines(const std::string& text) {
    std::vector<Json::Value> docs;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Json::CharReaderBuilder b;
        Json::Value v;
        std::string errors;
        std::istringstream in(line);
        EXPECT_TRUE(Json::parseFromStream(b, in, &v, &errors)) << line;
        docs.push_back(v);
    }
    return docs;
}

// A temporary folder (Path(), ending in '/') whose "home" sub-folder is Q417_DATA_HOME, with the
// templates of data/ as the default data, while the object lives.
class ScratchDataHome {
public:
    explicit ScratchDataHome(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern + "/";
        }
        for (const char* name : {"Q417_DATA_HOME", "Q417_DEFAULT_DATA"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
        }
        ::setenv("Q417_DATA_HOME", (path_ + "home").c_str(), 1);
        // The parent of DefaultData: the folder finds its "DefaultData" sub-folder.
        ::setenv("Q417_DEFAULT_DATA", Q417_SOURCE_DATA_DIR, 1);
    }
    ~ScratchDataHome() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDataHome(const ScratchDataHome&) = delete;
    ScratchDataHome& operator=(const ScratchDataHome&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace q417::cli::ctltest
