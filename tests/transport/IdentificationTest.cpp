// Path parsing, the identification table and slot list, appended rows, and the detection pass
// with its memory of refused interfaces.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "transport/DetectionPass.h"
#include "transport/HidPath.h"
#include "transport/IdentificationTable.h"
#include "transport/SysfsFixture.h"

namespace q417 {
namespace {

// ---------------------------------------------------------------------------------------------
// Path parsers

TEST(HidPathTest, ParsesTheFourKeysInAnyLetterCase) {
    const std::string lower = R"(\\?\hid#vid_abcd&pid_1234&mi_01&col03#7&1a2b&0&0002#{4d1e55b2})";
    EXPECT_EQ(VendorFromPath(lower), 0xABCD);
    EXPECT_EQ(ProductFromPath(lower), 0x1234);
    EXPECT_EQ(InterfaceFromPath(lower), 1);
    EXPECT_EQ(CollectionFromPath(lower), 3);

    const std::string upper = "HID#VID_ABCD&PID_1234&MI_01&COL03#x";
    EXPECT_EQ(VendorFromPath(upper), 0xABCD);
    EXPECT_EQ(ProductFromPath(upper), 0x1234);
    EXPECT_EQ(InterfaceFromPath(upper), 1);
    EXPECT_EQ(CollectionFromPath(upper), 3);

    const std::string ours =
        "hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.000A#/dev/hidraw3";
    EXPECT_EQ(VendorFromPath(ours), 0x4A1D);
    EXPECT_EQ(ProductFromPath(ours), 0x7101);
    EXPECT_EQ(InterfaceFromPath(ours), 0);
    EXPECT_EQ(CollectionFromPath(ours), 5);
}

TEST(HidPathTest, MissingKeysGiveZero) {
    const std::string noMiNoCol = "hidraw#vid_4a1d&pid_7101#0003:4A1D:7101.0001#/dev/hidraw0";
    EXPECT_EQ(VendorFromPath(noMiNoCol), 0x4A1D);
    EXPECT_EQ(InterfaceFromPath(noMiNoCol), 0);
    EXPECT_EQ(CollectionFromPath(noMiNoCol), 0);
    EXPECT_EQ(VendorFromPath(""), 0);
    EXPECT_EQ(ProductFromPath("pid"), 0);
    // "mi_" without the '&' is not the key.
    EXPECT_EQ(InterfaceFromPath("hid#vid_1&mi02"), 0);
}

TEST(HidPathTest, ReadsHexLikeScanfAndKeepsTheLowSixteenBits) {
    EXPECT_EQ(VendorFromPath("vid_12345"), 0x2345);   // low 16 bits
    EXPECT_EQ(VendorFromPath("vid_0x4a1d"), 0x4A1D);  // "%x" accepts a 0x prefix
    EXPECT_EQ(VendorFromPath("vid_zz"), 0);           // no digits: nothing converted
    EXPECT_EQ(VendorFromPath("vid_"), 0);             // key at the very end
    EXPECT_EQ(CollectionFromPath("&col0a&x"), 0x0A);  // stops at the first non-digit
    EXPECT_EQ(VendorFromPath("vid_ 7f"), 0x7F);       // leading space skipped
    EXPECT_EQ(InterfaceFromPath("&mi_ffffffffff"), 0xFFFF);
}

TEST(HidPathTest, InstanceIsTheThirdPart) {
    EXPECT_EQ(
        InstanceFromPath("hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.000A#/dev/hidraw3"),
        "0003:4A1D:7101.000A");
    EXPECT_EQ(InstanceFromPath("emu#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.0007"),
              "0003:4A1D:7101.0007");
    EXPECT_EQ(InstanceFromPath("emu#vid_4a1d"), "");
    EXPECT_EQ(InstanceFromPath("no hash at all"), "");
    EXPECT_EQ(NodeFromPath("hidraw#a#b#/dev/hidraw3"), "/dev/hidraw3");
    EXPECT_EQ(NodeFromPath("emu#vid_4a1d#0003:4A1D:7101.0007"), "");
}

// ---------------------------------------------------------------------------------------------
// Table and slot list

DeviceIdentity PathProbe(uint16_t vendor, uint16_t product, uint16_t interfaceNumber,
                         uint16_t collection) {
    DeviceIdentity p;
    p.vendorId = vendor;
    p.productId = product;
    p.interfaceNumber = interfaceNumber;
    p.collectionNumber = collection;
    return p;
}

DeviceIdentity OpenedProbe(uint16_t vendor, uint16_t product, uint16_t interfaceNumber,
                           uint16_t collection, uint16_t usagePage, uint16_t usage,
                           std::string path) {
    DeviceIdentity p = PathProbe(vendor, product, interfaceNumber, collection);
    p.usagePage = usagePage;
    p.usage = usage;
    p.path = std::move(path);
    return p;
}

TEST(IdentificationTableTest, BuiltInRowsArePairedBothWaysAndFree) {
    const auto& rows = BuiltInIdentificationRows();
    ASSERT_EQ(rows.size(), 12u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].hasPartner, 1);
        ASSERT_LT(rows[i].partnerIndex, rows.size());
        EXPECT_EQ(rows[rows[i].partnerIndex].partnerIndex, i);
        EXPECT_EQ(rows[i].role, rows[rows[i].partnerIndex].role);
        EXPECT_EQ(rows[i].connected, 0);
        EXPECT_TRUE(rows[i].path.empty());
        const bool command = rows[i].role == kRoleCommand;
        EXPECT_EQ(rows[i].usagePage, command ? kCommandUsagePage : kNotificationUsagePage);
        EXPECT_EQ(rows[i].usage, command ? kCommandUsage : kNotificationUsage);
    }
    // The three supported products and where their collections sit.
    const DeviceIdentity& wiredCommand = rows[4];
    EXPECT_EQ(wiredCommand.vendorId, 0x4A1D);
    EXPECT_EQ(wiredCommand.productId, 0x7101);
    EXPECT_EQ(wiredCommand.interfaceNumber, 0);
    EXPECT_EQ(wiredCommand.collectionNumber, 5);
    EXPECT_EQ(wiredCommand.kind, kKindMouseCable);
    EXPECT_EQ(wiredCommand.partnerIndex, 6);
    EXPECT_EQ(rows[7].productId, 0x7102);
    EXPECT_EQ(rows[7].interfaceNumber, 1);
    EXPECT_EQ(rows[7].collectionNumber, 3);
    EXPECT_EQ(rows[11].productId, 0x7103);
    EXPECT_EQ(rows[11].collectionNumber, 4);
    EXPECT_EQ(rows[11].kind, kKindMouseReceiver);
    EXPECT_EQ(rows[2].kind, kKindKeyboardReceiver);
}

TEST(IdentificationTableTest, CollectionDecidesBetweenRowFourAndRowFive) {
    CInterfaceSlotList slots;
    EXPECT_TRUE(slots.MatchPath(PathProbe(0x4A1D, 0x7101, 0, 5)));
    EXPECT_TRUE(slots.MatchPath(PathProbe(0x4A1D, 0x7101, 0, 4)));
    EXPECT_FALSE(slots.MatchPath(PathProbe(0x4A1D, 0x7101, 0, 3)));
    EXPECT_FALSE(slots.MatchPath(PathProbe(0x4A1D, 0x7101, 1, 5)));

    DeviceIdentity vendor = OpenedProbe(0x4A1D, 0x7101, 0, 5, 0xFF1C, 0x92, "p#col05");
    std::size_t slot = 99;
    ASSERT_TRUE(slots.MatchOpened(vendor, &slot));
    EXPECT_EQ(slot, 4u);
    EXPECT_EQ(vendor.kind, kKindMouseCable);
    EXPECT_EQ(vendor.role, kRoleCommand);

    DeviceIdentity consumer = OpenedProbe(0x4A1D, 0x7101, 0, 4, 0x000C, 0x01, "p#col04");
    ASSERT_TRUE(slots.MatchOpened(consumer, &slot));
    EXPECT_EQ(slot, 5u);
    EXPECT_EQ(consumer.role, kRoleNotification);
    EXPECT_EQ(slots.Slot(5)->path, "p#col04");
    EXPECT_EQ(slots.Slot(5)->connected, 1);
    EXPECT_EQ(slots.FindSlotByPath("p#col04"), 5);

    // Collection 5 with the consumer usage matches no row: the six values must all agree.
    CInterfaceSlotList other;
    DeviceIdentity mixed = OpenedProbe(0x4A1D, 0x7101, 0, 5, 0x000C, 0x01, "p#mixed");
    EXPECT_FALSE(other.MatchOpened(mixed, &slot));
    EXPECT_FALSE(other.HasRowFor(mixed));
    EXPECT_EQ(other.Slot(4)->connected, 0);
}

TEST(IdentificationTableTest, SecondIdenticalInterfaceIsNotTakenUntilReleased) {
    CInterfaceSlotList slots;
    DeviceIdentity first = OpenedProbe(0x4A1D, 0x7102, 0, 5, 0xFF1C, 0x92, "first");
    std::size_t slot = 0;
    ASSERT_TRUE(slots.MatchOpened(first, &slot));
    ASSERT_EQ(slot, 6u);

    EXPECT_FALSE(slots.MatchPath(PathProbe(0x4A1D, 0x7102, 0, 5)));
    DeviceIdentity second = OpenedProbe(0x4A1D, 0x7102, 0, 5, 0xFF1C, 0x92, "second");
    EXPECT_FALSE(slots.MatchOpened(second, &slot));
    EXPECT_EQ(slots.Slot(6)->path, "first");
    // It has a row, so the refusal is only for now.
    EXPECT_TRUE(slots.HasRowFor(second));

    EXPECT_TRUE(slots.Release(6));
    EXPECT_EQ(slots.Slot(6)->connected, 0);
    EXPECT_TRUE(slots.Slot(6)->path.empty());
    EXPECT_TRUE(slots.MatchPath(PathProbe(0x4A1D, 0x7102, 0, 5)));
    ASSERT_TRUE(slots.MatchOpened(second, &slot));
    EXPECT_EQ(slot, 6u);
    EXPECT_FALSE(slots.Release(12));
}

TEST(IdentificationTableTest, ZeroIdentifierRowsPassTheFirstStageOnly) {
    CInterfaceSlotList slots;
    // A path without vid_/pid_ parses to zeros and finds the keyboard placeholder rows.
    EXPECT_TRUE(slots.MatchPath(PathProbe(0, 0, 0, 5)));
    std::size_t slot = 0;
    DeviceIdentity realIds = OpenedProbe(0x1234, 0x5678, 0, 5, 0xFF1C, 0x92, "x");
    EXPECT_FALSE(slots.MatchOpened(realIds, &slot));
    // Even a device that reports zeros never takes a placeholder row.
    DeviceIdentity zeroIds = OpenedProbe(0, 0, 0, 5, 0xFF1C, 0x92, "y");
    EXPECT_FALSE(slots.MatchOpened(zeroIds, &slot));
    EXPECT_EQ(slots.FindSlotByPath("y"), -1);
}

TEST(IdentificationTableTest, FindRowNamesTheFirstRowWithTheFourValues) {
    CInterfaceSlotList slots;
    EXPECT_EQ(slots.FindRow(0x4A1D, 0x7101, kKindMouseCable, kRoleCommand), 4);
    EXPECT_EQ(slots.FindRow(0x4A1D, 0x7101, kKindMouseCable, kRoleNotification), 5);
    EXPECT_EQ(slots.FindRow(0x4A1D, 0x7103, kKindMouseReceiver, kRoleNotification), 11);
    EXPECT_EQ(slots.FindRow(0, 0, kKindKeyboardCable, kRoleCommand), 0);
    EXPECT_EQ(slots.FindRow(0, 0, kKindMouseCable, kRoleNotification), 9);
    EXPECT_EQ(slots.FindRow(0x4A1D, 0x7101, kKindMouseReceiver, kRoleCommand), -1);
    EXPECT_TRUE(slots.AnySlotFree());
}

// ---------------------------------------------------------------------------------------------
// Appended rows

constexpr char kKeyboardRows[] = R"({
  "comment": "an extra keyboard",
  "rows": [
    { "vendorId": "0x4A1D", "productId": "0x7201", "interfaceNumber": 0, "collectionNumber": 5,
      "kind": 1, "role": "0x00", "usagePage": "0xFF1C", "usage": "0x0092", "partnerIndex": 13 },
    { "vendorId": 18973, "productId": "0x7201", "interfaceNumber": 1, "collectionNumber": 3,
      "kind": 1, "role": 255, "usagePage": "0x000C", "usage": 1, "partnerIndex": 12,
      "comment": "notifications" },
    { "vendorId": "0x4a1d", "productId": "0x7301", "interfaceNumber": 0, "collectionNumber": 0,
      "kind": 7, "role": 0, "usagePage": "0xff1c", "usage": "0x92", "partnerIndex": null }
  ]
})";

TEST(AppendedRowsTest, ValidRowsFollowTheBuiltInOnes) {
    CInterfaceSlotList slots;
    std::vector<DeviceIdentity> rows;
    std::string error;
    ASSERT_TRUE(ParseIdentificationRows(kKeyboardRows, slots.Size(), rows, &error)) << error;
    ASSERT_TRUE(slots.AppendRows(rows, &error)) << error;
    ASSERT_EQ(slots.Size(), 15u);
    EXPECT_EQ(slots.Row(12)->productId, 0x7201);
    EXPECT_EQ(slots.Row(13)->vendorId, 0x4A1D);
    EXPECT_EQ(slots.Row(13)->role, kRoleNotification);
    EXPECT_EQ(slots.Row(12)->partnerIndex, 13);
    EXPECT_EQ(slots.Row(14)->hasPartner, 0);
    EXPECT_EQ(slots.FindRow(0x4A1D, 0x7201, kKindKeyboardCable, kRoleNotification), 13);
    // Built-in rows untouched.
    for (std::size_t i = 0; i < kBuiltInRowCount; ++i) {
        EXPECT_EQ(*slots.Row(i), BuiltInIdentificationRows()[i]);
    }
    DeviceIdentity headset = OpenedProbe(0x4A1D, 0x7301, 0, 0, 0xFF1C, 0x92, "headset");
    std::size_t slot = 0;
    ASSERT_TRUE(slots.MatchOpened(headset, &slot));
    EXPECT_EQ(slot, 14u);
    EXPECT_EQ(headset.kind, kKindHeadset);
}

std::string OneRow(const std::string& fields) {
    return R"({"rows": [{ )" + fields + " }]}";
}

constexpr char kGoodFields[] =
    R"("vendorId": "0x4A1D", "productId": "0x7201", "interfaceNumber": 0, )"
    R"("collectionNumber": 5, "usagePage": "0xFF1C", "usage": "0x0092")";

TEST(AppendedRowsTest, InvalidDocumentsAddNothingAndSayWhy) {
    const std::string good = kGoodFields;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not json", "not valid JSON"},
        {R"({"rows": [] } trailing)", "not valid JSON"},
        {R"([1, 2])", "\"rows\" array"},
        {R"({"rows": {}})", "\"rows\" array"},
        {R"({"rowz": []})", "unknown top-level field"},
        {R"({"rows": [42]})", "must be an object"},
        {OneRow(good + R"(, "kind": 4, "role": 0)"), "kind 4"},
        {OneRow(good + R"(, "kind": 2, "role": 1)"), "role 1"},
        {OneRow(good + R"(, "kind": 2, "role": 0, "partnerIndex": 13)"), "outside the table"},
        {OneRow(good + R"(, "kind": 2, "role": 0, "partnerIndex": 12)"), "its own partner"},
        {OneRow(good + R"(, "kind": 2, "role": 0, "partnerindex": 4)"), "unknown field"},
        {OneRow(good + R"(, "kind": 2)"), "missing field \"role\""},
        {OneRow(good + R"(, "kind": 2, "role": "0xGG")"), "hex number"},
        {OneRow(good + R"(, "kind": 2, "role": "255")"), "hex number"},
        {OneRow(good + R"(, "kind": 2, "role": -1)"), "out of range"},
        {OneRow(good + R"(, "kind": 2, "role": 65536)"), "out of range"},
        {OneRow(good + R"(, "kind": true, "role": 0)"), "expected an integer"},
        {OneRow(good + R"(, "kind": 2.5, "role": 0)"), "expected an integer"},
        {OneRow(good + R"(, "kind": 2, "role": 0, "kind": 2)"), "not valid JSON"},
        {OneRow(R"("vendorId": 0, "productId": 0, "interfaceNumber": 0, "collectionNumber": 5,)"
                R"( "usagePage": 1, "usage": 1, "kind": 2, "role": 0)"),
         "both 0"},
        {std::string(5000, '[') + std::string(5000, ']'), "not valid JSON"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text.substr(0, 120));
        std::vector<DeviceIdentity> rows(1);
        std::string error;
        EXPECT_FALSE(ParseIdentificationRows(text, kBuiltInRowCount, rows, &error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(rows.size(), 1u);  // untouched
    }

    // A single bad row refuses the whole file.
    CInterfaceSlotList slots;
    const std::string mixed = R"({"rows": [{ )" + good + R"(, "kind": 2, "role": 0 }, { )" + good +
                              R"(, "kind": 5, "role": 0 }]})";
    std::vector<DeviceIdentity> rows;
    std::string error;
    EXPECT_FALSE(ParseIdentificationRows(mixed, slots.Size(), rows, &error));
    EXPECT_NE(error.find("row 1"), std::string::npos) << error;
    EXPECT_EQ(slots.Size(), kBuiltInRowCount);
}

TEST(AppendedRowsTest, FilesAreReadWholeOrNotAtAll) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("q417-rows-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    };
    CInterfaceSlotList slots;
    std::string error;
    EXPECT_FALSE(slots.AppendRowsFromFile((dir / "absent.json").string(), &error));
    EXPECT_NE(error.find("absent.json"), std::string::npos);

    const std::string bad = write("bad.json", R"({"rows": [{"vendorId": 1}]})");
    EXPECT_FALSE(slots.AppendRowsFromFile(bad, &error));
    EXPECT_NE(error.find("bad.json: row 0: missing field"), std::string::npos) << error;
    EXPECT_EQ(slots.Size(), kBuiltInRowCount);

    EXPECT_TRUE(slots.AppendRowsFromFile(write("good.json", kKeyboardRows), &error)) << error;
    EXPECT_EQ(slots.Size(), 15u);
    // Partner indices count from the start of the table, so a second file's rows come after the
    // first file's: index 16 is past the end of a table of 16 rows.
    const std::string next =
        OneRow(std::string(kGoodFields) + R"(, "kind": 2, "role": 0, "partnerIndex": 16)");
    EXPECT_FALSE(slots.AppendRowsFromFile(write("next.json", next), &error));
    EXPECT_NE(error.find("outside the table"), std::string::npos) << error;
    EXPECT_EQ(slots.Size(), 15u);
    const std::string fixed =
        OneRow(std::string(kGoodFields) + R"(, "kind": 2, "role": 0, "partnerIndex": 14)");
    EXPECT_TRUE(slots.AppendRowsFromFile(write("next.json", fixed), &error)) << error;
    EXPECT_EQ(slots.Row(15)->partnerIndex, 14);
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------------------------
// Detection pass

// A backend of fixed paths, each a collection of a descriptor, counting opens per path.
class FakeHidBackend final : public IHidBackend {
public:
    struct Entry {
        HidAttributes attributes;
        std::vector<uint8_t> descriptor;
        std::size_t collectionIndex = 0;
        HidOpenError openError = HidOpenError::None;
    };

    void Add(const std::string& path, Entry entry) {
        std::lock_guard lock(mutex_);
        order_.push_back(path);
        entries_[path] = std::move(entry);
    }
    void Remove(const std::string& path) {
        std::lock_guard lock(mutex_);
        std::erase(order_, path);
        entries_.erase(path);
    }
    int Opens(const std::string& path) const {
        std::lock_guard lock(mutex_);
        auto it = opens_.find(path);
        return it == opens_.end() ? 0 : it->second;
    }

    bool EnumeratePaths(std::vector<std::string>& paths) override {
        std::lock_guard lock(mutex_);
        paths = order_;
        return true;
    }
    std::unique_ptr<IHidDevice> Open(const std::string& path, const HidOpenRequest&,
                                     HidOpenError* error, std::string* errorText) override {
        std::lock_guard lock(mutex_);
        ++opens_[path];
        auto it = entries_.find(path);
        HidOpenError e = it == entries_.end() ? HidOpenError::NotFound : it->second.openError;
        if (error != nullptr) {
            *error = e;
        }
        if (e != HidOpenError::None) {
            if (errorText != nullptr) {
                *errorText = e == HidOpenError::PermissionDenied ? "Permission denied" : "failed";
            }
            return nullptr;
        }
        return std::make_unique<Device>(it->second);
    }
    std::string Name() const override { return "fake"; }

private:
    class Device final : public IHidDevice {
    public:
        explicit Device(Entry entry) : entry_(std::move(entry)) {}
        HidAttributes Attributes() const override { return entry_.attributes; }
        std::span<const uint8_t> ReportDescriptor() const override { return entry_.descriptor; }
        std::size_t CollectionIndex() const override { return entry_.collectionIndex; }
        HidIoResult Read(std::span<uint8_t>, uint32_t) override { return {HidIoStatus::Error, 0}; }
        HidIoResult Write(std::span<const uint8_t>, uint32_t) override {
            return {HidIoStatus::Error, 0};
        }
        void CancelIo() override {}

    private:
        Entry entry_;
    };

    mutable std::mutex mutex_;
    std::vector<std::string> order_;
    std::map<std::string, Entry> entries_;
    std::map<std::string, int> opens_;
};

std::string MousePath(const char* collection, const char* instance) {
    return std::string("hidraw#vid_4a1d&pid_7101&mi_00&col") + collection + "#" + instance +
           "#/dev/hidraw1";
}

// The wired mouse's consumer (col04, descriptor index 1) and vendor (col05, index 0) paths.
void AddWiredMouse(FakeHidBackend& bus, const char* instance, uint16_t product = 0x7101) {
    const std::vector<uint8_t> descriptor = test::VendorConsumerDescriptor();
    bus.Add(MousePath("04", instance), {{0x4A1D, product, 0x100}, descriptor, 1});
    bus.Add(MousePath("05", instance), {{0x4A1D, product, 0x100}, descriptor, 0});
}

TEST(DetectionPassTest, TakesBothSlotsOfTheWiredMouseOnce) {
    auto bus = std::make_shared<FakeHidBackend>();
    bus->Add("hidraw#vid_046d&pid_c077#0003:046D:C077.0001#/dev/hidraw0",
             {{0x046D, 0xC077, 0}, test::VendorConsumerDescriptor(), 0});
    AddWiredMouse(*bus, "0003:4A1D:7101.0002");
    CInterfaceSlotList slots;
    CDetectionPass pass(bus);

    const DetectionPassResult first = pass.Run(slots);
    ASSERT_TRUE(first.enumerated);
    EXPECT_EQ(first.presentPaths.size(), 3u);
    EXPECT_EQ(first.takenSlots, (std::vector<std::size_t>{5, 4}));
    EXPECT_EQ(slots.Slot(4)->path, MousePath("05", "0003:4A1D:7101.0002"));
    EXPECT_EQ(slots.Slot(5)->path, MousePath("04", "0003:4A1D:7101.0002"));
    // The foreign device fails the first stage and is never opened.
    EXPECT_EQ(bus->Opens("hidraw#vid_046d&pid_c077#0003:046D:C077.0001#/dev/hidraw0"), 0);

    // Taken slots are not matched again, so the next pass opens nothing.
    const DetectionPassResult second = pass.Run(slots);
    EXPECT_TRUE(second.takenSlots.empty());
    EXPECT_EQ(bus->Opens(MousePath("05", "0003:4A1D:7101.0002")), 1);
}

TEST(DetectionPassTest, RefusedInterfaceIsNotReopenedWhileItsInstanceLasts) {
    auto bus = std::make_shared<FakeHidBackend>();
    // The path claims 0x7101, the device itself reports another product.
    AddWiredMouse(*bus, "0003:4A1D:7101.0003", 0x7199);
    CInterfaceSlotList slots;
    CDetectionPass pass(bus);

    const DetectionPassResult first = pass.Run(slots);
    EXPECT_TRUE(first.takenSlots.empty());
    EXPECT_EQ(first.rejectedPaths.size(), 2u);
    for (int i = 0; i < 5; ++i) {
        const DetectionPassResult again = pass.Run(slots);
        EXPECT_EQ(again.skippedRejected, 2u);
    }
    EXPECT_EQ(bus->Opens(MousePath("05", "0003:4A1D:7101.0003")), 1);
    EXPECT_EQ(pass.Rejected().Size(), 2u);

    // Unplugged: the memory goes. Replugged as a good device with a new instance: taken.
    bus->Remove(MousePath("04", "0003:4A1D:7101.0003"));
    bus->Remove(MousePath("05", "0003:4A1D:7101.0003"));
    pass.Run(slots);
    EXPECT_EQ(pass.Rejected().Size(), 0u);
    AddWiredMouse(*bus, "0003:4A1D:7101.0004");
    const DetectionPassResult replugged = pass.Run(slots);
    EXPECT_EQ(replugged.takenSlots.size(), 2u);
}

TEST(DetectionPassTest, OpenFailuresAreReportedAndRetried) {
    auto bus = std::make_shared<FakeHidBackend>();
    bus->Add(
        MousePath("05", "0003:4A1D:7101.0005"),
        {{0x4A1D, 0x7101, 0}, test::VendorConsumerDescriptor(), 0, HidOpenError::PermissionDenied});
    CInterfaceSlotList slots;
    CDetectionPass pass(bus);
    const DetectionPassResult first = pass.Run(slots);
    ASSERT_EQ(first.openFailures.size(), 1u);
    EXPECT_EQ(first.openFailures[0].error, HidOpenError::PermissionDenied);
    EXPECT_EQ(NodeFromPath(first.openFailures[0].path), "/dev/hidraw1");
    // A permission can be fixed (udev rule, replug), so the path is tried again next time.
    pass.Run(slots);
    EXPECT_EQ(bus->Opens(MousePath("05", "0003:4A1D:7101.0005")), 2);
    EXPECT_EQ(pass.Rejected().Size(), 0u);
}

TEST(DetectionPassTest, StopRequestEndsThePassBeforeOpening) {
    auto bus = std::make_shared<FakeHidBackend>();
    AddWiredMouse(*bus, "0003:4A1D:7101.0006");
    CInterfaceSlotList slots;
    CDetectionPass pass(bus);
    std::stop_source stop;
    stop.request_stop();
    const DetectionPassResult result = pass.Run(slots, stop.get_token());
    EXPECT_TRUE(result.takenSlots.empty());
    EXPECT_EQ(bus->Opens(MousePath("05", "0003:4A1D:7101.0006")), 0);
}

TEST(RejectedInterfacesTest, AnEntryLastsWhileAnyPathOfItsInstanceIsPresent) {
    CRejectedInterfaces rejected;
    const std::string col4 = MousePath("04", "0003:4A1D:7101.0009");
    const std::string col5 = MousePath("05", "0003:4A1D:7101.0009");
    rejected.Remember(col5);
    rejected.Remember(col5);
    EXPECT_EQ(rejected.Size(), 1u);
    EXPECT_TRUE(rejected.Contains(col5));
    EXPECT_FALSE(rejected.Contains(col4));
    const std::vector<std::string> stillThere{col4};
    rejected.ForgetAbsent(stillThere);
    EXPECT_TRUE(rejected.Contains(col5));
    const std::vector<std::string> replugged{MousePath("05", "0003:4A1D:7101.000A")};
    rejected.ForgetAbsent(replugged);
    EXPECT_FALSE(rejected.Contains(col5));
}

}  // namespace
}  // namespace q417
