#pragma once
// Plain HID records shared by the descriptor parser, the backends and CHidInterface. They mirror
// what the Windows HID parser reports, so the device code reads the same capability data on every
// platform.
#include <cstdint>
#include <vector>

namespace q417 {

enum class HidReportType : uint8_t { Input = 0, Output = 1, Feature = 2 };
inline constexpr int kHidReportTypeCount = 3;

// Status values of the HID parser calls (the Windows NTSTATUS codes, kept so traces compare).
inline constexpr uint32_t kHidpStatusSuccess = 0x00110000;
inline constexpr uint32_t kHidpStatusNull = 0x80110001;
inline constexpr uint32_t kHidpStatusInvalidReportLength = 0xC0110003;
inline constexpr uint32_t kHidpStatusInvalidReportType = 0xC0110002;
inline constexpr uint32_t kHidpStatusUsageNotFound = 0xC0110004;
inline constexpr uint32_t kHidpStatusValueOutOfRange = 0xC0110005;
inline constexpr uint32_t kHidpStatusBadLogPhyValues = 0xC0110006;
inline constexpr uint32_t kHidpStatusBufferTooSmall = 0xC0110007;
inline constexpr uint32_t kHidpStatusIncompatibleReportId = 0xC0110010;

struct HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

// Capabilities of one top-level collection. Report byte lengths include the report-ID byte
// (a leading 0 for unnumbered reports), and are 0 when the collection has no report of that type.
struct HidCaps {
    uint16_t usage = 0;
    uint16_t usagePage = 0;
    uint16_t inputReportByteLength = 0;
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
    uint16_t numberLinkCollectionNodes = 0;
    uint16_t numberInputButtonCaps = 0;
    uint16_t numberInputValueCaps = 0;
    uint16_t numberInputDataIndices = 0;
    uint16_t numberOutputButtonCaps = 0;
    uint16_t numberOutputValueCaps = 0;
    uint16_t numberOutputDataIndices = 0;
    uint16_t numberFeatureButtonCaps = 0;
    uint16_t numberFeatureValueCaps = 0;
    uint16_t numberFeatureDataIndices = 0;
};

// One decoding record: one per button capability and one per value usage. The usages of a button
// item are those that were on in the last unpacked report, ended by a 0 when fewer than the array.
struct HidDataItem {
    uint8_t isButtonData = 0;
    uint16_t usagePage = 0;
    uint32_t status = kHidpStatusSuccess;
    uint32_t reportId = 0;
    uint32_t isDataSet = 0;
    // button items
    uint32_t usageMin = 0;
    uint32_t usageMax = 0;
    uint32_t maxUsageLength = 0;
    std::vector<uint16_t> usages;
    // value items
    uint16_t usage = 0;
    uint32_t value = 0;
    int32_t scaledValue = 0;
};

}  // namespace q417
