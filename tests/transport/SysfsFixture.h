#pragma once
// A throw-away sysfs + /dev tree laid out the way the kernel lays out hidraw nodes, for tests of
// the hidraw backend and of the tools built on it:
//
//   <root>/sys/class/hidraw/hidrawN ->
//   ../../devices/fixture/usbU/U-1/U-1:1.I/<instance>/hidraw/hidrawN
//   .../hidraw/hidrawN/device      -> ../.. (the HID device folder, named with the instance)
//   <instance>/uevent, <instance>/report_descriptor
//   U-1:1.I/bInterfaceNumber       (USB interface folder)
//   U-1/idVendor, idProduct, bcdDevice, bNumInterfaces   (USB device folder)
//   <root>/dev/hidrawN             a FIFO standing in for the device node
//
// The FIFO lets a test inject input reports: Inject() writes one report as one pipe packet, so
// each read() of the backend gets exactly one report, as from a real hidraw node. Unlike a real
// node a FIFO hands each report to one reader only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace q417::test {

struct FixtureHidNode {
    int number = 0;  // N of hidrawN
    uint16_t busType = 0x0003;
    uint16_t vendorId = 0x4A1D;
    uint16_t productId = 0x7101;
    uint16_t version = 0x0100;  // bcdDevice of the USB device
    std::string instance;       // empty: "BBBB:VVVV:PPPP.<number, 4 hex digits>"
    int usbDevice = -1;         // nodes with the same value share a USB device folder; -1: own
    int interfaceNumber = 0;    // -1: no USB parents at all (Bluetooth, I2C ...)
    int numInterfaces = 1;      // bNumInterfaces; > 1 makes the device composite
    std::vector<uint8_t> descriptor;
    std::string name = "Q417 fixture device";
    bool sysfsSymlinks = true;     // false: class/hidraw/hidrawN/device is a plain folder
    bool createDeviceNode = true;  // a FIFO at <dev>/hidrawN
};

class SysfsFixture {
public:
    SysfsFixture() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "q417-sysfs-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (::mkdtemp(buf.data()) != nullptr) {
            root_ = buf.data();
        }
        sysfs_ = root_ + "/sys";
        dev_ = root_ + "/dev";
        std::error_code ec;
        std::filesystem::create_directories(sysfs_ + "/class/hidraw", ec);
        std::filesystem::create_directories(dev_, ec);
    }
    ~SysfsFixture() {
        for (auto& [number, fd] : injectors_) {
            ::close(fd);
        }
        if (!root_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(root_, ec);
        }
    }
    SysfsFixture(const SysfsFixture&) = delete;
    SysfsFixture& operator=(const SysfsFixture&) = delete;

    bool Ok() const { return !root_.empty(); }
    const std::string& Root() const { return root_; }
    const std::string& SysfsRoot() const { return sysfs_; }
    const std::string& DevRoot() const { return dev_; }
    std::string NodePath(int number) const { return dev_ + "/hidraw" + std::to_string(number); }

    static std::string DefaultInstance(const FixtureHidNode& n) {
        char text[32];
        std::snprintf(text, sizeof text, "%04X:%04X:%04X.%04X", n.busType, n.vendorId, n.productId,
                      static_cast<unsigned>(n.number));
        return text;
    }

    // Adds hidrawN; returns the instance name used. Replaces an earlier node of the same number.
    std::string AddNode(const FixtureHidNode& n) {
        namespace fs = std::filesystem;
        RemoveNode(n.number);
        const std::string nodeName = "hidraw" + std::to_string(n.number);
        const std::string instance = n.instance.empty() ? DefaultInstance(n) : n.instance;
        const fs::path classEntry = fs::path(sysfs_) / "class/hidraw" / nodeName;
        std::error_code ec;
        fs::path hidDir;
        if (!n.sysfsSymlinks) {
            hidDir = classEntry / "device";
            fs::create_directories(hidDir, ec);
        } else {
            const int usb = n.usbDevice >= 0 ? n.usbDevice : 100 + n.number;
            fs::path parent;
            if (n.interfaceNumber >= 0) {
                const fs::path usbDir = fs::path(sysfs_) / "devices/fixture" /
                                        ("usb" + std::to_string(usb)) /
                                        (std::to_string(usb) + "-1");
                const fs::path ifDir =
                    usbDir / (std::to_string(usb) + "-1:1." + std::to_string(n.interfaceNumber));
                fs::create_directories(ifDir, ec);
                WriteText(usbDir / "idVendor", Hex4(n.vendorId) + "\n");
                WriteText(usbDir / "idProduct", Hex4(n.productId) + "\n");
                WriteText(usbDir / "bcdDevice", Hex4(n.version) + "\n");
                char count[16];
                std::snprintf(count, sizeof count, "%2d\n", n.numInterfaces);
                WriteText(usbDir / "bNumInterfaces", count);
                char number[16];
                std::snprintf(number, sizeof number, "%02x\n", n.interfaceNumber);
                WriteText(ifDir / "bInterfaceNumber", number);
                parent = ifDir;
            } else {
                parent = fs::path(sysfs_) / "devices/virtual/fixture-bus" / std::to_string(usb);
            }
            hidDir = parent / instance;
            const fs::path nodeDir = hidDir / "hidraw" / nodeName;
            fs::create_directories(nodeDir, ec);
            fs::create_directory_symlink("../..", nodeDir / "device", ec);
            fs::create_directory_symlink(fs::relative(nodeDir, classEntry.parent_path()),
                                         classEntry, ec);
        }
        char hidId[64];
        std::snprintf(hidId, sizeof hidId, "HID_ID=%04X:%08X:%08X\n", n.busType, n.vendorId,
                      n.productId);
        WriteText(hidDir / "uevent", "DRIVER=hid-generic\n" + std::string(hidId) +
                                         "HID_NAME=" + n.name + "\nHID_PHYS=fixture\n" +
                                         "MODALIAS=hid:fixture\n");
        WriteBytes(hidDir / "report_descriptor", n.descriptor);
        if (n.createDeviceNode) {
            ::mkfifo(NodePath(n.number).c_str(), 0600);
        }
        nodes_[n.number] = hidDir.string();
        return instance;
    }

    // Removes the node's sysfs entries and device node (an unplug). Open files stay valid.
    void RemoveNode(int number) {
        namespace fs = std::filesystem;
        std::error_code ec;
        auto it = nodes_.find(number);
        if (it != nodes_.end()) {
            fs::remove_all(it->second, ec);
            nodes_.erase(it);
        }
        fs::remove_all(fs::path(sysfs_) / "class/hidraw" / ("hidraw" + std::to_string(number)), ec);
        fs::remove(NodePath(number), ec);
        CloseInjector(number);
    }

    // Writes one input report into the node's FIFO as one packet. False when that failed.
    bool Inject(int number, std::span<const uint8_t> report) {
        const int fd = Injector(number);
        if (fd < 0) {
            return false;
        }
        return ::write(fd, report.data(), report.size()) == static_cast<ssize_t>(report.size());
    }

    // What was written to the node and not read yet (up to 4096 bytes), without blocking.
    std::vector<uint8_t> TakeWritten(int number) {
        const int fd = Injector(number);
        std::vector<uint8_t> data(4096);
        const ssize_t n = fd < 0 ? -1 : ::read(fd, data.data(), data.size());
        data.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return data;
    }

    // Drops the fixture's own end of the FIFO; a reader that opened the node read-only then sees
    // a hang-up, as a reader of a removed hidraw node does.
    void CloseInjector(int number) {
        auto it = injectors_.find(number);
        if (it != injectors_.end()) {
            ::close(it->second);
            injectors_.erase(it);
        }
    }

    // Opens the injector end now (before the code under test opens the node read-only, so that
    // the FIFO has a writer from the start).
    bool OpenInjector(int number) { return Injector(number) >= 0; }

private:
    static std::string Hex4(uint16_t v) {
        char text[8];
        std::snprintf(text, sizeof text, "%04x", v);
        return text;
    }
    static void WriteText(const std::filesystem::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
    }
    static void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    int Injector(int number) {
        auto it = injectors_.find(number);
        if (it != injectors_.end()) {
            return it->second;
        }
        const int fd = ::open(NodePath(number).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        // Packet mode: every write() becomes one read() on the other side.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_DIRECT);
        injectors_[number] = fd;
        return fd;
    }

    std::string root_;
    std::string sysfs_;
    std::string dev_;
    std::map<int, std::string> nodes_;  // number -> HID device folder
    std::map<int, int> injectors_;      // number -> fd
};

// Points the hidraw backend's environment at a fixture for the lifetime of the object.
class ScopedHidrawEnv {
public:
    explicit ScopedHidrawEnv(const SysfsFixture& fixture) {
        Save("Q417_SYSFS_ROOT", oldSysfs_);
        Save("Q417_DEV_ROOT", oldDev_);
        ::setenv("Q417_SYSFS_ROOT", fixture.SysfsRoot().c_str(), 1);
        ::setenv("Q417_DEV_ROOT", fixture.DevRoot().c_str(), 1);
    }
    ~ScopedHidrawEnv() {
        Restore("Q417_SYSFS_ROOT", oldSysfs_);
        Restore("Q417_DEV_ROOT", oldDev_);
    }
    ScopedHidrawEnv(const ScopedHidrawEnv&) = delete;
    ScopedHidrawEnv& operator=(const ScopedHidrawEnv&) = delete;

private:
    static void Save(const char* name, std::optional<std::string>& slot) {
        if (const char* v = std::getenv(name)) {
            slot = v;
        }
    }
    static void Restore(const char* name, const std::optional<std::string>& slot) {
        if (slot) {
            ::setenv(name, slot->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    std::optional<std::string> oldSysfs_;
    std::optional<std::string> oldDev_;
};

// Report descriptors for fixtures.

// Vendor collection 0xFF1C/0x0092 on report ID 4 (63 data bytes in and out), then Consumer
// Control on report ID 3 (one 16-bit selector 0..0x11FF).
inline std::vector<uint8_t> VendorConsumerDescriptor() {
    return {
        0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x85, 0x04, 0x09, 0x01, 0x15, 0x00,
        0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02,
        0xC0,  // vendor
        0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x11,
        0x19, 0x00, 0x2A, 0xFF, 0x11, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0,  // consumer
    };
}

// Five top-level collections, like a gaming mouse's interface 0: mouse (ID 1), keyboard (ID 2),
// system control (ID 6), Consumer Control (ID 3, col04), vendor 0xFF1C/0x0092 (ID 4, col05).
inline std::vector<uint8_t> FiveCollectionMouseDescriptor() {
    return {
        // col01 mouse: 5 buttons + 3 pad bits, X/Y 16 bit
        0x05,
        0x01,
        0x09,
        0x02,
        0xA1,
        0x01,
        0x85,
        0x01,
        0x09,
        0x01,
        0xA1,
        0x00,
        0x05,
        0x09,
        0x19,
        0x01,
        0x29,
        0x05,
        0x15,
        0x00,
        0x25,
        0x01,
        0x95,
        0x05,
        0x75,
        0x01,
        0x81,
        0x02,
        0x95,
        0x01,
        0x75,
        0x03,
        0x81,
        0x01,
        0x05,
        0x01,
        0x09,
        0x30,
        0x09,
        0x31,
        0x16,
        0x01,
        0x80,
        0x26,
        0xFF,
        0x7F,
        0x75,
        0x10,
        0x95,
        0x02,
        0x81,
        0x06,
        0xC0,
        0xC0,
        // col02 keyboard: modifiers + 6 key selectors
        0x05,
        0x01,
        0x09,
        0x06,
        0xA1,
        0x01,
        0x85,
        0x02,
        0x05,
        0x07,
        0x19,
        0xE0,
        0x29,
        0xE7,
        0x15,
        0x00,
        0x25,
        0x01,
        0x75,
        0x01,
        0x95,
        0x08,
        0x81,
        0x02,
        0x95,
        0x06,
        0x75,
        0x08,
        0x15,
        0x00,
        0x26,
        0xFF,
        0x00,
        0x19,
        0x00,
        0x2A,
        0xFF,
        0x00,
        0x81,
        0x00,
        0xC0,
        // col03 system control
        0x05,
        0x01,
        0x09,
        0x80,
        0xA1,
        0x01,
        0x85,
        0x06,
        0x19,
        0x81,
        0x29,
        0x83,
        0x15,
        0x00,
        0x25,
        0x01,
        0x75,
        0x01,
        0x95,
        0x03,
        0x81,
        0x02,
        0x95,
        0x05,
        0x81,
        0x01,
        0xC0,
        // col04 consumer control
        0x05,
        0x0C,
        0x09,
        0x01,
        0xA1,
        0x01,
        0x85,
        0x03,
        0x15,
        0x00,
        0x26,
        0xFF,
        0x11,
        0x19,
        0x00,
        0x2A,
        0xFF,
        0x11,
        0x75,
        0x10,
        0x95,
        0x01,
        0x81,
        0x00,
        0xC0,
        // col05 vendor
        0x06,
        0x1C,
        0xFF,
        0x09,
        0x92,
        0xA1,
        0x01,
        0x85,
        0x04,
        0x09,
        0x01,
        0x15,
        0x00,
        0x26,
        0xFF,
        0x00,
        0x75,
        0x08,
        0x95,
        0x3F,
        0x81,
        0x02,
        0x09,
        0x01,
        0x91,
        0x02,
        0xC0,
    };
}

// One vendor collection without report IDs: 8 bytes in, 8 bytes out.
inline std::vector<uint8_t> UnnumberedVendorDescriptor() {
    return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
            0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x95, 0x08, 0x91, 0x02, 0xC0};
}

// Ends inside an open collection: never parses.
inline std::vector<uint8_t> TruncatedDescriptor() {
    return {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01, 0x85, 0x04, 0x75, 0x08};
}

}  // namespace q417::test
