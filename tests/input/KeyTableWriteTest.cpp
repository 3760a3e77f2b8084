// The key map, the used-macro list and the key table write, the last against the emulated mouse
// by cable and through the receiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "emulator/EmuTestUtil.h"
#include "emulator/EmulatedHidBus.h"
#include "input/KeyTableDecode.h"
#include "input/KeyTableWrite.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;
using emu::DeviceId;
using emu::EmulatedHidBus;
using test::Code;
using test::DecodeKeyTable;
using test::Encoded;

// Entries whose current and default codes are the mouse's factory codes.
std::vector<KeyAssignmentEntry> FactoryEntries() {
    std::vector<KeyAssignmentEntry> entries;
    for (const KeyAssignment& code : MouseFactoryCodes()) {
        entries.push_back({code, code});
    }
    return entries;
}

void Assign(std::vector<KeyAssignmentEntry>& entries, std::size_t key, std::int32_t code) {
    entries[key].current = DecodeAssignment(code, static_cast<std::uint16_t>(key));
}

TEST(KeyTableLayout, KeysFindTheirFactoryCodes) {
    // Key 0's code at position 2, key 2's at position 0.
    std::vector<std::uint8_t> table = {0x10, 0x02, 0,    0x10, 0x04, 0,    0x10, 0x01,
                                       0,    0x13, 0x03, 0,    0x10, 0x08, 0};
    KeyTableLayout layout = BuildKeyTableLayout(KeyTableKind::Mouse, table, 5, MouseFactoryCodes());
    ASSERT_EQ(layout.positions.size(), 12u);
    EXPECT_EQ(layout.PositionOf(0), 2);
    EXPECT_EQ(layout.PositionOf(1), 1);
    EXPECT_EQ(layout.PositionOf(2), 0);
    EXPECT_EQ(layout.PositionOf(3), 4);
    EXPECT_EQ(layout.PositionOf(5), 3);
    // Keys not found, and every key at or beyond the key count, carry the mark.
    for (std::size_t k : {4u, 6u, 7u, 8u, 9u, 10u, 11u}) {
        EXPECT_EQ(layout.positions[k], kMouseNoPosition) << k;
        EXPECT_FALSE(layout.PositionOf(k).has_value()) << k;
    }
    EXPECT_FALSE(layout.PositionOf(12).has_value());
    // A key count beyond the table read only searches what was read.
    layout = BuildKeyTableLayout(KeyTableKind::Keyboard, std::span(table).first(6), 170,
                                 MouseFactoryCodes());
    EXPECT_EQ(layout.positions[0], kKeyboardNoPosition);
    EXPECT_EQ(layout.PositionOf(1), 1);
}

TEST(KeyTableCompose, UsedMacrosAndCompactNumbers) {
    auto entries = FactoryEntries();
    KeyTableLayout layout{KeyTableKind::Mouse, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xAA}};
    Assign(entries, 1, 0x700501);   // macro 5
    Assign(entries, 3, 0x710203);   // macro 2, counted
    Assign(entries, 4, 0x700500);   // macro 5 again
    Assign(entries, 6, 0x700900);   // macro 9 of 6: gone from the library
    Assign(entries, 11, 0x700000);  // no device position
    EXPECT_EQ(CollectUsedMacros(entries, 6, layout), (std::vector<int>{5, 2}));
    EXPECT_TRUE(CollectUsedMacros(entries, 0, layout).empty());
    EXPECT_TRUE(CollectUsedMacros(entries, -1, layout).empty());

    std::vector<std::uint8_t> base(3 * 11, 0xEE);
    auto copy = entries;
    auto table = ComposeKeyTable(base, 11, copy, 6, layout);
    ASSERT_EQ(table.size(), 33u);
    auto codes = Encoded(DecodeKeyTable(table, 11));
    EXPECT_EQ(codes[1], 0x700001);
    EXPECT_EQ(codes[3], 0x710103);
    EXPECT_EQ(codes[4], 0x700000);
    EXPECT_EQ(codes[6], 0x130100);  // key 6's default
    EXPECT_EQ(codes[0], 0x100100);
    // The replacements stay in the copy.
    EXPECT_EQ(copy[6].current.type, 0x13);
    EXPECT_EQ(copy[1].current.param1, 0);

    // A position beyond the key count is never written; a short base is refused.
    layout.positions[2] = 20;
    table = ComposeKeyTable(base, 11, copy, 6, layout);
    EXPECT_EQ(table[6], 0xEE);
    EXPECT_TRUE(ComposeKeyTable(std::span(base).first(30), 11, copy, 6, layout).empty());
}

TEST(KeyTableCompose, KeyboardWalksItsFirst126Keys) {
    std::vector<KeyAssignmentEntry> entries(130);
    KeyTableLayout layout{KeyTableKind::Keyboard, std::vector<std::uint8_t>(130, 0xFF)};
    layout.positions[0] = 0;
    layout.positions[125] = 1;
    layout.positions[126] = 2;
    Assign(entries, 0, 0x700300);
    Assign(entries, 5, 0x700100);  // no position
    Assign(entries, 125, 0x700200);
    Assign(entries, 126, 0x700000);  // beyond the walk
    EXPECT_EQ(CollectUsedMacros(entries, 4, layout), (std::vector<int>{3, 2}));
    std::vector<std::uint8_t> base(9, 0);
    auto table = ComposeKeyTable(base, 3, entries, 4, layout);
    EXPECT_EQ(Encoded(DecodeKeyTable(table, 3)),
              (std::vector<std::int32_t>{0x700000, 0x700100, 0x000000}));
}

class KeyTableWriteTest : public ::testing::Test {
protected:
    void Connect(DeviceId id, bool receiver) {
        device = id;
        wireless = receiver;
        CHidInterface& hid = receiver ? channel.InterfaceB() : channel.InterfaceA();
        ASSERT_TRUE(hid.Open(emu::test::VendorPath(*bus, id), true, true, true, false));
        channel.SetOpen(true);
        channel.SelectEndpoint(receiver ? 2 : 1);
        channel.SetPacing({1ms, 1ms});
        lastRead = bus->KeyTable(id);
        ASSERT_EQ(lastRead.size(), 512u);
        layout = BuildKeyTableLayout(KeyTableKind::Mouse, lastRead, 11, MouseFactoryCodes());
        entries = FactoryEntries();
        Assign(entries, 0, 0x700500);
        Assign(entries, 2, 0x200004);
        bus->ClearCommandLog(id);
    }
    int Write(const ChunkProgress& progress = {}) {
        return WriteKeyTable(channel, wireless, lastRead, entries, 6, layout, progress);
    }
    std::vector<std::uint8_t> Codes() {
        std::vector<std::uint8_t> out;
        for (const auto& e : bus->CommandLog(device)) {
            out.push_back(e.code);
        }
        return out;
    }
    std::vector<std::int32_t> DeviceCodes() {
        return Encoded(DecodeKeyTable(bus->KeyTable(device), 11));
    }

    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    CReportChannel channel{bus};
    DeviceId device = emu::kNoDevice;
    bool wireless = false;
    std::vector<std::uint8_t> lastRead;
    KeyTableLayout layout;
    std::vector<KeyAssignmentEntry> entries;
};

const std::vector<std::int32_t> kFactoryTable = {0x100100, 0x100400, 0x100200, 0x100800,
                                                 0x101000, 0x130300, 0x130100, 0x130200,
                                                 0xA01B00, 0x169001, 0x147802};

TEST_F(KeyTableWriteTest, CableWriteLandsAtTheKeysPositions) {
    // The device keeps key 0's record at position 2 and key 2's at position 0.
    bus->WithMouse(bus->PlugWiredMouse(), [](emu::MouseFirmware& fw) {
        std::swap_ranges(fw.KeyTable().begin(), fw.KeyTable().begin() + 3,
                         fw.KeyTable().begin() + 6);
    });
    Connect(bus->Devices().back(), false);
    EXPECT_EQ(layout.PositionOf(0), 2);
    Assign(entries, 7, 0x700200);  // macro 2 after macro 5
    Assign(entries, 8, 0x700700);  // macro 7 of 6: default
    std::size_t frames = 0;
    EXPECT_EQ(Write([&](std::size_t done, std::size_t total) {
                  frames = total;
                  EXPECT_LE(done, total);
              }),
              1);
    EXPECT_EQ(frames, 1u);
    EXPECT_EQ(DeviceCodes(),
              (std::vector<std::int32_t>{0x200004, 0x100400, 0x700000, 0x100800, 0x101000, 0x130300,
                                         0x130100, 0x700100, 0xA01B00, 0x169001, 0x147802}));
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x03, 0x01, 0x09, 0x02}));
    EXPECT_EQ(channel.BlockSize(), 33);
    // Nothing beyond the 33 bytes changed.
    auto after = bus->KeyTable(device);
    EXPECT_TRUE(std::equal(after.begin() + 33, after.end(), lastRead.begin() + 33));
}

TEST_F(KeyTableWriteTest, ReceiverChecksTheLinkBeforeEveryCommand) {
    Connect(bus->PlugReceiver(emu::kReceiverProductId, true), true);
    EXPECT_EQ(Write(), 1);
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0xAA, 0x03, 0x03, 0xAA, 0x01, 0xAA, 0x09, 0x09,
                                                  0xAA, 0x02}));
    EXPECT_EQ(DeviceCodes()[0], 0x700000);
    EXPECT_EQ(DeviceCodes()[2], 0x200004);
}

TEST_F(KeyTableWriteTest, LinkDownOrLostIsNeverSuccess) {
    DeviceId r = bus->PlugReceiver(emu::kReceiverProductId, false);
    Connect(r, true);
    EXPECT_EQ(Write(), 0);
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0xAA}));

    // The link drops after the first frame of the table.
    bus->SetLink(r, true);
    bus->ClearCommandLog(r);
    Assign(entries, 9, 0x400100);  // position 9 travels in the second frame
    int result = Write([&](std::size_t done, std::size_t) {
        if (done == 1) {
            bus->SetLink(r, false);
        }
    });
    EXPECT_NE(result, 1);
    EXPECT_EQ(result, kResultRefused);
    auto codes = Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x02), 0);
    EXPECT_EQ(DeviceCodes()[0], 0x700000);  // first frame
    EXPECT_EQ(DeviceCodes()[9], 0x169001);  // second frame refused
}

TEST_F(KeyTableWriteTest, CableUnpluggedMidWrite) {
    Connect(bus->PlugWiredMouse(), false);
    bus->InjectFault(device, {emu::FaultKind::UnplugMidTransfer, 2});
    int result = Write();
    EXPECT_NE(result, 1);
    EXPECT_LE(result, 0);
}

TEST_F(KeyTableWriteTest, DeviceFailureIsTheResultAndTheTransactionEnds) {
    Connect(bus->PlugWiredMouse(), false);
    bus->InjectFault(device, {emu::FaultKind::Status, 2, 1, 0xFE});
    EXPECT_EQ(Write(), kResultStatusFE);
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x03, 0x01, 0x09, 0x02}));
    EXPECT_EQ(DeviceCodes(), kFactoryTable);
}

TEST_F(KeyTableWriteTest, RefusedBeforeAnythingIsWritten) {
    Connect(bus->PlugWiredMouse(), false);
    // More keys than a 512-byte table holds, and no keys at all.
    for (std::uint8_t keys : {171, 255, 0}) {
        bus->WithMouse(device, [&](emu::MouseFirmware& fw) { fw.Info()[5] = keys; });
        bus->ClearCommandLog(device);
        EXPECT_EQ(Write(), 0) << int{keys};
        EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x03})) << int{keys};
    }
    bus->WithMouse(device, [&](emu::MouseFirmware& fw) { fw.Info()[5] = 11; });

    // The information block cannot be read.
    bus->ClearCommandLog(device);
    bus->InjectFault(device, {emu::FaultKind::Status, 0, 1, 0xFF});
    EXPECT_EQ(Write(), 0);
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x03}));

    // The table last read is shorter than the device's table.
    bus->ClearCommandLog(device);
    lastRead.resize(30);
    EXPECT_EQ(Write(), 0);
    EXPECT_EQ(Codes(), (std::vector<std::uint8_t>{0x03}));

    // A closed channel sends nothing.
    bus->ClearCommandLog(device);
    channel.SetOpen(false);
    EXPECT_EQ(Write(), 0);
    EXPECT_TRUE(Codes().empty());
    EXPECT_EQ(DeviceCodes(), kFactoryTable);
}

}  // namespace
}  // namespace q417
