#pragma once
// A mouse device object wired to the emulated bus, with its profile files in a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "devices/CTavrenixMouseDevice.h"
#include "emulator/EmuTestUtil.h"
#include "emulator/EmulatedHidBus.h"
#include "platform/Folders.h"

namespace q417::test {

using namespace std::chrono_literals;

// Waits (in real time, up to `bound`) until pred() holds; for work handed between threads.
inline bool Eventually(const std::function<bool()>& pred, std::chrono::milliseconds bound = 3s) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class MouseDeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/q417-devices-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        FolderRedirects redirects;
        redirects.userData = folder_;
        SetFolderRedirects(redirects);
    }

    void TearDown() override {
        device.reset();
        SetFolderRedirects({});
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    void MakeDevice(DeviceOptions options = {}) {
        options.backend = bus;
        device = std::make_unique<CTavrenixMouseDevice>("mouse", options);
        device->SetProfileId("2024_03_07_09_05_07_042");
    }

    // Opens the command interface of `id` the way the device manager does.
    void Connect(emu::DeviceId id, bool wireless) {
        emuId = id;
        if (!device) {
            MakeDevice();
        }
        CReportChannel& channel = device->CommandChannel();
        CHidInterface& hid = wireless ? channel.InterfaceB() : channel.InterfaceA();
        ASSERT_TRUE(hid.Open(emu::test::VendorPath(*bus, id), true, true, true, false));
        channel.SetOpen(true);
        device->SetWireless(wireless);
        // Short pauses keep the suite quick; the emulator does not depend on them.
        channel.SetPacing({1ms, 1ms});
    }

    void ConnectCable() { Connect(bus->PlugWiredMouse(), false); }
    void ConnectReceiver(uint16_t product, bool mouseOn) {
        Connect(bus->PlugReceiver(product, mouseOn), true);
    }

    bool OpenNotifications() {
        return device->OpenNotificationInterface(
            emu::test::ConsumerPath(*bus, emuId),
            device->IsWireless() ? kKindMouseReceiver : kKindMouseCable);
    }

    template <class Fn>
    auto Run(Fn fn) {
        auto result = device->Call(std::move(fn));
        EXPECT_TRUE(result.has_value());
        return *result;
    }

    std::vector<uint8_t> Record(int p) {
        return bus->ReadMouseMemory(emuId, static_cast<std::size_t>(p) * kMouseRecordStride,
                                    kMouseRecordSize);
    }

    const std::string& Folder() const { return folder_; }

    std::shared_ptr<emu::EmulatedHidBus> bus = std::make_shared<emu::EmulatedHidBus>();
    std::unique_ptr<CTavrenixMouseDevice> device;
    emu::DeviceId emuId = emu::kNoDevice;

private:
    std::string folder_;
};

}  // namespace q417::test
