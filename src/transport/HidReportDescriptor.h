#pragma once
// Our own HID report-descriptor parser. It yields, per top-level collection, what the Windows HID
// parser gives through HidP_GetCaps / HidP_Get*Caps, and extracts usages and values from reports
// the way HidP_GetUsages / HidP_GetUsageValue / HidP_GetScaledUsageValue do.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "transport/HidTypes.h"

namespace q417 {

// Limits applied to descriptors, which come from devices and are therefore untrusted input.
inline constexpr std::size_t kMaxReportDescriptorBytes = 4096;
inline constexpr int kMaxHidCollectionDepth = 32;               // nested Collection items
inline constexpr int kMaxHidPushDepth = 16;                     // Push items without their Pop
inline constexpr std::size_t kMaxHidTopLevelCollections = 255;  // "&colXX" has two hex digits
inline constexpr uint32_t kMaxHidReportSizeBits = 256;          // one Report Size
// Data bytes of one report (the report-ID byte not counted); bounds Report Count × Report Size.
inline constexpr uint32_t kMaxHidReportDataBytes = 4096;
inline constexpr std::size_t kMaxHidCaps = 4096;         // button + value caps, whole descriptor
inline constexpr std::size_t kMaxHidValueUsages = 8192;  // value usages with ranges expanded
// Per collection and report type: the u16 usage slots that the button items of BuildHidDataItems
// allocate (one list of MaxUsageListLength per button cap).
inline constexpr std::size_t kMaxHidButtonUsageSlots = 1u << 18;

struct HidButtonCap {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    bool isRange = false;
    uint16_t usageMin = 0;  // the single usage when !isRange
    uint16_t usageMax = 0;
    bool isAbsolute = true;
    bool isArray = false;  // an array field (selectors), as opposed to one bit per usage
    uint16_t linkCollection = 0;
    uint16_t bitPosition = 0;  // bit offset of the field within the report, after the ID byte
    uint16_t bitSize = 0;
    uint16_t reportCount = 0;
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
};

struct HidValueCap {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    bool isRange = false;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    bool isAbsolute = true;
    bool hasNull = false;
    uint16_t linkCollection = 0;
    uint16_t bitPosition = 0;
    uint16_t bitSize = 0;
    uint16_t reportCount = 0;
    int32_t logicalMin = 0;
    int32_t logicalMax = 0;
    int32_t physicalMin = 0;
    int32_t physicalMax = 0;
    uint32_t units = 0;
    uint32_t unitsExp = 0;
};

// One top-level collection with everything needed to decode its reports ("preparsed data").
class HidPreparsed {
public:
    const HidCaps& Caps() const { return caps_; }
    const std::vector<HidButtonCap>& ButtonCaps(HidReportType type) const;
    const std::vector<HidValueCap>& ValueCaps(HidReportType type) const;
    // Report IDs used by this collection for the type (empty when reports are unnumbered).
    const std::vector<uint8_t>& ReportIds(HidReportType type) const;
    bool OwnsReportId(HidReportType type, uint8_t reportId) const;
    bool UsesReportIds() const { return usesReportIds_; }
    // Bytes of the report with this ID, ID byte included; 0 when the collection has no such report.
    uint16_t ReportByteLength(HidReportType type, uint8_t reportId) const;

    // HidP_MaxUsageListLength: the most usages one report of this type can return for the page
    // (usage page 0: every page).
    uint32_t MaxUsageListLength(HidReportType type, uint16_t usagePage) const;
    // HidP_GetUsages: the usages of usagePage that are on in report (first byte = report ID).
    // Returns a kHidpStatus* code; usages is replaced.
    uint32_t GetUsages(HidReportType type, uint16_t usagePage, std::span<const uint8_t> report,
                       std::vector<uint16_t>& usages) const;
    // HidP_GetUsageValue / HidP_GetScaledUsageValue for one usage.
    uint32_t GetUsageValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                           std::span<const uint8_t> report, uint32_t& value) const;
    uint32_t GetScaledUsageValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                                 std::span<const uint8_t> report, int32_t& value) const;

private:
    friend class HidDescriptorParser;

    // One array main item: its button caps (consecutive in buttonCaps_) list the selectable usages
    // in order, so selector index i names the i-th usage counted across those caps.
    struct ArrayField {
        std::size_t firstCap = 0;
        std::size_t capCount = 0;
    };

    // Finds the value cap for (page, usage) in the report's ID; fills the raw field value.
    uint32_t ReadValue(HidReportType type, uint16_t usagePage, uint16_t usage,
                       std::span<const uint8_t> report, const HidValueCap*& cap,
                       uint32_t& raw) const;
    uint32_t CheckReport(HidReportType type, std::span<const uint8_t> report) const;

    HidCaps caps_;
    bool usesReportIds_ = false;
    std::vector<HidButtonCap> buttonCaps_[kHidReportTypeCount];
    std::vector<HidValueCap> valueCaps_[kHidReportTypeCount];
    std::vector<ArrayField> arrayFields_[kHidReportTypeCount];
    std::vector<uint8_t> reportIds_[kHidReportTypeCount];
    std::array<uint16_t, 256> reportByteLengths_[kHidReportTypeCount] = {};
};

struct HidReportDescriptorInfo {
    std::vector<std::shared_ptr<const HidPreparsed>> collections;  // top-level, descriptor order
};

// Parses a whole report descriptor. On malformed or oversized input returns nullopt and says why.
std::optional<HidReportDescriptorInfo> ParseHidReportDescriptor(std::span<const uint8_t> bytes,
                                                                std::string* error = nullptr);

// The decoding records of a collection for one report type: first one item per button capability,
// then one per value usage (ranges expanded), as CHidInterface keeps them.
std::vector<HidDataItem> BuildHidDataItems(const HidPreparsed& preparsed, HidReportType type);

// Decodes one report (first byte = report ID) into the items whose reportId matches it.
// False when a value item could not be read.
bool UnpackHidReport(std::span<const uint8_t> report, HidReportType type,
                     std::span<HidDataItem> items, const HidPreparsed& preparsed);

}  // namespace q417
