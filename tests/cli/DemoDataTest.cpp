// q417ctl --demo keeps its profiles apart from the user's: a demo run leaves the user's data
// folder as it was, unless Q417_DATA_HOME names the folder to work in.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "CliTestUtil.h"
#include "emulator/DemoBus.h"

namespace q417::cli {
namespace {

namespace fs = std::filesystem;

// Sets (or, with nullopt, removes) an environment variable while it lives.
class EnvSetting {
public:
    EnvSetting(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* v = std::getenv(name)) {
            saved_ = v;
        }
        Apply(value);
    }
    ~EnvSetting() { Apply(saved_); }
    EnvSetting(const EnvSetting&) = delete;
    EnvSetting& operator=(const EnvSetting&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    const char* name_;
    std::optional<std::string> saved_;
};

// Every file under root except those under root/skip, with its contents.
std::map<std::string, std::string> Files(const fs::path& root, const fs::path& skip) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        if (it->path() == skip) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            files[fs::relative(it->path(), root).string()] = text.str();
        }
    }
    return files;
}

TEST(DemoData, ADemoRunLeavesTheUsersFolderAsItWas) {
    ctltest::CtlOutcome help = ctltest::RunCtl({"--help"});
    EXPECT_NE(help.out.find("demo/ sub-folder"), std::string::npos) << help.out;

    ctltest::ScratchDataHome scratch{"q417-ctldemo"};  // templates, and restores the variables
    ASSERT_TRUE(scratch.Ok());
    EnvSetting home("Q417_DATA_HOME", std::nullopt);
    EnvSetting xdg("XDG_DATA_HOME", scratch.Path() + "xdg");
    const fs::path real = scratch.Path() + "xdg/Q417";

    // The user's own profiles, made without the demo.
    ASSERT_EQ(ctltest::RunCtl({"profile", "add"}).code, 0);
    ASSERT_EQ(ctltest::RunCtl({"profile", "rename", "Mine"}).code, 0);
    const auto before = Files(real, real / "demo");
    ASSERT_FALSE(before.empty());

    // The demo's script of the README: rename, a DPI change, a reset, a new profile.
    auto bus = emu::MakeDemoBus();
    for (std::vector<std::string> args : {
             std::vector<std::string>{"--demo", "profile", "rename", "Profile1"},
             std::vector<std::string>{"--demo", "dpi", "1", "2000"},
             std::vector<std::string>{"--demo", "profile", "reset"},
             std::vector<std::string>{"--demo", "profile", "add"},
             std::vector<std::string>{"--demo", "macro", "add", "Jump"},
         }) {
        ctltest::CtlOutcome o = ctltest::RunCtl(args, bus);
        EXPECT_EQ(o.code, 0) << args[1] << ": " << o.err;
    }
    EXPECT_EQ(Files(real, real / "demo"), before);
    EXPECT_TRUE(fs::exists(real / "demo/mouse/ProfileList.ini"));
    EXPECT_TRUE(fs::exists(real / "demo/mouse/macro.config"));

    // A run after the demo sees the user's folder again.
    ctltest::CtlOutcome listed = ctltest::RunCtl({"--json", "profile", "list"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(ctltest::JsonLines(listed.out).at(0)["folder"].asString(),
              (real / "mouse").string() + "/");

    // Told where to work, the demo works there.
    EnvSetting told("Q417_DATA_HOME", scratch.Path() + "told");
    listed = ctltest::RunCtl({"--demo", "--json", "profile", "list"}, bus);
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(ctltest::JsonLines(listed.out).at(0)["folder"].asString(),
              scratch.Path() + "told/mouse/");
}

}  // namespace
}  // namespace q417::cli
