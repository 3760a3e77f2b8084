// The installed udev rule and AppStream metainfo name every device the program supports: the
// vendors and products of the identification table, the option table (the headset's chip has a
// vendor of its own) and the documented extra rows. A row added later fails here until the rule
// and the metainfo follow it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "devices/DeviceTables.h"
#include "transport/IdentificationTable.h"

namespace q417 {
namespace {

using UsbId = std::pair<uint16_t, uint16_t>;

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// Every vendor/product pair the program can drive; placeholder rows (0/0) excluded.
std::set<UsbId> SupportedIds() {
    std::set<UsbId> ids;
    auto add = [&](uint16_t vendor, uint16_t product) {
        if (vendor != 0 || product != 0) {
            ids.emplace(vendor, product);
        }
    };
    for (const DeviceIdentity& row : BuiltInIdentificationRows()) {
        add(row.vendorId, row.productId);
    }
    for (const DeviceOptionRow& row : kDeviceOptionRows) {
        add(row.vendorId, row.productId);
    }
    // The documented extra rows (the example block of docs/identification-rows.md).
    const std::string doc =
        ReadText(std::string(Q417_SOURCE_DATA_DIR) + "../docs/identification-rows.md");
    const std::size_t start = doc.find("```json\n");
    const std::size_t end = doc.find("```", start + 8);
    EXPECT_NE(start, std::string::npos);
    std::vector<DeviceIdentity> extra;
    std::string error;
    EXPECT_TRUE(ParseIdentificationRows(doc.substr(start + 8, end - start - 8), kBuiltInRowCount,
                                        extra, &error))
        << error;
    for (const DeviceIdentity& row : extra) {
        add(row.vendorId, row.productId);
    }
    return ids;
}

uint16_t Hex(const std::string& text) {
    return static_cast<uint16_t>(std::stoul(text, nullptr, 16));
}

TEST(InstallData, UdevRuleGrantsEveryVendorAndNothingElse) {
    std::set<uint16_t> wanted;
    for (const UsbId& id : SupportedIds()) {
        wanted.insert(id.first);
    }
    ASSERT_TRUE(wanted.contains(0x4A1D));
    ASSERT_TRUE(wanted.contains(0x5B2E));  // the headset's chip

    std::istringstream rules(ReadText(std::string(Q417_SOURCE_DATA_DIR) + "linux/70-q417.rules"));
    const std::regex rule(
        R"re(^SUBSYSTEM=="hidraw", ATTRS\{idVendor\}=="([0-9a-f]{4})", TAG\+="uaccess"$)re");
    std::set<uint16_t> granted;
    std::string line;
    while (std::getline(rules, line)) {
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, rule)) << "not a rule of the expected form: " << line;
        EXPECT_TRUE(granted.insert(Hex(m[1])).second) << "vendor listed twice: " << line;
    }
    EXPECT_EQ(granted, wanted);
}

TEST(InstallData, MetainfoProvidesTheModaliasOfEverySupportedDevice) {
    const std::string xml =
        ReadText(std::string(Q417_SOURCE_DATA_DIR) + "linux/org.q417.Q417.metainfo.xml.in");
    ASSERT_FALSE(xml.empty());
    const std::regex modalias(R"(<modalias>usb:v([0-9A-F]{4})p([0-9A-F]{4})d\*</modalias>)");
    std::set<UsbId> provided;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), modalias);
         it != std::sregex_iterator(); ++it) {
        provided.emplace(Hex((*it)[1]), Hex((*it)[2]));
    }
    EXPECT_EQ(provided, SupportedIds());
    // Any other spelling (lower-case hex, a missing "d*") would slip past the set above.
    std::size_t lines = 0;
    for (std::size_t at = xml.find("<modalias>"); at != std::string::npos;
         at = xml.find("<modalias>", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, provided.size());
}

}  // namespace
}  // namespace q417
