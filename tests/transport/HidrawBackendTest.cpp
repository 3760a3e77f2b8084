#include "transport/HidrawBackend.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "transport/SysfsFixture.h"

namespace q417 {
namespace {

using test::FixtureHidNode;
using test::SysfsFixture;

class HidrawBackendTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fx.Ok()); }

    FixtureHidNode Node(int number, std::vector<uint8_t> descriptor) {
        FixtureHidNode n;
        n.number = number;
        n.descriptor = std::move(descriptor);
        return n;
    }
    std::vector<std::string> Paths() {
        std::vector<std::string> paths;
        EXPECT_TRUE(backend.EnumeratePaths(paths));
        return paths;
    }
    std::string Dev(int number) { return fx.NodePath(number); }

    SysfsFixture fx;
    HidrawBackend backend{fx.SysfsRoot(), fx.DevRoot()};
};

TEST_F(HidrawBackendTest, PathFormsFollowCompositeAndCollectionCount) {
    // Single collection on a single-interface device: neither "&mi_" nor "&col".
    auto n0 = Node(0, test::UnnumberedVendorDescriptor());
    n0.instance = "0003:4A1D:7101.000A";
    fx.AddNode(n0);
    // Composite receiver, interface 1 with two collections.
    auto n1 = Node(1, test::VendorConsumerDescriptor());
    n1.productId = 0x7102;
    n1.interfaceNumber = 1;
    n1.numInterfaces = 2;
    fx.AddNode(n1);
    // Five collections on a single-interface device: "&col" without "&mi_".
    fx.AddNode(Node(2, test::FiveCollectionMouseDescriptor()));
    // Bluetooth: no USB parents, no interface number.
    auto n3 = Node(3, test::UnnumberedVendorDescriptor());
    n3.busType = 0x0005;
    n3.interfaceNumber = -1;
    fx.AddNode(n3);

    const std::vector<std::string> expected = {
        "hidraw#vid_4a1d&pid_7101#0003:4A1D:7101.000A#" + Dev(0),
        "hidraw#vid_4a1d&pid_7102&mi_01&col01#0003:4A1D:7102.0001#" + Dev(1),
        "hidraw#vid_4a1d&pid_7102&mi_01&col02#0003:4A1D:7102.0001#" + Dev(1),
        "hidraw#vid_4a1d&pid_7101&col01#0003:4A1D:7101.0002#" + Dev(2),
        "hidraw#vid_4a1d&pid_7101&col02#0003:4A1D:7101.0002#" + Dev(2),
        "hidraw#vid_4a1d&pid_7101&col03#0003:4A1D:7101.0002#" + Dev(2),
        "hidraw#vid_4a1d&pid_7101&col04#0003:4A1D:7101.0002#" + Dev(2),
        "hidraw#vid_4a1d&pid_7101&col05#0003:4A1D:7101.0002#" + Dev(2),
        "hidraw#vid_4a1d&pid_7101#0005:4A1D:7101.0003#" + Dev(3),
    };
    EXPECT_EQ(Paths(), expected);
}

TEST_F(HidrawBackendTest, ManyNodesKeepNumericOrderAndBadDescriptorsAreSkipped) {
    // Added out of order; hidraw10 must come after hidraw9, not after hidraw1.
    const std::vector<int> numbers = {10, 3, 0, 11, 7, 1, 9, 2, 8, 4, 6, 5};
    for (int n : numbers) {
        fx.AddNode(
            Node(n, n == 4 ? test::TruncatedDescriptor() : test::UnnumberedVendorDescriptor()));
    }
    // A node whose uevent is missing cannot be used either.
    auto broken = Node(12, test::UnnumberedVendorDescriptor());
    fx.AddNode(broken);
    ::unlink((fx.SysfsRoot() + "/class/hidraw/hidraw12/device/uevent").c_str());

    const auto paths = Paths();
    ASSERT_EQ(paths.size(), 11u);
    int expected = 0;
    for (const auto& p : paths) {
        if (expected == 4) {
            ++expected;
        }
        EXPECT_TRUE(p.ends_with("#" + Dev(expected))) << p;
        ++expected;
    }

    const auto nodes = backend.ListNodes();
    ASSERT_EQ(nodes.size(), 13u);
    EXPECT_EQ(nodes[4].nodeName, "hidraw4");
    EXPECT_FALSE(nodes[4].descriptorError.empty());
    EXPECT_TRUE(nodes[4].collections.empty());
    EXPECT_FALSE(nodes[12].sysfsError.empty());
}

TEST_F(HidrawBackendTest, InstanceComesFromSysfsAndChangesOnReplug) {
    auto n = Node(3, test::VendorConsumerDescriptor());
    n.instance = "0003:4A1D:7101.000A";
    fx.AddNode(n);
    const auto before = Paths();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_NE(before[0].find("#0003:4A1D:7101.000A#"), std::string::npos);

    // Unplugged and plugged back: same hidraw number, new kernel instance.
    fx.RemoveNode(3);
    EXPECT_TRUE(Paths().empty());
    n.instance = "0003:4A1D:7101.000B";
    fx.AddNode(n);
    const auto after = Paths();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(after[0], before[0]);

    HidOpenError error = HidOpenError::None;
    EXPECT_EQ(backend.Open(before[0], {}, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::NotFound);
    EXPECT_NE(backend.Open(after[0], {}, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::None);
}

TEST_F(HidrawBackendTest, PlainDeviceFolderFallsBackToIdsFromUevent) {
    auto n = Node(0, test::UnnumberedVendorDescriptor());
    n.sysfsSymlinks = false;
    fx.AddNode(n);
    const auto paths = Paths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], "hidraw#vid_4a1d&pid_7101#0003:4A1D:7101#" + Dev(0));
    EXPECT_NE(backend.Open(paths[0], {}, nullptr, nullptr), nullptr);
}

TEST_F(HidrawBackendTest, ListNodesDescribesEveryNode) {
    auto n = Node(2, test::FiveCollectionMouseDescriptor());
    n.version = 0x0213;
    n.interfaceNumber = 0;
    n.numInterfaces = 2;
    n.name = "Fixture Mouse";
    fx.AddNode(n);
    auto gone = Node(5, test::UnnumberedVendorDescriptor());
    gone.createDeviceNode = false;
    fx.AddNode(gone);
    // Larger than any descriptor the parser accepts: listed with the reason, never enumerated.
    std::vector<uint8_t> huge;
    while (huge.size() < 5000) {
        const auto one = test::UnnumberedVendorDescriptor();
        huge.insert(huge.end(), one.begin(), one.end());
    }
    fx.AddNode(Node(7, huge));

    const auto nodes = backend.ListNodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[2].descriptorBytes, huge.size());
    EXPECT_FALSE(nodes[2].descriptorError.empty());
    EXPECT_EQ(Paths().size(), 6u);
    const HidrawNodeInfo& m = nodes[0];
    EXPECT_EQ(m.nodeName, "hidraw2");
    EXPECT_EQ(m.devicePath, Dev(2));
    EXPECT_EQ(m.instance, "0003:4A1D:7101.0002");
    EXPECT_EQ(m.name, "Fixture Mouse");
    EXPECT_EQ(m.busType, 0x0003);
    EXPECT_EQ(m.vendorId, 0x4A1D);
    EXPECT_EQ(m.productId, 0x7101);
    EXPECT_EQ(m.versionNumber, 0x0213);
    ASSERT_TRUE(m.interfaceNumber.has_value());
    EXPECT_EQ(*m.interfaceNumber, 0u);
    EXPECT_TRUE(m.composite);
    EXPECT_TRUE(m.descriptorError.empty());
    EXPECT_TRUE(m.readable);
    EXPECT_TRUE(m.writable);
    EXPECT_FALSE(m.permissionDenied);
    ASSERT_EQ(m.collections.size(), 5u);
    const auto& consumer = m.collections[3];
    EXPECT_EQ(consumer.usagePage, 0x000C);
    EXPECT_EQ(consumer.usage, 0x0001);
    EXPECT_EQ(consumer.reportIds[0], std::vector<uint8_t>{3});
    EXPECT_EQ(consumer.inputReportByteLength, 3);
    const auto& vendor = m.collections[4];
    EXPECT_EQ(vendor.usagePage, 0xFF1C);
    EXPECT_EQ(vendor.usage, 0x0092);
    EXPECT_EQ(vendor.inputReportByteLength, 64);
    EXPECT_EQ(vendor.outputReportByteLength, 64);
    EXPECT_EQ(vendor.featureReportByteLength, 0);
    EXPECT_EQ(vendor.path, "hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.0002#" + Dev(2));

    const HidrawNodeInfo& g = nodes[1];
    EXPECT_FALSE(g.readable);
    EXPECT_FALSE(g.writable);
    EXPECT_FALSE(g.permissionDenied);
    EXPECT_FALSE(g.openError.empty());
}

TEST_F(HidrawBackendTest, OpensOnlyPathsItProduced) {
    fx.AddNode(Node(1, test::VendorConsumerDescriptor()));
    const auto paths = Paths();
    ASSERT_EQ(paths.size(), 2u);
    const std::string good = paths[0];
    const std::string instance = "0003:4A1D:7101.0001";
    const std::vector<std::string> refused = {
        "",
        Dev(1),
        "/etc/passwd",
        "hidraw#vid_4a1d&pid_7101&col01#" + instance + "#/etc/passwd",
        "hidraw#vid_4a1d&pid_7101&col01#" + instance + "#" + fx.DevRoot() + "/../dev/hidraw1",
        "hidraw#vid_4a1d&pid_7101&col01#" + instance + "#" + fx.DevRoot() + "/hidraw1x",
        "hidraw#vid_4a1d&pid_7101&col03#" + instance + "#" + Dev(1),  // no third collection
        "hidraw#vid_4a1d&pid_7102&col01#" + instance + "#" + Dev(1),  // wrong product
        "hidraw#vid_4a1d&pid_7101&col01#" + instance + "#" + Dev(2),  // no such node
        good + "#",
    };
    for (const auto& path : refused) {
        HidOpenError error = HidOpenError::None;
        std::string text;
        EXPECT_EQ(backend.Open(path, {}, &error, &text), nullptr) << path;
        EXPECT_EQ(error, HidOpenError::NotFound) << path;
        EXPECT_FALSE(text.empty()) << path;
    }

    HidOpenError error = HidOpenError::Other;
    auto device = backend.Open(good, {}, &error, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(error, HidOpenError::None);
    EXPECT_EQ(device->CollectionIndex(), 0u);
    EXPECT_EQ(device->ReportDescriptor().size(), test::VendorConsumerDescriptor().size());
    EXPECT_EQ(device->Attributes().productId, 0x7101);
    EXPECT_EQ(backend.Open(paths[1], {}, nullptr, nullptr)->CollectionIndex(), 1u);
}

TEST_F(HidrawBackendTest, OpenErrors) {
    // A node present in sysfs without its device node.
    auto n = Node(0, test::UnnumberedVendorDescriptor());
    n.createDeviceNode = false;
    fx.AddNode(n);
    fx.AddNode(Node(1, test::UnnumberedVendorDescriptor()));
    auto paths = Paths();
    ASSERT_EQ(paths.size(), 2u);
    HidOpenError error = HidOpenError::None;
    EXPECT_EQ(backend.Open(paths[0], {}, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::NotFound);

    // Exclusive opens conflict with every other open of the node by this backend.
    HidOpenRequest shared{true, true, false};
    HidOpenRequest exclusive{true, true, true};
    auto a = backend.Open(paths[1], shared, &error, nullptr);
    auto b = backend.Open(paths[1], shared, &error, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(backend.Open(paths[1], exclusive, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::Busy);
    a.reset();
    b.reset();
    auto c = backend.Open(paths[1], exclusive, &error, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(backend.Open(paths[1], shared, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::Busy);

    // A descriptor that fails to parse between enumeration and open.
    c.reset();
    std::vector<uint8_t> bad = test::TruncatedDescriptor();
    FILE* f = std::fopen(
        (fx.SysfsRoot() + "/class/hidraw/hidraw1/device/report_descriptor").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bad.data(), 1, bad.size(), f);
    std::fclose(f);
    EXPECT_EQ(backend.Open(paths[1], shared, &error, nullptr), nullptr);
    EXPECT_EQ(error, HidOpenError::BadDescriptor);
}

TEST_F(HidrawBackendTest, PermissionDeniedIsReported) {
    fx.AddNode(Node(0, test::UnnumberedVendorDescriptor()));
    const auto paths = Paths();
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_EQ(::chmod(fx.NodePath(0).c_str(), 0600), 0);

    auto check = [&]() -> int {
        HidOpenError error = HidOpenError::None;
        if (backend.Open(paths[0], {true, false, false}, &error, nullptr) != nullptr ||
            error != HidOpenError::PermissionDenied) {
            return 1;
        }
        const auto nodes = backend.ListNodes();
        if (nodes.size() != 1 || !nodes[0].permissionDenied || nodes[0].readable ||
            nodes[0].writable) {
            return 2;
        }
        return 0;
    };
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(fx.NodePath(0).c_str(), 0), 0);
        EXPECT_EQ(check(), 0);
        return;
    }
    // As root file modes do not deny anything: check from a child that dropped to "nobody",
    // with the fixture tree readable to it and the node left root-only.
    ASSERT_EQ(::chmod(fx.Root().c_str(), 0755), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(77);
        }
        ::_exit(check());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "cannot drop root privileges to test permission errors";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(HidrawBackendTest, RootsComeFromTheEnvironment) {
    fx.AddNode(Node(0, test::UnnumberedVendorDescriptor()));
    test::ScopedHidrawEnv env(fx);
    HidrawBackend fromEnv;
    EXPECT_EQ(fromEnv.SysfsRoot(), fx.SysfsRoot());
    EXPECT_EQ(fromEnv.DevRoot(), fx.DevRoot());
    std::vector<std::string> paths;
    ASSERT_TRUE(fromEnv.EnumeratePaths(paths));
    EXPECT_EQ(paths.size(), 1u);

    // No hidraw class folder at all: no device, not a failure.
    HidrawBackend empty(fx.Root() + "/nothing", fx.DevRoot());
    EXPECT_TRUE(empty.EnumeratePaths(paths));
    EXPECT_TRUE(paths.empty());
}

}  // namespace
}  // namespace q417
