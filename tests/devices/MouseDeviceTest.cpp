// The mouse device against the emulated mouse: synchronisation, record reads and writes through
// cable and receiver, edits, and the failure paths of the write guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <vector>

#include "MouseDeviceFixture.h"
#include "emulator/MouseFirmware.h"
#include "input/MacroBlock.h"
#include "profiles/CJsonFile.h"
#include "profiles/CProfileList.h"
#include "transport/CommandResult.h"

namespace q417::test {
namespace {

struct Step {
    uint8_t code;
    uint8_t length;
    uint16_t offset;
    bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Step& s) {
    return os << "{0x" << std::hex << int{s.code} << ", " << std::dec << int{s.length} << ", "
              << s.offset << "}";
}

std::vector<Step> Steps(const std::vector<emu::CommandLogEntry>& log) {
    std::vector<Step> steps;
    for (const auto& e : log) {
        steps.push_back({e.code, e.length, e.offset});
    }
    return steps;
}

std::vector<uint8_t> Codes(const std::vector<emu::CommandLogEntry>& log) {
    std::vector<uint8_t> codes;
    for (const auto& e : log) {
        codes.push_back(e.code);
    }
    return codes;
}

using MouseSync = MouseDeviceFixture;

TEST_F(MouseSync, CableSequenceReadsInfoKeysThenCurrentRecord) {
    ConnectCable();
    ASSERT_TRUE(bus->SwitchProfileOnDevice(emuId, 2));
    bus->ClearCommandLog(emuId);
    EXPECT_EQ(Run([&] { return device->Synchronise(); }), kResultOk);
    EXPECT_EQ(Steps(bus->TakeCommandLog(emuId)), (std::vector<Step>{{0x01, 0, 0},
                                                                    {0x03, 34, 0},
                                                                    {0x07, 33, 0},
                                                                    {0x08, 33, 0},
                                                                    {0x02, 0, 0},
                                                                    {0x05, 1, 0},
                                                                    {0x05, 56, 2 * 96},
                                                                    {0x05, 24, 2 * 96 + 56}}));
    EXPECT_TRUE(device->LightWorkerRunning());
}

TEST_F(MouseSync, StateAndProfileFollowTheDeviceRecord) {
    ConnectCable();
    std::vector<uint8_t> record = Record(0);
    Run([&] { return device->Synchronise(); });
    DeviceSnapshot s = Run([&] { return device->MakeSnapshot(); });
    ASSERT_TRUE(s.mouse.has_value());
    const MouseSnapshot& m = *s.mouse;
    EXPECT_EQ(m.currentProfile, 0);
    ASSERT_EQ(m.stages.size(), 6u);
    for (int st = 0; st < 6; ++st) {
        std::size_t at = 14 + 9 * static_cast<std::size_t>(st);
        EXPECT_EQ(m.stages[st].dpiX, record[at + 2] | (record[at + 3] << 8)) << "stage " << st;
        EXPECT_EQ(m.stages[st].red, record[at + 6]);
    }
    EXPECT_EQ(m.activeStage, record[12]);
    EXPECT_EQ(m.settings.Half(MouseSystemStages::kReportSelectUsb), record[11]);
    EXPECT_EQ(m.page.pollingOption, record[11]);
    EXPECT_EQ(m.page.stages[record[12]].thumbImage, kActiveStageThumb);
    // Sensor 0x3395 with step 50 and lowest 50: the shown DPI is stored × 50 + 50.
    EXPECT_EQ(m.dpiRule.sensor, 0x3395);
    EXPECT_EQ(m.page.stages[0].dpi, m.stages[0].dpiX * 50 + 50);
    // Light: code 1 (colour cycle) is effect 1 of the built-in list; speed is 4 - byte 3.
    EXPECT_EQ(s.light.effect, 1);
    EXPECT_EQ(s.light.brightness, record[2]);
    EXPECT_EQ(s.light.speed, 4 - record[3]);
    EXPECT_EQ(Run([&] { return device->Profile().CurrentLightInfo().brightness; }), record[2]);
}

TEST_F(MouseSync, ReceiverWithMouseOffSendsOnlyLinkQueries) {
    ConnectReceiver(emu::kReceiverProductId, false);
    bus->ClearCommandLog(emuId);
    EXPECT_NE(Run([&] { return device->Synchronise(); }), kResultOk);
    for (uint8_t code : Codes(bus->TakeCommandLog(emuId))) {
        EXPECT_EQ(code, 0xAA);
    }
}

TEST_F(MouseSync, FirmwareNoticeOnceForOldCableFirmware) {
    struct Recorder : IDeviceObserver {
        void OnDeviceStateChanged(const DeviceSnapshot&) override {}
        void OnDeviceNotice(DeviceNotice n, int w, int l) override {
            notices.push_back({static_cast<int>(n), w, l});
        }
        std::vector<std::array<int, 3>> notices;
    };
    for (uint16_t version : {0x0123, 0x0099}) {
        auto id = bus->PlugWiredMouse();
        ASSERT_TRUE(bus->SetFirmwareVersion(id, version));
        MakeDevice();
        HeadlessEventLoop loop;
        auto recorder = std::make_shared<Recorder>();
        device->SetObserver(recorder, &loop);
        Connect(id, false);
        Run([&] { return device->Synchronise(); });
        Run([&] { return device->Synchronise(); });
        loop.RunUntilIdle();
        int firmware = 0;
        for (auto& n : recorder->notices) {
            if (n[0] == 3332) {
                ++firmware;
                EXPECT_EQ(n[1], 0x7101);
                EXPECT_EQ(n[2], version);
            }
        }
        EXPECT_EQ(firmware, version < 0x100 ? 1 : 0) << std::hex << version;
        // The information block's byte 7 is 0: the shell is told to hide "No_device_Link".
        EXPECT_TRUE(std::any_of(recorder->notices.begin(), recorder->notices.end(),
                                [](auto& n) { return n[0] == 3334; }));
        device.reset();
        bus->Unplug(id);
    }
}

using MouseRecordWrite = MouseDeviceFixture;

TEST_F(MouseRecordWrite, ReadThenWriteKeepsEveryByteAsLastRead) {
    ConnectCable();
    // Bytes the host does not interpret carry marks that must survive the round trip.
    std::vector<uint8_t> marks{0x5A};
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 10, marks));
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 13, marks));
    std::vector<uint8_t> tail{1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 68, tail));
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 79, marks));
    Run([&] { return device->Synchronise(); });
    std::vector<uint8_t> before = Record(0);
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 1920, 1080); }), kResultOk);
    EXPECT_EQ(Record(0), before);
}

TEST_F(MouseRecordWrite, FourStageProfileLeavesTheOtherStagesAsLastRead) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    std::vector<uint8_t> before = Record(0);
    Run([&] {
        std::vector<DpiStage> stages(device->Profile().DpiStages().begin(),
                                     device->Profile().DpiStages().begin() + 4);
        for (auto& s : stages) {
            s.dpiX = 7;
        }
        device->Profile().SetDpiStages(stages);
        device->Profile().SetActiveDpiStage(0);
        return device->WriteProfileRecord(0, 0, 1, 0, 0);
    });
    std::vector<uint8_t> after = Record(0);
    for (int s = 0; s < 4; ++s) {
        EXPECT_EQ(after[14 + 9 * s + 2], 7) << s;
    }
    EXPECT_TRUE(std::equal(before.begin() + 50, before.begin() + 68, after.begin() + 50));
}

TEST_F(MouseRecordWrite, EffectIndexBeyondTheMouseRangeSendsEntryZerosCode) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    auto lists = device->LightLists();
    ASSERT_FALSE(lists.codes.empty());
    Run([&] {
        LightInfo info = device->Profile().CurrentLightInfo();
        info.mode = 12;
        device->Profile().SetLightInfo(info);
        return device->WriteProfileRecord(0, 0, 1, 0, 0);
    });
    EXPECT_EQ(Record(0)[1], lists.codes[0]);
}

TEST_F(MouseRecordWrite, CableAndReceiverFramesAndLinkChecks) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    bus->ClearCommandLog(emuId);
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 0, 0); }), kResultOk);
    // A link query before the transaction and before each later command.
    std::vector<uint8_t> codes = Codes(bus->TakeCommandLog(emuId));
    ASSERT_GE(codes.size(), 6u);
    EXPECT_EQ(codes.front(), 0xAA);
    EXPECT_EQ(codes[1], 0x01);
    EXPECT_EQ(codes[2], 0xAA);
    EXPECT_EQ(codes.back(), 0x02);
    EXPECT_EQ(codes[codes.size() - 2], 0xAA);
}

TEST_F(MouseRecordWrite, LinkDownSendsNothingAndReportsFailure) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    std::vector<uint8_t> before = Record(0);
    ASSERT_TRUE(bus->SetLink(emuId, false));
    bus->ClearCommandLog(emuId);
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 0, 0); }), 0);
    EXPECT_EQ(Codes(bus->TakeCommandLog(emuId)), (std::vector<uint8_t>{0xAA}));
    EXPECT_EQ(Run([&] { return device->UpdatePowerStatus(); }), 0);
    EXPECT_EQ(Record(0), before);
}

TEST_F(MouseRecordWrite, LinkDroppingBetweenCommandsStopsTheWrite) {
    ConnectReceiver(emu::kReceiverProductId, true);
    Run([&] { return device->Synchronise(); });
    std::vector<uint8_t> before = Record(0);
    Run([&] {
        device->Profile().SetActiveDpiStage(4);
        return 0;
    });
    bus->ClearCommandLog(emuId);
    // Frames: link query, CmdBegin, link query (the mouse goes out of range here), ...
    emu::Fault drop;
    drop.kind = emu::FaultKind::LinkDrop;
    drop.skipFrames = 2;
    ASSERT_TRUE(bus->InjectFault(emuId, drop));
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 0, 0); }), 0);
    for (uint8_t code : Codes(bus->TakeCommandLog(emuId))) {
        EXPECT_NE(code, 0x06);
    }
    EXPECT_EQ(Record(0), before);
}

TEST_F(MouseRecordWrite, FailedMemoryWriteReturnsItsCodeAndStillEnds) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    bus->ClearCommandLog(emuId);
    emu::Fault status;
    status.kind = emu::FaultKind::Status;
    status.status = 0xFF;
    status.skipFrames = 1;  // CmdBegin passes, the first memory frame fails
    ASSERT_TRUE(bus->InjectFault(emuId, status));
    EXPECT_EQ(Run([&] { return device->WriteProfileRecord(0, 0, 1, 0, 0); }), kResultStatusFF);
    std::vector<uint8_t> codes = Codes(bus->TakeCommandLog(emuId));
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), 0x02);
}

TEST_F(MouseRecordWrite, BadProfileNumberFromTheDeviceIsAFailedRead) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    auto before = Run([&] { return device->LastRecord(); });
    std::vector<uint8_t> bad{20};
    ASSERT_TRUE(bus->WriteMouseMemory(emuId, 0, bad));
    int p = -1;
    EXPECT_NE(Run([&] { return device->ReadProfileRecord(&p); }), kResultOk);
    EXPECT_EQ(p, -1);
    EXPECT_EQ(Run([&] { return device->LastRecord(); }), before);
}

using MouseEdits = MouseDeviceFixture;

TEST_F(MouseEdits, TypedDpiIsRoundedStoredSavedAndWritten) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    EXPECT_EQ(Run([&] { return device->EditStageDpi(1, 1620); }), kResultOk);
    std::vector<uint8_t> record = Record(0);
    EXPECT_EQ(record[14 + 9 + 2] | (record[14 + 9 + 3] << 8), 32);  // (1650 - 50) / 50
    // The profile file holds the change: a fresh object reads it back.
    std::string path = Run([&] { return device->GetProfileLabel(); });
    CMouseProfiledata reread;
    reread.LoadProfile(path);
    ASSERT_GE(reread.GetDpiStages().size(), 2u);
    EXPECT_EQ(reread.DpiStages()[1].dpiX, 32);
    EXPECT_EQ(Run([&] { return device->EditStageDpi(6, 800); }), kResultBadArgument);
}

TEST_F(MouseEdits, HighRateReceiverPollingGoesToItsOwnSetting) {
    ConnectReceiver(emu::kReceiver2ProductId, true);
    Run([&] { return device->Synchronise(); });
    uint8_t byte11 = Record(0)[11];
    EXPECT_EQ(Run([&] { return device->EditPollingRate(5); }), kResultOk);
    auto settings = Run([&] { return device->Profile().SystemStages(); });
    EXPECT_EQ(settings.Half(MouseSystemStages::kReportSelect24K), 5);
    EXPECT_EQ(settings.Half(MouseSystemStages::kReportSelectUsb), byte11);
    EXPECT_EQ(Record(0)[11], byte11);
    DeviceSnapshot s = Run([&] { return device->MakeSnapshot(); });
    EXPECT_TRUE(s.mouse->page.highPollingOptionsVisible);
    EXPECT_EQ(s.mouse->page.pollingOption, 5);
}

TEST_F(MouseEdits, LastActiveStageCannotBeSwitchedOff) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    int active = Run([&] { return device->Profile().GetActiveDpiStage(); });
    for (int s = 0; s < 6; ++s) {
        if (s != active) {
            EXPECT_EQ(Run([&] { return device->EditStageEnabled(s, false); }), kResultOk) << s;
        }
    }
    EXPECT_EQ(Run([&] { return device->EditStageEnabled(active, false); }), kResultBadArgument);
    EXPECT_EQ(Run([&] { return device->EditActiveStage((active + 1) % 6); }), kResultBadArgument);
    std::vector<uint8_t> record = Record(0);
    for (int s = 0; s < 6; ++s) {
        EXPECT_EQ(record[14 + 9 * s], s == active ? 1 : 0) << s;
    }
}

}  // namespace
}  // namespace q417::test

namespace q417::test {
namespace {

using MouseKeys = MouseDeviceFixture;

TEST_F(MouseKeys, StoredAssignmentReachesTheKeyTableAtTheButtonsPosition) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    const KeyTableLayout layout = Run([&] { return device->KeyLayout(); });
    auto position = layout.PositionOf(3);
    ASSERT_TRUE(position.has_value());
    KeyAssignmentEntry entry = Run([&] { return device->KeyEntries().at(3); });
    entry.current.type = 0x20;
    entry.current.param1 = 0x00;
    entry.current.param2 = 0x04;  // a keyboard key
    auto saved = Run([&] { return device->StoreKeyAssignment(3, entry); });
    ASSERT_TRUE(saved.has_value());
    EXPECT_NE(*saved, SaveResult::Failed);
    EXPECT_TRUE(Run([&] { return device->CollectUsedMacros(); }).empty());
    EXPECT_EQ(Run([&] { return device->WriteMacros({}); }), 0);
    EXPECT_EQ(Run([&] { return device->WriteCurrentKeyTable(0); }), kResultOk);
    std::vector<uint8_t> table = bus->KeyTable(emuId);
    ASSERT_GE(table.size(), 3u * (*position + 1u));
    EXPECT_EQ(table[3 * *position], 0x20);
    EXPECT_EQ(table[3 * *position + 2], 0x04);
    EXPECT_EQ(Run([&] { return device->WriteCurrentKeyTable(1); }), kResultBadArgument);
}

TEST_F(MouseKeys, MacroSizeIsCheckedAgainstTheMemoryTheMouseReportsNow) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    ASSERT_EQ(Run([&] { return device->InfoBlock().MacroMemoryUnits(); }), 64);
    // The firmware now offers one 128-byte unit; the block read at synchronisation still says 64.
    ASSERT_TRUE(bus->WithMouse(emuId, [](emu::MouseFirmware& m) { m.Info()[6] = 1; }));
    std::vector<MacroEvent> events(40, MacroEvent{true, 10, 4, 5});
    const int result = Run([&] {
        CMacroLibrary& macros = device->Macros();
        EXPECT_EQ(macros.AddMacro(), MacroResult::Done);
        EXPECT_EQ(macros.SaveMacro(0, std::span<const MacroEvent>(events)), MacroResult::Done);
        return device->WriteMacros({0});
    });
    EXPECT_EQ(result, MacroEventsOverLimit(16 + 6 + 4 * 40, 128));
}

}  // namespace
}  // namespace q417::test

namespace q417::test {
namespace {

// The template's stages are plain DPI; whatever way a template element becomes the profile, the
// mouse gets them in its own encoding.
class MouseTemplateStages : public MouseDeviceFixture {
protected:
    static constexpr int kTemplateDpi[6] = {400, 800, 1600, 3200, 6400, 12800};

    void SetUp() override {
        MouseDeviceFixture::SetUp();
        ConnectCable();
        Run([&] { return device->Synchronise(); });
        rule = Run([&] { return device->CurrentDpiRule(); });
    }
    static int Stored(const std::vector<uint8_t>& record, int s, int at = 2) {
        return record[14 + 9 * s + at] | (record[14 + 9 * s + at + 1] << 8);
    }
    void ExpectTemplateRecord(const char* how) {
        std::vector<uint8_t> record = Record(0);
        for (int s = 0; s < 6; ++s) {
            EXPECT_EQ(Stored(record, s), DpiToStored(rule, kTemplateDpi[s])) << how << " " << s;
            EXPECT_EQ(Stored(record, s, 4), DpiToStored(rule, kTemplateDpi[s])) << how << " " << s;
        }
    }
    // Loads profile id and writes its record, as a switch does.
    int Choose(const std::string& id) {
        return Run([&] {
            device->SetProfileId(id);
            device->LoadFromProfile();
            return device->WriteProfileRecord(0, 0, 1, 0, 0);
        });
    }
    std::string MouseFolder() const { return Folder() + "/mouse/"; }

    DpiRule rule;
};

TEST_F(MouseTemplateStages, ResetNewAndRebuiltProfilesSendTheTemplatesDpi) {
    ASSERT_EQ(rule.sensor, 0x3395);
    Run([&] { return device->EditStageDpi(0, 12000); });
    EXPECT_EQ(Run([&] {
                  device->ApplyProfile();
                  return device->WriteProfileRecord(0, 0, 1, 0, 0);
              }),
              kResultOk);
    ExpectTemplateRecord("reset");

    CProfileList list;
    list.SetKind(kDeviceKindMouse);
    list.SetFolders(MouseFolder(), Run([&] { return device->Profile().GetTemplatePath(); }));
    ASSERT_EQ(list.Initialise(), ProfileListResult::Done);
    std::string added;
    ASSERT_EQ(list.AddProfile(&added), ProfileListResult::Done);
    EXPECT_EQ(Choose(added), kResultOk);
    ExpectTemplateRecord("new profile");

    const std::string missing = "2030_01_02_03_04_05_006";
    EXPECT_EQ(Choose(missing), kResultOk);
    ExpectTemplateRecord("rebuilt profile");
    // The rebuilt document now holds stored values, no longer marked as plain DPI.
    const Json::Value stages =
        CJsonFile::ReadDocument(MouseFolder() + missing + ".Json")["Device"][0]["DPIStages"];
    EXPECT_FALSE(stages.isMember(kStageUnitKey));
    EXPECT_EQ(stages["StageDPIs"][2]["StageDPIX"].asInt(), DpiToStored(rule, 1600));
    // Loading it again converts nothing twice.
    EXPECT_EQ(Choose(missing), kResultOk);
    ExpectTemplateRecord("reloaded profile");
}

// A mouse whose template lies in a folder of the test's own, to be spoilt.
class MouseTemplateReset : public MouseDeviceFixture {
protected:
    void SetUp() override {
        MouseDeviceFixture::SetUp();
        defaults = Folder() + "/defaults/";
        std::filesystem::create_directories(defaults);
        templ = defaults + "mouse.Json";
        std::filesystem::copy_file(shipped, templ);
        DeviceOptions options;
        options.defaultDataFolder = defaults;
        MakeDevice(options);
        ConnectCable();
        Run([&] { return device->Synchronise(); });
    }
    void Spoil(const std::optional<std::string>& text) {
        std::filesystem::remove(templ);
        if (text) {
            std::ofstream(templ, std::ios::binary) << *text;
        }
    }

    const std::string shipped = DefaultDataFolder() + "mouse.Json";
    std::string defaults;
    std::string templ;
};

TEST_F(MouseTemplateReset, AnUnusableTemplateFailsAndChangesNothing) {
    Run([&] { return device->EditStageDpi(0, 12000); });
    const std::string profile = Run([&] { return device->Profile().GetProfilePath(); });
    const std::string before = CJsonFile::readjsonFile(profile);
    const std::vector<uint8_t> record = Record(0);
    const uint16_t edited = DpiToStored(Run([&] { return device->CurrentDpiRule(); }), 12000);

    Json::Value wild = CJsonFile::ReadDocument(shipped);
    wild["Device"][0]["DPIStages"]["StageDPIs"][3]["StageDPIX"] = 30000;
    Json::Value noKeys = CJsonFile::ReadDocument(shipped);
    noKeys["Device"][0].removeMember("KeyList");
    struct Case {
        std::optional<std::string> text;  // nullopt: no template file at all
        ResetResult expected;
    } cases[] = {
        {std::nullopt, ResetResult::TemplateMissing},
        {"{not json", ResetResult::TemplateUnreadable},
        {"[1, 2]", ResetResult::TemplateUnreadable},
        {R"({"Device": [null]})", ResetResult::TemplateNoElement},
        {noKeys.toStyledString(), ResetResult::TemplateNoElement},
        {wild.toStyledString(), ResetResult::TemplateDpiOutOfRange},
    };
    for (const Case& c : cases) {
        const std::string what = c.text.value_or("(none)");
        Spoil(c.text);
        EXPECT_EQ(Run([&] { return device->ApplyProfile(); }), c.expected) << what;
        EXPECT_EQ(CJsonFile::readjsonFile(profile), before) << what;
        EXPECT_EQ(Run([&] { return device->Profile().DpiStages()[0].dpiX; }), edited) << what;
        // The template is neither rewritten nor renamed aside.
        if (c.text) {
            EXPECT_EQ(CJsonFile::readjsonFile(templ), *c.text);
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(defaults), {}), c.text ? 1 : 0)
            << what;
    }
    EXPECT_EQ(Record(0), record);

    // The shipped template resets as before.
    Spoil(CJsonFile::readjsonFile(shipped));
    EXPECT_EQ(Run([&] { return device->ApplyProfile(); }), ResetResult::Done);
    EXPECT_NE(CJsonFile::readjsonFile(profile), before);
}

TEST_F(MouseTemplateStages, AnyStoredValueInAProfileFileGivesAnInRangeRecord) {
    const std::string path = Run([&] { return device->Profile().GetProfilePath(); });
    Json::Value doc = CJsonFile::ReadDocument(path);
    Json::Value& stages = doc["Device"][0]["DPIStages"]["StageDPIs"];
    stages[0]["StageDPIX"] = 0;
    stages[0]["StageDPIY"] = 0xFFFF;
    stages[1]["StageDPIX"] = 0xFFFF;
    stages[1]["StageDPIY"] = 0;
    ASSERT_TRUE(CJsonFile::WriteDocument(path, doc));
    EXPECT_EQ(Choose(CJsonFile::FileTitle(path)), kResultOk);
    std::vector<uint8_t> record = Record(0);
    for (int s = 0; s < 2; ++s) {
        for (int at : {2, 4}) {
            const int dpi = StoredToDpi(rule, static_cast<uint16_t>(Stored(record, s, at)));
            EXPECT_GE(dpi, kMinDpi) << s << " " << at;
            EXPECT_LE(dpi, kMaxDpi) << s << " " << at;
        }
    }
    EXPECT_EQ(Stored(record, 2), DpiToStored(rule, 1600));
}

}  // namespace
}  // namespace q417::test

namespace q417::test {
namespace {

using MouseRecoil = MouseDeviceFixture;

TEST_F(MouseRecoil, FactoryGunsGoToTheDeviceOnAFreshFolder) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    bus->ClearCommandLog(emuId);
    EXPECT_EQ(Run([&] { return device->WriteRecoil(); }), kResultOk);
    std::vector<uint8_t> block = bus->RecoilBlock(emuId);
    ASSERT_GE(block.size(), 2920u);
    EXPECT_EQ(block[0] | (block[1] << 8), 0x55AA);
    EXPECT_EQ(block[2] | (block[3] << 8), 2920);  // four guns of 30 shots, 6 events each
    EXPECT_EQ(block[4] | (block[5] << 8), 4);
    // The working copies were made from the factory files.
    for (int gun = 0; gun < 4; ++gun) {
        EXPECT_TRUE(std::filesystem::exists(Folder() + "/mouse/ShootData_" + std::to_string(gun) +
                                            ".Shoot"))
            << gun;
    }
}

}  // namespace
}  // namespace q417::test

namespace q417::test {
namespace {

TEST_F(MouseKeys, ChangedButtonKeepsItsPlaceInTheNextSession) {
    ConnectCable();
    Run([&] { return device->Synchronise(); });
    auto position = Run([&] { return device->KeyLayout(); }).PositionOf(4);
    ASSERT_TRUE(position.has_value());
    KeyAssignmentEntry entry = Run([&] { return device->KeyEntries().at(4); });
    entry.current = KeyAssignment{4, 0x20, 0x00, 0x05, 0};
    Run([&] { return device->StoreKeyAssignment(4, entry).has_value(); });
    ASSERT_EQ(Run([&] { return device->WriteCurrentKeyTable(0); }), kResultOk);

    // A new object (the next start): the factory code of button 4 is gone from the table, yet
    // setting it back to default must reach its place.
    device.reset();
    MakeDevice();
    Connect(emuId, false);
    Run([&] { return device->Synchronise(); });
    EXPECT_EQ(Run([&] { return device->KeyLayout(); }).PositionOf(4), position);
    entry = Run([&] { return device->KeyEntries().at(4); });
    entry.current = entry.defaults;
    Run([&] { return device->StoreKeyAssignment(4, entry).has_value(); });
    ASSERT_EQ(Run([&] { return device->WriteCurrentKeyTable(0); }), kResultOk);
    std::vector<uint8_t> table = bus->KeyTable(emuId);
    EXPECT_EQ(table[3 * *position], entry.defaults.type);
    EXPECT_EQ(table[3 * *position + 1], entry.defaults.param1);
}

}  // namespace
}  // namespace q417::test
