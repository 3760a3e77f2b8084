// The global options stand anywhere on the line; a command's own options, their values and the
// words after "--" reach the command untouched.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AppInfo.h"
#include "CliTestUtil.h"

namespace q417::cli::ctltest {
namespace {

using Args = std::vector<std::string>;

// The interfaces `list` finds on a fresh demo bus, as JSON; empty when the run failed or did not
// print JSON.
Json::Value ListJson(const Args& args) {
    CtlOutcome o = RunCtl(args);
    EXPECT_EQ(o.code, 0) << o.err;
    std::vector<Json::Value> docs = JsonLines(o.out);
    return docs.size() == 1 ? docs[0] : Json::Value();
}

TEST(GlobalOptions, AreTakenBeforeBetweenAndAfterTheCommand) {
    ScratchDataHome home("q417-global");
    const Json::Value front = ListJson({"--demo", "--json", "list"});
    ASSERT_TRUE(front.isObject());
    EXPECT_EQ(ListJson({"list", "--json", "--demo"}), front);
    EXPECT_EQ(ListJson({"--json", "list", "--demo"}), front);
    EXPECT_EQ(ListJson({"--demo", "list", "--json"}), front);

    // A command with options of its own: the globals among them, in any order.
    for (const Args& args : {Args{"profile", "list", "--kind", "keyboard", "--json"},
                             Args{"profile", "--json", "list", "--kind", "keyboard"},
                             Args{"profile", "list", "--kind=keyboard", "--json", "--demo"}}) {
        CtlOutcome o = RunCtl(args);
        ASSERT_EQ(o.code, 0) << o.err;
        std::vector<Json::Value> docs = JsonLines(o.out);
        ASSERT_EQ(docs.size(), 1u) << o.out;
        EXPECT_EQ(docs[0]["kind"].asString(), "keyboard") << args.back();
    }
    // --help and --version win wherever they stand, with a command or without.
    EXPECT_EQ(RunCtl({"list", "--version"}).out, "q417ctl " + std::string(kProgramVersion) + "\n");
    EXPECT_EQ(RunCtl({"--version"}).code, 0);
    CtlOutcome help = RunCtl({"profile", "list", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: q417ctl"), std::string::npos);
}

TEST(GlobalOptions, ValuesAndWordsAfterTheEndMarkReachTheCommand) {
    ScratchDataHome home("q417-global-end");
    // A profile named like a global option, through "--" after or before the command.
    CtlOutcome renamed = RunCtl({"profile", "rename", "--", "--json"});
    ASSERT_EQ(renamed.code, 0) << renamed.err;
    EXPECT_NE(renamed.out.find("renamed 1 '--json'"), std::string::npos) << renamed.out;
    renamed = RunCtl({"--", "profile", "rename", "--demo"});
    ASSERT_EQ(renamed.code, 0) << renamed.err;
    EXPECT_NE(renamed.out.find("'--demo'"), std::string::npos) << renamed.out;

    // The word after an option that takes a value is that value, never a global option.
    CtlOutcome kind = RunCtl({"profile", "list", "--kind", "--json"});
    EXPECT_EQ(kind.code, 2);
    EXPECT_NE(kind.err.find("unknown kind '--json'"), std::string::npos) << kind.err;
    CtlOutcome index = RunCtl({"profile", "rename", "--index", "--demo", "x"});
    EXPECT_EQ(index.code, 1);
    EXPECT_NE(index.err.find("no profile --demo"), std::string::npos) << index.err;

    // A command without options gets the words after "--" as plain arguments.
    CtlOutcome list = RunCtl({"--demo", "list", "--", "--json"});
    EXPECT_EQ(list.code, 2);
    EXPECT_NE(list.err.find("list takes no arguments"), std::string::npos) << list.err;
}

TEST(GlobalOptions, UnknownOptionsAndMissingCommandsAreUsageErrors) {
    ScratchDataHome home("q417-global-bad");
    CtlOutcome unknown = RunCtl({"--bogus", "list"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown option --bogus"), std::string::npos) << unknown.err;
    // After the command an unknown option is the command's to refuse.
    CtlOutcome own = RunCtl({"profile", "list", "--bogus"});
    EXPECT_EQ(own.code, 2);
    EXPECT_NE(own.err.find("unknown option --bogus for profile"), std::string::npos) << own.err;
    EXPECT_EQ(RunCtl({"--demo", "--json"}).code, 2);
    EXPECT_EQ(RunCtl({"--json", "--", "nosuch"}).code, 2);
}

TEST(GlobalOptions, MissingDataIsNamedAndExitsOneBeforeAnyCommandRuns) {
    ScratchDataHome home("q417-global-nodata");
    // ScratchDataHome puts the variable back when it ends.
    const std::string nowhere = home.Path() + "no data";
    ::setenv("Q417_DEFAULT_DATA", nowhere.c_str(), 1);
    CtlOutcome o = RunCtl({"profile", "list", "--json"});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.out.find(nowhere + "/"), std::string::npos) << o.out;
    EXPECT_FALSE(std::filesystem::exists(home.Path() + "home/mouse"));
    // Help and version need no data.
    EXPECT_EQ(RunCtl({"--version"}).code, 0);
}

}  // namespace
}  // namespace q417::cli::ctltest
