// The firmware models seen through raw frames on the vendor collection: checksums, CRC, link
// refusal, memories, range checks and every injected fault.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>

#include "EmuTestUtil.h"
#include "emulator/ReceiverFirmware.h"

namespace q417::emu {
namespace {

using namespace std::chrono_literals;
using test::MakeFrame;
using test::OpenPath;
using test::Transact;
using test::VendorPath;

class WiredFrames : public ::testing::Test {
protected:
    void SetUp() override {
        id = bus.PlugWiredMouse();
        dev = OpenPath(bus, VendorPath(bus, id));
        ASSERT_NE(dev, nullptr);
    }
    EmulatedHidBus bus;
    DeviceId id = kNoDevice;
    std::unique_ptr<IHidDevice> dev;
};

TEST_F(WiredFrames, InfoBlockDescribesTheMouse) {
    auto reply = Transact(*dev, MakeFrame(0x03, 34, 0));
    ASSERT_TRUE(reply);
    const Frame& r = *reply;
    EXPECT_EQ(r[0], 4);
    EXPECT_EQ(r[3], 0x03);
    EXPECT_EQ(r[4], 34);
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[1] | (r[2] << 8), SumChecksum(r));  // the cable signs with the sum
    const uint8_t* info = r.data() + 8;
    EXPECT_EQ(info[5], 11);
    EXPECT_EQ(info[6] * 128, 8192);
    EXPECT_EQ(info[9] | (info[10] << 8), 0x3395);
    EXPECT_EQ(info[11], 50);
    EXPECT_EQ(info[14] | (info[15] << 8), 50);
    // A chunk beyond the 34 bytes is refused and returns no data.
    auto past = Transact(*dev, MakeFrame(0x03, 24, 24));
    ASSERT_TRUE(past);
    EXPECT_EQ((*past)[7], 0xFF);
    EXPECT_EQ((*past)[8], 0);
}

TEST_F(WiredFrames, BadSumIsRefusedAndChangesNothing) {
    std::array<uint8_t, 4> data = {9, 9, 9, 9};
    Frame f = MakeFrame(0x06, 4, 96, data);
    f[1] ^= 0x01;
    auto reply = Transact(*dev, f);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)[3], 0x06);
    EXPECT_EQ((*reply)[7], 0xFF);
    EXPECT_NE(bus.ReadMouseMemory(id, 96, 4), std::vector<uint8_t>(data.begin(), data.end()));
    auto log = bus.TakeCommandLog(id);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].refused);
    EXPECT_EQ(log[0].status, 0xFF);
    EXPECT_EQ(log[0].offset, 96);
}

TEST_F(WiredFrames, ProfileRecordsLieAtP96AndRoundTrip) {
    // Factory records: the DPI stages use the 0x3395 encoding.
    std::vector<uint8_t> rec = bus.ReadMouseMemory(id, 2 * 96, 80);
    ASSERT_EQ(rec.size(), 80u);
    EXPECT_EQ(rec[0], 2);
    const uint8_t* stage5 = rec.data() + 14 + 9 * 5;
    EXPECT_EQ(DecodeDpi(static_cast<uint16_t>(stage5[2] | (stage5[3] << 8))), 12800u);

    std::array<uint8_t, 56> data{};
    std::iota(data.begin(), data.end(), 100);
    auto w = Transact(*dev, MakeFrame(0x06, 56, 3 * 96, data));
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[7], 0);
    auto r = Transact(*dev, MakeFrame(0x05, 56, 3 * 96));
    ASSERT_TRUE(r);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r->begin() + 8));
    EXPECT_EQ(bus.ReadMouseMemory(id, 3 * 96, 56), std::vector<uint8_t>(data.begin(), data.end()));
    // Profile 2 is untouched.
    EXPECT_EQ(bus.ReadMouseMemory(id, 2 * 96, 80), rec);
}

TEST_F(WiredFrames, OutOfRangeRequestsAreRefusedWithoutWriting) {
    const std::size_t end = 6 * 96;
    std::array<uint8_t, 8> data{1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> before = bus.ReadMouseMemory(id, end - 4, 4);
    auto w = Transact(*dev, MakeFrame(0x06, 8, static_cast<uint16_t>(end - 4), data));
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[7], 0xFF);
    EXPECT_EQ(bus.ReadMouseMemory(id, end - 4, 4), before);
    // More than 56 data bytes in one frame.
    auto big = Transact(*dev, MakeFrame(0x05, 57, 0));
    ASSERT_TRUE(big);
    EXPECT_EQ((*big)[7], 0xFF);
    // Macro memory ends at 8 KiB, recoil at 4 KiB, the key table at 512 bytes.
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x15, 8, 8188, data)))[7], 0xFF);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x15, 8, 8184, data)))[7], 0);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x17, 8, 4090, data)))[7], 0xFF);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x08, 8, 512, data)))[7], 0xFF);
    // Unknown command.
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x44)))[7], 0xFF);
}

TEST_F(WiredFrames, EveryCommandCodeIsAnswered) {
    std::array<uint8_t, 6> data{1, 2, 3, 4, 5, 6};
    for (uint8_t code : {0x01, 0x02, 0x03, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x12, 0x15,
                         0x17, 0x1A, 0x1B, 0x1C, 0x27, 0xAA}) {
        auto r = Transact(*dev, MakeFrame(code, 6, 0, data));
        ASSERT_TRUE(r) << int(code);
        EXPECT_EQ((*r)[3], code);
        EXPECT_EQ((*r)[4], 6);
        EXPECT_EQ((*r)[7], 0) << int(code);
    }
    // The writes landed where each command addresses.
    std::vector<uint8_t> expected(data.begin(), data.end());
    auto head = [](std::vector<uint8_t> v) {
        return std::vector<uint8_t>(v.begin(), v.begin() + 6);
    };
    EXPECT_EQ(head(bus.KeyTable(id)), expected);
    EXPECT_EQ(head(bus.MacroMemory(id)), expected);
    EXPECT_EQ(head(bus.RecoilBlock(id)), expected);
    bool lightControl = false;
    bus.WithMouse(id, [&](MouseFirmware& m) {
        lightControl = m.LightControlEnabled();
        EXPECT_TRUE(std::equal(data.begin(), data.end(), m.KeyTable2().begin()));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), m.Pages().begin()));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), m.LightStream().begin()));
    });
    EXPECT_TRUE(lightControl);
    // The power status reads as battery level and charge state.
    auto status = Transact(*dev, MakeFrame(0x1A, 6, 0));
    EXPECT_EQ((*status)[8], 85);
}

TEST(ReceiverFrames, RepliesCarryTheCrcAndTheLinkDecidesTheAnswer) {
    EmulatedHidBus bus;
    DeviceId r = bus.PlugReceiver(kReceiverProductId, true);
    auto dev = OpenPath(bus, VendorPath(bus, r));
    ASSERT_NE(dev, nullptr);

    auto info = Transact(*dev, MakeFrame(0x03, 24, 0));
    ASSERT_TRUE(info);
    EXPECT_TRUE(FrameCrcMatches(*info));
    EXPECT_EQ((*info)[3], 0x03);
    EXPECT_EQ((*info)[8 + 5], 11);

    auto up = Transact(*dev, MakeFrame(0xAA));
    ASSERT_TRUE(up);
    EXPECT_EQ((*up)[8], 0xFF);

    bus.SetLink(r, false);
    auto refused = Transact(*dev, MakeFrame(0x05, 1, 0));
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)[3], 0xAA);
    auto down = Transact(*dev, MakeFrame(0xAA));
    ASSERT_TRUE(down);
    EXPECT_EQ((*down)[3], 0xAA);
    EXPECT_EQ((*down)[8], 0x00);
    EXPECT_EQ((*down)[7], 0);
    auto log = bus.TakeCommandLog(r);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(log[2].refused);
    EXPECT_FALSE(log[3].refused);
}

TEST(ReceiverFrames, LightingStreamMustCarryTheCrc) {
    EmulatedHidBus bus;
    DeviceId r = bus.PlugReceiver(kReceiver2ProductId, true);
    auto dev = OpenPath(bus, VendorPath(bus, r));
    std::array<uint8_t, 3> rgb{0x10, 0x20, 0x30};
    Frame summed = MakeFrame(0x12, 3, 0, rgb);  // a sum where the CRC belongs
    auto refused = Transact(*dev, summed);
    ASSERT_TRUE(refused);
    EXPECT_EQ((*refused)[7], 0xFF);
    Frame crc = summed;
    StoreFrameCrc(crc);
    auto ok = Transact(*dev, crc);
    ASSERT_TRUE(ok);
    EXPECT_EQ((*ok)[7], 0);
    EXPECT_TRUE(FrameCrcMatches(*ok));
    auto log = bus.TakeCommandLog(r);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].refused && log[0].crc);
    EXPECT_FALSE(log[1].refused);
    bus.WithMouse(r, [&](MouseFirmware& m) {
        EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), m.LightStream().begin()));
    });
}

class FaultFrames : public WiredFrames {};

TEST_F(FaultFrames, NoReplyThenNormal) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::NoReply, 0, 2}));
    Frame f{};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(dev->Write(MakeFrame(0x01), 1000).status, HidIoStatus::Ok);
        EXPECT_EQ(dev->Read(f, 30).status, HidIoStatus::Timeout);
    }
    EXPECT_TRUE(Transact(*dev, MakeFrame(0x01)));
    auto log = bus.TakeCommandLog(id);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].fault, FaultKind::NoReply);
    EXPECT_FALSE(log[0].replied);
    EXPECT_TRUE(log[2].replied);
}

TEST_F(FaultFrames, StaleReplyComesFirstWithAnotherCode) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::StaleReply}));
    auto first = Transact(*dev, MakeFrame(0x03, 34, 0));
    ASSERT_TRUE(first);
    EXPECT_NE((*first)[3], 0x03);
    Frame second{};
    ASSERT_EQ(dev->Read(second, 1000).status, HidIoStatus::Ok);
    EXPECT_EQ(second[3], 0x03);
    EXPECT_EQ(second[8 + 5], 11);
}

TEST_F(FaultFrames, StatusFaultOnTheSecondFrameKeepsTheFirst) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::Status, 1, 1, 0xFE}));
    std::array<uint8_t, 2> a{0xA1, 0xA2};
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x06, 2, 96, a)))[7], 0);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x06, 2, 98, a)))[7], 0xFE);
    EXPECT_EQ(bus.ReadMouseMemory(id, 96, 4), (std::vector<uint8_t>{0xA1, 0xA2, 3, 2}));
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::Status, 0, 1, 0xFF}));
    auto ff = Transact(*dev, MakeFrame(0x01));
    EXPECT_EQ((*ff)[7], 0xFF);
    EXPECT_EQ((*ff)[1] | ((*ff)[2] << 8), SumChecksum(*ff));
}

TEST_F(FaultFrames, FailedWriteReachesNoFirmware) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::FailedWrite}));
    std::array<uint8_t, 1> p{4};
    EXPECT_EQ(dev->Write(MakeFrame(0x06, 1, 0, p), 1000).status, HidIoStatus::Error);
    EXPECT_EQ(bus.CurrentProfile(id), 0);
    Frame f{};
    EXPECT_EQ(dev->Read(f, 20).status, HidIoStatus::Timeout);
    EXPECT_TRUE(Transact(*dev, MakeFrame(0x06, 1, 0, p)));
    EXPECT_EQ(bus.CurrentProfile(id), 4);
}

TEST_F(FaultFrames, FaultsCountFramesEachFromWhenArmed) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::Status, 1, 1, 0xFE}));
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::FailedWrite}));
    EXPECT_EQ(dev->Write(MakeFrame(0x01), 1000).status, HidIoStatus::Error);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x01)))[7], 0xFE);
    EXPECT_EQ((*Transact(*dev, MakeFrame(0x01)))[7], 0);
}

TEST_F(FaultFrames, DelayedReplyArrivesLateAndInOrder) {
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::DelayedReply, 0, 1, 0, 200}));
    ASSERT_EQ(dev->Write(MakeFrame(0x01), 1000).status, HidIoStatus::Ok);
    Frame f{};
    EXPECT_EQ(dev->Read(f, 20).status, HidIoStatus::Timeout);
    ASSERT_EQ(dev->Write(MakeFrame(0x02), 1000).status, HidIoStatus::Ok);
    ASSERT_EQ(dev->Read(f, 5000).status, HidIoStatus::Ok);
    EXPECT_EQ(f[3], 0x01);
    ASSERT_EQ(dev->Read(f, 5000).status, HidIoStatus::Ok);
    EXPECT_EQ(f[3], 0x02);
}

TEST_F(FaultFrames, UnplugInTheMiddleOfATransfer) {
    auto consumer = OpenPath(bus, test::ConsumerPath(bus, id), false);
    ASSERT_TRUE(bus.InjectFault(id, {FaultKind::UnplugMidTransfer, 2}));
    EXPECT_TRUE(Transact(*dev, MakeFrame(0x05, 24, 0)));
    EXPECT_TRUE(Transact(*dev, MakeFrame(0x05, 24, 24)));
    EXPECT_EQ(dev->Write(MakeFrame(0x05, 24, 48), 1000).status, HidIoStatus::Gone);
    EXPECT_FALSE(bus.IsPlugged(id));
    Frame f{};
    EXPECT_EQ(consumer->Read(f, kHidInfinite).status, HidIoStatus::Gone);
    std::vector<std::string> paths;
    bus.EnumeratePaths(paths);
    EXPECT_TRUE(paths.empty());
}

TEST(MouseFirmwareState, ProfileAndStageSelection) {
    MouseFirmware m;
    EXPECT_EQ(m.CurrentProfile(), 0);
    EXPECT_EQ(m.ActiveDpiStage(), 1);
    EXPECT_TRUE(m.SelectProfile(5));
    EXPECT_TRUE(m.SelectDpiStage(3));
    EXPECT_EQ(m.Memory()[5 * 96 + 12], 3);
    EXPECT_EQ(m.ActiveDpiStage(), 3);
    EXPECT_FALSE(m.SelectProfile(6));
    EXPECT_FALSE(m.SelectDpiStage(6));
    // A host may write any byte at offset 0; the stage lookup stays inside memory.
    m.Memory()[0] = 200;
    EXPECT_EQ(m.ActiveDpiStage(), 0);
    EXPECT_EQ(EncodeDpi(400), 7);
    EXPECT_EQ(DecodeDpi(EncodeDpi(26000)), 26000u);
}

}  // namespace
}  // namespace q417::emu
