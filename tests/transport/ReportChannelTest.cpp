#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Trace.h"
#include "transport/CReportChannel.h"
#include "transport/ScriptedHidBackend.h"

namespace q417 {
namespace {

using test::MakeReply;
using test::ScriptedChannel;
using test::ScriptedRead;

Frame Request(uint8_t code, uint8_t tag = 0) {
    Frame f{};
    f[0] = 4;
    f[3] = code;
    f[8] = tag;
    StoreSumChecksum(f);
    return f;
}

Frame ReplyWithCode(uint8_t code, uint8_t tag = 0, bool crc = false) {
    Frame req = Request(code);
    const uint8_t data[1] = {tag};
    return MakeReply(req, 0, data, crc);
}

TEST(ReportChannelSetup, DefaultsEndpointsAndBlockSize) {
    ScriptedChannel s;
    CReportChannel& ch = s.channel;
    EXPECT_EQ(ch.BlockSize(), 512);
    EXPECT_EQ(ch.IsOpen(), 0);
    EXPECT_FALSE(ch.IsBusy());
    EXPECT_FALSE(ch.UseReceiver());
    EXPECT_EQ(ch.ChunkSize(), 24);
    EXPECT_EQ(ch.Pacing().writePause, std::chrono::milliseconds(20));
    EXPECT_EQ(ch.Pacing().endDelay, std::chrono::milliseconds(10));

    ch.SelectEndpoint(2);
    EXPECT_TRUE(ch.UseReceiver());
    EXPECT_EQ(ch.ChunkSize(), 24);
    ch.SelectEndpoint(1);
    EXPECT_FALSE(ch.UseReceiver());
    EXPECT_EQ(ch.ChunkSize(), 56);
    ch.SelectEndpoint(2);
    ch.SelectEndpoint(7);  // unknown kinds mean the cable
    EXPECT_FALSE(ch.UseReceiver());
    EXPECT_EQ(ch.ChunkSize(), 56);

    EXPECT_TRUE(ch.SetBlockSize(30));
    EXPECT_TRUE(ch.SetBlockSize(512));
    EXPECT_FALSE(ch.SetBlockSize(513));
    EXPECT_EQ(ch.BlockSize(), 512);
}

TEST(ReportChannelChecksum, SumAndCrc) {
    const char* digits = "123456789";
    EXPECT_EQ(CReportChannel::Crc16(std::span(reinterpret_cast<const uint8_t*>(digits), 9)),
              0x4B37);

    Frame f{};
    f[0] = 4;
    f[1] = 0x55;  // never part of the sum
    for (std::size_t i = 3; i < f.size(); ++i) {
        f[i] = 0xFF;
    }
    StoreSumChecksum(f);
    // 61 × 0xFF = 0x3CC3
    EXPECT_EQ(f[1], 0xC3);
    EXPECT_EQ(f[2], 0x3C);
}

TEST(ReportChannelExchange, NotOpenSendsNothing) {
    ScriptedChannel s;
    ASSERT_TRUE(s.channel.InterfaceA().Open(test::kCablePath, true, true, true, false));
    s.channel.SelectEndpoint(1);  // interface open, channel flag still 0
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(3)));
    Frame reply{};
    uint32_t transferred = 99;
    EXPECT_EQ(s.channel.Exchange(Request(3), reply, &transferred), 0);
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(s.channel.ExchangeWithCrc(Request(3), reply), 0);
    EXPECT_TRUE(s.cable->Writes().empty());
    EXPECT_TRUE(s.cable->ReadTimeouts().empty());
    EXPECT_FALSE(s.channel.IsBusy());
}

TEST(ReportChannelExchange, ShortRequestIsPaddedLongOneCut) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(test::AddressEchoResponder(false));

    std::array<uint8_t, 10> shortReq{4, 0x11, 0x22, 0x05, 8, 0x10, 0, 0, 0x77, 0x88};
    Frame reply{};
    uint32_t transferred = 0;
    EXPECT_EQ(s.channel.Exchange(shortReq, reply, &transferred), 1);
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(reply[3], 0x05);
    EXPECT_EQ(reply[8], 0x10);  // the reply reached the caller

    std::vector<uint8_t> longReq(80, 0xEE);
    longReq[3] = 0x05;
    EXPECT_EQ(s.channel.Exchange(longReq, reply), 1);

    auto writes = s.cable->Writes();
    ASSERT_EQ(writes.size(), 2u);
    ASSERT_EQ(writes[0].bytes.size(), 64u);
    EXPECT_TRUE(std::equal(shortReq.begin(), shortReq.end(), writes[0].bytes.begin()));
    for (std::size_t i = 10; i < 64; ++i) {
        EXPECT_EQ(writes[0].bytes[i], 0) << i;
    }
    EXPECT_EQ(writes[1].bytes, std::vector<uint8_t>(longReq.begin(), longReq.begin() + 64));
}

TEST(ReportChannelExchange, TimeoutsPerConnection) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    Frame reply{};
    EXPECT_EQ(s.channel.Exchange(Request(1), reply), 0);  // nothing answers: two reads
    EXPECT_EQ(s.cable->Writes().at(0).timeoutMs, 1000u);
    EXPECT_EQ(s.cable->ReadTimeouts(), (std::vector<uint32_t>{1000, 1000}));

    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    EXPECT_EQ(s.channel.Exchange(Request(1), reply), 0);
    EXPECT_EQ(s.channel.ExchangeWithCrc(Request(0x12), reply), 0);
    auto writes = s.receiver->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].timeoutMs, 5000u);
    EXPECT_EQ(writes[1].timeoutMs, 500u);
    EXPECT_EQ(s.receiver->ReadTimeouts(), (std::vector<uint32_t>{500, 500, 500, 500}));
}

TEST(ReportChannelExchange, WriteFailureReadsNothing) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    s.receiver->FailWrites(2);
    s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(1, 0, true)));
    Frame reply{};
    EXPECT_EQ(s.channel.Exchange(Request(1), reply), -1);
    EXPECT_EQ(s.channel.ExchangeWithCrc(Request(1), reply), -1);
    EXPECT_TRUE(s.receiver->ReadTimeouts().empty());
    EXPECT_FALSE(s.channel.IsBusy());
}

TEST(ReportChannelExchange, StaleReplyRule) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    Frame reply{};

    // A stale reply is skipped once; the matching one is returned.
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(5, 0xA1)));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0xB2)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    EXPECT_EQ(reply[3], 3);
    EXPECT_EQ(reply[8], 0xB2);

    // Two mismatches: the second read's outcome stands, and no third read happens.
    s.cable->ClearLog();
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(5, 0xA1)));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(6, 0xC3)));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0xD4)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    EXPECT_EQ(reply[3], 6);
    EXPECT_EQ(reply[8], 0xC3);
    EXPECT_EQ(s.cable->ReadTimeouts().size(), 2u);
    s.cable->SetResponder({});
    while (s.cable->PendingReads() > 0) {  // drain the leftover reply
        EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    }

    // A mismatch followed by a time-out: 0.
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(5)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 0);
}

TEST(ReportChannelExchange, FailedReadIsNotJudgedByStaleBytes) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    // The caller reuses a buffer holding a refusal; the first read fails, the second one matches.
    Frame reply = ReplyWithCode(kReceiverRefusal);
    s.receiver->Queue(ScriptedRead::Failed());
    s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0x42, true)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    EXPECT_EQ(reply[8], 0x42);

    // Same with a buffer holding a matching code: the failed read must not end the exchange.
    reply = ReplyWithCode(3, 0x99);
    s.receiver->Queue(ScriptedRead::TimedOut());
    s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0x43, true)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    EXPECT_EQ(reply[8], 0x43);

    // Nothing read at all: the caller gets zeros, not the old reply.
    reply = ReplyWithCode(3, 0x99);
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 0);
    EXPECT_EQ(reply, Frame{});
}

TEST(ReportChannelExchange, RefusalOnReceiverVersusCable) {
    ScriptedChannel s;
    Frame reply{};
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    for (bool crc : {false, true}) {
        s.receiver->ClearLog();
        // The refusal carries no valid CRC and still counts as a refusal, not a corrupt reply.
        s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(kReceiverRefusal)));
        s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0, true)));
        EXPECT_EQ(crc ? s.channel.ExchangeWithCrc(Request(3), reply)
                      : s.channel.Exchange(Request(3), reply),
                  -101);
        EXPECT_EQ(s.receiver->ReadTimeouts().size(), 1u);     // no second read after a refusal
        EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);  // the late reply is still there
    }

    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(kReceiverRefusal)));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(3, 0x21)));
    EXPECT_EQ(s.channel.Exchange(Request(3), reply), 1);
    EXPECT_EQ(reply[8], 0x21);
    EXPECT_EQ(s.cable->ReadTimeouts().size(), 2u);
}

TEST(ReportChannelCrcExchange, RequestAndReplyCrcOnReceiverOnly) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    Frame reply{};
    Frame request = Request(0x12, 0x5A);  // carries the sum, which the CRC replaces

    s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(0x12, 0x01, true)));
    EXPECT_EQ(s.channel.ExchangeWithCrc(request, reply), 1);
    const std::vector<uint8_t> sent = s.receiver->Writes().at(0).bytes;
    const uint16_t crc = Crc16(std::span(sent).subspan(3, 29));
    EXPECT_EQ(sent[1], crc & 0xFF);
    EXPECT_EQ(sent[2], crc >> 8);
    EXPECT_TRUE(std::equal(sent.begin() + 3, sent.end(), request.begin() + 3));

    // Wrong CRC on the matching reply: -101 after one read.
    s.receiver->ClearLog();
    Frame bad = ReplyWithCode(0x12, 0x01, true);
    bad[1] ^= 0x01;
    s.receiver->Queue(ScriptedRead::Reply(bad));
    EXPECT_EQ(s.channel.ExchangeWithCrc(request, reply), -101);
    EXPECT_EQ(s.receiver->ReadTimeouts().size(), 1u);

    // Corrupt stale reply, then a good matching one: the second read replaces the result.
    Frame badStale = ReplyWithCode(0x05, 0, true);
    badStale[20] ^= 0x80;
    s.receiver->Queue(ScriptedRead::Reply(badStale));
    s.receiver->Queue(ScriptedRead::Reply(ReplyWithCode(0x12, 0x02, true)));
    EXPECT_EQ(s.channel.ExchangeWithCrc(request, reply), 1);
    EXPECT_EQ(reply[8], 0x02);

    // The cable sends the frame unchanged and checks no CRC.
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->Queue(ScriptedRead::Reply(ReplyWithCode(0x12, 0x03, false)));
    EXPECT_EQ(s.channel.ExchangeWithCrc(request, reply), 1);
    EXPECT_EQ(s.cable->Writes().at(0).bytes, std::vector<uint8_t>(request.begin(), request.end()));
}

TEST(ReportChannelTrace, PlainExchangeTracesBothFramesCrcExchangeNone) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    s.cable->SetResponder(test::AddressEchoResponder(false));
    std::vector<std::string> lines;
    std::mutex linesMutex;
    SetTraceSink([&](std::string_view line) {
        std::lock_guard lock(linesMutex);
        lines.emplace_back(line);
    });
    Frame reply{};
    const Frame request = Request(0x05, 0x33);
    EXPECT_EQ(s.channel.Exchange(request, reply), 1);
    EXPECT_EQ(s.channel.ExchangeWithCrc(request, reply), 1);
    SetTraceSink({});

    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "命令");
    EXPECT_EQ(lines[1], FormatTraceHexLine(std::span(request).first(32)));
    EXPECT_EQ(lines[2], FormatTraceHexLine(std::span(request).last(32)));
    EXPECT_EQ(lines[3], "返回");
    EXPECT_EQ(lines[4], FormatTraceHexLine(std::span(reply).first(32)));
    EXPECT_EQ(lines[5], FormatTraceHexLine(std::span(reply).last(32)));
}

// While one exchange waits for its reply, a second one starts; the first one ending must not make
// the channel look idle while the second is still running.
TEST(ReportChannelConcurrency, BusyCountsOverlappingExchanges) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Cable));
    std::promise<void> firstEntered;
    std::promise<void> releaseFirst;
    std::shared_future<void> release = releaseFirst.get_future().share();
    std::atomic<bool> secondSawBusy{false};
    s.cable->SetResponder([&](std::span<const uint8_t> req) {
        if (req[8] == 1) {
            firstEntered.set_value();
            release.wait_for(std::chrono::seconds(10));
        } else {
            secondSawBusy = s.channel.IsBusy();
        }
        return std::vector<ScriptedRead>{ScriptedRead::Reply(MakeReply(req))};
    });

    int firstResult = 0;
    int secondResult = 0;
    std::jthread first([&] {
        Frame reply{};
        firstResult = s.channel.Exchange(Request(1, 1), reply);
    });
    firstEntered.get_future().wait();
    std::jthread second([&] {
        Frame reply{};
        secondResult = s.channel.Exchange(Request(1, 2), reply);
    });
    for (int i = 0; i < 1000 && s.channel.ExchangesInFlight() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(s.channel.ExchangesInFlight(), 2);
    releaseFirst.set_value();
    first.join();
    second.join();
    EXPECT_EQ(firstResult, 1);
    EXPECT_EQ(secondResult, 1);
    EXPECT_TRUE(secondSawBusy);
    EXPECT_FALSE(s.channel.IsBusy());
}

// A command-lock exchange and a light-lock exchange share only the ioLock; each must still get
// its own reply, told apart by a tag the device echoes.
TEST(ReportChannelConcurrency, ConcurrentExchangesNeverTakeEachOthersReply) {
    ScriptedChannel s;
    ASSERT_TRUE(s.Connect(Endpoint::Receiver));
    s.receiver->SetResponder([](std::span<const uint8_t> req) {
        const uint8_t tag[1] = {req[8]};
        return std::vector<ScriptedRead>{ScriptedRead::Reply(MakeReply(req, 0, tag, true))};
    });
    constexpr int kRounds = 8;
    std::atomic<int> commandMismatches{0};
    std::atomic<int> lightMismatches{0};
    std::jthread commandThread([&] {
        for (int i = 0; i < kRounds; ++i) {
            const uint8_t tag = static_cast<uint8_t>(0x10 + i);
            Frame reply{};
            std::lock_guard lock(s.channel.CommandLock());
            if (s.channel.Exchange(Request(0x06, tag), reply) != 1 || reply[8] != tag) {
                ++commandMismatches;
            }
        }
    });
    std::jthread lightThread([&] {
        for (int i = 0; i < kRounds * 4; ++i) {
            const uint8_t tag = static_cast<uint8_t>(0x80 + i);
            Frame reply{};
            std::lock_guard lock(s.channel.LightLock());
            if (s.channel.ExchangeWithCrc(Request(0x06, tag), reply) != 1 || reply[8] != tag) {
                ++lightMismatches;
            }
        }
    });
    commandThread.join();
    lightThread.join();
    EXPECT_EQ(commandMismatches.load(), 0);
    EXPECT_EQ(lightMismatches.load(), 0);
    EXPECT_EQ(s.receiver->PendingReads(), 0u);
}

}  // namespace
}  // namespace q417
