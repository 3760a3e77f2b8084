// Stopping a mouse in the middle of one of its long writes through the receiver: the write is cut
// after the frame in flight, the transaction is ended, the stop completes within its bound and the
// write reports itself as cut, never as done.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "MouseDeviceFixture.h"
#include "input/MacroBlock.h"
#include "transport/CommandResult.h"

namespace q417::test {
namespace {

struct LongWrite {
    std::string name;
    uint8_t frameCode;                  // the command of the block's frames
    std::chrono::microseconds latency;  // per report: the uncut write takes seconds
    // On the test thread, before the write.
    std::function<void(emu::EmulatedHidBus&, emu::DeviceId, CTavrenixMouseDevice&)> prepare;
    std::function<int(CTavrenixMouseDevice&)> write;  // on the command thread
    int cutResult;
};

std::ostream& operator<<(std::ostream& os, const LongWrite& w) {
    return os << w.name;
}

class MouseStopDuringWrite : public MouseDeviceFixture,
                             public ::testing::WithParamInterface<LongWrite> {};

std::size_t FramesOf(const std::vector<emu::CommandLogEntry>& log, uint8_t code) {
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [code](const emu::CommandLogEntry& e) { return e.code == code; }));
}

TEST_P(MouseStopDuringWrite, IsCutAfterTheFrameInFlightAndEndsItsTransaction) {
    const LongWrite& w = GetParam();
    ConnectReceiver(emu::kReceiverProductId, true);
    ASSERT_EQ(Run([&] { return device->Synchronise(); }), kResultOk);
    w.prepare(*bus, emuId, *device);
    if (HasFatalFailure()) {
        return;
    }
    // The host's real pauses between frames, and a slow radio.
    device->CommandChannel().SetPacing({});
    ASSERT_TRUE(bus->SetLatency(emuId, w.latency));
    bus->ClearCommandLog(emuId);

    std::future<std::optional<int>> result = std::async(std::launch::async, [&] {
        return device->Commands().SubmitAndWait([&](CommandContext&) { return w.write(*device); });
    });
    ASSERT_TRUE(
        Eventually([&] { return FramesOf(bus->CommandLog(emuId), w.frameCode) >= 3; }, 10s));

    const auto start = std::chrono::steady_clock::now();
    device->Shutdown();
    const auto took = std::chrono::steady_clock::now() - start;
    // Uncut, the rest of the block would take several seconds more.
    EXPECT_LT(took, 1500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count();

    ASSERT_EQ(result.wait_for(5s), std::future_status::ready);
    const std::optional<int> r = result.get();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, w.cutResult);

    const std::vector<emu::CommandLogEntry> log = bus->CommandLog(emuId);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().code, kCmdEnd);
    EXPECT_EQ(FramesOf(log, kCmdEnd), 1u);
    bool inTransaction = true;
    ASSERT_TRUE(
        bus->WithMouse(emuId, [&](emu::MouseFirmware& m) { inTransaction = m.InTransaction(); }));
    EXPECT_FALSE(inTransaction);
}

void AddFullMacro(emu::EmulatedHidBus&, emu::DeviceId, CTavrenixMouseDevice& mouse) {
    // 16 + 6 + 4 x 2040 = 8182 bytes, the most the emulated macro memory takes: 341 frames of 24.
    std::vector<MacroEvent> events;
    for (uint16_t i = 0; i < 2040; ++i) {
        events.push_back({i % 2 == 0, 10, 4, i});
    }
    const auto saved = mouse.Call([&] {
        return mouse.Macros().AddMacro() == MacroResult::Done &&
               mouse.Macros().SaveMacro(mouse.Macros().Count() - 1,
                                        std::span<const MacroEvent>(events)) == MacroResult::Done;
    });
    ASSERT_TRUE(saved.value_or(false));
}

INSTANTIATE_TEST_SUITE_P(
    LongWrites, MouseStopDuringWrite,
    ::testing::Values(
        LongWrite{"Macros", kCmdWriteMacros, 1ms,  // ~22 ms per frame: 7 s uncut
                  AddFullMacro, [](CTavrenixMouseDevice& m) { return m.WriteMacros({0}); },
                  kMacrosCut},
        LongWrite{"KeyTable", kCmdWriteKeyTable, 90ms,  // 170 keys: 22 frames of 24, 4 s uncut
                  [](emu::EmulatedHidBus& bus, emu::DeviceId id, CTavrenixMouseDevice&) {
                      ASSERT_TRUE(
                          bus.WithMouse(id, [](emu::MouseFirmware& m) { m.Info()[5] = 170; }));
                  },
                  [](CTavrenixMouseDevice& m) { return m.WriteCurrentKeyTable(0); }, kResultCut},
        LongWrite{"Recoil", kCmdWriteRecoil, 40ms,  // 2920 bytes: 53 frames of 56, 5 s uncut
                  [](emu::EmulatedHidBus&, emu::DeviceId, CTavrenixMouseDevice&) {},
                  [](CTavrenixMouseDevice& m) { return m.WriteRecoil(); }, kResultCut}),
    [](const ::testing::TestParamInfo<LongWrite>& info) { return info.param.name; });

}  // namespace
}  // namespace q417::test
