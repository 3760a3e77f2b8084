// Feeds arbitrary bytes to the report-descriptor parser. When they parse, every collection's data
// items are built for each report type and a few reports cut from the same input are unpacked,
// so the extraction paths see the layouts the fuzzer invents.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "transport/HidReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace q417;
    const std::span<const uint8_t> input(data, size);
    const auto info = ParseHidReportDescriptor(input);
    if (!info) {
        return 0;
    }
    for (const auto& collection : info->collections) {
        for (int t = 0; t < kHidReportTypeCount; ++t) {
            const auto type = static_cast<HidReportType>(t);
            auto items = BuildHidDataItems(*collection, type);
            const std::size_t length = collection->ReportByteLength(type, input[0]) != 0
                                           ? collection->ReportByteLength(type, input[0])
                                           : 8;
            // Reports of the full length, one byte short, and from the input's tail.
            std::vector<uint8_t> report(
                input.begin(),
                input.begin() + static_cast<std::ptrdiff_t>(std::min(length, input.size())));
            report.resize(length, 0xA5);
            UnpackHidReport(report, type, items, *collection);
            report.pop_back();
            UnpackHidReport(report, type, items, *collection);
            const std::size_t tail = std::min<std::size_t>(size, 64);
            UnpackHidReport(input.last(tail), type, items, *collection);
            for (const auto& id : collection->ReportIds(type)) {
                std::vector<uint8_t> numbered(collection->ReportByteLength(type, id), 0xFF);
                numbered[0] = id;
                UnpackHidReport(numbered, type, items, *collection);
            }
        }
    }
    return 0;
}
