// The device macro block: its layout byte by byte, and WriteMacros against the emulated mouse by
// cable and through the receiver.
#include <gtest/gtest.h>

#include <algorithm>
#include <stop_token>

#include "MacroBlockDecode.h"
#include "emulator/EmuTestUtil.h"
#include "emulator/EmulatedHidBus.h"
#include "emulator/MouseFirmware.h"
#include "input/KeyTableWrite.h"
#include "input/MacroBlock.h"
#include "input/MacroLibrary.h"
#include "input/RecoilBlock.h"
#include "profiles/ProfileTestUtil.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;
using emu::DeviceId;
using emu::EmulatedHidBus;

TEST(MacroBlockLayout, OneMacroOfThreeEventsByteByByte) {
    const std::vector<std::vector<MacroEvent>> macros = {
        {{true, 10, 4, 120}, {false, 10, 4, 65535}, {true, 1, 0x10, 0x0102}}};
    const std::vector<uint8_t> expected = {0xAA, 0x55, 0x22, 0x00, 0x01, 0x00, 0, 0,
                                           0,    0,    0,    0,    0,    0,    0, 0,  // header
                                           0x12, 0x00,                                // offset 18
                                           0x03, 0x00, 0x00, 0x00,                    // 3 events
                                           0x78, 0x00, 0x8A, 0x04,   // down key 4, 120 ms
                                           0xFF, 0xFF, 0x0A, 0x04,   // up key 4
                                           0x02, 0x01, 0x81, 0x10};  // down forward
    EXPECT_EQ(BuildMacroBlock(macros), expected);
}

TEST(MacroBlockLayout, OffsetsFollowTheRecordsInListOrder) {
    const std::vector<std::vector<MacroEvent>> macros = {
        {{true, 9, 2, 5}, {false, 9, 2, 6}}, {}, {{false, 5, 200, 7}}};
    const std::vector<uint8_t> block = BuildMacroBlock(macros);
    const std::size_t counts[] = {2, 0, 1};
    ASSERT_EQ(block.size(), MacroBlockSize(counts));
    ASSERT_EQ(block.size(), 16u + 6 * 3 + 4 * 3);
    // Offset table: 22, 22 + 4 + 8 = 34, 34 + 4 = 38.
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 16, block.begin() + 22),
              (std::vector<uint8_t>{22, 0, 34, 0, 38, 0}));
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 34, block.begin() + 38),
              (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 42, block.end()),
              (std::vector<uint8_t>{7, 0, 0x05, 200}));  // "up" of a vertical move: down the screen
    auto decoded = test::DecodeMacroBlock(block);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->macros, macros);
}

TEST(MacroBlockLayout, SizeLimitAndOverflowCount) {
    std::array<uint8_t, kInfoBlockSize> info{};
    info[6] = 2;
    EXPECT_EQ(MacroMemoryBytes(info), 256u);
    EXPECT_EQ(MacroEventsOverLimit(270, 256), 4);  // (270 - 256) >> 2, plus one
    EXPECT_EQ(MacroEventsOverLimit(256, 256), 0);
    EXPECT_EQ(MacroEventsOverLimit(257, 256), 1);
    EXPECT_EQ(MacroEventsOverLimit(std::size_t{1} << 40, 0), INT_MAX);
    // Too large for the 16-bit length field: no block rather than a wrapped one.
    std::vector<std::vector<MacroEvent>> huge(5, std::vector<MacroEvent>(4000));
    EXPECT_TRUE(BuildMacroBlock(huge).empty());
}

class WriteMacrosTest : public ::testing::Test {
protected:
    void ConnectWired() {
        device = bus->PlugWiredMouse();
        Open(channel.InterfaceA(), Endpoint::Cable);
    }
    void ConnectReceiver(bool linkUp) {
        device = bus->PlugReceiver(emu::kReceiverProductId, linkUp);
        wireless = true;
        Open(channel.InterfaceB(), Endpoint::Receiver);
    }
    void Open(CHidInterface& hid, Endpoint endpoint) {
        ASSERT_TRUE(hid.Open(emu::test::VendorPath(*bus, device), true, true, true, false));
        channel.SetOpen(true);
        channel.SelectEndpoint(static_cast<int>(endpoint));
        channel.SetPacing({1ms, 1ms});
        bus->SetLatency(device, 100us);
        ASSERT_EQ(CmdReadInfo(channel, info), kResultOk);
        ASSERT_EQ(info[6], emu::kMacroMemoryUnits);
        bus->ClearCommandLog(device);
    }
    // Adds a macro with count events and saves them.
    void AddMacro(std::size_t count, uint8_t key) {
        ASSERT_EQ(library.AddMacro(), MacroResult::Done);
        std::vector<MacroEvent> events;
        for (std::size_t i = 0; i < count; ++i) {
            events.push_back({i % 2 == 0, 10, key, static_cast<uint16_t>(i)});
        }
        ASSERT_EQ(library.SaveMacro(library.Count() - 1, std::span<const MacroEvent>(events)),
                  MacroResult::Done);
    }
    int Write(const std::vector<int>& used) {
        return WriteMacros(
            channel, wireless, library, used,
            [this](std::size_t done, std::size_t total) { progress.emplace_back(done, total); });
    }
    std::vector<uint8_t> Codes() {
        std::vector<uint8_t> codes;
        for (const emu::CommandLogEntry& e : bus->CommandLog(device)) {
            codes.push_back(e.code);
        }
        return codes;
    }
    std::size_t Count(uint8_t code) {
        auto codes = Codes();
        return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
    }

    test::TempDir dir;
    CMacroLibrary library{dir.path(), 2};
    std::shared_ptr<EmulatedHidBus> bus = std::make_shared<EmulatedHidBus>();
    CReportChannel channel{bus};
    DeviceId device = emu::kNoDevice;
    bool wireless = false;
    std::array<uint8_t, kInfoBlockSize> info{};
    std::vector<std::pair<std::size_t, std::size_t>> progress;
};

TEST_F(WriteMacrosTest, WritesTheUsedMacrosInUsedOrder) {
    ConnectWired();
    AddMacro(3, 4);
    AddMacro(0, 0);  // never saved: no event file
    ASSERT_EQ(library.AddMacro(), MacroResult::Done);
    AddMacro(25, 7);
    ASSERT_EQ(Write({3, 0, 2}), kMacrosWritten);

    auto decoded = test::DecodeMacroBlock(bus->MacroMemory(device));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->macros.size(), 3u);
    ASSERT_EQ(decoded->macros[0].size(), 25u);
    EXPECT_EQ(decoded->macros[0][24], (MacroEvent{true, 10, 7, 24}));
    ASSERT_EQ(decoded->macros[1].size(), 3u);
    EXPECT_EQ(decoded->macros[1][1], (MacroEvent{false, 10, 4, 1}));
    EXPECT_TRUE(decoded->macros[2].empty());
    EXPECT_EQ(decoded->length, 16u + 18 + 4 * 28);

    // The information block (for the memory size), CmdBegin, the block in 56-byte frames, CmdEnd.
    const std::size_t frames = (decoded->length + 55) / 56;
    auto codes = Codes();
    ASSERT_EQ(codes.size(), frames + 3);
    EXPECT_EQ(codes[0], kCmdReadInfo);
    EXPECT_EQ(codes[1], kCmdBegin);
    EXPECT_EQ(codes.back(), kCmdEnd);
    EXPECT_EQ(Count(kCmdWriteMacros), frames);
    ASSERT_EQ(progress.size(), frames);
    EXPECT_EQ(progress.back(), std::make_pair(frames, frames));
}

TEST_F(WriteMacrosTest, NothingToWriteSendsNothing) {
    ConnectWired();
    AddMacro(2, 4);
    EXPECT_EQ(Write({}), kMacrosWritten);
    EXPECT_TRUE(Codes().empty());
    // An unreadable library: nothing the key table could name, nothing sent.
    test::WriteText(library.LibraryPath(), "{ broken");
    EXPECT_EQ(Write({0}), kMacrosWritten);
    EXPECT_TRUE(Codes().empty());
}

TEST_F(WriteMacrosTest, AnIndexOutsideTheLibraryHoldsItsPlace) {
    ConnectWired();
    AddMacro(1, 4);
    AddMacro(2, 5);
    ASSERT_EQ(Write({0, 9, 1}), kMacrosWritten);
    auto decoded = test::DecodeMacroBlock(bus->MacroMemory(device));
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->macros.size(), 3u);
    EXPECT_EQ(decoded->macros[0].size(), 1u);
    EXPECT_TRUE(decoded->macros[1].empty());
    EXPECT_EQ(decoded->macros[2].size(), 2u);  // still where the key table expects it
}

TEST_F(WriteMacrosTest, TooLargeForTheMemoryReturnsTheEventsToRemove) {
    ConnectWired();
    // 8 KiB of macro memory: 3 macros of 4000 events are far beyond it.
    AddMacro(4000, 4);
    AddMacro(4000, 5);
    AddMacro(4000, 6);
    const std::size_t total = 16 + 6 * 3 + 4 * 12000;
    const int expected = static_cast<int>(((total - emu::kMacroMemorySize) >> 2) + 1);
    EXPECT_EQ(Write({0, 1, 2}), expected);
    EXPECT_EQ(Codes(), std::vector<uint8_t>{kCmdReadInfo});  // only the size was asked
    EXPECT_TRUE(progress.empty());

    // The fullest one macro can be: 16 + 6 + 4 x 2042 = 8190 bytes; one event more is over.
    AddMacro(2042, 7);
    EXPECT_EQ(Write({3}), kMacrosWritten);
    auto decoded = test::DecodeMacroBlock(bus->MacroMemory(device));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->length, emu::kMacroMemorySize - 2);
    AddMacro(2043, 8);
    EXPECT_EQ(Write({4}), 1);
}

TEST_F(WriteMacrosTest, TheSizeCheckUsesTheMemoryTheDeviceReportsNow) {
    ConnectWired();   // the block read on connecting says 64 x 128 bytes
    AddMacro(40, 4);  // 16 + 6 + 160 = 182 bytes
    ASSERT_TRUE(bus->WithMouse(device, [](emu::MouseFirmware& m) { m.Info()[6] = 1; }));
    EXPECT_EQ(Write({0}), MacroEventsOverLimit(182, 128));
    EXPECT_EQ(Count(kCmdWriteMacros), 0u);
    // An information block that cannot be read is no device, not "written".
    emu::Fault fault;
    fault.kind = emu::FaultKind::Status;
    fault.status = 0xFF;
    ASSERT_TRUE(bus->InjectFault(device, fault));
    EXPECT_EQ(Write({0}), kMacrosNoDevice);
    EXPECT_EQ(Count(kCmdWriteMacros), 0u);
}

TEST_F(WriteMacrosTest, NoDeviceIsMinusOne) {
    ConnectWired();
    AddMacro(2, 4);
    channel.SetOpen(false);
    EXPECT_EQ(Write({0}), kMacrosNoDevice);
    EXPECT_EQ(Write({}), kMacrosNoDevice);
    EXPECT_TRUE(Codes().empty());
}

TEST_F(WriteMacrosTest, LinkDownThroughTheReceiverIsMinusOneAndSendsNoBlock) {
    ConnectReceiver(true);
    AddMacro(2, 4);
    ASSERT_TRUE(bus->SetLink(device, false));
    EXPECT_EQ(Write({0}), kMacrosNoDevice);
    EXPECT_EQ(Count(kCmdBegin), 0u);
    EXPECT_EQ(Count(kCmdWriteMacros), 0u);
    EXPECT_TRUE(progress.empty());
    EXPECT_FALSE(test::DecodeMacroBlock(bus->MacroMemory(device)));

    ASSERT_TRUE(bus->SetLink(device, true));
    bus->ClearCommandLog(device);
    EXPECT_EQ(Write({0}), kMacrosWritten);
    auto decoded = test::DecodeMacroBlock(bus->MacroMemory(device));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->macros.size(), 1u);
    // Through the receiver every command is preceded by the link check.
    auto codes = Codes();
    ASSERT_GE(codes.size(), 6u);
    EXPECT_EQ(codes[0], kCmdQueryLink);
}

TEST_F(WriteMacrosTest, AFrameThatFailsMidwayIsMinusOneAndTheTransactionEnds) {
    ConnectWired();
    AddMacro(100, 4);  // 422 bytes: 8 frames
    emu::Fault fault;
    fault.kind = emu::FaultKind::Status;
    fault.status = 0xFF;
    fault.skipFrames = 4;  // the information block, CmdBegin and two block frames pass
    ASSERT_TRUE(bus->InjectFault(device, fault));
    EXPECT_EQ(Write({0}), kMacrosNoDevice);
    EXPECT_EQ(Count(kCmdWriteMacros), 3u);  // nothing after the failing frame
    EXPECT_EQ(Codes().back(), kCmdEnd);
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.back().first, progress.back().second);
}

TEST_F(WriteMacrosTest, AStopBetweenFramesCutsTheBlockAndEndsTheTransaction) {
    ConnectWired();
    AddMacro(100, 4);  // 422 bytes: 8 frames
    std::stop_source stop;
    const int result = WriteMacros(
        channel, wireless, library, {0},
        [&](std::size_t done, std::size_t) {
            if (done == 2) {
                stop.request_stop();
            }
        },
        stop.get_token());
    EXPECT_EQ(result, kMacrosCut);
    EXPECT_EQ(Count(kCmdWriteMacros), 2u);
    EXPECT_EQ(Codes().back(), kCmdEnd);
    bool inTransaction = true;
    bus->WithMouse(device, [&](emu::MouseFirmware& m) { inTransaction = m.InTransaction(); });
    EXPECT_FALSE(inTransaction);
}

TEST_F(WriteMacrosTest, LongWritesAskedToStopBeforehandSendNothing) {
    ConnectWired();
    AddMacro(3, 4);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(WriteMacros(channel, wireless, library, {0}, {}, stop.get_token()), kMacrosCut);
    const std::array<uint8_t, kMaxBlockSize> table{};
    EXPECT_EQ(
        WriteKeyTable(channel, wireless, table, {}, 0, KeyTableLayout{}, {}, stop.get_token()),
        kResultCut);
    EXPECT_EQ(WriteRecoil(channel, wireless, RecoilSet{}, {}, stop.get_token()), kResultCut);
    EXPECT_TRUE(Codes().empty());
}

}  // namespace
}  // namespace q417
