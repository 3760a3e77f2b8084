// Recoil sequences: shots in the ".Shoot" files, the editor's file operations, the device block
// and its write to the emulated mouse.
#include <gtest/gtest.h>

#include <filesystem>

#include "RecoilBlockDecode.h"
#include "emulator/EmuTestUtil.h"
#include "input/RecoilBlock.h"
#include "input/RecoilGuns.h"
#include "profiles/ProfileTestUtil.h"
#include "transport/CReportChannel.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;
using test::Parse;
using test::ReadText;
using test::TempDir;
using test::WriteText;

// A gun whose shot b moves b+1 left/right alternately, (2b) up and pauses 50+b.
RecoilSet FullSet() {
    RecoilSet set;
    for (int g = 0; g < kRecoilGunCount; ++g) {
        for (int b = 0; b < kRecoilShotCount; ++b) {
            RecoilShot s{static_cast<uint8_t>(b + g), b % 2 == 0, static_cast<uint8_t>(2 * b), true,
                         static_cast<uint16_t>(50 + b + 1000 * g)};
            auto events = ShotEvents(s);
            set[g].insert(set[g].end(), events.begin(), events.end());
        }
    }
    return set;
}

std::string ShootText(std::size_t events, const std::string& extra = "") {
    Json::Value root(Json::objectValue);
    root["Events"] = Json::Value(Json::arrayValue);
    for (std::size_t i = 0; i < events; ++i) {
        MacroEvent e{i % 2 == 0, kEventMoveHorizontal, static_cast<uint8_t>(i % 200), 3};
        root["Events"].append(MacroEventToJson(e, DelayForm::Integer));
    }
    if (!extra.empty()) {
        root["Note"] = extra;
    }
    return root.toStyledString();
}

class RecoilFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(templates / "");
        guns.SetDeviceFolder(device.path());
        guns.SetTemplateFolder(templates / "");
    }
    std::string Factory(int gun) const { return guns.FactoryPath(gun); }
    std::string Working(int gun) const { return guns.WorkingPath(gun); }

    TempDir device;
    TempDir templates;
    RecoilGuns guns;
};

TEST_F(RecoilFilesTest, SavingAShotWritesItsSixEvents) {
    WriteText(Working(0), R"({"Name": "kept", "Events": []})");
    ASSERT_TRUE(guns.SaveBullet(0, 0, ParseShotEdits("12", true, "30", false, "95")));
    Json::Value root = Parse(ReadText(Working(0)));
    EXPECT_EQ(root["Name"].asString(), "kept");
    const Json::Value& ev = root["Events"];
    ASSERT_EQ(ev.size(), 6u);
    struct Want {
        const char* action;
        int button, delay, type;
    };
    const Want want[6] = {{"down", 1, 10, 1}, {"up", 1, 0, 1},   {"down", 12, 5, 4},
                          {"up", 30, 95, 5},  {"down", 0, 0, 4}, {"up", 0, 0, 5}};
    for (Json::ArrayIndex i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ev[i]["Action"].asString(), want[i].action);
        ASSERT_TRUE(ev[i]["Button"].isInt() && ev[i]["Delay"].isInt() && ev[i]["Type"].isInt());
        EXPECT_EQ(ev[i]["Button"].asInt(), want[i].button);
        EXPECT_EQ(ev[i]["Delay"].asInt(), want[i].delay);
        EXPECT_EQ(ev[i]["Type"].asInt(), want[i].type);
    }
    EXPECT_EQ(guns.ShowBullet(0, 0), (RecoilShot{12, true, 30, false, 95}));
}

TEST_F(RecoilFilesTest, ALaterShotGrowsTheArrayAndLeavesOthersAlone) {
    ASSERT_TRUE(guns.SaveBullet(1, 0, RecoilShot{1, false, 2, true, 3}));
    ASSERT_TRUE(guns.SaveBullet(1, 3, RecoilShot{7, true, 8, true, 9}));
    Json::Value ev = Parse(ReadText(Working(1)))["Events"];
    ASSERT_EQ(ev.size(), 24u);
    EXPECT_TRUE(ev[6].isNull());
    EXPECT_TRUE(ev[17].isNull());
    EXPECT_EQ(guns.ShowBullet(1, 0), (RecoilShot{1, false, 2, true, 3}));
    EXPECT_EQ(guns.ShowBullet(1, 2), RecoilShot{});  // null events show zeros, "up"
    EXPECT_EQ(guns.ShowBullet(1, 3), (RecoilShot{7, true, 8, true, 9}));
    EXPECT_EQ(guns.ShowBullet(2, 0), RecoilShot{});  // no file at all
    EXPECT_FALSE(guns.SaveBullet(4, 0, {}));
    EXPECT_FALSE(guns.SaveBullet(0, 30, {}));
}

TEST_F(RecoilFilesTest, TypedValuesAreClampedToWhatTheMouseCanDo) {
    EXPECT_EQ(ParseShotEdits("300", false, "-5", true, "70000"),
              (RecoilShot{255, false, 0, true, 65535}));
    EXPECT_EQ(ParseShotEdits("abc", true, " 17px", false, ""), (RecoilShot{0, true, 17, false, 0}));
    // A file edited by hand with a distance of 300 reaches the mouse as 255, not 44.
    WriteText(Working(0),
              R"({"Events": [{"Action": "down", "Button": 300, "Delay": "70000", "Type": 4}]})");
    RecoilSet set = guns.ReadAll();
    ASSERT_EQ(set[0].size(), 1u);
    EXPECT_EQ(set[0][0], (MacroEvent{true, kEventMoveHorizontal, 255, 65535}));
}

TEST_F(RecoilFilesTest, Selection) {
    guns.SaveBullet(2, 5, RecoilShot{5, true, 6, true, 7});
    guns.SelectBullet(5);
    guns.SelectGun(2);
    EXPECT_EQ(guns.SelectedShot(), 5);
    EXPECT_EQ(guns.SelectBullet(guns.SelectedShot()), (RecoilShot{5, true, 6, true, 7}));
    guns.SelectBullet(29);
    guns.NextBullet();
    EXPECT_EQ(guns.SelectedShot(), 29);
    guns.SelectBullet(0);
    guns.PrevBullet();
    EXPECT_EQ(guns.SelectedShot(), 0);
    guns.SelectGun(9);
    EXPECT_EQ(guns.SelectedGun(), 3);
    guns.SelectGun(-1);
    EXPECT_EQ(guns.SelectedGun(), 0);
}

TEST_F(RecoilFilesTest, PrepareAndResetNeverLoseAWorkingFile) {
    const std::string factory0 = ShootText(6, "factory 0");
    WriteText(Factory(0), factory0);
    WriteText(Factory(1), ShootText(12, "factory 1"));
    WriteText(Factory(2), "{ not json");
    // gun 0 missing, gun 1 unreadable, gun 2 unreadable with a broken factory copy, gun 3 good
    WriteText(Working(1), "garbage");
    WriteText(Working(2), "garbage 2");
    WriteText(Working(3), ShootText(18, "mine"));

    EXPECT_EQ(guns.PrepareGuns(), 3);
    EXPECT_EQ(ReadText(Working(0)), factory0);
    EXPECT_EQ(Parse(ReadText(Working(1)))["Note"].asString(), "factory 1");
    EXPECT_EQ(ReadText(Working(2)), "garbage 2");
    EXPECT_EQ(Parse(ReadText(Working(3)))["Note"].asString(), "mine");
    // The unreadable file of gun 1 was kept aside, not lost.
    bool keptAside = false;
    for (const auto& entry : std::filesystem::directory_iterator(device.path())) {
        if (entry.path().filename().string().rfind("ShootData_1.Shoot.", 0) == 0) {
            keptAside = ReadText(entry.path().string()) == "garbage";
        }
    }
    EXPECT_TRUE(keptAside);

    // Reset with no factory copy keeps the working file.
    EXPECT_EQ(guns.ResetGun(3), RecoilFileResult::SourceMissing);
    EXPECT_EQ(Parse(ReadText(Working(3)))["Note"].asString(), "mine");
    EXPECT_EQ(guns.ResetGun(2), RecoilFileResult::SourceInvalid);
    EXPECT_EQ(guns.ResetGun(0), RecoilFileResult::Ok);
    EXPECT_EQ(guns.ResetGun(4), RecoilFileResult::BadGun);
}

TEST_F(RecoilFilesTest, ImportAndExport) {
    const std::string source = device / "in.shoot";
    const std::string shortFile = ShootText(10, "short");
    WriteText(source, shortFile);
    guns.SelectGun(1);
    ASSERT_EQ(guns.ImportGun(source), RecoilFileResult::Ok);
    EXPECT_EQ(ReadText(Working(1)), shortFile);  // byte for byte
    // Shots beyond the file's events show zeros; the block carries the count as it is.
    EXPECT_EQ(guns.ShowBullet(1, 2), RecoilShot{});
    EXPECT_EQ(guns.ReadAll()[1].size(), 10u);

    const std::string out = device / "out.shoot";
    ASSERT_EQ(guns.ExportGun(out), RecoilFileResult::Ok);
    EXPECT_EQ(ReadText(out), shortFile);

    // More than 30 shots: the surplus is dropped, other members stay.
    WriteText(source, ShootText(500, "long"));
    ASSERT_EQ(guns.ImportGun(source), RecoilFileResult::Ok);
    Json::Value root = Parse(ReadText(Working(1)));
    EXPECT_EQ(root["Events"].size(), kMaxRecoilEvents);
    EXPECT_EQ(root["Note"].asString(), "long");

    // Files that are not sequences are refused and the working file stays.
    const std::string before = ReadText(Working(1));
    for (const char* bad : {"", "[1,2]", "{\"Events\": 5}", "{\"Events\": [", "\"x\""}) {
        SCOPED_TRACE(bad);
        WriteText(source, bad);
        EXPECT_EQ(guns.ImportGun(source), RecoilFileResult::SourceInvalid);
    }
    EXPECT_EQ(guns.ImportGun(device / "absent.shoot"), RecoilFileResult::SourceMissing);
    EXPECT_EQ(guns.ImportGun(""), RecoilFileResult::NoPath);
    EXPECT_EQ(guns.ExportGun(""), RecoilFileResult::NoPath);
    EXPECT_EQ(ReadText(Working(1)), before);
    guns.SelectGun(3);
    EXPECT_EQ(guns.ExportGun(out), RecoilFileResult::SourceMissing);
}

TEST_F(RecoilFilesTest, AFailedWriteIsReported) {
    // A folder where the working file should be: the rename into place fails.
    std::filesystem::create_directories(Working(0) + "/x");
    WriteText(device / "in.shoot", ShootText(6));
    EXPECT_EQ(guns.ImportGun(device / "in.shoot"), RecoilFileResult::WriteFailed);
    EXPECT_TRUE(std::filesystem::is_directory(Working(0) + "/x"));
    // A device folder that does not exist.
    RecoilGuns nowhere;
    nowhere.SetDeviceFolder(device / "absent");
    EXPECT_FALSE(nowhere.SaveBullet(0, 0, {}));
    EXPECT_EQ(nowhere.ExportGun(device / "out.shoot"), RecoilFileResult::SourceMissing);
}

TEST(ShootFile, TolerantReading) {
    // Mistyped members read as zeros; non-object elements keep their place.
    auto f = ParseShootFile(
        R"({"Events": [null, 7, {"Action": "DOWN", "Button": "12", "Delay": 4.9, "Type": 4},
                       {"Action": 1, "Button": [], "Delay": -3, "Type": "x"}]})");
    ASSERT_TRUE(f);
    ASSERT_EQ(f->events.size(), 4u);
    EXPECT_EQ(f->events[0], MacroEvent{});
    EXPECT_EQ(f->events[1], MacroEvent{});
    EXPECT_EQ(f->events[2], (MacroEvent{true, kEventMoveHorizontal, 12, 4}));
    EXPECT_EQ(f->events[3], MacroEvent{});
    auto noEvents = ParseShootFile(R"({"Other": 1})");
    ASSERT_TRUE(noEvents);
    EXPECT_TRUE(noEvents->events.empty());
    EXPECT_FALSE(noEvents->document.isMember("Events"));
    EXPECT_FALSE(ParseShootFile("[]"));
    EXPECT_FALSE(ParseShootFile(std::string(200000, '[')));
    EXPECT_FALSE(ParseShootFile(std::string(kMaxShootFileBytes + 1, ' ')));
}

TEST(RecoilBlock, LayoutOfAFullSet) {
    RecoilSet set = FullSet();
    std::vector<uint8_t> block = BuildRecoilBlock(set);
    ASSERT_EQ(block.size(), kFullRecoilBlockSize);
    EXPECT_EQ(block.size(), 2920u);
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 6),
              (std::vector<uint8_t>{0xAA, 0x55, 0x68, 0x0B, 0x04, 0x00}));
    // Offsets: 24, then 724 bytes per gun.
    EXPECT_EQ(block[16] | block[17] << 8, 24);
    EXPECT_EQ(block[18] | block[19] << 8, 24 + 724);
    EXPECT_EQ(block[22] | block[23] << 8, 24 + 3 * 724);
    // Gun 1, shot 0, event 3: vertical "down" (up move), distance 0, delay 1050.
    std::size_t at = 24 + 724 + 4 + 3 * 4;
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + at, block.begin() + at + 4),
              (std::vector<uint8_t>{0x1A, 0x04, 0x85, 0x00}));
    auto decoded = test::DecodeRecoilBlock(block);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->guns, set);
}

TEST(RecoilBlock, CountsAreCappedAndEmptyGunsKeepTheirRecord) {
    RecoilSet set;
    set[2].assign(kMaxRecoilEvents + 40, MacroEvent{true, kEventMouseButton, 1, 10});
    std::vector<uint8_t> block = BuildRecoilBlock(set);
    EXPECT_EQ(block.size(), 40 + 4 * kMaxRecoilEvents);
    std::string why;
    auto decoded = test::DecodeRecoilBlock(block, &why);
    ASSERT_TRUE(decoded) << why;
    EXPECT_TRUE(decoded->guns[0].empty());
    EXPECT_EQ(decoded->guns[2].size(), kMaxRecoilEvents);
    EXPECT_EQ(BuildRecoilBlock(RecoilSet{}).size(), 40u);
}

class RecoilWriteTest : public ::testing::Test {
protected:
    void Connect(emu::DeviceId id, Endpoint endpoint) {
        device = id;
        CHidInterface& hid =
            endpoint == Endpoint::Cable ? channel.InterfaceA() : channel.InterfaceB();
        ASSERT_TRUE(hid.Open(emu::test::VendorPath(*bus, id), true, true, true, false));
        channel.SetOpen(true);
        channel.SelectEndpoint(static_cast<int>(endpoint));
        channel.SetPacing({1ms, 1ms});
    }
    // (code, length, offset) of the logged frames with this code.
    std::vector<std::array<int, 2>> Frames(uint8_t code) {
        std::vector<std::array<int, 2>> out;
        for (const emu::CommandLogEntry& e : bus->CommandLog(device)) {
            if (e.code == code) {
                out.push_back({e.length, e.offset});
            }
        }
        return out;
    }
    std::vector<uint8_t> Codes() {
        std::vector<uint8_t> out;
        for (const emu::CommandLogEntry& e : bus->CommandLog(device)) {
            out.push_back(e.code);
        }
        return out;
    }

    std::shared_ptr<emu::EmulatedHidBus> bus = std::make_shared<emu::EmulatedHidBus>();
    CReportChannel channel{bus};
    emu::DeviceId device = emu::kNoDevice;
};

TEST_F(RecoilWriteTest, A120ByteBlockGoesOutInThreeFrames) {
    Connect(bus->PlugWiredMouse(), Endpoint::Cable);
    RecoilSet set;
    for (int i = 0; i < 20; ++i) {
        set[i % 4].push_back(MacroEvent{i % 3 == 0, kEventMoveVertical, uint8_t(i), uint16_t(i)});
    }
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    ASSERT_EQ(WriteRecoil(channel, false, set,
                          [&](std::size_t d, std::size_t t) {
                              progress.push_back({d, t});
                          }),
              kResultOk);
    EXPECT_EQ(Frames(0x17), (std::vector<std::array<int, 2>>{{56, 0}, {56, 56}, {8, 112}}));
    EXPECT_EQ(Codes(), (std::vector<uint8_t>{0x03, 0x01, 0x17, 0x17, 0x17, 0x02}));
    EXPECT_EQ(progress.back(), (std::pair<std::size_t, std::size_t>{3, 3}));
    auto decoded = test::DecodeRecoilBlock(bus->RecoilBlock(device));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->total, 120u);
    EXPECT_EQ(decoded->guns, set);
}

TEST_F(RecoilWriteTest, FullSetThroughTheReceiver) {
    Connect(bus->PlugReceiver(emu::kReceiverProductId, true), Endpoint::Receiver);
    RecoilSet set = FullSet();
    ASSERT_EQ(WriteRecoil(channel, true, set), kResultOk);
    auto frames = Frames(0x17);
    ASSERT_EQ(frames.size(), 53u);  // 52 of 56 bytes and one of 8
    EXPECT_EQ(frames[51], (std::array<int, 2>{56, 51 * 56}));
    EXPECT_EQ(frames[52], (std::array<int, 2>{8, 52 * 56}));
    std::vector<uint8_t> codes = Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x01), 1);
    EXPECT_EQ(codes.back(), 0x02);
    auto decoded = test::DecodeRecoilBlock(bus->RecoilBlock(device));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->guns, set);
}

TEST_F(RecoilWriteTest, NothingIsSentWithTheLinkDownOrTheChannelClosed) {
    Connect(bus->PlugReceiver(emu::kReceiverProductId, false), Endpoint::Receiver);
    EXPECT_EQ(WriteRecoil(channel, true, FullSet()), 0);
    for (const emu::CommandLogEntry& e : bus->CommandLog(device)) {
        EXPECT_EQ(e.code, 0xAA);  // only the link query
    }
    EXPECT_EQ(bus->RecoilBlock(device), std::vector<uint8_t>(bus->RecoilBlock(device).size(), 0));

    bus->SetLink(device, true);
    bus->ClearCommandLog(device);
    channel.SetOpen(false);
    EXPECT_EQ(WriteRecoil(channel, true, FullSet()), 0);
    EXPECT_TRUE(bus->CommandLog(device).empty());
}

TEST_F(RecoilWriteTest, AFailingFrameIsReportedAndTheTransactionEnds) {
    Connect(bus->PlugWiredMouse(), Endpoint::Cable);
    // Skip the info read, CmdBegin and one data frame; the second data frame fails.
    bus->InjectFault(device, emu::Fault{emu::FaultKind::Status, 3, 1, 0xFF});
    EXPECT_EQ(WriteRecoil(channel, false, FullSet()), kResultStatusFF);
    std::vector<uint8_t> codes = Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 0x02);
    EXPECT_EQ(Frames(0x17).size(), 2u);
}

}  // namespace
}  // namespace q417
