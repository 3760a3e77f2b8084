// One physical mouse behind its cable and its receivers: memory that outlives plugging, buttons
// announced on whatever reaches the mouse, the catalogue the demo plugs from.
#include <gtest/gtest.h>

#include <vector>

#include "EmuTestUtil.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::emu {
namespace {

using test::ConsumerPath;
using test::OpenPath;

// The next notification code on an opened consumer collection; 0 when none comes.
uint16_t NextCode(IHidDevice& consumer, uint32_t timeoutMs = 100) {
    std::array<uint8_t, 8> report{};
    HidIoResult r = consumer.Read(report, timeoutMs);
    if (r.status != HidIoStatus::Ok || r.transferred < 3) {
        return 0;
    }
    return static_cast<uint16_t>(report[1] | (report[2] << 8));
}

TEST(PhysicalMouse, MemoryOutlivesPlugsAndIsTheSameOnCableAndReceiver) {
    EmulatedHidBus bus;
    DeviceId cable = bus.PlugWiredMouse();
    const std::vector<uint8_t> stage{0x11, 0x00};
    ASSERT_TRUE(bus.WriteMouseMemory(cable, 2 * 96 + 16, stage));
    ASSERT_TRUE(bus.SwitchProfileOnDevice(cable, 2));

    // Re-plugging the cable finds the mouse as it was left.
    ASSERT_TRUE(bus.Unplug(cable));
    cable = bus.PlugWiredMouse();
    EXPECT_EQ(bus.ReadMouseMemory(cable, 2 * 96 + 16, 2), stage);
    EXPECT_EQ(bus.CurrentProfile(cable), 2);

    // The receiver reaches the same memory, both while the cable is in and after it left.
    DeviceId receiver = bus.PlugReceiver(kReceiverProductId, true);
    EXPECT_EQ(bus.ReadMouseMemory(receiver, 2 * 96 + 16, 2), stage);
    const std::vector<uint8_t> other{0x22, 0x00};
    ASSERT_TRUE(bus.WriteMouseMemory(receiver, 2 * 96 + 16, other));
    EXPECT_EQ(bus.ReadMouseMemory(cable, 2 * 96 + 16, 2), other);
    ASSERT_TRUE(bus.Unplug(cable));
    ASSERT_TRUE(bus.Unplug(receiver));
    receiver = bus.PlugReceiver(kReceiver2ProductId, true);
    EXPECT_EQ(bus.ReadMouseMemory(receiver, 2 * 96 + 16, 2), other);
    EXPECT_EQ(bus.FirmwareOf(receiver), bus.MainMouse());
}

TEST(PhysicalMouse, CommandsThroughEitherWayChangeOneMemory) {
    EmulatedHidBus bus;
    DeviceId cable = bus.PlugWiredMouse();
    DeviceId receiver = bus.PlugReceiver(kReceiverProductId, true);
    auto cableDev = OpenPath(bus, test::VendorPath(bus, cable));
    auto radioDev = OpenPath(bus, test::VendorPath(bus, receiver));
    ASSERT_TRUE(cableDev && radioDev);
    const std::vector<uint8_t> data{3};
    auto written = test::Transact(*cableDev, test::MakeFrame(0x06, 1, 0, data));
    ASSERT_TRUE(written);
    EXPECT_EQ((*written)[7], kStatusOk);
    auto read = test::Transact(*radioDev, test::MakeFrame(0x05, 1, 0));
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)[8], 3) << "the receiver reached another mouse";
    // The replies are signed by the connection: the receiver's with the CRC.
    EXPECT_TRUE(FrameCrcMatches(*read));
}

TEST(PhysicalMouse, OneCablePerMouseAndAnotherMouseHasItsOwnMemory) {
    EmulatedHidBus bus;
    const DeviceId cable = bus.PlugWiredMouse();
    ASSERT_NE(cable, kNoDevice);
    EXPECT_EQ(bus.PlugWiredMouse(), kNoDevice);
    const FirmwareId second = bus.AddMouse();
    const DeviceId secondCable = bus.PlugWiredMouse(second);
    ASSERT_NE(secondCable, kNoDevice);
    ASSERT_TRUE(bus.SwitchProfileOnDevice(cable, 4));
    EXPECT_EQ(bus.CurrentProfile(secondCable), 0);
    EXPECT_EQ(bus.Firmwares().size(), 2u);
}

TEST(PhysicalMouse, ButtonsAnnounceOnTheCableElseThroughLinkedReceivers) {
    EmulatedHidBus bus;
    DeviceId cable = bus.PlugWiredMouse();
    DeviceId receiver = bus.PlugReceiver(kReceiverProductId, true);
    auto onCable = OpenPath(bus, ConsumerPath(bus, cable), false);
    auto onRadio = OpenPath(bus, ConsumerPath(bus, receiver), false);
    ASSERT_TRUE(onCable && onRadio);

    // With the cable in, the cable carries it.
    std::optional<uint16_t> code = bus.PressButton(bus.MainMouse(), kMouseProfileButton);
    ASSERT_EQ(code, 0x1001);
    EXPECT_EQ(NextCode(*onCable), 0x1001);
    EXPECT_EQ(NextCode(*onRadio, 20), 0);

    // Cable out: the receiver does, for the next stage of the profile the mouse is on.
    ASSERT_TRUE(bus.Unplug(cable));
    code = bus.PressButton(receiver, kMouseDpiButton);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code >> 8, 0x11);
    EXPECT_EQ(*code & 0x0F, 1);
    EXPECT_EQ(NextCode(*onRadio), *code);
    EXPECT_EQ(bus.ActiveDpiStage(receiver), (*code >> 4) & 0x0F);

    // Link down: the mouse still changes, nobody hears of it.
    ASSERT_TRUE(bus.SetLink(receiver, false));
    code = bus.PressButton(bus.MainMouse(), kMouseProfileButton);
    EXPECT_EQ(code, 0x1002);
    EXPECT_EQ(NextCode(*onRadio, 20), 0);
    EXPECT_EQ(bus.CurrentProfile(receiver), 2);
    EXPECT_FALSE(bus.PressButton(bus.MainMouse(), "wheel"));
}

TEST(PhysicalMouse, DpiButtonPassesOverStagesSwitchedOff) {
    EmulatedHidBus bus;
    const DeviceId cable = bus.PlugWiredMouse();
    // Profile 0, active stage 1: switch stages 2 and 3 off.
    const std::vector<uint8_t> off{0};
    ASSERT_TRUE(bus.WriteMouseMemory(cable, 14 + 2 * 9, off));
    ASSERT_TRUE(bus.WriteMouseMemory(cable, 14 + 3 * 9, off));
    ASSERT_EQ(bus.ActiveDpiStage(cable), 1);
    EXPECT_EQ(bus.PressButton(cable, kMouseDpiButton), 0x1140);
    EXPECT_EQ(bus.ActiveDpiStage(cable), 4);
    EXPECT_EQ(bus.PressButton(cable, kMouseDpiButton), 0x1150);
    EXPECT_EQ(bus.PressButton(cable, kMouseDpiButton), 0x1100);  // wraps round
}

TEST(PhysicalMouse, CatalogueAndPlugByProduct) {
    auto bus = MakeDemoBus();
    const std::vector<PlugOption> catalogue = bus->Catalogue();
    ASSERT_EQ(catalogue.size(), 3u);
    EXPECT_EQ(catalogue[0].productId, kWiredMouseProductId);
    EXPECT_FALSE(catalogue[0].receiver);
    EXPECT_EQ(catalogue[1].productId, kReceiverProductId);
    EXPECT_EQ(catalogue[2].productId, kReceiver2ProductId);
    for (const PlugOption& o : catalogue) {
        EXPECT_EQ(o.vendorId, kEmuVendorId);
        EXPECT_EQ(o.firmware, bus->MainMouse());
    }
    // The demo has the cable and 0x7102 in: plugging them again is refused, 0x7103 is not.
    EXPECT_EQ(bus->Plug(kWiredMouseProductId), kNoDevice);
    EXPECT_EQ(bus->Plug(kReceiverProductId), kNoDevice);
    const DeviceId r2 = bus->Plug(kReceiver2ProductId);
    ASSERT_NE(r2, kNoDevice);
    EXPECT_EQ(bus->LinkUp(r2), true);
    EXPECT_EQ(bus->Plug(0x7104), kNoDevice);
    EXPECT_EQ(bus->Plugged().size(), 3u);
    // The layout's vendor id names the paths and the attributes.
    const std::string path = test::VendorPath(*bus, r2);
    EXPECT_EQ(path.rfind("emu#vid_4a1d&pid_7103&col05#", 0), 0u) << path;
    auto dev = OpenPath(*bus, path);
    ASSERT_TRUE(dev);
    EXPECT_EQ(dev->Attributes().vendorId, kEmuVendorId);
}

}  // namespace
}  // namespace q417::emu
