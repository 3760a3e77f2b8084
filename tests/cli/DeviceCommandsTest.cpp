// q417ctl list, info, raw and hid against the emulated bus, a fixture sysfs tree and a backend
// that refuses opens, including their JSON output and exit codes.
#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"
#include "transport/DetectionPass.h"
#include "transport/HidrawBackend.h"
#include "transport/IdentificationTable.h"
#include "transport/SysfsFixture.h"

namespace q417::cli {
namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

Outcome RunArgs(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    Outcome o;
    o.code = RunQ417ctl(args, out, err);
    o.out = out.str();
    o.err = err.str();
    return o;
}

using Command = int (*)(CliContext&, CliArgs);

// Runs one command on a backend of the test's own.
Outcome RunOn(std::shared_ptr<IHidBackend> backend, Command command,
              std::vector<std::string> args = {}, bool json = false) {
    std::ostringstream out;
    std::ostringstream err;
    CliContext ctx;
    ctx.json = json;
    ctx.out = &out;
    ctx.err = &err;
    ctx.backend = std::move(backend);
    Outcome o;
    o.code = command(ctx, args);
    o.out = out.str();
    o.err = err.str();
    return o;
}

// Every line must be one JSON document; returns them.
std::vector<Json::Value> JsonLines(const std::string& text) {
    std::vector<Json::Value> docs;
    std::istringstream lines(text);
    std::string line;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    while (std::getline(lines, line)) {
        Json::Value doc;
        std::string errors;
        EXPECT_TRUE(reader->parse(line.data(), line.data() + line.size(), &doc, &errors))
            << errors << " in: " << line;
        docs.push_back(doc);
    }
    return docs;
}

std::vector<uint8_t> Codes(const std::vector<emu::CommandLogEntry>& log) {
    std::vector<uint8_t> codes;
    for (const auto& e : log) {
        codes.push_back(e.code);
    }
    return codes;
}

// ---------------------------------------------------------------------------------------------

TEST(DetectionOnEmulatorTest, WiredMouseAndBothReceiversTakeTheirRows) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId mouse = bus->PlugWiredMouse();
    bus->PlugReceiver(emu::kReceiverProductId, true);
    bus->PlugReceiver(emu::kReceiver2ProductId, false);
    CInterfaceSlotList slots;
    CDetectionPass pass(bus);
    DetectionPassResult result = pass.Run(slots);
    std::vector<std::size_t> taken = result.takenSlots;
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(taken, (std::vector<std::size_t>{4, 5, 6, 7, 10, 11}));
    EXPECT_TRUE(result.rejectedPaths.empty());

    // Unplugged and plugged again, the mouse shows new paths; once its slots are released
    // (as the device manager does) they are taken by the new paths.
    const std::string oldPath = slots.Slot(4)->path;
    ASSERT_TRUE(bus->Unplug(mouse));
    bus->PlugWiredMouse();
    slots.Release(4);
    slots.Release(5);
    result = pass.Run(slots);
    EXPECT_EQ(result.takenSlots.size(), 2u);
    EXPECT_NE(slots.Slot(4)->path, oldPath);
    EXPECT_FALSE(slots.Slot(4)->path.empty());
}

TEST(ListCommandTest, DemoFindsTheWiredMouseAndTheReceiver) {
    const Outcome text = RunArgs({"--demo", "list"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("mouse (cable)"), std::string::npos);
    EXPECT_NE(text.out.find("notification"), std::string::npos);

    const Outcome json = RunArgs({"--demo", "--json", "list"});
    ASSERT_EQ(json.code, 0) << json.err;
    const std::vector<Json::Value> docs = JsonLines(json.out);
    ASSERT_EQ(docs.size(), 1u);
    const Json::Value& slots = docs[0]["slots"];
    ASSERT_EQ(slots.size(), 4u);
    const int expectedSlots[] = {4, 5, 6, 7};
    const char* expectedRoles[] = {"command", "notification", "command", "notification"};
    const int expectedKinds[] = {2, 2, 6, 6};
    const int expectedCollections[] = {5, 4, 5, 3};
    for (Json::ArrayIndex i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(slots[i]["slot"].asInt(), expectedSlots[i]);
        EXPECT_EQ(slots[i]["row"].asInt(), expectedSlots[i]);
        EXPECT_EQ(slots[i]["role"].asString(), expectedRoles[i]);
        EXPECT_EQ(slots[i]["kind"].asInt(), expectedKinds[i]);
        EXPECT_EQ(slots[i]["collectionNumber"].asInt(), expectedCollections[i]);
        EXPECT_EQ(slots[i]["vendorId"].asInt(), 0x4A1D);
        EXPECT_EQ(slots[i]["path"].asString().rfind("emu#vid_4a1d", 0), 0u);
    }
    EXPECT_EQ(slots[3]["interfaceNumber"].asInt(), 1);
}

// ---------------------------------------------------------------------------------------------

TEST(InfoCommandTest, DecodesTheEmulatedInformationBlock) {
    auto bus = emu::MakeDemoBus();
    const Outcome o = RunOn(bus, RunInfo, {}, true);
    ASSERT_EQ(o.code, 0) << o.err;
    const std::vector<Json::Value> docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 1u);
    const Json::Value& doc = docs[0];
    EXPECT_EQ(doc["keys"].asInt(), emu::kMouseKeyCount);
    EXPECT_EQ(doc["macroMemoryUnits"].asInt(), emu::kMacroMemoryUnits);
    EXPECT_EQ(doc["macroMemoryBytes"].asInt(), emu::kMacroMemoryUnits * 128);
    EXPECT_EQ(doc["sensor"].asString(), "0x3395");
    EXPECT_EQ(doc["dpiStep"].asInt(), emu::kDpiStep);
    EXPECT_EQ(doc["lowestDpi"].asInt(), emu::kLowestDpi);
    EXPECT_EQ(doc["device"]["connection"].asString(), "cable");
    // The raw bytes are the block the firmware holds.
    std::vector<uint8_t> expected;
    bus->WithMouse(bus->Devices()[0], [&](emu::MouseFirmware& m) {
        expected.assign(m.Info().begin(), m.Info().end());
    });
    ASSERT_EQ(doc["raw"].size(), emu::kInfoBlockSize);
    for (Json::ArrayIndex i = 0; i < doc["raw"].size(); ++i) {
        EXPECT_EQ(doc["raw"][i].asUInt(), expected[i]) << i;
    }

    const Outcome text = RunArgs({"--demo", "info"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("sensor:        0x3395"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("64 units (8192 bytes)"), std::string::npos) << text.out;
}

TEST(InfoCommandTest, ReceiverChecksTheLinkFirst) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId rx = bus->PlugReceiver(emu::kReceiverProductId, false);

    const Outcome off = RunOn(bus, RunInfo);
    EXPECT_EQ(off.code, 1);
    EXPECT_NE(off.err.find("switch it on"), std::string::npos) << off.err;
    // Nothing but the link query went out: no transaction was opened on a silent mouse.
    EXPECT_EQ(Codes(bus->TakeCommandLog(rx)), (std::vector<uint8_t>{0xAA}));

    bus->SetLink(rx, true);
    const Outcome on = RunOn(bus, RunInfo, {}, true);
    ASSERT_EQ(on.code, 0) << on.err;
    const Json::Value doc = JsonLines(on.out).at(0);
    EXPECT_EQ(doc["device"]["connection"].asString(), "receiver");
    EXPECT_EQ(doc["keys"].asInt(), emu::kMouseKeyCount);
    // Through the receiver the 34 bytes come in two frames: 0x03 twice between 0x01 and 0x02.
    EXPECT_EQ(Codes(bus->TakeCommandLog(rx)), (std::vector<uint8_t>{0xAA, 0x01, 0x03, 0x03, 0x02}));
}

TEST(InfoCommandTest, FailedReadStillEndsTheTransaction) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId mouse = bus->PlugWiredMouse();
    emu::Fault fault;
    fault.kind = emu::FaultKind::Status;
    fault.status = 0xFF;
    fault.skipFrames = 1;  // CmdBegin passes, CmdReadInfo fails
    bus->InjectFault(mouse, fault);
    const Outcome o = RunOn(bus, RunInfo);
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("-102"), std::string::npos) << o.err;
    EXPECT_EQ(Codes(bus->CommandLog(mouse)), (std::vector<uint8_t>{0x01, 0x03, 0x02}));
}

// ---------------------------------------------------------------------------------------------

TEST(RawCommandTest, DumpsBothFramesOfOneExchange) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId mouse = bus->PlugWiredMouse();
    const Outcome o = RunOn(bus, RunRaw, {"0x03", "34"});
    ASSERT_EQ(o.code, 0) << o.err;
    // Byte 0 = 4, checksum 0x03 + 0x22 = 0x25, code 3, byte 4 = 34.
    EXPECT_NE(o.out.find("04 25 00 03   22 00 00 00"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("reply:"), std::string::npos);
    EXPECT_NE(o.out.find("result:  1 (success)"), std::string::npos);
    const auto log = bus->CommandLog(mouse);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, 0x03);
    EXPECT_EQ(log[0].length, 34);
    EXPECT_FALSE(log[0].refused);  // the checksum was right

    const Outcome json = RunOn(bus, RunRaw, {"5", "1", "0", "0"}, true);
    ASSERT_EQ(json.code, 0) << json.err;
    const Json::Value doc = JsonLines(json.out).at(0);
    EXPECT_EQ(doc["request"].size(), 64u);
    EXPECT_EQ(doc["request"][3].asInt(), 5);
    EXPECT_EQ(doc["reply"].size(), 64u);
    EXPECT_EQ(doc["reply"][3].asInt(), 5);
    EXPECT_EQ(doc["result"].asInt(), 1);
}

TEST(RawCommandTest, BadArgumentsSendNothing) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId mouse = bus->PlugWiredMouse();
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"256"},
        {"0x100"},
        {"-1"},
        {"0x"},
        {"3", "x1"},
        {"1e2"},
        {"0xGG"},
        std::vector<std::string>(62, "1"),  // code + 61 bytes: one more than a frame holds
    };
    for (const auto& args : bad) {
        const Outcome o = RunOn(bus, RunRaw, args);
        EXPECT_EQ(o.code, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(o.err.empty());
    }
    EXPECT_TRUE(bus->CommandLog(mouse).empty());
    // Sixty data bytes fill bytes 4..63 exactly.
    const Outcome full = RunOn(bus, RunRaw, std::vector<std::string>(61, "0xff"), true);
    EXPECT_EQ(full.code, 0) << full.err;
    EXPECT_EQ(JsonLines(full.out).at(0)["request"][63].asInt(), 0xFF);
}

TEST(RawCommandTest, NoReplyIsAFailure) {
    auto bus = std::make_shared<emu::EmulatedHidBus>();
    const emu::DeviceId mouse = bus->PlugWiredMouse();
    emu::Fault fault;
    fault.kind = emu::FaultKind::FailedWrite;
    bus->InjectFault(mouse, fault);
    const Outcome o = RunOn(bus, RunRaw, {"1"}, true);
    EXPECT_EQ(o.code, 1);
    const std::vector<Json::Value> docs = JsonLines(o.out);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_FALSE(docs[0]["ok"].asBool());
    EXPECT_EQ(docs[0]["result"].asInt(), -1);
    EXPECT_TRUE(docs[0]["reply"].isNull());
}

// ---------------------------------------------------------------------------------------------

// Refuses every open as the kernel does for a node without the udev rule.
class DeniedBackend final : public IHidBackend {
public:
    bool EnumeratePaths(std::vector<std::string>& paths) override {
        paths = {"hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.0001#/dev/hidraw7"};
        return true;
    }
    std::unique_ptr<IHidDevice> Open(const std::string&, const HidOpenRequest&, HidOpenError* error,
                                     std::string* text) override {
        *error = HidOpenError::PermissionDenied;
        *text = "Permission denied";
        return nullptr;
    }
    std::string Name() const override { return "denied"; }
};

TEST(ExitCodeTest, NoDeviceAndPermissionDeniedAreToldApart) {
    const Outcome none = RunOn(std::make_shared<emu::EmulatedHidBus>(), RunList);
    EXPECT_EQ(none.code, 3);
    EXPECT_EQ(none.err, "q417ctl: no supported device found\n");

    for (Command command : {RunList, RunInfo}) {
        const Outcome denied = RunOn(std::make_shared<DeniedBackend>(), command);
        EXPECT_EQ(denied.code, 4);
        EXPECT_NE(denied.err.find("permission denied on /dev/hidraw7"), std::string::npos);
        EXPECT_NE(denied.err.find("70-q417.rules"), std::string::npos);
        EXPECT_EQ(std::count(denied.err.begin(), denied.err.end(), '\n'), 1);
    }
    const Outcome json = RunOn(std::make_shared<DeniedBackend>(), RunRaw, {"1"}, true);
    EXPECT_EQ(json.code, 4);
    const std::vector<Json::Value> docs = JsonLines(json.out);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_FALSE(docs[0]["ok"].asBool());

    EXPECT_EQ(RunArgs({"--demo", "list", "extra"}).code, 2);
    EXPECT_EQ(RunArgs({"--demo", "hid", "extra"}).code, 2);
}

TEST(JsonOutputTest, EveryCommandPrintsOneDocumentOnOneLine) {
    const std::vector<std::vector<std::string>> runs = {
        {"--demo", "--json", "list"},     {"--demo", "--json", "info"},
        {"--demo", "--json", "raw", "1"}, {"--demo", "--json", "hid"},
        {"--demo", "--json", "raw", "x"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args[2]);
        const Outcome o = RunArgs(args);
        const std::vector<Json::Value> docs = JsonLines(o.out);
        ASSERT_EQ(docs.size(), 1u) << o.out;
        EXPECT_TRUE(docs[0].isObject());
        EXPECT_EQ(docs[0]["ok"].asBool(), o.code == 0);
    }
}

// ---------------------------------------------------------------------------------------------

TEST(HidCommandTest, DemoListsEveryInterfaceWithItsRows) {
    const Outcome o = RunArgs({"--demo", "--json", "hid"});
    ASSERT_EQ(o.code, 0) << o.err;
    const Json::Value doc = JsonLines(o.out).at(0);
    std::vector<int> rows;
    int collections = 0;
    for (const Json::Value& itf : doc["interfaces"]) {
        EXPECT_TRUE(itf["readable"].asBool());
        EXPECT_TRUE(itf["writable"].asBool());
        for (const Json::Value& c : itf["collections"]) {
            ++collections;
            if (!c["row"].isNull()) {
                rows.push_back(c["row"].asInt());
            }
            if (c["usagePage"].asInt() == 0xFF1C) {
                EXPECT_EQ(c["reportIds"]["output"][0].asInt(), 4);
                EXPECT_EQ(c["outputReportByteLength"].asInt(), 64);
            }
        }
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<int>{4, 5, 6, 7}));
    EXPECT_GT(collections, 4);  // unsupported collections are listed too
}

TEST(HidCommandTest, FixtureTreeShowsSupportedAndForeignNodes) {
    test::SysfsFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    test::FixtureHidNode mouse;
    mouse.number = 3;
    mouse.descriptor = test::FiveCollectionMouseDescriptor();
    fixture.AddNode(mouse);
    test::FixtureHidNode foreign;
    foreign.number = 5;
    foreign.vendorId = 0x046D;
    foreign.productId = 0xC077;
    foreign.descriptor = test::UnnumberedVendorDescriptor();
    fixture.AddNode(foreign);
    test::FixtureHidNode broken;
    broken.number = 7;
    broken.descriptor = test::TruncatedDescriptor();
    fixture.AddNode(broken);
    auto backend = std::make_shared<HidrawBackend>(fixture.SysfsRoot(), fixture.DevRoot());

    const Outcome o = RunOn(backend, RunHid, {}, true);
    ASSERT_EQ(o.code, 0) << o.err;
    const Json::Value doc = JsonLines(o.out).at(0);
    ASSERT_EQ(doc["interfaces"].size(), 3u);
    const Json::Value& m = doc["interfaces"][0];
    EXPECT_EQ(m["node"].asString(), fixture.NodePath(3));
    EXPECT_EQ(m["vendorId"].asInt(), 0x4A1D);
    EXPECT_EQ(m["interfaceNumber"].asInt(), 0);
    EXPECT_TRUE(m["readable"].asBool());
    ASSERT_EQ(m["collections"].size(), 5u);
    EXPECT_TRUE(m["collections"][0]["row"].isNull());
    EXPECT_EQ(m["collections"][3]["row"].asInt(), 5);
    EXPECT_EQ(m["collections"][3]["usagePage"].asInt(), 0x0C);
    EXPECT_EQ(m["collections"][4]["row"].asInt(), 4);
    EXPECT_EQ(m["collections"][4]["reportIds"]["input"][0].asInt(), 4);
    EXPECT_EQ(m["collections"][4]["inputReportByteLength"].asInt(), 64);
    EXPECT_NE(m["collections"][4]["path"].asString().find("&col05#"), std::string::npos);

    const Json::Value& f = doc["interfaces"][1];
    EXPECT_EQ(f["vendorId"].asInt(), 0x046D);
    ASSERT_EQ(f["collections"].size(), 1u);
    EXPECT_TRUE(f["collections"][0]["row"].isNull());
    EXPECT_EQ(f["collections"][0]["reportIds"]["input"].size(), 0u);
    EXPECT_EQ(f["collections"][0]["inputReportByteLength"].asInt(), 9);  // leading 0 byte

    const Json::Value& b = doc["interfaces"][2];
    EXPECT_FALSE(b["problem"].asString().empty());
    EXPECT_EQ(b["collections"].size(), 0u);

    const Outcome text = RunOn(backend, RunHid);
    ASSERT_EQ(text.code, 0);
    EXPECT_NE(text.out.find(fixture.NodePath(5)), std::string::npos);
    EXPECT_NE(text.out.find("row 4"), std::string::npos);

    // The same tree through a detection pass: the mouse's two collections take rows 4 and 5.
    const Outcome list = RunOn(backend, RunList, {}, true);
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(JsonLines(list.out).at(0)["slots"].size(), 2u);
}

}  // namespace
}  // namespace q417::cli
