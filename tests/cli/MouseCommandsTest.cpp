// q417ctl's mouse commands on the demo bus: status, edits reaching the emulated mouse's memory,
// profile switch and device reset, demo plugging, watch and scripts.
#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliTestUtil.h"
#include "cli/CliCommands.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using Outcome = ctltest::CtlOutcome;

using ctltest::JsonLines;

class MouseCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.Ok());
        tmp = home.Path();
        ctltest::FindDemoDevices(*bus, cable, receiver);
        ASSERT_NE(cable, emu::kNoDevice);
        ASSERT_NE(receiver, emu::kNoDevice);
    }

    // One q417ctl process on the test's demo bus.
    Outcome Ctl(std::vector<std::string> args) { return ctltest::RunCtl(args, bus); }
    Outcome Script(const std::string& text, bool json) {
        const std::string path = tmp + "script.txt";
        std::ofstream(path) << text;
        std::vector<std::string> args{"--demo"};
        if (json) {
            args.push_back("--json");
        }
        args.push_back("script");
        args.push_back(path);
        return Ctl(args);
    }
    // The 80-byte record of profile 0 in the mouse's memory.
    std::vector<uint8_t> Record(emu::DeviceId id) { return bus->ReadMouseMemory(id, 0, 80); }
    static int StageStored(const std::vector<uint8_t>& record, int s) {
        return record[14 + 9 * s + 2] | (record[14 + 9 * s + 3] << 8);
    }
    static const Json::Value& Mouse(const Json::Value& status) { return status["entries"][0]; }

    std::shared_ptr<emu::EmulatedHidBus> bus = emu::MakeDemoBus();
    emu::DeviceId cable = emu::kNoDevice;
    emu::DeviceId receiver = emu::kNoDevice;
    ctltest::ScratchDataHome home{"q417-ctlmouse"};
    std::string tmp;
};

TEST_F(MouseCommandsTest, StatusShowsTheWiredMouseAsItsMemoryHoldsIt) {
    Outcome o = Ctl({"--demo", "--json", "status"});
    ASSERT_EQ(o.code, 0) << o.err;
    auto docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 1u);
    const Json::Value& m = Mouse(docs[0]);
    EXPECT_TRUE(m["visible"].asBool());
    EXPECT_TRUE(m["selected"].asBool());
    EXPECT_EQ(m["connection"].asString(), "cable");
    EXPECT_TRUE(m["link"].isNull());
    const std::vector<uint8_t> record = Record(cable);
    ASSERT_EQ(m["dpi"]["stages"].size(), 6u);
    for (Json::ArrayIndex s = 0; s < 6; ++s) {
        EXPECT_EQ(m["dpi"]["stages"][s]["stored"].asInt(),
                  StageStored(record, static_cast<int>(s)));
    }
    EXPECT_EQ(m["dpi"]["active"].asInt(), record[12]);
    EXPECT_EQ(m["liftOff"].asInt(), record[78] <= 1 ? record[78] : 0);
    // The text form names the same things.
    Outcome text = Ctl({"--demo", "status"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("entry 0: mouse, shown, selected"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("connection:  cable"), std::string::npos);
    // The text counts stages and profiles from 1, as the window does; JSON keeps the indexes.
    const Json::ArrayIndex active = m["dpi"]["active"].asUInt();
    const std::string activeText = "*" + std::to_string(active + 1) + ":" +
                                   std::to_string(m["dpi"]["stages"][active]["dpi"].asInt());
    EXPECT_NE(text.out.find(activeText), std::string::npos) << activeText << '\n' << text.out;
    EXPECT_NE(
        text.out.find("profile:     " + std::to_string(m["profile"]["index"].asInt() + 1) + " '"),
        std::string::npos)
        << text.out;
}

TEST_F(MouseCommandsTest, EditsReachTheMouseAndTheNextProcessReadsThemBack) {
    // Stage 2 as typed is index 1 in the JSON and in the mouse's record.
    Outcome dpi = Ctl({"--demo", "dpi", "2", "1620"});
    ASSERT_EQ(dpi.code, 0) << dpi.err;
    Outcome polling = Ctl({"--demo", "polling", "2"});
    ASSERT_EQ(polling.code, 0) << polling.err;
    Outcome lod = Ctl({"--demo", "lod", "1"});
    ASSERT_EQ(lod.code, 0) << lod.err;
    Outcome cal = Ctl({"--demo", "calibration", "1"});
    ASSERT_EQ(cal.code, 0) << cal.err;

    Outcome status = Ctl({"--demo", "--json", "status"});
    ASSERT_EQ(status.code, 0) << status.err;
    const Json::Value m = Mouse(JsonLines(status.out).at(0));
    EXPECT_EQ(m["dpi"]["stages"][1]["dpi"].asInt(), 1650);  // rounded up to a multiple of 50
    EXPECT_EQ(m["polling"].asInt(), 2);
    EXPECT_EQ(m["liftOff"].asInt(), 1);
    EXPECT_EQ(m["calibration"].asInt(), 1);
    const std::vector<uint8_t> record = Record(cable);
    EXPECT_EQ(StageStored(record, 1), m["dpi"]["stages"][1]["stored"].asInt());
    EXPECT_NE(StageStored(record, 1), 0);
    EXPECT_EQ(record[11], 2);
    EXPECT_EQ(record[78], 1);
    EXPECT_EQ(record[77], 1);
}

TEST_F(MouseCommandsTest, StageRulesAreKeptAndReportedAsFailures) {
    Outcome status = Ctl({"--demo", "--json", "status"});
    ASSERT_EQ(status.code, 0);
    const int active = Mouse(JsonLines(status.out).at(0))["dpi"]["active"].asInt();
    const std::vector<uint8_t> before = Record(cable);

    // The stage in use cannot be switched off; nothing is written. Typed stages count from 1.
    Outcome off = Ctl({"--demo", "dpi-enable", std::to_string(active + 1), "off"});
    EXPECT_EQ(off.code, 1);
    EXPECT_NE(off.err.find("in use"), std::string::npos) << off.err;
    EXPECT_EQ(Record(cable), before);

    // Another stage switched off cannot be made active; switched on again it can.
    const int other = active == 0 ? 1 : 0;
    ASSERT_EQ(Ctl({"--demo", "dpi-enable", std::to_string(other + 1), "off"}).code, 0);
    EXPECT_EQ(Record(cable)[14 + 9 * other], 0);
    Outcome refused = Ctl({"--demo", "dpi-active", std::to_string(other + 1)});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("stage " + std::to_string(other + 1) + " is switched off"),
              std::string::npos)
        << refused.err;
    ASSERT_EQ(Ctl({"--demo", "dpi-enable", std::to_string(other + 1), "on"}).code, 0);
    Outcome accepted = Ctl({"--demo", "--json", "dpi-active", std::to_string(other + 1)});
    ASSERT_EQ(accepted.code, 0) << accepted.err;
    EXPECT_EQ(JsonLines(accepted.out).at(0)["dpi"]["active"].asInt(), other);
    EXPECT_EQ(Record(cable)[12], other);

    // Codes 4 and 5 belong to the receiver 0x7103 only.
    EXPECT_EQ(Ctl({"--demo", "polling", "4"}).code, 1);
}

TEST_F(MouseCommandsTest, BadArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"status", "x"},
        {"dpi"},
        {"dpi", "7", "800"},
        {"dpi", "0", "800"},
        {"dpi", "1", "40"},
        {"dpi", "1", "1e3"},
        {"dpi", "-1", "800"},
        {"dpi-active", "0"},
        {"dpi-enable", "7", "on"},
        {"dpi-active"},
        {"dpi-enable", "1", "maybe"},
        {"polling", "6"},
        {"lod", "2"},
        {"calibration"},
        {"watch", "soon"},
        {"demo", "plug", "toaster"},
        {"demo", "notify", "0x1G"},
        {"demo", "notify", "70000"},
        {"demo"},
        {"profile", "switch"},
        {"profile", "switch", "1", "--index", "1"},
        {"script"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> full{"--demo"};
        full.insert(full.end(), args.begin(), args.end());
        Outcome o = Ctl(full);
        EXPECT_EQ(o.code, 2) << full[1] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(o.err.empty());
    }
    // The demo commands need the emulated bus.
    std::ostringstream out, err;
    EXPECT_EQ(RunQ417ctl(std::vector<std::string>{"demo", "plug", "cable"}, out, err), 2);
}

TEST_F(MouseCommandsTest, ScriptGoesOnAfterAFailingLineAndExitsOne) {
    Outcome o = Script(
        "# set up the mouse\n"
        "\n"
        "dpi 9 100\n"
        "lod 1   # lift-off\n"
        "nonsense\n"
        "calibration 1\n",
        false);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find(":3: failed with exit code 2"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(":5: failed"), std::string::npos) << o.err;
    const std::vector<uint8_t> record = Record(cable);
    EXPECT_EQ(record[78], 1);
    EXPECT_EQ(record[77], 1);

    Outcome clean = Script("lod 0\n", false);
    EXPECT_EQ(clean.code, 0) << clean.err;
    EXPECT_EQ(Record(cable)[78], 0);
    EXPECT_EQ(Script("", false).code, 0);
    EXPECT_EQ(Ctl({"--demo", "script", tmp + "missing.txt"}).code, 1);
}

TEST_F(MouseCommandsTest, JsonScriptPrintsOneLinePerCommandInOrder) {
    Outcome o = Script(
        "status\n"
        "sleep 20\n"
        "dpi 2 1620\n"
        "dpi-active 7\n"
        "status\n"
        "profile switch \"PROFILE1\"\n",
        true);
    EXPECT_EQ(o.code, 1) << o.err;
    auto docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 6u) << o.out;
    EXPECT_EQ(docs[0]["command"].asString(), "status");
    EXPECT_EQ(docs[1]["command"].asString(), "sleep");
    EXPECT_EQ(docs[2]["command"].asString(), "dpi");
    EXPECT_TRUE(docs[2]["ok"].asBool());
    EXPECT_FALSE(docs[3]["ok"].asBool());
    EXPECT_EQ(docs[4]["command"].asString(), "status");
    EXPECT_EQ(Mouse(docs[4])["dpi"]["stages"][1]["dpi"].asInt(), 1650);
    EXPECT_EQ(docs[5]["command"].asString(), "profile switch");
    EXPECT_TRUE(docs[5]["ok"].asBool()) << docs[5].toStyledString();
    EXPECT_EQ(docs[5]["name"].asString(), "Profile1");
}

TEST_F(MouseCommandsTest, UnpluggingTheCableMovesTheMouseToTheReceiverAndBack) {
    Outcome o = Script(
        "demo unplug cable\n"
        "status\n"
        "dpi 3 3000\n"
        "status\n"
        "demo plug cable\n"
        "status\n",
        true);
    ASSERT_EQ(o.code, 0) << o.err << o.out;
    auto docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 6u);
    const Json::Value& onReceiver = Mouse(docs[1]);
    EXPECT_TRUE(onReceiver["visible"].asBool());
    EXPECT_EQ(onReceiver["connection"].asString(), "receiver");
    EXPECT_EQ(onReceiver["link"].asString(), "up");
    EXPECT_EQ(onReceiver["productId"].asString(), "0x7102");
    // The edit went through the receiver to the mouse behind it.
    const Json::Value& edited = Mouse(docs[3]);
    EXPECT_EQ(edited["dpi"]["stages"][2]["dpi"].asInt(), 3000);
    EXPECT_EQ(StageStored(Record(receiver), 2), edited["dpi"]["stages"][2]["stored"].asInt());
    // A cable plugged in again takes over (a new emulated mouse, read afresh).
    EXPECT_EQ(Mouse(docs[5])["connection"].asString(), "cable");
    EXPECT_TRUE(Mouse(docs[5])["visible"].asBool());
    EXPECT_TRUE(Mouse(docs[5])["link"].isNull());

    EXPECT_EQ(Ctl({"--demo", "demo", "plug", "cable"}).code, 1);  // already in
}

TEST_F(MouseCommandsTest, NoDeviceIsExitThree) {
    bus->Unplug(cable);
    bus->Unplug(receiver);
    Outcome o = Ctl({"--demo", "--json", "status"});
    EXPECT_EQ(o.code, 3);
    EXPECT_FALSE(JsonLines(o.out).at(0)["ok"].asBool());
    EXPECT_EQ(Ctl({"--demo", "dpi", "1", "800"}).code, 3);
    EXPECT_EQ(Ctl({"--demo", "profile", "switch", "1"}).code, 3);
}

TEST_F(MouseCommandsTest, ProfileSwitchByNameAndDeviceReset) {
    ASSERT_EQ(Ctl({"--demo", "profile", "add"}).code, 0);
    ASSERT_EQ(Ctl({"--demo", "profile", "rename", "--index", "2", "Fast Aim"}).code, 0);
    Outcome o = Script(
        "profile switch 'fast AIM'\n"
        "dpi 1 2000\n"
        "profile switch 1\n"
        "status\n"
        "profile switch 2\n"
        "status\n"
        "profile switch nosuch\n",
        true);
    EXPECT_EQ(o.code, 1);
    auto docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 7u) << o.out;
    EXPECT_TRUE(docs[0]["ok"].asBool()) << docs[0].toStyledString();
    EXPECT_EQ(docs[0]["index"].asInt(), 1);
    EXPECT_EQ(Mouse(docs[3])["profile"]["index"].asInt(), 0);
    EXPECT_NE(Mouse(docs[3])["dpi"]["stages"][0]["dpi"].asInt(), 2000);
    // Switching back writes the second profile's stage 0 again.
    EXPECT_EQ(Mouse(docs[5])["profile"]["name"].asString(), "Fast Aim");
    EXPECT_EQ(Mouse(docs[5])["dpi"]["stages"][0]["dpi"].asInt(), 2000);
    EXPECT_FALSE(docs[6]["ok"].asBool());

    // The device reset puts the template's stages back into the mouse.
    Outcome reset = Ctl({"--demo", "--json", "profile", "reset"});
    ASSERT_EQ(reset.code, 0) << reset.err;
    EXPECT_TRUE(JsonLines(reset.out).at(0)["device"].asBool());
    // The template's 400 and 800 DPI in the demo sensor's encoding: (dpi - 50) / 50.
    EXPECT_EQ(StageStored(Record(cable), 0), 7);
    EXPECT_EQ(StageStored(Record(cable), 1), 15);
    Outcome status = Ctl({"--demo", "--json", "status"});
    ASSERT_EQ(status.code, 0) << status.err;
    const Json::Value stages = Mouse(JsonLines(status.out).at(0))["dpi"]["stages"];
    EXPECT_EQ(stages[0]["dpi"].asInt(), 400);
    EXPECT_EQ(stages[5]["dpi"].asInt(), 12800);
}

TEST_F(MouseCommandsTest, ResetWithAnUnusableTemplateFailsAndKeepsTheProfile) {
    // A copy of the defaults whose mouse template gets spoilt (the scratch home restores the
    // variable afterwards).
    fs::create_directories(tmp + "defaults");
    fs::copy(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData", tmp + "defaults/DefaultData",
             fs::copy_options::recursive);
    ::setenv("Q417_DEFAULT_DATA", (tmp + "defaults").c_str(), 1);
    ASSERT_EQ(Ctl({"--demo", "dpi", "1", "2000"}).code, 0);
    Outcome listed = Ctl({"--demo", "--json", "profile", "list"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    const std::string id = JsonLines(listed.out).at(0)["profiles"][0]["id"].asString();
    const std::string profile = tmp + "home/mouse/" + id + ".Json";
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = read(profile);
    const std::string templ = tmp + "defaults/DefaultData/mouse.Json";
    std::ofstream(templ, std::ios::trunc) << "{broken";

    Outcome reset = Ctl({"--demo", "profile", "reset"});
    EXPECT_EQ(reset.code, 1);
    EXPECT_NE(reset.err.find("profile template cannot be read"), std::string::npos) << reset.err;
    EXPECT_EQ(read(profile), before);
    EXPECT_EQ(read(templ), "{broken");
    Outcome status = Ctl({"--demo", "--json", "status"});
    EXPECT_EQ(Mouse(JsonLines(status.out).at(0))["dpi"]["stages"][0]["dpi"].asInt(), 2000);

    // Without a mouse only the file would be reset: refused the same way.
    ASSERT_TRUE(bus->Unplug(cable));
    ASSERT_TRUE(bus->Unplug(receiver));
    std::ofstream(templ, std::ios::trunc) << R"({"Device": []})";
    Outcome fileOnly = Ctl({"--demo", "profile", "reset"});
    EXPECT_EQ(fileOnly.code, 1);
    EXPECT_NE(fileOnly.err.find("profile template"), std::string::npos) << fileOnly.err;
    EXPECT_EQ(read(profile), before);
    for (const auto& e : fs::directory_iterator(tmp + "defaults/DefaultData")) {
        EXPECT_EQ(e.path().filename().string().find("unreadable"), std::string::npos) << e.path();
    }
}

TEST_F(MouseCommandsTest, WatchPrintsTheStartAndStopsOnSigint) {
    Outcome timed = Ctl({"--demo", "--json", "watch", "600"});
    ASSERT_EQ(timed.code, 0) << timed.err;
    bool arrived = false;
    bool synchronised = false;
    for (const Json::Value& e : JsonLines(timed.out)) {
        arrived = arrived || e["event"].asString() == "arrived";
        synchronised = synchronised || e["event"].asString() == "synchronised";
    }
    EXPECT_TRUE(arrived) << timed.out;
    EXPECT_TRUE(synchronised) << timed.out;

    // Without a duration it runs until SIGINT, then exits 0 and restores the old handler.
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    std::jthread interrupter([&] {
        for (int i = 0; i < 500; ++i) {
            struct sigaction now {};
            sigaction(SIGINT, nullptr, &now);
            if (now.sa_handler != before.sa_handler) {
                ::kill(::getpid(), SIGINT);
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
    });
    Outcome interrupted = Ctl({"--demo", "watch"});
    interrupter.join();
    EXPECT_EQ(interrupted.code, 0);
    struct sigaction after {};
    sigaction(SIGINT, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace q417::cli
