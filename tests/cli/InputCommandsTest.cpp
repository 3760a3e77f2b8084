// q417ctl keys, assign, apply, macro and recoil on the demo bus: what reaches the emulated mouse's
// key table, macro memory and recoil memory, the macro library's round trip, refusals, usage
// errors and scripts.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestUtil.h"
#include "cli/CliCommands.h"
#include "cli/InputCommands.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"
#include "input/KeyTableDecode.h"
#include "input/MacroBlockDecode.h"
#include "input/RecoilBlockDecode.h"

namespace q417::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = ctltest::CtlOutcome;

using ctltest::JsonLines;

// A ".mac" document with `count` key events (usage `key`, alternating down and up).
std::string MacroFile(int count, int key) {
    Json::Value doc(Json::objectValue);
    doc["MacroName"] = "x";
    doc["Version"] = 64;
    Json::Value events(Json::arrayValue);
    for (int i = 0; i < count; ++i) {
        Json::Value e(Json::objectValue);
        e["Action"] = i % 2 == 0 ? "down" : "up";
        e["Type"] = 10;
        e["Button"] = key;
        e["Delay"] = std::to_string(10 + i % 50);
        events.append(e);
    }
    doc["Events"] = events;
    return Json::writeString(Json::StreamWriterBuilder(), doc);
}

class InputCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.Ok());
        tmp = home.Path();
        ctltest::FindDemoDevices(*bus, cable, receiver);
        ASSERT_NE(cable, emu::kNoDevice);
        // The tests look into the wired mouse's memory: with the receiver in as well, the device
        // manager may choose either way to the mouse.
        if (receiver != emu::kNoDevice) {
            ASSERT_TRUE(bus->Unplug(receiver));
            receiver = emu::kNoDevice;
        }
    }

    Outcome Ctl(std::vector<std::string> args) { return ctltest::RunCtl(args, bus); }
    // One --json command; its single document.
    Json::Value Json1(std::vector<std::string> args, int expectedCode = 0) {
        args.insert(args.begin(), {"--demo", "--json"});
        Outcome o = Ctl(args);
        EXPECT_EQ(o.code, expectedCode) << o.err;
        std::vector<Json::Value> docs = JsonLines(o.out);
        EXPECT_EQ(docs.size(), 1u) << o.out;
        return docs.empty() ? Json::Value() : docs[0];
    }
    std::string WriteFile(const std::string& name, const std::string& text) {
        std::ofstream(tmp + name, std::ios::binary) << text;
        return tmp + name;
    }
    // The device position whose record holds code in the mouse's key table.
    std::optional<std::size_t> PositionOf(const KeyAssignment& code) {
        std::vector<KeyAssignment> codes = test::DecodeKeyTable(bus->KeyTable(cable), 170);
        for (std::size_t p = 0; p < codes.size(); ++p) {
            if (codes[p].SameCode(code)) {
                return p;
            }
        }
        return std::nullopt;
    }
    KeyAssignment TableAt(std::size_t position) {
        return test::DecodeKeyTable(bus->KeyTable(cable), position + 1).at(position);
    }

    std::shared_ptr<emu::EmulatedHidBus> bus = emu::MakeDemoBus();
    emu::DeviceId cable = emu::kNoDevice;
    emu::DeviceId receiver = emu::kNoDevice;
    ctltest::ScratchDataHome home{"q417-ctlkeys"};
    std::string tmp;
};

TEST_F(InputCommandsTest, AssignIsStoredAndOnlyApplyWritesTheKeyTable) {
    // Key 4 (forward) carries its factory code at some device position.
    std::optional<std::size_t> forward = PositionOf(test::Code(0x10, 0x10, 0x00));
    ASSERT_TRUE(forward);
    const std::vector<uint8_t> before = bus->KeyTable(cable);

    Json::Value a = Json1({"assign", "4", "media", "0xcd"});
    EXPECT_TRUE(a["ok"].asBool());
    EXPECT_EQ(a["current"]["type"].asString(), "0x30");
    EXPECT_EQ(a["text"].asString(), "Play/Pause");
    EXPECT_EQ(bus->KeyTable(cable), before) << "assign alone must not write the mouse";

    // A new process sees the stored code: it lives in the profile.
    Json::Value keys = Json1({"keys"});
    ASSERT_EQ(keys["buttons"].size(), 11u);
    const Json::Value& b4 = keys["buttons"][4];
    EXPECT_EQ(b4["current"]["p1"].asString(), "0xcd");
    EXPECT_EQ(b4["default"]["type"].asString(), "0x10");
    EXPECT_TRUE(b4["changed"].asBool());
    EXPECT_EQ(keys["buttons"][0]["title"].asString(), "Left button");

    Json::Value apply = Json1({"apply"});
    EXPECT_TRUE(apply["ok"].asBool());
    EXPECT_EQ(apply["keyTableResult"].asInt(), 1);
    EXPECT_EQ(EncodeAssignment(TableAt(*forward)), 0x30CD00);

    EXPECT_EQ(apply["unplacedButtons"].size(), 0u);

    // A later session finds button 4 no more (the table no longer holds its factory code): apply
    // says so instead of claiming the default went out.
    Json1({"assign", "4", "default"});
    Json::Value again = Json1({"apply"});
    ASSERT_EQ(again["unplacedButtons"].size(), 1u);
    EXPECT_EQ(again["unplacedButtons"][0].asInt(), 4);

    // Within one session a button can be changed and applied again.
    std::optional<std::size_t> back = PositionOf(test::Code(0x10, 0x08, 0x00));
    ASSERT_TRUE(back);
    const std::string script =
        WriteFile("twice.txt", "assign 3 system 1\napply\nassign 3 dpi 2\napply\n");
    Outcome twice = Ctl({"--demo", "script", script});
    ASSERT_EQ(twice.code, 0) << twice.err;
    EXPECT_EQ(EncodeAssignment(TableAt(*back)), 0x130200);
    Outcome text = Ctl({"--demo", "keys"});
    EXPECT_NE(text.out.find(" 4  Forward"), std::string::npos) << text.out;
}

TEST_F(InputCommandsTest, RefusalsLeaveTheProfileAlone) {
    // Button 0 holds the only left button.
    Json::Value r = Json1({"assign", "0", "disable"}, 1);
    EXPECT_FALSE(r["ok"].asBool());
    // No macro 0 in an empty library.
    Json1({"assign", "3", "macro", "0"}, 1);
    Json::Value keys = Json1({"keys"});
    EXPECT_FALSE(keys["buttons"][0]["changed"].asBool());
    EXPECT_FALSE(keys["buttons"][3]["changed"].asBool());
    // With a second left button, the first may go.
    Json1({"assign", "2", "mouse", "1"});
    Json1({"assign", "0", "disable"});
}

TEST_F(InputCommandsTest, MacroLibraryRoundTrip) {
    // One session for all (a script), one JSON document per line.
    const std::string exported = tmp + "Jump.mac";
    const std::string bad = WriteFile("bad.mac", "[1, 2]");
    const std::vector<std::string> lines = {
        "macro add",                      // 0
        "macro add Jump",                 // 1
        "macro add jump",                 // 2 refused: a clash in another letter case
        "macro rename 0 Run",             // 3
        "macro rename 0 JUMP",            // 4 refused
        "macro rename 7 Walk",            // 5 refused: no macro 7
        "macro list",                     // 6
        "assign 3 macro 1 2",             // 7 button 3 plays Jump
        "macro delete 0",                 // 8 Jump becomes macro 0
        "keys",                           // 9
        "macro export jump " + exported,  // 10
        "macro import " + exported,       // 11 as Jump_1
        "macro show Jump_1",              // 12
        "macro import " + bad,            // 13 refused
        "macro list",                     // 14
    };
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    Outcome o = Ctl({"--demo", "--json", "script", WriteFile("macros.txt", text)});
    EXPECT_EQ(o.code, 1) << "three lines are refused";
    std::vector<Json::Value> docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), lines.size()) << o.out;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const bool refused = i == 2 || i == 4 || i == 5 || i == 13;
        EXPECT_EQ(docs[i]["ok"].asBool(), !refused) << lines[i] << ": " << o.err;
    }
    EXPECT_EQ(docs[0]["index"].asInt(), 0);
    EXPECT_FALSE(docs[0]["name"].asString().empty());
    EXPECT_EQ(docs[1]["index"].asInt(), 1);
    const Json::Value& list = docs[6];
    ASSERT_EQ(list["macros"].size(), 2u);
    EXPECT_EQ(list["macros"][0]["name"].asString(), "Run");
    EXPECT_EQ(list["macros"][1]["name"].asString(), "Jump");
    EXPECT_TRUE(list["device"].asBool());

    // The key that played Jump follows it to its new number.
    EXPECT_EQ(docs[8]["name"].asString(), "Run");
    EXPECT_TRUE(docs[8]["keysReloaded"].asBool());
    const Json::Value& b3 = docs[9]["buttons"][3];
    EXPECT_EQ(b3["current"]["p1"].asString(), "0x00");
    EXPECT_EQ(b3["current"]["p2"].asString(), "0x02");
    EXPECT_EQ(b3["text"].asString(), "Jump");

    EXPECT_TRUE(fs::exists(exported));
    EXPECT_EQ(docs[11]["name"].asString(), "Jump_1");
    EXPECT_EQ(docs[12]["events"].asInt(), 0);
    EXPECT_NE(docs[13]["error"].asString().find("not a valid macro file"), std::string::npos);
    ASSERT_EQ(docs[14]["macros"].size(), 2u);
    EXPECT_EQ(docs[14]["macros"][1]["name"].asString(), "Jump_1");

    // A new process reads the same library back.
    EXPECT_EQ(Json1({"macro", "list"})["macros"].size(), 2u);
}

TEST_F(InputCommandsTest, MacrosAboveTheEventLimitAreRefusedNamingIt) {
    Json::Value refused = Json1({"macro", "import", WriteFile("Huge.mac", MacroFile(4001, 4))}, 1);
    EXPECT_NE(refused["error"].asString().find("4000"), std::string::npos) << refused;

    // A stored event file above the limit (put there by hand) is refused, not shown cut.
    Json1({"macro", "import", WriteFile("Small.mac", MacroFile(2, 4))});
    const std::string id = Json1({"macro", "list"})["macros"][0]["id"].asString();
    std::ofstream(tmp + "home/mouse/" + id + ".mac", std::ios::binary) << MacroFile(4001, 4);
    Json::Value shown = Json1({"macro", "show", "Small"}, 1);
    EXPECT_NE(shown["error"].asString().find("4000"), std::string::npos) << shown;
    Json::Value listed = Json1({"macro", "list"})["macros"][0];
    EXPECT_EQ(listed["events"].asInt(), 4001);
    EXPECT_NE(listed["error"].asString().find("4000"), std::string::npos) << listed;
}

TEST_F(InputCommandsTest, MacroCommandsWorkWithoutAMouse) {
    ASSERT_TRUE(bus->Unplug(cable));
    if (receiver != emu::kNoDevice) {
        ASSERT_TRUE(bus->Unplug(receiver));
    }
    Json::Value add = Json1({"macro", "add", "Solo"});
    EXPECT_FALSE(add["device"].asBool());
    EXPECT_EQ(Json1({"macro", "list"})["macros"][0]["name"].asString(), "Solo");
    EXPECT_EQ(Ctl({"--demo", "keys"}).code, 3);
    EXPECT_EQ(Ctl({"--demo", "apply"}).code, 3);
    EXPECT_EQ(Ctl({"--demo", "recoil", "write"}).code, 3);
    // Recoil files need no mouse either: a fresh folder exports the factory sequence.
    Json::Value exp = Json1({"recoil", "export", "1", tmp + "g1.Shoot"});
    EXPECT_EQ(exp["events"].asInt(), 180);
}

TEST_F(InputCommandsTest, ApplyWritesTheUsedMacroBlockInKeyOrder) {
    const std::string a = WriteFile("A.mac", MacroFile(2, 0x04));
    const std::string b = WriteFile("B.mac", MacroFile(4, 0x05));
    Json1({"macro", "import", a});
    Json1({"macro", "import", b});
    std::optional<std::size_t> back = PositionOf(test::Code(0x10, 0x08, 0x00));
    ASSERT_TRUE(back);
    // Only macro 1 (B) is used: it goes out alone, as compact number 0.
    Json1({"assign", "3", "macro", "1", "0"});
    Json::Value apply = Json1({"apply"});
    EXPECT_EQ(apply["macroResult"].asInt(), 0);
    ASSERT_EQ(apply["usedMacros"].size(), 1u);
    EXPECT_EQ(apply["usedMacros"][0].asInt(), 1);

    std::string why;
    std::optional<test::DecodedMacroBlock> block =
        test::DecodeMacroBlock(bus->MacroMemory(cable), &why);
    ASSERT_TRUE(block) << why;
    ASSERT_EQ(block->macros.size(), 1u);
    ASSERT_EQ(block->macros[0].size(), 4u);
    EXPECT_EQ(block->macros[0][0], (MacroEvent{true, 10, 0x05, 10}));
    EXPECT_EQ(block->macros[0][3], (MacroEvent{false, 10, 0x05, 13}));
    EXPECT_EQ(EncodeAssignment(TableAt(*back)), 0x700000);
}

TEST_F(InputCommandsTest, ApplyRefusesMacrosTooLargeAndKeepsTheKeyTable) {
    // 2100 events take 8400 bytes: more than the 8 KiB macro memory.
    Json1({"macro", "import", WriteFile("Big.mac", MacroFile(2100, 0x04))});
    Json1({"assign", "3", "macro", "0"});
    const std::vector<uint8_t> table = bus->KeyTable(cable);
    Json::Value r = Json1({"apply"}, 1);
    EXPECT_FALSE(r["ok"].asBool());
    EXPECT_EQ(r["messageKey"].asString(), "message_text_16");
    EXPECT_GT(r["count"].asInt(), 0);
    EXPECT_NE(r["error"].asString().find(std::to_string(r["count"].asInt())), std::string::npos);
    EXPECT_EQ(bus->KeyTable(cable), table);
}

TEST_F(InputCommandsTest, RecoilImportExportAndWrite) {
    // Gun 0's factory sequence copied over gun 2 reaches the mouse as gun 2, in a full block.
    std::ifstream f0(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/ShootData_0.Shoot");
    std::ifstream f2(std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/ShootData_2.Shoot");
    std::stringstream s0, s2;
    s0 << f0.rdbuf();
    s2 << f2.rdbuf();
    ASSERT_NE(s0.str(), s2.str()) << "the factory guns 0 and 2 must differ for this test";

    const std::string file = tmp + "gun0.Shoot";
    const std::string script = WriteFile(
        "recoil.txt", "recoil export 0 " + file + "\nrecoil import 2 " + file + "\nrecoil write\n");
    Outcome o = Ctl({"--demo", "script", script});
    ASSERT_EQ(o.code, 0) << o.err;
    std::string why;
    std::optional<test::DecodedRecoil> block =
        test::DecodeRecoilBlock(bus->RecoilBlock(cable), &why);
    ASSERT_TRUE(block) << why;
    EXPECT_EQ(block->total, 2920u);
    EXPECT_EQ(block->guns[2], block->guns[0]);
    EXPECT_NE(block->guns[1], block->guns[0]);

    Json1({"recoil", "import", "1", WriteFile("bad.Shoot", "not json")}, 1);
    Json1({"recoil", "import", "1", tmp + "missing.Shoot"}, 1);
}

TEST_F(InputCommandsTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> lines = {
        {"keys", "extra"},
        {"assign"},
        {"assign", "11", "mouse", "1"},
        {"assign", "0", "0x99"},
        {"assign", "0", "mouse", "256"},
        {"assign", "0", "recoil", "4"},
        {"assign", "0", "default", "1"},
        {"assign", "0", "mouse", "1", "0", "9"},
        {"apply", "now"},
        {"macro"},
        {"macro", "rename", "0"},
        {"macro", "delete", "x"},
        {"macro", "export", "Jump"},
        {"macro", "frobnicate"},
        {"recoil"},
        {"recoil", "import", "4", "f.Shoot"},
        {"recoil", "write", "now"},
    };
    for (const auto& line : lines) {
        std::vector<std::string> args{"--demo", "--json"};
        args.insert(args.end(), line.begin(), line.end());
        Outcome o = Ctl(args);
        EXPECT_EQ(o.code, 2) << line[0] << " " << o.err;
        std::vector<Json::Value> docs = JsonLines(o.out);
        ASSERT_EQ(docs.size(), 1u);
        EXPECT_FALSE(docs[0]["ok"].asBool());
    }
}

TEST_F(InputCommandsTest, ScriptRunsTheCommandsOnOneSession) {
    const std::string mac = WriteFile("Fire.mac", MacroFile(6, 0x2C));
    const std::string script =
        WriteFile("s.txt", "macro import " + mac +
                               "\n"
                               "assign 10 macro 0 1   # fire key plays the macro\n"
                               "keys\n"
                               "apply\n"
                               "recoil write\n"
                               "macro list\n");
    Outcome o = Ctl({"--demo", "--json", "script", script});
    ASSERT_EQ(o.code, 0) << o.err;
    std::vector<Json::Value> docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 6u);
    for (const Json::Value& d : docs) {
        EXPECT_TRUE(d["ok"].asBool()) << d.toStyledString();
    }
    EXPECT_EQ(docs[2]["buttons"][10]["text"].asString(), "Fire");
    std::optional<test::DecodedMacroBlock> block = test::DecodeMacroBlock(bus->MacroMemory(cable));
    ASSERT_TRUE(block);
    ASSERT_EQ(block->macros.size(), 1u);
    EXPECT_EQ(block->macros[0].size(), 6u);
    EXPECT_TRUE(test::DecodeRecoilBlock(bus->RecoilBlock(cable)));
}

TEST(InputCommandsParts, NumbersTextsAndProgressLine) {
    EXPECT_EQ(ParseHexOrDecimal("0x1f", 0, 255), 31);
    EXPECT_EQ(ParseHexOrDecimal("31", 0, 255), 31);
    EXPECT_EQ(ParseHexOrDecimal("0X1F", 0, 255), 31);
    EXPECT_FALSE(ParseHexOrDecimal("0x", 0, 255));
    EXPECT_FALSE(ParseHexOrDecimal("1f", 0, 255));
    EXPECT_FALSE(ParseHexOrDecimal("256", 0, 255));
    EXPECT_FALSE(ParseHexOrDecimal("-1", 0, 255));
    EXPECT_FALSE(ParseHexOrDecimal("99999999999999999999", 0, 255));

    EXPECT_EQ(EnglishKeyText("mouse_key_DPI_add"), "DPI up");
    EXPECT_EQ(EnglishKeyText("keyboard_key_F5"), "F5");
    EXPECT_EQ(EnglishKeyText("keyboard_key_xiegang"), "\\");
    EXPECT_EQ(EnglishKeyText("something_new"), "something_new");

    std::ostringstream shown;
    ProgressLine on(&shown, true);
    on.SetLabel("writing macros");
    on.Update(12, 40);
    on.Finish();
    EXPECT_EQ(shown.str().find("\rwriting macros: 12/40 frames"), 0u) << shown.str();
    EXPECT_EQ(shown.str().back(), '\n');
    std::ostringstream quiet;
    ProgressLine off(&quiet, false);
    off.Update(1, 2);
    off.Finish();
    EXPECT_TRUE(quiet.str().empty());
}

}  // namespace
}  // namespace q417::cli
