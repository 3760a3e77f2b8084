#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Trace.h"
#include "transport/Commands.h"
#include "transport/DeviceInfoBlock.h"
#include "transport/ScriptedHidBackend.h"

namespace q417 {
namespace {

using test::AddressEchoResponder;
using test::MakeReply;
using test::ScriptedChannel;
using test::ScriptedRead;

// (byte 4, offset in bytes 5-6) of every frame written.
std::vector<std::pair<int, int>> Chunks(const test::ScriptedDevice& device) {
    std::vector<std::pair<int, int>> out;
    for (const auto& w : device.Writes()) {
        out.emplace_back(w.bytes[4], w.bytes[5] | (w.bytes[6] << 8));
    }
    return out;
}

std::vector<uint8_t> Codes(const test::ScriptedDevice& device) {
    std::vector<uint8_t> out;
    for (const auto& w : device.Writes()) {
        out.push_back(w.bytes[3]);
    }
    return out;
}

std::vector<uint8_t> Pattern(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return v;
}

using Pairs = std::vector<std::pair<int, int>>;

TEST(CommandFrame, LayoutAndSumChecksum) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    const std::array<uint8_t, 3> data{0xDE, 0xAD, 0xBE};
    EXPECT_EQ(CmdWriteMemory(s.channel, data, 0x1234), 1);

    const std::vector<uint8_t> f = s.cable->Writes().at(0).bytes;
    ASSERT_EQ(f.size(), 64u);
    EXPECT_EQ(f[0], 4);
    EXPECT_EQ(f[3], 0x06);
    EXPECT_EQ(f[4], 3);
    EXPECT_EQ(f[5], 0x34);
    EXPECT_EQ(f[6], 0x12);
    EXPECT_EQ(f[7], 0);
    EXPECT_EQ(f[8], 0xDE);
    EXPECT_EQ(f[9], 0xAD);
    EXPECT_EQ(f[10], 0xBE);
    for (std::size_t i = 11; i < 64; ++i) {
        EXPECT_EQ(f[i], 0) << i;
    }
    const unsigned sum = 0x06 + 3 + 0x34 + 0x12 + 0xDE + 0xAD + 0xBE;
    EXPECT_EQ(f[1], sum & 0xFF);
    EXPECT_EQ(f[2], (sum >> 8) & 0xFF);
}

TEST(CommandChunking, ReadInfoCableOneFrameReceiverTwo) {
    ScriptedChannel s;
    std::array<uint8_t, kInfoBlockSize> info{};
    std::array<uint8_t, kInfoBlockSize> expected{};
    std::iota(expected.begin(), expected.end(), uint8_t{0});  // the responder's address bytes

    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    EXPECT_EQ(CmdReadInfo(s.channel, info), 1);
    EXPECT_EQ(Chunks(*s.cable), (Pairs{{34, 0}}));
    EXPECT_EQ(info, expected);

    info.fill(0xEE);
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    s.receiver->SetResponder(AddressEchoResponder(true));
    EXPECT_EQ(CmdReadInfo(s.channel, info), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{24, 0}, {10, 24}}));
    EXPECT_EQ(info, expected);
}

TEST(CommandChunking, KeyTableFollowsBlockSize) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    s.receiver->SetResponder(AddressEchoResponder(true));
    ASSERT_TRUE(s.channel.SetBlockSize(30));
    std::vector<uint8_t> table(30, 0xEE);
    EXPECT_EQ(CmdReadKeyTable(s.channel, table), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{24, 0}, {6, 24}}));
    std::vector<uint8_t> expected(30);
    std::iota(expected.begin(), expected.end(), uint8_t{0});
    EXPECT_EQ(table, expected);

    // One byte per key for the attributes: 30 / 3.
    s.receiver->ClearLog();
    std::vector<uint8_t> attributes(10);
    EXPECT_EQ(CmdReadKeyAttributes(s.channel, attributes), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{10, 0}}));
    EXPECT_EQ(Codes(*s.receiver), (std::vector<uint8_t>{0x1B}));

    // A destination smaller than the block is refused before anything is sent.
    s.receiver->ClearLog();
    std::vector<uint8_t> small(29);
    EXPECT_EQ(CmdReadKeyTable(s.channel, small), -201);
    EXPECT_EQ(CmdReadKeyTableBank(s.channel, small, 0), -201);
    EXPECT_EQ(CmdWriteKeyTable(s.channel, small, 0), -201);
    EXPECT_EQ(CmdReadKeyAttributes(s.channel, std::span(small).first(9)), -201);
    EXPECT_TRUE(s.receiver->Writes().empty());
}

TEST(CommandChunking, RecoilAlwaysUses56ByteFrames) {
    for (Endpoint endpoint : {Endpoint::Cable, Endpoint::Receiver}) {
        ScriptedChannel s;
        ASSERT_TRUE(s.Connect(endpoint));
        const bool rx = endpoint == Endpoint::Receiver;
        s.Active().SetResponder(AddressEchoResponder(rx));
        const std::vector<uint8_t> recoil = Pattern(120);
        std::vector<std::pair<std::size_t, std::size_t>> progress;
        EXPECT_EQ(CmdWriteRecoil(s.channel, recoil,
                                 [&](std::size_t done, std::size_t total) {
                                     progress.emplace_back(done, total);
                                 }),
                  1);
        EXPECT_EQ(Chunks(s.Active()), (Pairs{{56, 0}, {56, 56}, {8, 112}}));
        auto writes = s.Active().Writes();
        ASSERT_EQ(writes.size(), 3u);
        EXPECT_EQ(writes[0].bytes[3], 0x17);
        EXPECT_TRUE(
            std::equal(recoil.begin() + 56, recoil.begin() + 112, writes[1].bytes.begin() + 8));
        EXPECT_TRUE(std::equal(recoil.begin() + 112, recoil.end(), writes[2].bytes.begin() + 8));
        EXPECT_EQ(writes[2].bytes[16], 0);  // nothing past the last chunk's 8 bytes
        EXPECT_EQ(progress,
                  (std::vector<std::pair<std::size_t, std::size_t>>{{1, 3}, {2, 3}, {3, 3}}));
    }
}

TEST(CommandChunking, WritesUseChannelChunkAndCarryTheirData) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    s.receiver->SetResponder(AddressEchoResponder(true));
    const std::vector<uint8_t> macros = Pattern(50);
    EXPECT_EQ(CmdWriteMacros(s.channel, macros), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{24, 0}, {24, 24}, {2, 48}}));
    std::vector<uint8_t> sent;
    for (const auto& w : s.receiver->Writes()) {
        EXPECT_EQ(w.bytes[3], 0x15);
        sent.insert(sent.end(), w.bytes.begin() + 8, w.bytes.begin() + 8 + w.bytes[4]);
    }
    EXPECT_EQ(sent, macros);

    // Page writes address page × pageSize + offset.
    s.receiver->ClearLog();
    EXPECT_EQ(CmdWritePage(s.channel, std::span(macros).first(30), 2, 512), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{24, 1024}, {6, 1048}}));
    EXPECT_EQ(Codes(*s.receiver), (std::vector<uint8_t>{0x0B, 0x0B}));

    // Memory reads start at the base.
    std::vector<uint8_t> record(30);
    s.receiver->ClearLog();
    EXPECT_EQ(CmdReadMemory(s.channel, record, 0x0160), 1);
    EXPECT_EQ(Chunks(*s.receiver), (Pairs{{24, 0x160}, {6, 0x178}}));
    for (std::size_t i = 0; i < record.size(); ++i) {
        EXPECT_EQ(record[i], static_cast<uint8_t>(0x60 + i)) << i;
    }
}

TEST(CommandBanks, NonZeroBankIsRefusedWithoutTraffic) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    ASSERT_TRUE(s.channel.SetBlockSize(33));
    std::vector<uint8_t> table(33);
    EXPECT_EQ(CmdReadKeyTableBank(s.channel, table, 1), -201);
    EXPECT_EQ(CmdWriteKeyTable(s.channel, table, 1), -201);
    EXPECT_EQ(CmdWriteKeyTable2(s.channel, table, -1), -201);
    EXPECT_TRUE(s.cable->Writes().empty());

    EXPECT_EQ(CmdReadKeyTableBank(s.channel, table, 0), 1);
    EXPECT_EQ(CmdWriteKeyTable(s.channel, table, 0), 1);
    EXPECT_EQ(CmdWriteKeyTable2(s.channel, table, 0), 1);
    EXPECT_EQ(Codes(*s.cable), (std::vector<uint8_t>{0x08, 0x09, 0x27}));
    EXPECT_EQ(Chunks(*s.cable), (Pairs{{33, 0}, {33, 0}, {33, 0}}));
}

TEST(CommandFailures, StatusAndExchangeFailuresStopTheTransfer) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    const std::vector<uint8_t> data = Pattern(60);
    // The first chunk is accepted, the second answered with status 0xFE.
    auto failSecond = [](uint8_t status) {
        return [status, n = 0](std::span<const uint8_t> req) mutable {
            return std::vector<ScriptedRead>{
                ScriptedRead::Reply(MakeReply(req, ++n == 2 ? status : 0, {}, true))};
        };
    };
    s.receiver->SetResponder(failSecond(0xFE));
    EXPECT_EQ(CmdWriteMemory(s.channel, data, 0), -103);
    auto writes = s.receiver->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 24, writes[0].bytes.begin() + 8));

    s.receiver->ClearLog();
    s.receiver->SetResponder(failSecond(0xFF));
    EXPECT_EQ(CmdWriteMacros(s.channel, data), -102);
    EXPECT_EQ(s.receiver->Writes().size(), 2u);

    // Reads check the status too, and the failing chunk's data is not copied.
    s.receiver->ClearLog();
    s.receiver->SetResponder(failSecond(0xFF));
    std::array<uint8_t, kInfoBlockSize> info{};
    EXPECT_EQ(CmdReadInfo(s.channel, info), -102);
    EXPECT_EQ(info[24], 0);

    // The single-frame commands map the status the same way.
    s.receiver->SetResponder(AddressEchoResponder(true, 0xFF));
    EXPECT_EQ(CmdBegin(s.channel), -102);
    s.receiver->SetResponder(AddressEchoResponder(true, 0xFE));
    EXPECT_EQ(CmdEnableLightControl(s.channel), -103);
    s.receiver->SetResponder(AddressEchoResponder(true));
    EXPECT_EQ(CmdEnd(s.channel), 1);

    // Write failure, no reply, refusal.
    s.receiver->ClearLog();
    s.receiver->FailWrites(1);
    EXPECT_EQ(CmdWriteMemory(s.channel, data, 0), -1);
    EXPECT_EQ(s.receiver->Writes().size(), 1u);
    s.receiver->SetResponder({});
    EXPECT_EQ(CmdBegin(s.channel), 0);
    s.receiver->SetResponder([](std::span<const uint8_t> req) {
        Frame refusal = MakeReply(req);
        refusal[3] = kReceiverRefusal;
        return std::vector<ScriptedRead>{ScriptedRead::Reply(refusal)};
    });
    EXPECT_EQ(CmdWriteRecoil(s.channel, data), -101);

    // Closed channel: 0 and nothing written.
    s.receiver->ClearLog();
    s.channel.SetOpen(false);
    EXPECT_EQ(CmdWriteMemory(s.channel, data, 0), 0);
    EXPECT_EQ(s.receiver->Writes().size(), 0u);
}

TEST(CommandAddressing, TransfersPast16BitsAreRefused) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    std::vector<uint8_t> buf(16);

    EXPECT_EQ(CmdReadMemory(s.channel, buf, 0xFFF8), -201);
    EXPECT_EQ(CmdWriteMemory(s.channel, buf, 0xFFF1), -201);
    EXPECT_EQ(CmdReadPage(s.channel, buf, 128, 512), -201);  // page starts at 0x10000
    EXPECT_EQ(CmdWritePage(s.channel, std::vector<uint8_t>(513), 127, 512), -201);
    EXPECT_TRUE(s.cable->Writes().empty());

    // Up to and including the last addressable byte is fine.
    EXPECT_EQ(CmdWriteMemory(s.channel, buf, 0xFFF0), 1);
    EXPECT_EQ(CmdReadPage(s.channel, buf, 127, 512), 1);
    EXPECT_EQ(Chunks(*s.cable), (Pairs{{16, 0xFFF0}, {16, 0xFE00}}));
}

TEST(CommandSingleFrame, ReadStatusCopiesAtMost56Bytes) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    // Status 0xFF is not checked for this command.
    s.cable->SetResponder(AddressEchoResponder(false, 0xFF));
    std::array<uint8_t, 6> power{};
    EXPECT_EQ(CmdReadStatus(s.channel, power, 6, 0x0102), 1);
    EXPECT_EQ(Chunks(*s.cable), (Pairs{{6, 0x0102}}));
    EXPECT_EQ(power, (std::array<uint8_t, 6>{0x02, 0x03, 0x04, 0x05, 0x06, 0x07}));

    std::vector<uint8_t> big(56, 0xEE);
    EXPECT_EQ(CmdReadStatus(s.channel, big, 200, 0), 1);
    EXPECT_EQ(big[55], 55);

    s.cable->ClearLog();
    EXPECT_EQ(CmdReadStatus(s.channel, std::span(power).first(5), 6, 0), -201);
    EXPECT_TRUE(s.cable->Writes().empty());
}

TEST(CommandQueryLink, CableWithoutTrafficReceiverByReply) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    EXPECT_TRUE(CmdQueryLink(s.channel));
    EXPECT_TRUE(s.cable->Writes().empty());

    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    auto answer = [](uint8_t byte8, uint8_t status) {
        return [byte8, status](std::span<const uint8_t> req) {
            const uint8_t data[1] = {byte8};
            return std::vector<ScriptedRead>{
                ScriptedRead::Reply(MakeReply(req, status, data, true))};
        };
    };
    s.receiver->SetResponder(answer(0xFF, 0));
    EXPECT_TRUE(CmdQueryLink(s.channel));
    EXPECT_EQ(Codes(*s.receiver), (std::vector<uint8_t>{0xAA}));
    s.receiver->SetResponder(answer(0x00, 0));
    EXPECT_FALSE(CmdQueryLink(s.channel));
    s.receiver->SetResponder(answer(0xFF, 0xFE));
    EXPECT_FALSE(CmdQueryLink(s.channel));
    s.receiver->SetResponder({});
    EXPECT_FALSE(CmdQueryLink(s.channel));
}

TEST(CommandStreamLight, CrcFramesAndDroppedChunksWhileBusy) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    const std::vector<uint8_t> colours = Pattern(33);  // 11 keys × 3

    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    s.receiver->SetResponder([&](std::span<const uint8_t> req) {
        if (req[3] == kCmdBegin) {
            entered.set_value();
            released.wait_for(std::chrono::seconds(10));
        }
        return std::vector<ScriptedRead>{ScriptedRead::Reply(MakeReply(req, 0, {}, true))};
    });

    // Idle channel: every chunk goes out with the CRC.
    EXPECT_EQ(CmdStreamLight(s.channel, colours), 1);
    auto writes = s.receiver->Writes();
    ASSERT_EQ(writes.size(), 2u);
    for (const auto& w : writes) {
        EXPECT_EQ(w.bytes[3], 0x12);
        EXPECT_TRUE(FrameCrcMatches(std::span<const uint8_t, 64>(w.bytes.data(), 64)));
    }

    std::vector<std::string> lines;
    std::mutex linesMutex;
    SetTraceSink([&](std::string_view line) {
        std::lock_guard lock(linesMutex);
        lines.emplace_back(line);
    });
    int beginResult = 0;
    std::jthread command([&] { beginResult = CmdBegin(s.channel); });
    entered.get_future().wait();
    s.receiver->ClearLog();
    const int streamResult = CmdStreamLight(s.channel, colours);
    const auto duringCommand = s.receiver->Writes();
    release.set_value();
    command.join();
    SetTraceSink({});

    EXPECT_EQ(streamResult, 1);
    EXPECT_TRUE(duringCommand.empty());
    EXPECT_EQ(beginResult, 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("放弃灯光数据")), 2);
}

TEST(CommandLocks, LightAndRecoilCommandsDoNotWaitForTheCommandLock) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    const std::vector<uint8_t> data = Pattern(10);
    std::unique_lock held(s.channel.CommandLock());
    auto outside = std::async(std::launch::async, [&] {
        const int page = CmdWritePage(s.channel, data, 0, 512);
        const int light = CmdStreamLight(s.channel, data);
        std::lock_guard lightHeld(s.channel.LightLock());
        const int recoil = CmdWriteRecoil(s.channel, data);
        return page == 1 && light == 1 && recoil == 1;
    });
    ASSERT_EQ(outside.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(outside.get());
}

TEST(CommandTransaction, EndsWheneverBeginSucceeded) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(AddressEchoResponder(false));
    std::vector<uint8_t> table(512);
    {
        CmdTransaction tx(s.channel);
        ASSERT_TRUE(tx.Begun());
        EXPECT_EQ(tx.Result(), 1);
        s.cable->SetResponder([](std::span<const uint8_t> req) {
            const uint8_t status = req[3] == kCmdReadKeyTable ? 0xFF : 0;
            return std::vector<ScriptedRead>{ScriptedRead::Reply(MakeReply(req, status))};
        });
        EXPECT_EQ(CmdReadKeyTable(s.channel, table), -102);
    }
    EXPECT_EQ(Codes(*s.cable), (std::vector<uint8_t>{0x01, 0x07, 0x02}));

    // CmdBegin failed: no end is sent.
    s.cable->ClearLog();
    s.cable->SetResponder(AddressEchoResponder(false, 0xFE));
    {
        CmdTransaction tx(s.channel);
        EXPECT_FALSE(tx.Begun());
        EXPECT_EQ(tx.Result(), -103);
        EXPECT_EQ(tx.End(), -103);
    }
    EXPECT_EQ(Codes(*s.cable), (std::vector<uint8_t>{0x01}));

    // An explicit End reports its result and is not repeated.
    s.cable->ClearLog();
    s.cable->SetResponder([](std::span<const uint8_t> req) {
        const uint8_t status = req[3] == kCmdEnd ? 0xFE : 0;
        return std::vector<ScriptedRead>{ScriptedRead::Reply(MakeReply(req, status))};
    });
    {
        CmdTransaction tx(s.channel);
        EXPECT_EQ(tx.End(), -103);
        EXPECT_EQ(tx.End(), 1);
    }
    EXPECT_EQ(Codes(*s.cable), (std::vector<uint8_t>{0x01, 0x02}));
}

TEST(DeviceInfoBlockTest, FieldsAndKeyTableLimit) {
    std::array<uint8_t, kDeviceInfoBlockSize> raw{};
    raw[5] = 11;
    raw[6] = 0xF0;
    raw[7] = 1;
    raw[9] = 0x95;
    raw[10] = 0x33;
    raw[11] = 50;
    raw[14] = 0x32;
    raw[15] = 0x01;
    raw[33] = 0x77;
    const DeviceInfoBlock block = DeviceInfoBlock::FromBytes(raw);
    EXPECT_EQ(block.KeyCount(), 11);
    EXPECT_EQ(block.MacroMemoryUnits(), 0xF0);
    EXPECT_EQ(block.MacroMemoryBytes(), 0xF0u * 128u);
    EXPECT_EQ(block.NotifyMode(), 1);
    EXPECT_EQ(block.Sensor(), 0x3395);
    EXPECT_EQ(block.DpiStep(), 50);
    EXPECT_EQ(block.LowestDpi(), 0x0132);
    EXPECT_EQ(block.bytes, raw);
    EXPECT_EQ(block.KeyTableSize(), 33u);

    ScriptedChannel s;
    EXPECT_TRUE(block.ApplyKeyTableSize(s.channel));
    EXPECT_EQ(s.channel.BlockSize(), 33);

    DeviceInfoBlock edge = block;
    edge.bytes[5] = 170;  // 510 bytes
    EXPECT_TRUE(edge.KeyTableFits());
    DeviceInfoBlock tooMany = block;
    tooMany.bytes[5] = 171;  // 513 bytes
    EXPECT_FALSE(tooMany.KeyTableFits());
    EXPECT_FALSE(tooMany.ApplyKeyTableSize(s.channel));
    EXPECT_EQ(s.channel.BlockSize(), 33);
}

}  // namespace
}  // namespace q417
