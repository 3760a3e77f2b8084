#include "transport/CHidInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "transport/HidrawBackend.h"
#include "transport/SysfsFixture.h"

namespace q417 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A backend that returns a fixed list, to check what CHidInterface does with it.
class ListBackend : public IHidBackend {
public:
    std::vector<std::string> list;
    bool ok = true;
    bool EnumeratePaths(std::vector<std::string>& paths) override {
        paths = list;
        return ok;
    }
    std::unique_ptr<IHidDevice> Open(const std::string&, const HidOpenRequest&, HidOpenError* error,
                                     std::string*) override {
        *error = HidOpenError::NotFound;
        return nullptr;
    }
    std::string Name() const override { return "list"; }
};

TEST(CHidInterfacePaths, EnumerateKeepsOnlyRealPathsAndResetsTheCursor) {
    auto backend = std::make_shared<ListBackend>();
    // More than eight entries, with entries the platform could not fill in between.
    for (int i = 0; i < 20; ++i) {
        backend->list.push_back(i % 7 == 3 ? std::string() : "p" + std::to_string(i));
    }
    CHidInterface hid(backend);
    EXPECT_FALSE(hid.NextPath().has_value());
    ASSERT_TRUE(hid.Enumerate());
    EXPECT_EQ(hid.PathCount(), 17u);
    std::vector<std::string> walked;
    while (auto p = hid.NextPath()) {
        walked.push_back(*p);
    }
    std::vector<std::string> expected;
    for (const auto& p : backend->list) {
        if (!p.empty()) {
            expected.push_back(p);
        }
    }
    EXPECT_EQ(walked, expected);

    backend->list = {"a", "b"};
    ASSERT_TRUE(hid.Enumerate());
    EXPECT_EQ(hid.NextPath(), "a");

    backend->ok = false;
    EXPECT_FALSE(hid.Enumerate());
    EXPECT_EQ(hid.PathCount(), 0u);
    EXPECT_FALSE(hid.NextPath().has_value());

    backend->ok = true;
    ASSERT_TRUE(hid.Enumerate());
    hid.FreePaths();
    EXPECT_EQ(hid.PathCount(), 0u);
    EXPECT_FALSE(hid.NextPath().has_value());
}

class CHidInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.Ok());
        // hidraw1: composite receiver, interface 1, vendor collection (ID 4) + consumer (ID 3).
        test::FixtureHidNode receiver;
        receiver.number = 1;
        receiver.productId = 0x7102;
        receiver.version = 0x0105;
        receiver.interfaceNumber = 1;
        receiver.numInterfaces = 2;
        receiver.descriptor = test::VendorConsumerDescriptor();
        fx.AddNode(receiver);
        // hidraw2: one unnumbered vendor collection.
        test::FixtureHidNode plain;
        plain.number = 2;
        plain.productId = 0x1234;
        plain.descriptor = test::UnnumberedVendorDescriptor();
        fx.AddNode(plain);
        // Open the injecting end first so read-only opens of the FIFOs see a writer.
        ASSERT_TRUE(fx.OpenInjector(1));
        ASSERT_TRUE(fx.OpenInjector(2));

        std::vector<std::string> paths;
        ASSERT_TRUE(backend->EnumeratePaths(paths));
        ASSERT_EQ(paths.size(), 3u);
        vendorPath = paths[0];
        consumerPath = paths[1];
        plainPath = paths[2];
    }

    static std::vector<uint8_t> VendorReport(uint8_t fill) {
        std::vector<uint8_t> r(64, fill);
        r[0] = 4;
        return r;
    }

    test::SysfsFixture fx;
    std::shared_ptr<HidrawBackend> backend =
        std::make_shared<HidrawBackend>(fx.SysfsRoot(), fx.DevRoot());
    std::string vendorPath, consumerPath, plainPath;
};

TEST_F(CHidInterfaceTest, OpenReadsCapabilitiesAndNumbersFromThePath) {
    CHidInterface hid(backend);
    EXPECT_FALSE(hid.IsOpen());
    ASSERT_TRUE(hid.Open(consumerPath, true, false, true, false)) << hid.LastOpenErrorText();
    EXPECT_TRUE(hid.IsOpen());
    EXPECT_EQ(hid.LastOpenError(), HidOpenError::None);
    EXPECT_EQ(hid.Path(), consumerPath);
    EXPECT_EQ(hid.InterfaceNumber(), 1u);
    EXPECT_EQ(hid.CollectionNumber(), 2u);
    EXPECT_EQ(hid.Attributes().vendorId, 0x4A1D);
    EXPECT_EQ(hid.Attributes().productId, 0x7102);
    EXPECT_EQ(hid.Attributes().versionNumber, 0x0105);
    EXPECT_EQ(hid.Caps().usagePage, 0x000C);
    EXPECT_EQ(hid.Caps().usage, 0x0001);
    EXPECT_EQ(hid.Caps().inputReportByteLength, 3);
    EXPECT_FALSE(hid.Items(HidReportType::Input).empty());

    // Capability data follows the open: a new path replaces all of it.
    ASSERT_TRUE(hid.Open(plainPath, true, true, true, false));
    EXPECT_EQ(hid.InterfaceNumber(), 0u);
    EXPECT_EQ(hid.CollectionNumber(), 0u);
    EXPECT_EQ(hid.Caps().usagePage, 0xFF00);
    EXPECT_EQ(hid.Caps().inputReportByteLength, 9);

    // Whoever holds the decoding data keeps it after Close.
    auto preparsed = hid.Preparsed();
    hid.Close();
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_EQ(hid.Caps().usagePage, 0);
    EXPECT_EQ(hid.Attributes().vendorId, 0);
    EXPECT_TRUE(hid.Items(HidReportType::Input).empty());
    EXPECT_EQ(hid.Preparsed(), nullptr);
    ASSERT_NE(preparsed, nullptr);
    EXPECT_EQ(preparsed->Caps().usagePage, 0xFF00);
}

TEST_F(CHidInterfaceTest, FailedOpenLeavesTheObjectClosed) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, true, true, true, false));
    // A path the backend never produced, naming a file that exists.
    EXPECT_FALSE(hid.Open("hidraw#vid_4a1d&pid_7101#0003:4A1D:7101.0001#/etc/passwd", true, false,
                          true, false));
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_EQ(hid.LastOpenError(), HidOpenError::NotFound);
    EXPECT_FALSE(hid.LastOpenErrorText().empty());
    EXPECT_EQ(hid.Caps().usagePage, 0);
    std::array<uint8_t, 64> buf{};
    uint32_t transferred = 99;
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, 0));
    EXPECT_EQ(transferred, 0u);
    EXPECT_FALSE(hid.WriteReport(buf, &transferred, 0));
    EXPECT_FALSE(hid.UnpackInputReport(buf));

    // The device was unplugged: Reopen fails cleanly.
    ASSERT_TRUE(hid.Open(vendorPath, true, false, true, false));
    fx.RemoveNode(1);
    EXPECT_FALSE(hid.Reopen());
    EXPECT_FALSE(hid.IsOpen());
    EXPECT_EQ(hid.LastOpenError(), HidOpenError::NotFound);
}

TEST_F(CHidInterfaceTest, ReadsDeliverOnlyTheCollectionsOwnReports) {
    CHidInterface vendor(backend);
    ASSERT_TRUE(vendor.Open(vendorPath, true, false, true, false));
    std::array<uint8_t, 64> buf{};
    uint32_t transferred = 0;

    // Another collection's report first: dropped, and the wait goes on to our report.
    const std::vector<uint8_t> consumerReport = {3, 0xCD, 0x00};
    ASSERT_TRUE(fx.Inject(1, consumerReport));
    ASSERT_TRUE(fx.Inject(1, VendorReport(0x5A)));
    ASSERT_TRUE(vendor.ReadReport(buf, &transferred, 2000));
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.end()), VendorReport(0x5A));

    // Only foreign reports: the read times out and leaves the buffer alone.
    buf.fill(0xEE);
    ASSERT_TRUE(fx.Inject(1, consumerReport));
    EXPECT_FALSE(vendor.ReadReport(buf, &transferred, 30));
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(buf[0], 0xEE);
    vendor.Close();

    CHidInterface consumer(backend);
    ASSERT_TRUE(consumer.Open(consumerPath, true, false, true, false));
    ASSERT_TRUE(fx.Inject(1, VendorReport(0x11)));
    ASSERT_TRUE(fx.Inject(1, consumerReport));
    ASSERT_TRUE(consumer.ReadReport(buf, &transferred, 2000));
    ASSERT_EQ(transferred, 3u);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(buf[1], 0xCD);

    // The report decodes into the consumer collection's usage list.
    ASSERT_TRUE(consumer.UnpackInputReport(std::span(buf.data(), transferred)));
    bool found = false;
    for (const auto& item : consumer.Items(HidReportType::Input)) {
        if (item.isButtonData && item.isDataSet) {
            found = found ||
                    std::find(item.usages.begin(), item.usages.end(), 0xCD) != item.usages.end();
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(CHidInterfaceTest, UnnumberedReportsGetALeadingZero) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(plainPath, true, false, true, false));
    const std::vector<uint8_t> report = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(fx.Inject(2, report));
    std::array<uint8_t, 9> buf{};
    uint32_t transferred = 0;
    ASSERT_TRUE(hid.ReadReport(buf, &transferred, 2000));
    EXPECT_EQ(transferred, 9u);
    EXPECT_EQ(buf, (std::array<uint8_t, 9>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(CHidInterfaceTest, WritePassesTheReportWithItsIdByte) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, false, true, true, false));
    std::vector<uint8_t> report = VendorReport(0x42);
    report[1] = 0x99;
    uint32_t transferred = 0;
    ASSERT_TRUE(hid.WriteReport(report, &transferred, 1000));
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(fx.TakeWritten(1), report);
    // Opened without read access: a read fails at once.
    std::array<uint8_t, 64> buf{};
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, kHidInfinite));
}

// Runs ReadReport with an infinite time-out on another thread and says when it returned.
struct BlockedReader {
    explicit BlockedReader(CHidInterface& hid)
        : thread([this, &hid] {
              std::array<uint8_t, 64> buf{};
              uint32_t transferred = 0;
              result = hid.ReadReport(buf, &transferred, kHidInfinite);
              returnedAt = Clock::now();
              done = true;
          }) {}
    std::atomic<bool> done{false};
    bool result = true;
    Clock::time_point returnedAt;
    std::jthread thread;
};

TEST_F(CHidInterfaceTest, CloseWakesAnInfiniteReadAtOnce) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, true, true, true, false));
    BlockedReader reader(hid);
    std::this_thread::sleep_for(50ms);  // let it block in the read
    ASSERT_FALSE(reader.done);
    const auto closedAt = Clock::now();
    hid.Close();
    reader.thread.join();
    EXPECT_FALSE(reader.result);
    EXPECT_LT(reader.returnedAt - closedAt, 50ms);
}

TEST_F(CHidInterfaceTest, ReopenAfterCloseIsNotCancelledByIt) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, true, false, true, false));
    {
        BlockedReader reader(hid);
        std::this_thread::sleep_for(20ms);
        hid.Close();
        reader.thread.join();
        EXPECT_FALSE(reader.result);
    }
    ASSERT_TRUE(hid.Reopen());
    // The earlier Close left no signal behind: a read on the new open waits for data and gets it.
    std::array<uint8_t, 64> buf{};
    uint32_t transferred = 0;
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, 30));
    ASSERT_TRUE(fx.Inject(1, VendorReport(0x77)));
    ASSERT_TRUE(hid.ReadReport(buf, &transferred, 2000));
    EXPECT_EQ(transferred, 64u);
    EXPECT_EQ(buf[1], 0x77);
}

TEST_F(CHidInterfaceTest, TimeoutAndRemovalEndAReadWithFalse) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, true, false, true, false));
    std::array<uint8_t, 64> buf{};
    uint32_t transferred = 5;
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, 0));
    EXPECT_EQ(transferred, 0u);
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, 20));

    // The node goes away under a blocked read (its only writer leaves: a hang-up).
    BlockedReader reader(hid);
    std::this_thread::sleep_for(20ms);
    fx.RemoveNode(1);
    reader.thread.join();
    EXPECT_FALSE(reader.result);
    EXPECT_TRUE(hid.IsOpen());  // closing is the owner's decision
    EXPECT_FALSE(hid.ReadReport(buf, &transferred, kHidInfinite));
}

TEST_F(CHidInterfaceTest, CloseAndReopenRaceWithReadsAndWrites) {
    CHidInterface hid(backend);
    ASSERT_TRUE(hid.Open(vendorPath, true, true, true, false));
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::jthread reader([&] {
        std::array<uint8_t, 64> buf{};
        uint32_t transferred = 0;
        while (!stop) {
            if (!hid.ReadReport(buf, &transferred, 5)) {
                std::this_thread::yield();
            }
            ++reads;
        }
    });
    std::jthread writer([&] {
        const auto report = VendorReport(0x01);
        uint32_t transferred = 0;
        while (!stop) {
            hid.WriteReport(report, &transferred, 5);
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int i = 0; i < 50; ++i) {
        if (i % 2 == 0) {
            hid.Close();
        } else {
            EXPECT_TRUE(hid.Reopen()) << hid.LastOpenErrorText();
        }
        (void)hid.Caps();
        (void)hid.Items(HidReportType::Input);
        std::this_thread::sleep_for(1ms);
    }
    stop = true;
    hid.Close();
    reader.join();
    writer.join();
    EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace q417
