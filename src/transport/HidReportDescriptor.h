#pragma once
// Our own HID report-descriptor parser. It yields, per top-level collection, what the Windows HID
// parser gives through HidP_GetCaps / HidP_Get*Caps, and extracts usages and values from reports
// the way HidP_GetUsages / HidP_GetUsageValue / HidP_GetScaledUsageValue do.
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
    HidCaps caps_;
    bool usesReportIds_ = false;
    std::vector<HidButtonCap> buttonCaps_[kHidReportTypeCount];
    std::vector<HidValueCap> valueCaps_[kHidReportTypeCount];
    std::vector<uint8_t> reportIds_[kHidReportTypeCount];
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
