// The emulated bus playing a udev monitor: what its sources report for plugs and unplugs, and
// how a lost event, an injected one and a killed monitor look to a reader.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "EmuTestUtil.h"
#include "emulator/DemoBus.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::emu {
namespace {

using Action = HotplugEvent::Action;

short Revents(const IHotplugSource& source) {
    pollfd fd{source.Fd(), POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1 ? fd.revents : 0;
}

std::vector<HotplugEvent> Drain(IHotplugSource& source) {
    std::vector<HotplugEvent> events;
    while (std::optional<HotplugEvent> e = source.Next()) {
        events.push_back(*e);
    }
    return events;
}

std::vector<std::string> NodesOf(const std::vector<HotplugEvent>& events, Action action) {
    std::vector<std::string> nodes;
    for (const HotplugEvent& e : events) {
        EXPECT_EQ(e.action, action) << e.devnode;
        nodes.push_back(e.devnode);
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(EmulatedHotplug, OffByDefaultAndOnInTheDemo) {
    EmulatedHidBus bus;
    std::string error;
    EXPECT_EQ(bus.OpenHotplugSource(error), nullptr);
    EXPECT_FALSE(error.empty());
    auto demo = MakeDemoBus();
    error.clear();
    EXPECT_NE(demo->OpenHotplugSource(error), nullptr) << error;
}

TEST(EmulatedHotplug, EveryPathOfAPlugAndUnplugIsAnnouncedAndTheSourceIsQuietOtherwise) {
    EmulatedHidBus bus;
    bus.SetHotplugMonitor(true);
    std::string error;
    auto source = bus.OpenHotplugSource(error);
    ASSERT_NE(source, nullptr) << error;
    EXPECT_EQ(Revents(*source), 0);
    EXPECT_FALSE(source->Next().has_value());

    const DeviceId cable = bus.PlugWiredMouse();
    const std::vector<std::string> paths = bus.PathsOf(cable);
    ASSERT_FALSE(paths.empty());
    EXPECT_NE(Revents(*source) & POLLIN, 0);
    EXPECT_EQ(NodesOf(Drain(*source), Action::Add), Sorted(paths));
    EXPECT_EQ(Revents(*source), 0);  // drained: not readable again until the next change

    // An unplug in the middle of a transfer is announced as well as a deliberate one.
    const DeviceId receiver = bus.PlugReceiver(kReceiverProductId, true);
    const std::vector<std::string> receiverPaths = bus.PathsOf(receiver);
    EXPECT_EQ(NodesOf(Drain(*source), Action::Add), Sorted(receiverPaths));
    ASSERT_TRUE(bus.InjectFault(receiver, {FaultKind::UnplugMidTransfer}));
    auto dev = test::OpenPath(bus, test::VendorPath(bus, receiver));
    ASSERT_NE(dev, nullptr);
    const Frame frame = test::MakeFrame(0x01);
    EXPECT_EQ(dev->Write(frame, 100).status, HidIoStatus::Gone);
    EXPECT_EQ(NodesOf(Drain(*source), Action::Remove), Sorted(receiverPaths));

    ASSERT_TRUE(bus.Unplug(cable));
    EXPECT_EQ(NodesOf(Drain(*source), Action::Remove), Sorted(paths));
}

TEST(EmulatedHotplug, LostEventsInjectedEventsAndAKilledMonitor) {
    EmulatedHidBus bus;
    bus.SetHotplugMonitor(true);
    std::string error;
    auto source = bus.OpenHotplugSource(error);
    ASSERT_NE(source, nullptr) << error;

    bus.DropHotplugEvents(true);
    const DeviceId cable = bus.PlugWiredMouse();
    EXPECT_EQ(Revents(*source), 0);
    bus.DropHotplugEvents(false);
    bus.InjectHotplugEvent({});  // what udev reports after an overrun: rescan
    std::vector<HotplugEvent> events = Drain(*source);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].action, Action::Other);
    EXPECT_TRUE(events[0].devnode.empty());
    // The lost plug is not replayed later: the unplug is the next thing heard.
    const std::vector<std::string> cablePaths = bus.PathsOf(cable);
    ASSERT_TRUE(bus.Unplug(cable));
    EXPECT_EQ(NodesOf(Drain(*source), Action::Remove), Sorted(cablePaths));

    EXPECT_EQ(bus.LiveHotplugSources(), 1u);
    bus.PlugWiredMouse();
    bus.KillHotplugMonitor();
    // Pending events are still read, then the source hangs up for good.
    EXPECT_FALSE(Drain(*source).empty());
    EXPECT_NE(Revents(*source) & POLLHUP, 0);
    EXPECT_EQ(bus.LiveHotplugSources(), 0u);
    EXPECT_EQ(bus.OpenHotplugSource(error), nullptr);
    bus.SetHotplugMonitor(true);
    EXPECT_NE(bus.OpenHotplugSource(error), nullptr);
}

}  // namespace
}  // namespace q417::emu
