#include "transport/HidReportDescriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace q417 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFixture(const std::string& name) {
    std::ifstream in(std::string(Q417_TEST_FIXTURES_DIR) + name, std::ios::binary);
    if (!in) {
        // The fixtures sit next to this file, whichever folder the macro names.
        in.open(std::filesystem::path(__FILE__).parent_path() / "fixtures" / name,
                std::ios::binary);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::shared_ptr<const HidPreparsed> ParseOne(const Bytes& descriptor, std::size_t index = 0) {
    std::string error;
    auto info = ParseHidReportDescriptor(descriptor, &error);
    EXPECT_TRUE(info) << error;
    if (!info || index >= info->collections.size()) {
        ADD_FAILURE() << "collection " << index << " missing";
        return nullptr;
    }
    return info->collections[index];
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::vector<uint16_t> Usages(const HidDataItem& item) {
    std::vector<uint16_t> out;
    for (uint16_t u : item.usages) {
        if (u == 0) {
            break;
        }
        out.push_back(u);
    }
    return out;
}

// ---- the real receiver descriptor ----------------------------------------------------------

class MiMouseDescriptor : public ::testing::Test {
protected:
    void SetUp() override {
        bytes_ = ReadFixture("mi-wireless-mouse-2717-003b.rdesc");
        ASSERT_EQ(bytes_.size(), 136u);
        std::string error;
        auto info = ParseHidReportDescriptor(bytes_, &error);
        ASSERT_TRUE(info) << error;
        ASSERT_EQ(info->collections.size(), 2u);
        mouse_ = info->collections[0];
        consumer_ = info->collections[1];
    }
    Bytes bytes_;
    std::shared_ptr<const HidPreparsed> mouse_;
    std::shared_ptr<const HidPreparsed> consumer_;
};

TEST_F(MiMouseDescriptor, CollectionsMatchTheWindowsParser) {
    EXPECT_EQ(mouse_->Caps().usagePage, 0x0001);
    EXPECT_EQ(mouse_->Caps().usage, 0x0002);
    EXPECT_EQ(mouse_->ReportIds(HidReportType::Input), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(mouse_->Caps().inputReportByteLength, 4);
    EXPECT_EQ(mouse_->Caps().numberLinkCollectionNodes, 3);  // application + two physical

    EXPECT_EQ(consumer_->Caps().usagePage, 0x000C);
    EXPECT_EQ(consumer_->Caps().usage, 0x0001);
    EXPECT_EQ(consumer_->ReportIds(HidReportType::Input), (std::vector<uint8_t>{3}));
    EXPECT_EQ(consumer_->Caps().inputReportByteLength, 2);

    for (const auto& c : {mouse_, consumer_}) {
        EXPECT_TRUE(c->UsesReportIds());
        EXPECT_EQ(c->Caps().outputReportByteLength, 0);
        EXPECT_EQ(c->Caps().featureReportByteLength, 0);
        EXPECT_TRUE(c->ReportIds(HidReportType::Output).empty());
        EXPECT_TRUE(c->ReportIds(HidReportType::Feature).empty());
    }
    EXPECT_FALSE(mouse_->OwnsReportId(HidReportType::Input, 3));
    EXPECT_TRUE(consumer_->OwnsReportId(HidReportType::Input, 3));
}

TEST_F(MiMouseDescriptor, ReportOneButtonsWheelAndPan) {
    const auto& buttons = mouse_->ButtonCaps(HidReportType::Input);
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].usagePage, 0x0009);
    EXPECT_EQ(buttons[0].reportId, 1);
    EXPECT_TRUE(buttons[0].isRange);
    EXPECT_EQ(buttons[0].usageMin, 1);
    EXPECT_EQ(buttons[0].usageMax, 5);
    EXPECT_FALSE(buttons[0].isArray);

    std::vector<uint16_t> usages;
    const Bytes report{1, 0x15, 0xFF, 0x02};  // buttons 1, 3, 5; wheel -1; pan 2
    EXPECT_EQ(mouse_->GetUsages(HidReportType::Input, 0x0009, report, usages), kHidpStatusSuccess);
    EXPECT_EQ(usages, (std::vector<uint16_t>{1, 3, 5}));
    EXPECT_EQ(mouse_->MaxUsageListLength(HidReportType::Input, 0x0009), 5u);

    int32_t wheel = 0;
    EXPECT_EQ(mouse_->GetScaledUsageValue(HidReportType::Input, 0x0001, 0x38, report, wheel),
              kHidpStatusSuccess);
    EXPECT_EQ(wheel, -1);
    uint32_t pan = 0;
    EXPECT_EQ(mouse_->GetUsageValue(HidReportType::Input, 0x000C, 0x238, report, pan),
              kHidpStatusSuccess);
    EXPECT_EQ(pan, 2u);
}

TEST_F(MiMouseDescriptor, ReportTwoCarriesTwelveBitXAndY) {
    const auto& values = mouse_->ValueCaps(HidReportType::Input);
    const auto x = std::find_if(values.begin(), values.end(),
                                [](const HidValueCap& c) { return c.usageMin == 0x30; });
    const auto y = std::find_if(values.begin(), values.end(),
                                [](const HidValueCap& c) { return c.usageMin == 0x31; });
    ASSERT_NE(x, values.end());
    ASSERT_NE(y, values.end());
    EXPECT_EQ(x->reportId, 2);
    EXPECT_EQ(x->bitSize, 12);
    EXPECT_EQ(y->bitSize, 12);
    EXPECT_EQ(x->bitPosition, 0);
    EXPECT_EQ(y->bitPosition, 12);
    EXPECT_EQ(x->logicalMin, -2047);
    EXPECT_EQ(x->logicalMax, 2047);
    EXPECT_NE(x->linkCollection, 0);  // inside the physical collection

    // X = -5 (0xFFB), Y = 2047 (0x7FF), packed little-endian in 24 bits.
    const Bytes report{2, 0xFB, 0xFF, 0x7F};
    uint32_t raw = 0;
    int32_t scaled = 0;
    EXPECT_EQ(mouse_->GetUsageValue(HidReportType::Input, 0x0001, 0x30, report, raw),
              kHidpStatusSuccess);
    EXPECT_EQ(raw, 0xFFBu);  // raw values are not sign-extended
    EXPECT_EQ(mouse_->GetScaledUsageValue(HidReportType::Input, 0x0001, 0x30, report, scaled),
              kHidpStatusSuccess);
    EXPECT_EQ(scaled, -5);
    EXPECT_EQ(mouse_->GetScaledUsageValue(HidReportType::Input, 0x0001, 0x31, report, scaled),
              kHidpStatusSuccess);
    EXPECT_EQ(scaled, 2047);
}

TEST_F(MiMouseDescriptor, ReportThreeUnpacksPlayPause) {
    EXPECT_EQ(consumer_->ButtonCaps(HidReportType::Input).size(), 8u);
    auto items = BuildHidDataItems(*consumer_, HidReportType::Input);
    ASSERT_EQ(items.size(), 8u);
    const uint16_t expected[8] = {0xCD, 0x183, 0xB5, 0xB6, 0xEA, 0xE9, 0x225, 0x224};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(items[i].isButtonData, 1);
        EXPECT_EQ(items[i].usagePage, 0x000C);
        EXPECT_EQ(items[i].usageMin, expected[i]);
        EXPECT_EQ(items[i].usageMax, expected[i]);
        EXPECT_EQ(items[i].reportId, 3u);
        EXPECT_EQ(items[i].maxUsageLength, 8u);
        EXPECT_EQ(items[i].usages.size(), 8u);
    }

    ASSERT_TRUE(UnpackHidReport(Bytes{3, 0x01}, HidReportType::Input, items, *consumer_));
    EXPECT_EQ(Usages(items[0]), (std::vector<uint16_t>{0xCD}));
    for (std::size_t i = 1; i < 8; ++i) {
        EXPECT_TRUE(Usages(items[i]).empty()) << i;
        EXPECT_EQ(items[i].isDataSet, 1u);
        EXPECT_EQ(items[i].status, kHidpStatusSuccess);
    }

    // Released and another key pressed: the old usage must not linger.
    ASSERT_TRUE(UnpackHidReport(Bytes{3, 0x80}, HidReportType::Input, items, *consumer_));
    EXPECT_TRUE(Usages(items[0]).empty());
    EXPECT_EQ(Usages(items[7]), (std::vector<uint16_t>{0x224}));
}

TEST_F(MiMouseDescriptor, UnpackTouchesOnlyItemsOfTheReportId) {
    auto items = BuildHidDataItems(*mouse_, HidReportType::Input);
    // One button item, then wheel, pan, X, Y.
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].isButtonData, 1);
    ASSERT_TRUE(UnpackHidReport(Bytes{1, 0x02, 0x01, 0x00}, HidReportType::Input, items, *mouse_));
    EXPECT_EQ(Usages(items[0]), (std::vector<uint16_t>{2}));
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].isDataSet, items[i].reportId == 1 ? 1u : 0u) << i;
    }
}

// ---- descriptors of the shape our devices use ----------------------------------------------

const Bytes kVendorCollection = {
    0x06, 0x1C, 0xFF,        // Usage Page (0xFF1C)
    0x09, 0x92,              // Usage (0x92)
    0xA1, 0x01,              // Collection (Application)
    0x85, 0x04,              //   Report ID (4)
    0x09, 0x01,              //   Usage (1)
    0x15, 0x00,              //   Logical Minimum (0)
    0x26, 0xFF, 0x00,        //   Logical Maximum (255)
    0x75, 0x08, 0x95, 0x3F,  //   Report Size (8), Report Count (63)
    0x81, 0x02,              //   Input (Data, Variable, Absolute)
    0x09, 0x01,              //   Usage (1)
    0x91, 0x02,              //   Output (Data, Variable, Absolute)
    0xC0,                    // End Collection
};
const Bytes kConsumerCollection = {
    0x05, 0x0C,              // Usage Page (Consumer)
    0x09, 0x01,              // Usage (Consumer Control)
    0xA1, 0x01,              // Collection (Application)
    0x85, 0x05,              //   Report ID (5)
    0x19, 0x00,              //   Usage Minimum (0)
    0x2A, 0xFF, 0x11,        //   Usage Maximum (0x11FF)
    0x15, 0x00,              //   Logical Minimum (0)
    0x26, 0xFF, 0x11,        //   Logical Maximum (0x11FF)
    0x75, 0x10, 0x95, 0x01,  //   Report Size (16), Report Count (1)
    0x81, 0x00,              //   Input (Data, Array, Absolute)
    0xC0,                    // End Collection
};

TEST(HidDescriptorDeviceShape, VendorAndConsumerCollections) {
    std::string error;
    auto info = ParseHidReportDescriptor(Concat({kVendorCollection, kConsumerCollection}), &error);
    ASSERT_TRUE(info) << error;
    ASSERT_EQ(info->collections.size(), 2u);
    const HidPreparsed& vendor = *info->collections[0];
    EXPECT_EQ(vendor.Caps().usagePage, 0xFF1C);
    EXPECT_EQ(vendor.Caps().usage, 0x0092);
    EXPECT_EQ(vendor.Caps().inputReportByteLength, 64);
    EXPECT_EQ(vendor.Caps().outputReportByteLength, 64);
    EXPECT_EQ(vendor.Caps().featureReportByteLength, 0);
    EXPECT_EQ(vendor.ReportIds(HidReportType::Input), (std::vector<uint8_t>{4}));
    EXPECT_EQ(vendor.ReportIds(HidReportType::Output), (std::vector<uint8_t>{4}));

    // The 63 bytes are one value capability whose usage repeats: one item, reading byte 1.
    auto items = BuildHidDataItems(vendor, HidReportType::Input);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(vendor.ValueCaps(HidReportType::Input)[0].reportCount, 63);
    Bytes report(64, 0);
    report[0] = 4;
    report[1] = 0xAB;
    ASSERT_TRUE(UnpackHidReport(report, HidReportType::Input, items, vendor));
    EXPECT_EQ(items[0].value, 0xABu);

    const HidPreparsed& consumer = *info->collections[1];
    EXPECT_EQ(consumer.Caps().usagePage, 0x000C);
    EXPECT_EQ(consumer.Caps().usage, 0x0001);
    EXPECT_EQ(consumer.Caps().inputReportByteLength, 3);
    const auto& caps = consumer.ButtonCaps(HidReportType::Input);
    ASSERT_EQ(caps.size(), 1u);
    EXPECT_TRUE(caps[0].isArray);
    EXPECT_TRUE(caps[0].isRange);
    EXPECT_EQ(caps[0].usageMax, 0x11FF);

    auto notes = BuildHidDataItems(consumer, HidReportType::Input);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].maxUsageLength, 1u);
    ASSERT_TRUE(UnpackHidReport(Bytes{5, 0x03, 0x11}, HidReportType::Input, notes, consumer));
    EXPECT_EQ(notes[0].usages[0], 0x1103);
    ASSERT_TRUE(UnpackHidReport(Bytes{5, 0x00, 0x00}, HidReportType::Input, notes, consumer));
    EXPECT_EQ(notes[0].usages[0], 0);  // nothing selected
    ASSERT_TRUE(UnpackHidReport(Bytes{5, 0x00, 0x12}, HidReportType::Input, notes, consumer));
    EXPECT_EQ(notes[0].usages[0], 0);  // 0x1200 is outside the logical range
}

// ---- capability building -------------------------------------------------------------------

TEST(HidDescriptorCaps, ButtonListKeepsOnlyUsagesOfTheItemsRange) {
    // Buttons 1..5 and 6..8 as two capabilities on the same page, unnumbered reports.
    const Bytes d = {0x05, 0x09, 0xA1, 0x01, 0x15, 0x00, 0x25, 0x01, 0x75,
                     0x01, 0x19, 0x01, 0x29, 0x05, 0x95, 0x05, 0x81, 0x02,  // 1..5
                     0x19, 0x06, 0x29, 0x08, 0x95, 0x03, 0x81, 0x02,        // 6..8
                     0xC0};
    auto p = ParseOne(d);
    ASSERT_TRUE(p);
    EXPECT_FALSE(p->UsesReportIds());
    EXPECT_TRUE(p->ReportIds(HidReportType::Input).empty());
    EXPECT_TRUE(p->OwnsReportId(HidReportType::Input, 0));
    EXPECT_EQ(p->Caps().inputReportByteLength, 2);  // leading 0 byte + 8 bits

    auto items = BuildHidDataItems(*p, HidReportType::Input);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].usageMin, 1u);
    EXPECT_EQ(items[0].usageMax, 5u);
    EXPECT_EQ(items[0].maxUsageLength, 8u);
    // Usages 2 and 7 on: the first item keeps 2 only and ends there.
    ASSERT_TRUE(UnpackHidReport(Bytes{0, 0x42}, HidReportType::Input, items, *p));
    EXPECT_EQ(items[0].usages, (std::vector<uint16_t>{2, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Usages(items[1]), (std::vector<uint16_t>{7}));
}

TEST(HidDescriptorCaps, VariableUsagesAreHandedOutLikeWindows) {
    const Bytes d = {
        0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x07,  // Joystick, report 7
        0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x09, 0x30, 0x09, 0x31, 0x95, 0x03, 0x81,
        0x02,                                                        // X, Y for 3 fields: Y repeats
        0x09, 0x32, 0x09, 0x33, 0x09, 0x34, 0x95, 0x02, 0x81, 0x02,  // Z, Rx, Ry for 2 fields: Ry
                                                                     // dropped
        0x95, 0x01, 0x81, 0x03,                                      // constant byte: no caps
        0x19, 0x40, 0x29, 0x4F, 0x95, 0x02, 0x81, 0x02,  // range of 16 on 2 fields: 0x40..0x41
        0x0B, 0x38, 0x02, 0x0C, 0x00, 0x95, 0x01, 0x81, 0x06,  // extended usage: page 0x0C
        0xC0};
    auto p = ParseOne(d);
    ASSERT_TRUE(p);
    const auto& v = p->ValueCaps(HidReportType::Input);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[0].usageMin, 0x30);
    EXPECT_EQ(v[0].reportCount, 1);
    EXPECT_EQ(v[1].usageMin, 0x31);
    EXPECT_EQ(v[1].reportCount, 2);
    EXPECT_EQ(v[1].bitPosition, 8);
    EXPECT_EQ(v[2].usageMin, 0x32);
    EXPECT_EQ(v[2].bitPosition, 24);
    EXPECT_EQ(v[3].usageMin, 0x33);
    EXPECT_EQ(v[3].bitPosition, 32);
    EXPECT_TRUE(v[4].isRange);
    EXPECT_EQ(v[4].usageMin, 0x40);
    EXPECT_EQ(v[4].usageMax, 0x41);
    EXPECT_EQ(v[4].bitPosition, 48);  // after the constant byte
    EXPECT_EQ(v[5].usagePage, 0x000C);
    EXPECT_EQ(v[5].usageMin, 0x238);
    EXPECT_FALSE(v[5].isAbsolute);
    EXPECT_EQ(p->Caps().inputReportByteLength, 1 + 9);
    EXPECT_EQ(p->Caps().numberInputValueCaps, 6);
    EXPECT_EQ(p->Caps().numberInputDataIndices, 7);

    // Ranges expand into one item per usage.
    auto items = BuildHidDataItems(*p, HidReportType::Input);
    ASSERT_EQ(items.size(), 7u);
    const Bytes report{7, 10, 11, 12, 13, 14, 0, 16, 17, 18};
    ASSERT_TRUE(UnpackHidReport(report, HidReportType::Input, items, *p));
    const uint32_t expected[7] = {10, 11, 13, 14, 16, 17, 18};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(items[i].value, expected[i]) << i;
    }
}

TEST(HidDescriptorCaps, ReportLengthsPerReportIdAndPushPop) {
    const Bytes d = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
        0x00, 0x75, 0x08, 0x85, 0x01, 0x95, 0x02, 0x09, 0x01, 0xB1, 0x02,  // feature 1: 2 bytes
        0xA4,                                                              // Push
        0x85, 0x02, 0x95, 0x0A, 0x09, 0x02, 0xB1, 0x02,                    // feature 2: 10 bytes
        0xB4,                                                              // Pop: back to ID 1, 2
        0x09, 0x03, 0xB1, 0x02,  // feature 1 grows by 2 bytes to 4
        0x09, 0x04, 0x81, 0x02,  // input 1 (2 bytes) has its own bit position
        0xC0};
    auto p = ParseOne(d);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Caps().featureReportByteLength, 11);
    EXPECT_EQ(p->ReportByteLength(HidReportType::Feature, 1), 5);
    EXPECT_EQ(p->ReportIds(HidReportType::Feature), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(p->Caps().inputReportByteLength, 3);
    const auto& f = p->ValueCaps(HidReportType::Feature);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[2].reportId, 1);
    EXPECT_EQ(f[2].bitPosition, 16);
    EXPECT_EQ(f[2].reportCount, 2);
    EXPECT_EQ(p->ValueCaps(HidReportType::Input)[0].bitPosition, 0);
}

// ---- statuses of the extraction calls ------------------------------------------------------

TEST(HidDescriptorValues, StatusCodesAndScaling) {
    const Bytes d = {0x05, 0x01, 0x09, 0x05, 0xA1, 0x01,                    // Game Pad
                     0x85, 0x01, 0x75, 0x08, 0x95, 0x01,                    // report 1
                     0x15, 0x00, 0x26, 0xFF, 0x00,                          // logical 0..255
                     0x35, 0x00, 0x46, 0xE8, 0x03,                          // physical 0..1000
                     0x09, 0x30, 0x81, 0x02,                                // X
                     0x15, 0x01, 0x25, 0x08, 0x35, 0x00, 0x46, 0x3B, 0x01,  // hat 1..8, 0..315
                     0x09, 0x39, 0x81, 0x42,                          // hat switch, null state
                     0x09, 0x36, 0x81, 0x02,                          // slider: no null state
                     0x15, 0x05, 0x25, 0x05, 0x09, 0x37, 0x81, 0x02,  // dial: logical 5..5
                     0x85, 0x02, 0x09, 0x31, 0x81, 0x02,              // Y in report 2
                     0xC0};
    auto p = ParseOne(d);
    ASSERT_TRUE(p);
    const auto in = HidReportType::Input;
    const Bytes r1{1, 51, 0, 9, 5};
    uint32_t raw = 0;
    int32_t scaled = 0;
    EXPECT_EQ(p->GetScaledUsageValue(in, 0x01, 0x30, r1, scaled), kHidpStatusSuccess);
    EXPECT_EQ(scaled, 200);
    EXPECT_EQ(p->GetScaledUsageValue(in, 0x01, 0x39, r1, scaled), kHidpStatusNull);
    EXPECT_EQ(p->GetScaledUsageValue(in, 0x01, 0x36, r1, scaled), kHidpStatusValueOutOfRange);
    EXPECT_EQ(p->GetScaledUsageValue(in, 0x01, 0x37, r1, scaled), kHidpStatusBadLogPhyValues);
    EXPECT_EQ(p->GetUsageValue(in, 0x01, 0x39, r1, raw), kHidpStatusSuccess);
    EXPECT_EQ(raw, 0u);

    EXPECT_EQ(p->GetUsageValue(in, 0x01, 0x31, r1, raw), kHidpStatusIncompatibleReportId);
    EXPECT_EQ(p->GetUsageValue(in, 0x01, 0x32, r1, raw), kHidpStatusUsageNotFound);
    EXPECT_EQ(p->GetUsageValue(in, 0x01, 0x30, Bytes{1, 51, 0}, raw),
              kHidpStatusInvalidReportLength);
    EXPECT_EQ(p->GetUsageValue(in, 0x01, 0x30, Bytes{}, raw), kHidpStatusInvalidReportLength);
    EXPECT_EQ(p->GetUsageValue(HidReportType::Feature, 0x01, 0x30, r1, raw),
              kHidpStatusUsageNotFound);
    std::vector<uint16_t> usages{99};
    EXPECT_EQ(p->GetUsages(in, 0x09, r1, usages), kHidpStatusUsageNotFound);
    EXPECT_TRUE(usages.empty());

    // A short report fails at its first value item; the later items stay untouched.
    auto items = BuildHidDataItems(*p, in);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_FALSE(UnpackHidReport(Bytes{1, 51}, in, items, *p));
    EXPECT_EQ(items[0].status, kHidpStatusInvalidReportLength);
    for (const auto& item : items) {
        EXPECT_EQ(item.isDataSet, 0u);
    }
    EXPECT_EQ(items[1].status, kHidpStatusSuccess);

    // A full report decodes; the hat's null state is a status, not a failure.
    ASSERT_TRUE(UnpackHidReport(r1, in, items, *p));
    EXPECT_EQ(items[0].scaledValue, 200);
    EXPECT_EQ(items[1].status, kHidpStatusNull);
    EXPECT_EQ(items[1].isDataSet, 1u);
    EXPECT_EQ(items[4].isDataSet, 0u);  // Y lives in report 2
    EXPECT_FALSE(UnpackHidReport(Bytes{}, in, items, *p));
}

// ---- untrusted input -----------------------------------------------------------------------

void ExpectRejected(const Bytes& d, const char* what) {
    std::string error;
    EXPECT_FALSE(ParseHidReportDescriptor(d, &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
}

TEST(HidDescriptorMalformed, FailsCleanlyWithAReason) {
    const Bytes app = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01};
    ExpectRejected({}, "empty");
    ExpectRejected({0x05, 0x01, 0x09, 0x02}, "no collection");
    ExpectRejected(Concat({app, {0x26, 0xFF}}), "truncated item");
    ExpectRejected(Concat({app, {0xFE, 0x10, 0x01, 0x00}}), "truncated long item");
    ExpectRejected(app, "collection never closed");
    ExpectRejected({0xC0}, "End Collection alone");
    ExpectRejected(Concat({app, {0xB4, 0xC0}}), "Pop without Push");
    ExpectRejected(Concat({app, {0x19, 0x05, 0x29, 0x01, 0x81, 0x02, 0xC0}}), "range min > max");
    ExpectRejected(Concat({app, {0x85, 0x00, 0xC0}}), "report ID 0");
    ExpectRejected(Concat({app, {0x76, 0xFF, 0x01, 0xC0}}), "report size 511");
    ExpectRejected(Concat({app, {0x75, 0x08, 0x96, 0x01, 0x10, 0x81, 0x02, 0xC0}}),
                   "report of 4097 bytes");
    ExpectRejected(Concat({app, {0x75, 0x08, 0x96, 0x01, 0x08, 0x81, 0x02, 0x81, 0x02, 0xC0}}),
                   "report grows past 4096 bytes");
    ExpectRejected(
        Concat(
            {app, {0x1B, 0x01, 0x00, 0x09, 0x00, 0x2B, 0x05, 0x00, 0x0C, 0x00, 0x81, 0x02, 0xC0}}),
        "range across pages");

    Bytes oversized = Concat({app, Bytes(kMaxReportDescriptorBytes, 0x00), {0xC0}});
    ExpectRejected(oversized, "oversized");

    Bytes deep;
    for (int i = 0; i <= kMaxHidCollectionDepth; ++i) {
        deep.insert(deep.end(), {0xA1, 0x00});
    }
    deep.insert(deep.end(), static_cast<std::size_t>(kMaxHidCollectionDepth) + 1, 0xC0);
    ExpectRejected(deep, "nested too deeply");

    Bytes pushes = app;
    pushes.insert(pushes.end(), static_cast<std::size_t>(kMaxHidPushDepth) + 1, 0xA4);
    pushes.push_back(0xC0);
    ExpectRejected(pushes, "pushed too deeply");

    // Each of 600 one-bit buttons would hold a usage list of 600: refused before allocation.
    Bytes many = Concat({app, {0x05, 0x09, 0x75, 0x01, 0x95, 0x01}});
    for (int i = 0; i < 600; ++i) {
        many.insert(many.end(), {0x09, 0x01, 0x81, 0x02});
    }
    many.push_back(0xC0);
    ExpectRejected(many, "button lists too large");
}

TEST(HidDescriptorMalformed, WithinLimitsIsAccepted) {
    // Nesting at the limit, pushes popped, a long item skipped, a stray reserved item ignored.
    Bytes d = {0x05, 0x01, 0x09, 0x02};
    for (int i = 0; i < kMaxHidCollectionDepth; ++i) {
        d.insert(d.end(), {0xA1, 0x00});
    }
    d.insert(d.end(), {0xFE, 0x02, 0x10, 0xAA, 0xBB, 0xA4, 0xA4, 0xB4, 0xB4, 0x0C, 0x75, 0x08, 0x95,
                       0x01, 0x09, 0x30, 0x81, 0x02});
    d.insert(d.end(), static_cast<std::size_t>(kMaxHidCollectionDepth), 0xC0);
    auto p = ParseOne(d);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->Caps().numberLinkCollectionNodes, kMaxHidCollectionDepth);
    EXPECT_EQ(p->ValueCaps(HidReportType::Input).size(), 1u);
    EXPECT_EQ(p->Caps().inputReportByteLength, 2);
}

TEST(HidDescriptorMalformed, RandomBytesNeverCrash) {
    // Mutations of a valid descriptor reach much deeper than pure noise.
    const Bytes base = Concat({kVendorCollection, kConsumerCollection});
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes d = base;
        const int edits = 1 + static_cast<int>(next() % 6);
        for (int e = 0; e < edits; ++e) {
            d[next() % d.size()] = static_cast<uint8_t>(next());
        }
        d.resize(next() % (d.size() + 1));
        auto info = ParseHidReportDescriptor(d);
        if (!info) {
            continue;
        }
        ++parsed;
        for (const auto& c : info->collections) {
            for (int t = 0; t < kHidReportTypeCount; ++t) {
                const auto type = static_cast<HidReportType>(t);
                auto items = BuildHidDataItems(*c, type);
                Bytes report(static_cast<std::size_t>(next() % 80));
                for (auto& b : report) {
                    b = static_cast<uint8_t>(next());
                }
                UnpackHidReport(report, type, items, *c);
            }
        }
    }
    EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace q417
