#pragma once
// Reads the emulated device's key table back as function codes, one per device key position, so
// tests can state what each key does instead of comparing raw bytes.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "profiles/ProfileRecords.h"

namespace q417::test {

// A code by its three bytes (key index 0).
inline KeyAssignment Code(std::uint8_t type, std::uint8_t param1, std::uint8_t param2) {
    return KeyAssignment{0, type, param1, param2, 0};
}

// Codes of positions 0..keyCount-1 (fewer when the table is shorter); key index = position.
inline std::vector<KeyAssignment> DecodeKeyTable(std::span<const std::uint8_t> bytes,
                                                 std::size_t keyCount) {
    std::vector<KeyAssignment> codes;
    for (std::size_t p = 0; p < keyCount && 3 * p + 2 < bytes.size(); ++p) {
        codes.push_back(KeyAssignment{static_cast<std::uint16_t>(p), bytes[3 * p], bytes[3 * p + 1],
                                      bytes[3 * p + 2], 0});
    }
    return codes;
}

// The codes as type·65536 + param1·256 + param2, for comparing whole tables at once.
inline std::vector<std::int32_t> Encoded(const std::vector<KeyAssignment>& codes) {
    std::vector<std::int32_t> out;
    for (const KeyAssignment& c : codes) {
        out.push_back(EncodeAssignment(c));
    }
    return out;
}

}  // namespace q417::test

namespace q417 {
// gtest printer for failing comparisons of codes.
inline void PrintTo(const KeyAssignment& a, std::ostream* os) {
    static const char* hex = "0123456789ABCDEF";
    auto byte = [&](std::uint8_t b) { *os << "0x" << hex[b >> 4] << hex[b & 15]; };
    *os << "{";
    byte(a.type);
    *os << ",";
    byte(a.param1);
    *os << ",";
    byte(a.param2);
    *os << "}";
}
}  // namespace q417
