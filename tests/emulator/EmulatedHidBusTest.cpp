// The emulated bus as a HID backend: paths, opens, per-open report queues, cancel and removal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "EmuTestUtil.h"
#include "emulator/DemoBus.h"

namespace q417::emu {
namespace {

using namespace std::chrono_literals;
using test::ConsumerPath;
using test::MakeFrame;
using test::OpenPath;
using test::Transact;
using test::VendorPath;

TEST(EmulatedHidBusPaths, LayoutsFollowInterfaceAndCollectionNumbering) {
    EmulatedHidBus bus;
    DeviceId wired = bus.PlugWiredMouse();
    DeviceId r2 = bus.PlugReceiver(kReceiverProductId, true);
    DeviceId r3 = bus.PlugReceiver(kReceiver2ProductId, false);
    EXPECT_EQ(bus.PlugReceiver(0x7104, true), kNoDevice);

    std::vector<std::string> w = bus.PathsOf(wired);
    ASSERT_EQ(w.size(), 6u);  // five collections on interface 0, one on interface 1
    EXPECT_EQ(w[0], "emu#vid_4a1d&pid_7101&mi_00&col01#0003:4A1D:7101.0001");
    EXPECT_EQ(w[4], "emu#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.0001");
    // A single-collection interface carries no "&col"; each interface has its own instance.
    EXPECT_EQ(w[5], "emu#vid_4a1d&pid_7101&mi_01#0003:4A1D:7101.0002");

    std::vector<std::string> p2 = bus.PathsOf(r2);
    ASSERT_EQ(p2.size(), 8u);
    EXPECT_EQ(p2[4], "emu#vid_4a1d&pid_7102&mi_00&col05#0003:4A1D:7102.0003");
    EXPECT_EQ(p2[7], "emu#vid_4a1d&pid_7102&mi_01&col03#0003:4A1D:7102.0004");

    // 0x7103 has one interface: no "&mi_".
    std::vector<std::string> p3 = bus.PathsOf(r3);
    ASSERT_EQ(p3.size(), 5u);
    EXPECT_EQ(p3[3], "emu#vid_4a1d&pid_7103&col04#0003:4A1D:7103.0005");

    std::vector<std::string> all;
    ASSERT_TRUE(bus.EnumeratePaths(all));
    EXPECT_EQ(all.size(), 19u);
    std::vector<std::string> again;
    bus.EnumeratePaths(again);
    EXPECT_EQ(all, again);
}

TEST(EmulatedHidBusPaths, ReplugGivesNewPathsAndOldOnesStopOpening) {
    EmulatedHidBus bus;
    int changes = 0;
    int listener = bus.AddChangeListener([&] { ++changes; });
    DeviceId first = bus.PlugWiredMouse();
    std::string oldPath = VendorPath(bus, first);
    EXPECT_TRUE(bus.Unplug(first));
    EXPECT_FALSE(bus.Unplug(first));
    EXPECT_FALSE(bus.IsPlugged(first));
    DeviceId second = bus.PlugWiredMouse();
    EXPECT_NE(first, second);
    std::string newPath = VendorPath(bus, second);
    EXPECT_NE(oldPath, newPath);
    EXPECT_EQ(changes, 3);
    bus.RemoveChangeListener(listener);
    bus.Unplug(second);
    EXPECT_EQ(changes, 3);

    HidOpenError error = HidOpenError::None;
    std::string text;
    EXPECT_EQ(bus.Open(oldPath, {}, &error, &text), nullptr);
    EXPECT_EQ(error, HidOpenError::NotFound);
    EXPECT_FALSE(text.empty());
}

TEST(EmulatedHidBusPaths, DemoBusHasWiredMouseAndLinkedReceiver) {
    auto bus = MakeDemoBus();
    std::vector<DeviceId> ids = bus->Devices();
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(bus->ProductOf(ids[0]), kWiredMouseProductId);
    EXPECT_EQ(bus->ProductOf(ids[1]), kReceiverProductId);
    EXPECT_EQ(bus->LinkUp(ids[1]), true);
    EXPECT_EQ(bus->LinkUp(ids[0]), std::nullopt);
}

TEST(EmulatedHidBusDevice, AttributesAndDescriptorOfTheOpenedCollection) {
    EmulatedHidBus bus;
    DeviceId r = bus.PlugReceiver(kReceiverProductId, true);
    auto dev = OpenPath(bus, ConsumerPath(bus, r), false);
    ASSERT_NE(dev, nullptr);
    EXPECT_EQ(dev->Attributes().vendorId, 0x4A1D);
    EXPECT_EQ(dev->Attributes().productId, 0x7102);
    EXPECT_EQ(dev->CollectionIndex(), 2u);
    EXPECT_FALSE(dev->ReportDescriptor().empty());
    // Opened read-only: writing is refused.
    uint8_t report[3] = {3, 0, 0};
    EXPECT_EQ(dev->Write(report, 100).status, HidIoStatus::Error);
}

TEST(EmulatedHidBusDevice, EveryOpenGetsItsOwnCopyOfTheReplies) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto a = OpenPath(bus, VendorPath(bus, m));
    auto b = OpenPath(bus, VendorPath(bus, m), false);
    ASSERT_TRUE(a && b);
    auto reply = Transact(*a, MakeFrame(0x01));
    ASSERT_TRUE(reply);
    Frame copy{};
    HidIoResult r = b->Read(copy, 1000);
    ASSERT_EQ(r.status, HidIoStatus::Ok);
    EXPECT_EQ(copy, *reply);
    // Nothing more is waiting on either.
    EXPECT_EQ(a->Read(copy, 5).status, HidIoStatus::Timeout);
    EXPECT_EQ(b->Read(copy, 5).status, HidIoStatus::Timeout);
}

TEST(EmulatedHidBusDevice, WritesMustMatchTheVendorReport) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto dev = OpenPath(bus, VendorPath(bus, m));
    Frame wrongId = MakeFrame(0x01);
    wrongId[0] = 5;
    EXPECT_EQ(dev->Write(wrongId, 100).status, HidIoStatus::Error);
    std::array<uint8_t, 32> shortReport{};
    shortReport[0] = 4;
    EXPECT_EQ(dev->Write(shortReport, 100).status, HidIoStatus::Error);
    auto log = bus.TakeCommandLog(m);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(log[0].refused);
    EXPECT_FALSE(log[0].replied);
    Frame nothing{};
    EXPECT_EQ(dev->Read(nothing, 5).status, HidIoStatus::Timeout);
}

TEST(EmulatedHidBusDevice, CancelWakesABlockedReadAndSticks) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto dev = OpenPath(bus, VendorPath(bus, m));
    auto pending = std::async(std::launch::async, [&] {
        Frame f{};
        return dev->Read(f, kHidInfinite).status;
    });
    std::this_thread::sleep_for(20ms);
    dev->CancelIo();
    ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(pending.get(), HidIoStatus::Cancelled);
    Frame f{};
    EXPECT_EQ(dev->Read(f, 10).status, HidIoStatus::Cancelled);
    EXPECT_EQ(dev->Write(MakeFrame(0x01), 10).status, HidIoStatus::Cancelled);
}

TEST(EmulatedHidBusDevice, UnplugWakesABlockedReadWithGone) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto dev = OpenPath(bus, ConsumerPath(bus, m), false);
    auto pending = std::async(std::launch::async, [&] {
        Frame f{};
        return dev->Read(f, kHidInfinite).status;
    });
    std::this_thread::sleep_for(20ms);
    bus.Unplug(m);
    ASSERT_EQ(pending.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(pending.get(), HidIoStatus::Gone);
    Frame f{};
    EXPECT_EQ(dev->Read(f, 10).status, HidIoStatus::Gone);
}

TEST(EmulatedHidBusDevice, OpenDevicesOutliveTheBus) {
    auto bus = std::make_shared<EmulatedHidBus>();
    DeviceId m = bus->PlugWiredMouse();
    auto dev = OpenPath(*bus, VendorPath(*bus, m));
    bus.reset();
    Frame f{};
    EXPECT_EQ(dev->Read(f, kHidInfinite).status, HidIoStatus::Gone);
    EXPECT_EQ(dev->Write(MakeFrame(0x01), 10).status, HidIoStatus::Gone);
}

TEST(EmulatedHidBusDevice, ReplyWaitsForTheLatency) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    ASSERT_TRUE(bus.SetLatency(m, 300ms));
    auto dev = OpenPath(bus, VendorPath(bus, m));
    ASSERT_EQ(dev->Write(MakeFrame(0x01), 1000).status, HidIoStatus::Ok);
    Frame f{};
    // The reply is not there yet right after the write...
    EXPECT_EQ(dev->Read(f, 0).status, HidIoStatus::Timeout);
    // ...and arrives within a generous bound.
    EXPECT_EQ(dev->Read(f, 5000).status, HidIoStatus::Ok);
    // A write shorter than the wire time times out.
    EXPECT_EQ(dev->Write(MakeFrame(0x01), 10).status, HidIoStatus::Timeout);
}

TEST(EmulatedHidBusNotifications, ReachOnlyTheConsumerCollectionsReaders) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto consumer = OpenPath(bus, ConsumerPath(bus, m), false);
    auto vendor = OpenPath(bus, VendorPath(bus, m), false);
    auto mouse = OpenPath(bus, test::PathWith(bus, m, "&col01"), false);
    ASSERT_TRUE(bus.RaiseNotification(m, 0x1153));
    std::array<uint8_t, 8> report{};
    HidIoResult r = consumer->Read(report, 1000);
    ASSERT_EQ(r.status, HidIoStatus::Ok);
    ASSERT_EQ(r.transferred, 3u);
    EXPECT_EQ(report[0], 5);  // the consumer collection's report ID
    EXPECT_EQ(report[1] | (report[2] << 8), 0x1153);
    EXPECT_EQ(vendor->Read(report, 20).status, HidIoStatus::Timeout);
    EXPECT_EQ(mouse->Read(report, 5).status, HidIoStatus::Timeout);
}

TEST(EmulatedHidBusNotifications, ThroughAReceiverOnlyWhileLinked) {
    EmulatedHidBus bus;
    DeviceId r = bus.PlugReceiver(kReceiverProductId, false);
    auto consumer = OpenPath(bus, ConsumerPath(bus, r), false);
    EXPECT_FALSE(bus.RaiseNotification(r, 0x0401));
    std::array<uint8_t, 3> report{};
    EXPECT_EQ(consumer->Read(report, 20).status, HidIoStatus::Timeout);
    ASSERT_TRUE(bus.SetLink(r, true));
    ASSERT_TRUE(bus.RaiseNotification(r, 0x0401));
    ASSERT_EQ(consumer->Read(report, 1000).status, HidIoStatus::Ok);
    EXPECT_EQ(report[0], 3);
    EXPECT_EQ(report[1] | (report[2] << 8), 0x0401);
}

TEST(EmulatedHidBusNotifications, ButtonsOnTheMouseChangeMemoryAndAnnounceIt) {
    EmulatedHidBus bus;
    DeviceId r = bus.PlugReceiver(kReceiverProductId, true);
    auto consumer = OpenPath(bus, ConsumerPath(bus, r), false);
    std::array<uint8_t, 3> report{};
    ASSERT_TRUE(bus.SwitchProfileOnDevice(r, 3));
    ASSERT_EQ(consumer->Read(report, 1000).status, HidIoStatus::Ok);
    EXPECT_EQ(report[1] | (report[2] << 8), 0x1003);
    ASSERT_TRUE(bus.SwitchDpiStageOnDevice(r, 5));
    ASSERT_EQ(consumer->Read(report, 1000).status, HidIoStatus::Ok);
    EXPECT_EQ(report[1] | (report[2] << 8), 0x1153);
    EXPECT_EQ(bus.ReadMouseMemory(r, 3 * 96 + 12, 1), std::vector<uint8_t>{5});
    EXPECT_FALSE(bus.SwitchProfileOnDevice(r, 6));
    // With the link down the mouse still switches; nothing reaches the host.
    bus.SetLink(r, false);
    EXPECT_TRUE(bus.SwitchProfileOnDevice(r, 1));
    EXPECT_EQ(bus.CurrentProfile(r), 1);
    EXPECT_EQ(consumer->Read(report, 20).status, HidIoStatus::Timeout);
}

TEST(EmulatedHidBusNotifications, AnUnreadQueueIsBounded) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    auto consumer = OpenPath(bus, ConsumerPath(bus, m), false);
    for (uint16_t i = 0; i < 100; ++i) {
        bus.RaiseNotification(m, static_cast<uint16_t>(0x1000 + i));
    }
    std::array<uint8_t, 3> report{};
    int read = 0;
    uint16_t last = 0;
    while (consumer->Read(report, 50).status == HidIoStatus::Ok) {
        ++read;
        last = static_cast<uint16_t>(report[1] | (report[2] << 8));
    }
    EXPECT_EQ(read, 64);
    EXPECT_EQ(last, 0x1000 + 63);  // the oldest are kept, newer ones dropped
}

TEST(EmulatedHidBusThreads, ConcurrentTrafficPlugAndUnplug) {
    EmulatedHidBus bus;
    DeviceId m = bus.PlugWiredMouse();
    bus.SetLatency(m, 0us);
    std::atomic<bool> stop{false};
    std::atomic<int> listenerCalls{0};
    bus.AddChangeListener([&] {
        std::vector<std::string> paths;
        bus.EnumeratePaths(paths);  // listeners may call back into the bus
        ++listenerCalls;
    });
    std::jthread notifier([&] {
        while (!stop) {
            bus.RaiseNotification(m, 0x0403);
            std::this_thread::sleep_for(100us);
        }
    });
    std::jthread plugger([&] {
        for (int i = 0; i < 20; ++i) {
            bus.Unplug(bus.PlugReceiver(kReceiver2ProductId, true));
        }
    });
    auto consumer = OpenPath(bus, ConsumerPath(bus, m), false);
    auto vendor = OpenPath(bus, VendorPath(bus, m));
    std::jthread reader([&] {
        std::array<uint8_t, 3> r{};
        while (consumer->Read(r, kHidInfinite).status == HidIoStatus::Ok) {
        }
    });
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(Transact(*vendor, MakeFrame(0x03, 34, 0)));
    }
    plugger.join();
    stop = true;
    notifier.join();
    consumer->CancelIo();
    reader.join();
    EXPECT_EQ(listenerCalls, 40);
}

}  // namespace
}  // namespace q417::emu
