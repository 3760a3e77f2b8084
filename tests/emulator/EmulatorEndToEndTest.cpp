// The host's transport stack (descriptor parser, CHidInterface, report channel, command builders)
// driven against the emulated devices.
#include <gtest/gtest.h>

#include <numeric>

#include "EmuTestUtil.h"
#include "emulator/Descriptors.h"
#include "transport/CHidInterface.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"
#include "transport/HidReportDescriptor.h"

namespace q417::emu {
namespace {

using namespace std::chrono_literals;

struct Step {
    uint8_t code;
    uint8_t length;
    uint16_t offset;
    bool operator==(const Step&) const = default;
};

std::vector<Step> Steps(const std::vector<CommandLogEntry>& log) {
    std::vector<Step> steps;
    for (const CommandLogEntry& e : log) {
        steps.push_back({e.code, e.length, e.offset});
    }
    return steps;
}

void PrintTo(const Step& s, std::ostream* os) {
    *os << "(" << int(s.code) << "," << int(s.length) << "," << s.offset << ")";
}

TEST(EmulatedDescriptors, ParseIntoTheDeclaredCollections) {
    for (const DeviceLayout* layout :
         {&WiredMouseLayout(), &Receiver7102Layout(), &Receiver7103Layout()}) {
        for (const InterfaceLayout& iface : layout->interfaces) {
            SCOPED_TRACE(testing::Message()
                         << std::hex << layout->productId << " interface " << int(iface.number));
            std::string error;
            auto info = ParseHidReportDescriptor(iface.descriptor, &error);
            ASSERT_TRUE(info) << error;
            ASSERT_EQ(info->collections.size(), iface.collections.size());
            for (std::size_t c = 0; c < iface.collections.size(); ++c) {
                const CollectionLayout& want = iface.collections[c];
                const HidPreparsed& got = *info->collections[c];
                EXPECT_EQ(got.Caps().usagePage, want.usagePage) << c;
                EXPECT_EQ(got.Caps().usage, want.usage) << c;
                EXPECT_EQ(got.Caps().inputReportByteLength, want.inputBytes) << c;
                EXPECT_EQ(got.Caps().outputReportByteLength, want.outputBytes) << c;
                if (want.inputBytes > 0 && want.inputReportId != 0) {
                    EXPECT_TRUE(got.OwnsReportId(HidReportType::Input, want.inputReportId)) << c;
                }
                if (want.role == CollectionRole::Notification) {
                    const auto& buttons = got.ButtonCaps(HidReportType::Input);
                    ASSERT_EQ(buttons.size(), 1u);
                    EXPECT_TRUE(buttons[0].isArray);
                    EXPECT_EQ(buttons[0].usageMin, 0);
                    EXPECT_EQ(buttons[0].usageMax, kConsumerUsageMax);
                }
            }
        }
    }
}

TEST(EmulatedNotifications, HighCodesSurviveUnpacking) {
    EmulatedHidBus bus;
    auto shared = std::shared_ptr<EmulatedHidBus>(&bus, [](EmulatedHidBus*) {});
    DeviceId r = bus.PlugReceiver(kReceiverProductId, true);
    CHidInterface hid(shared);
    ASSERT_TRUE(hid.Open(test::ConsumerPath(bus, r), true, false, true, false));
    EXPECT_EQ(hid.CollectionNumber(), 3u);
    EXPECT_EQ(hid.InterfaceNumber(), 1u);
    for (uint16_t code : {0x0401, 0x1153, 0x11FF}) {
        ASSERT_TRUE(bus.RaiseNotification(r, code));
        std::array<uint8_t, 16> report{};
        uint32_t n = 0;
        ASSERT_TRUE(hid.ReadReport(report, &n, 1000));
        ASSERT_TRUE(hid.UnpackInputReport(std::span(report.data(), n)));
        auto items = hid.Items(HidReportType::Input);
        ASSERT_FALSE(items.empty());
        ASSERT_FALSE(items[0].usages.empty());
        EXPECT_EQ(items[0].usages[0], code);
    }
}

class ChannelTest : public ::testing::Test {
protected:
    void Connect(DeviceId id, Endpoint endpoint) {
        device = id;
        CHidInterface& hid =
            endpoint == Endpoint::Cable ? channel.InterfaceA() : channel.InterfaceB();
        ASSERT_TRUE(hid.Open(test::VendorPath(*bus, id), true, true, true, false));
        channel.SetOpen(true);
        channel.SelectEndpoint(static_cast<int>(endpoint));
        // Short pauses keep the suite quick; the emulator does not depend on them.
        channel.SetPacing({1ms, 1ms});
    }
    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    CReportChannel channel{bus};
    DeviceId device = kNoDevice;
};

TEST_F(ChannelTest, CableSynchronisationReadsInfoAndKeyTables) {
    Connect(bus->PlugWiredMouse(), Endpoint::Cable);
    std::array<uint8_t, q417::kInfoBlockSize> info{};
    ASSERT_EQ(CmdBegin(channel), kResultOk);
    ASSERT_EQ(CmdReadInfo(channel, info), kResultOk);
    EXPECT_EQ(info[5], 11);
    ASSERT_TRUE(channel.SetBlockSize(info[5] * 3));
    std::array<uint8_t, 512> keys{};
    std::array<uint8_t, 512> bank{};
    ASSERT_EQ(CmdReadKeyTable(channel, keys), kResultOk);
    ASSERT_EQ(CmdReadKeyTableBank(channel, bank, 0), kResultOk);
    ASSERT_EQ(CmdEnd(channel), kResultOk);
    std::vector<uint8_t> table = bus->KeyTable(device);
    EXPECT_TRUE(std::equal(keys.begin(), keys.begin() + 33, table.begin()));
    EXPECT_EQ(keys, bank);
    EXPECT_EQ(keys[0], 0x10);  // left button
    EXPECT_EQ(Steps(bus->TakeCommandLog(device)),
              (std::vector<Step>{
                  {0x01, 0, 0}, {0x03, 34, 0}, {0x07, 33, 0}, {0x08, 33, 0}, {0x02, 0, 0}}));
}

TEST_F(ChannelTest, ReceiverRecordWriteLandsAtP96) {
    Connect(bus->PlugReceiver(kReceiverProductId, true), Endpoint::Receiver);
    EXPECT_TRUE(CmdQueryLink(channel));
    std::array<uint8_t, q417::kInfoBlockSize> info{};
    ASSERT_EQ(CmdReadInfo(channel, info), kResultOk);
    EXPECT_EQ(info[9] | (info[10] << 8), 0x3395);

    std::array<uint8_t, 1> current{};
    ASSERT_EQ(CmdReadMemory(channel, current, 0), kResultOk);
    EXPECT_EQ(current[0], 0);
    std::array<uint8_t, 80> record{};
    ASSERT_EQ(CmdReadMemory(channel, record, 4 * 96), kResultOk);
    std::vector<uint8_t> before = bus->ReadMouseMemory(device, 4 * 96, 80);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), before.begin()));
    record[12] = 4;                 // active stage
    record[14 + 9 * 4 + 2] = 0x17;  // stage 4's X value, low byte
    bus->ClearCommandLog(device);
    {
        CmdTransaction tx(channel);
        ASSERT_TRUE(tx.Begun());
        ASSERT_EQ(CmdWriteMemory(channel, record, 4 * 96), kResultOk);
    }
    auto mem = bus->ReadMouseMemory(device, 4 * 96, 80);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), mem.begin()));
    bus->WithMouse(device, [](MouseFirmware& m) { m.SelectProfile(4); });
    EXPECT_EQ(bus->ActiveDpiStage(device), 4);
    EXPECT_EQ(Steps(bus->TakeCommandLog(device)), (std::vector<Step>{{0x01, 0, 0},
                                                                     {0x06, 24, 384},
                                                                     {0x06, 24, 408},
                                                                     {0x06, 24, 432},
                                                                     {0x06, 8, 456},
                                                                     {0x02, 0, 0}}));
}

TEST_F(ChannelTest, LinkDownRefusesEverythingButTheQuery) {
    Connect(bus->PlugReceiver(kReceiver2ProductId, false), Endpoint::Receiver);
    EXPECT_FALSE(CmdQueryLink(channel));
    EXPECT_EQ(CmdBegin(channel), kResultRefused);
    bus->SetLink(device, true);
    EXPECT_TRUE(CmdQueryLink(channel));
    EXPECT_EQ(CmdBegin(channel), kResultOk);
    auto log = bus->TakeCommandLog(device);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(log[1].refused);
    EXPECT_FALSE(log[3].refused);
}

TEST_F(ChannelTest, StreamAndRecoilThroughTheReceiver) {
    Connect(bus->PlugReceiver(kReceiverProductId, true), Endpoint::Receiver);
    std::vector<uint8_t> colours(33);
    std::iota(colours.begin(), colours.end(), 1);
    ASSERT_EQ(CmdStreamLight(channel, colours), kResultOk);
    std::vector<uint8_t> recoil(120);
    std::iota(recoil.begin(), recoil.end(), 7);
    ASSERT_EQ(CmdWriteRecoil(channel, recoil), kResultOk);
    auto log = bus->TakeCommandLog(device);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_TRUE(log[0].crc && !log[0].refused);
    EXPECT_EQ(Steps(std::vector<CommandLogEntry>(log.begin() + 2, log.end())),
              (std::vector<Step>{{0x17, 56, 0}, {0x17, 56, 56}, {0x17, 8, 112}}));
    bus->WithMouse(device, [&](MouseFirmware& m) {
        EXPECT_TRUE(std::equal(colours.begin(), colours.end(), m.LightStream().begin()));
    });
    std::vector<uint8_t> stored = bus->RecoilBlock(device);
    EXPECT_TRUE(std::equal(recoil.begin(), recoil.end(), stored.begin()));
}

TEST_F(ChannelTest, FaultsMapToTheirResultCodes) {
    Connect(bus->PlugReceiver(kReceiverProductId, true), Endpoint::Receiver);
    std::array<uint8_t, 48> macros{};
    macros.fill(0x5A);

    // 0xFE on the second chunk: the first chunk stays written.
    bus->InjectFault(device, {FaultKind::Status, 1, 1, 0xFE});
    EXPECT_EQ(CmdWriteMacros(channel, macros), kResultStatusFE);
    std::vector<uint8_t> stored = bus->MacroMemory(device);
    EXPECT_EQ(stored[23], 0x5A);
    EXPECT_EQ(stored[24], 0x00);

    bus->InjectFault(device, {FaultKind::Status, 0, 1, 0xFF});
    EXPECT_EQ(CmdBegin(channel), kResultStatusFF);

    bus->InjectFault(device, {FaultKind::StaleReply});
    std::array<uint8_t, q417::kInfoBlockSize> info{};
    EXPECT_EQ(CmdReadInfo(channel, info), kResultOk);
    EXPECT_EQ(info[5], 11);

    bus->InjectFault(device, {FaultKind::FailedWrite});
    EXPECT_EQ(CmdBegin(channel), kResultWriteFailed);

    bus->InjectFault(device, {FaultKind::NoReply});
    EXPECT_EQ(CmdBegin(channel), kResultNoReply);
    // A reply later than both reads fails the exchange; the next exchange skips it as stale.
    bus->InjectFault(device, {FaultKind::DelayedReply, 0, 1, 0, 1200});
    EXPECT_EQ(CmdBegin(channel), kResultNoReply);
    EXPECT_EQ(CmdReadInfo(channel, info), kResultOk);

    bus->InjectFault(device, {FaultKind::UnplugMidTransfer, 1});
    EXPECT_EQ(CmdWriteMacros(channel, macros), kResultWriteFailed);
    EXPECT_FALSE(bus->IsPlugged(device));
}

}  // namespace
}  // namespace q417::emu
