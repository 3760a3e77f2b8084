// q417ctl profile end to end, in a scratch Q417_DATA_HOME with the templates of data/.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestUtil.h"
#include "cli/CliCommands.h"

namespace q417::cli {
namespace {

namespace fs = std::filesystem;

using CtlRun = ctltest::CtlOutcome;

Json::Value ParseLine(const std::string& line) {
    Json::CharReaderBuilder b;
    Json::Value v;
    std::string errors;
    std::istringstream in(line);
    if (!Json::parseFromStream(b, in, &v, &errors)) {
        return Json::Value();
    }
    return v;
}

Json::Value ParseFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return ParseLine(s.str());
}

class ProfileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.Ok());
        tmp = home.Path();
    }
    CtlRun Ctl(std::vector<std::string> args) { return ctltest::RunCtl(args); }
    // Runs with --json and returns the one document printed.
    Json::Value CtlJson(std::vector<std::string> args, int expectedCode = 0) {
        args.insert(args.begin(), "--json");
        CtlRun r = Ctl(args);
        EXPECT_EQ(r.code, expectedCode) << r.err;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
        return ParseLine(r.out);
    }

    ctltest::ScratchDataHome home{"q417-ctl"};
    std::string tmp;
};

TEST_F(ProfileCommandsTest, EveryOperationEndToEnd) {
    Json::Value list = CtlJson({"profile", "list"});
    ASSERT_EQ(list["profiles"].size(), 1u);
    EXPECT_EQ(list["kind"].asString(), "mouse");
    EXPECT_EQ(list["folder"].asString(), tmp + "home/mouse/");
    EXPECT_EQ(list["profiles"][0]["name"].asString(), "Profile1");
    std::string first = list["profiles"][0]["id"].asString();
    // The first document is the mouse template plus its identity.
    Json::Value doc = ParseFile(tmp + "home/mouse/" + first + ".Json");
    Json::Value tpl = ParseFile(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/mouse.Json");
    ASSERT_TRUE(tpl.isObject());
    EXPECT_EQ(doc["Device"], tpl["Device"]);

    Json::Value added = CtlJson({"profile", "add"});
    EXPECT_EQ(added["profile"]["name"].asString(), "Profile2");
    EXPECT_EQ(added["profile"]["index"], Json::Value(1));
    EXPECT_EQ(added["selected"], Json::Value(0));

    // Typed positions count from 1; the JSON keeps the list's indexes.
    Json::Value copied = CtlJson({"profile", "copy", "--index", "2"});
    EXPECT_EQ(copied["profile"]["name"].asString(), "Profile2 copy");

    Json::Value renamed = CtlJson({"profile", "rename", "Game", "--index=3"});
    EXPECT_EQ(renamed["profile"]["name"].asString(), "Game");

    Json::Value selected = CtlJson({"profile", "select", "3"});
    EXPECT_EQ(selected["selected"], Json::Value(2));
    EXPECT_EQ(selected["profile"]["name"].asString(), "Game");

    std::string exported = tmp + "Shared Game.json";
    Json::Value ex = CtlJson({"profile", "export", exported});
    EXPECT_EQ(ex["profile"]["name"].asString(), "Game");
    EXPECT_EQ(ParseFile(exported)["profilename"].asString(), "Game");

    Json::Value imported = CtlJson({"profile", "import", exported});
    EXPECT_EQ(imported["profile"]["name"].asString(), "Shared Game");
    EXPECT_EQ(imported["count"], Json::Value(4));

    Json::Value reset = CtlJson({"profile", "reset"});
    EXPECT_EQ(reset["profile"]["name"].asString(), "Game");

    Json::Value deleted = CtlJson({"profile", "delete"});
    EXPECT_EQ(deleted["deleted"]["name"].asString(), "Game");
    EXPECT_EQ(deleted["selected"], Json::Value(1));
    EXPECT_EQ(deleted["count"], Json::Value(3));

    // Plain text marks the selection.
    CtlRun text = Ctl({"profile", "list"});
    EXPECT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("  1  Profile1"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("* 2  Profile2"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  3  Shared Game"), std::string::npos) << text.out;
    CtlRun chosen = Ctl({"profile", "select", "1"});
    EXPECT_NE(chosen.out.find("selected 1 'Profile1'"), std::string::npos) << chosen.out;
}

TEST_F(ProfileCommandsTest, KindsUseTheirOwnFolderAndTemplate) {
    Json::Value list = CtlJson({"profile", "list", "--kind", "keyboard"});
    EXPECT_EQ(list["folder"].asString(), tmp + "home/keyboard/");
    Json::Value doc =
        ParseFile(tmp + "home/keyboard/" + list["profiles"][0]["id"].asString() + ".Json");
    Json::Value tpl = ParseFile(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/keyboard.Json");
    EXPECT_EQ(doc["Device"], tpl["Device"]);
    EXPECT_EQ(CtlJson({"profile", "list", "--kind", "HD"})["folder"].asString(), tmp + "home/HD/");
    EXPECT_FALSE(fs::exists(tmp + "home/mouse"));
}

TEST_F(ProfileCommandsTest, ErrorsAreOneLineWithNonZeroCodes) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{"profile"}, 2, "needs a sub-command"},
        {{"profile", "frobnicate"}, 2, "unknown profile sub-command"},
        {{"profile", "list", "--kind", "toaster"}, 2, "unknown kind"},
        {{"profile", "rename"}, 2, "exactly one argument"},
        {{"profile", "add", "extra"}, 2, "takes no argument"},
        {{"profile", "add", "--index", "0"}, 2, "--index does not apply"},
        {{"profile", "list", "--bogus"}, 2, "unknown option"},
        {{"profile", "select", "5"}, 1, "no profile 5 (the list has 1-1)"},
        {{"profile", "select", "0"}, 1, "no profile 0"},
        {{"profile", "select", "-1"}, 1, "no profile -1"},
        {{"profile", "delete", "--index", "x"}, 1, "no profile x"},
        {{"profile", "copy", "--index", "0"}, 1, "no profile 0"},
        {{"profile", "delete"}, 1, "last profile"},
        {{"profile", "rename", "   "}, 1, "blank"},
        {{"profile", "import", "/nonexistent/file.json"}, 1, "no such file"},
    };
    for (const Case& c : cases) {
        CtlRun r = Ctl(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.back();
        EXPECT_NE(r.err.find(c.text), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    CtlJson({"profile", "add"});
    Json::Value e = CtlJson({"profile", "rename", "PROFILE2"}, 1);
    EXPECT_EQ(e["ok"], Json::Value(false));
    EXPECT_NE(e["error"].asString().find("another profile has this name"), std::string::npos);

    std::string bad = tmp + "bad.json";
    std::ofstream(bad) << "{\"profilename\": 1}";
    CtlRun r = Ctl({"profile", "import", bad});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("not a profile file"), std::string::npos) << r.err;
}

TEST_F(ProfileCommandsTest, UnreadableListIsKeptAsideWithAWarning) {
    CtlJson({"profile", "list"});
    std::string listFile = tmp + "home/mouse/ProfileList.ini";
    std::ofstream(listFile, std::ios::trunc) << "{ not json";
    CtlRun r = Ctl({"profile", "list"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("kept as"), std::string::npos) << r.err;
    bool aside = false;
    for (const auto& e : fs::directory_iterator(tmp + "home/mouse")) {
        aside = aside || e.path().filename().string().starts_with("ProfileList.ini.unreadable-");
    }
    EXPECT_TRUE(aside);
}

}  // namespace
}  // namespace q417::cli
