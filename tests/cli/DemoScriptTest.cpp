// One q417ctl script on the demo bus, as a user would try the one-mouse model: a change made on
// the cable is there through the receiver and again on the cable, the mouse's own profile button
// sends later edits to that profile's slot, and a reset gives the template's DPI values.
#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <string>
#include <vector>

#include "CliTestUtil.h"
#include "emulator/DemoBus.h"

namespace q417::cli::ctltest {
namespace {

// The JSON documents a script printed whose "command" is `command`, in order.
std::vector<Json::Value> Docs(const std::vector<Json::Value>& all, const std::string& command) {
    std::vector<Json::Value> out;
    for (const Json::Value& d : all) {
        if (d.isObject() && d["command"].asString() == command) {
            out.push_back(d);
        }
    }
    return out;
}

// DPI of each present stage of the visible mouse entry in a status document.
std::vector<int> StageDpis(const Json::Value& status, std::string* connection = nullptr) {
    std::vector<int> dpis;
    for (const Json::Value& entry : status["entries"]) {
        if (!entry["visible"].asBool() || !entry.isMember("dpi")) {
            continue;
        }
        if (connection != nullptr) {
            *connection = entry["connection"].asString();
        }
        for (const Json::Value& st : entry["dpi"]["stages"]) {
            dpis.push_back(st["dpi"].asInt());
        }
        break;
    }
    return dpis;
}

TEST(DemoScript, OneMouseThroughCableAndReceiverItsOwnProfileAndAReset) {
    ScratchDataHome home("q417-demo-script");
    const std::string script = home.Path() + "demo.txt";
    {
        std::ofstream f(script);
        f << "dpi 2 1650\n"
             "demo unplug cable\n"
             "status\n"
             "demo plug cable\n"
             "status\n"
             "raw 0x05 24 0 0\n"
             "demo press profile\n"
             "dpi 1 900\n"
             "raw 0x05 24 0 0\n"
             "raw 0x05 1 0 0\n"
             "raw 0x05 8 110 0\n"
             "profile reset\n"
             "status\n";
    }
    auto bus = emu::MakeDemoBus();
    CtlOutcome o = RunCtl({"--demo", "--json", "script", script}, bus);
    ASSERT_EQ(o.code, 0) << o.out << o.err;
    std::vector<Json::Value> docs = JsonLines(o.out);
    std::vector<Json::Value> status = Docs(docs, "status");
    std::vector<Json::Value> raw = Docs(docs, "raw");
    ASSERT_EQ(status.size(), 3u) << o.out;
    ASSERT_EQ(raw.size(), 4u) << o.out;

    // The cable's change is the receiver's, and still there when the cable comes back.
    std::string via;
    std::vector<int> dpis = StageDpis(status[0], &via);
    ASSERT_GE(dpis.size(), 2u) << status[0];
    EXPECT_EQ(via, "receiver");
    EXPECT_EQ(dpis[1], 1650);
    dpis = StageDpis(status[1], &via);
    ASSERT_GE(dpis.size(), 2u);
    EXPECT_EQ(via, "cable");
    EXPECT_EQ(dpis[1], 1650);

    // After the profile button the edit goes to profile 1's slot (stage 0 at 96 + 14): slot 0
    // is unchanged apart from byte 0, which says profile 1.
    const Json::Value& slot0Before = raw[0]["reply"];
    const Json::Value& slot0After = raw[1]["reply"];
    for (int i = 9; i < 32; ++i) {
        EXPECT_EQ(slot0After[i], slot0Before[i]) << "slot 0 byte " << (i - 8);
    }
    EXPECT_EQ(raw[2]["reply"][8].asInt(), 1) << "the mouse left its profile";
    const Json::Value& slot1 = raw[3]["reply"];  // bytes 110..117 = slot 1, bytes 14..21
    EXPECT_EQ(slot1[8 + 2].asInt() | (slot1[8 + 3].asInt() << 8), (900 - 50) / 50);

    // A reset brings the template's DPI values.
    dpis = StageDpis(status[2]);
    ASSERT_GE(dpis.size(), 3u) << status[2];
    EXPECT_EQ(dpis[0], 400);
    EXPECT_EQ(dpis[1], 800);
    EXPECT_EQ(dpis[2], 1600);
}

TEST(DemoScript, PressNeedsAButtonTheMouseHas) {
    ScratchDataHome home("q417-demo-press");
    auto bus = emu::MakeDemoBus();
    CtlOutcome o = RunCtl({"--demo", "demo", "press", "wheel"}, bus);
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("dpi|profile"), std::string::npos) << o.err;
    o = RunCtl({"--demo", "demo", "press", "dpi"}, bus);
    EXPECT_EQ(o.code, 0) << o.err;
    // The text counts from 1: the mouse's stage index 2 of its profile slot 0.
    EXPECT_NE(o.out.find("stage 3 of profile 1"), std::string::npos) << o.out;
    EXPECT_EQ(bus->ActiveDpiStage(bus->FindPlugged(emu::kWiredMouseProductId)), 2);
}

}  // namespace
}  // namespace q417::cli::ctltest
