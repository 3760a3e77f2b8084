#pragma once
// Hex text for q417ctl output: identifiers, byte lists and 64-byte frames.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace q417::cli {

std::string Hex2(uint8_t value);   // "0a"
std::string Hex4(uint16_t value);  // "4a1d"
// "01 02 ff" (one space between bytes).
std::string HexBytes(std::span<const uint8_t> bytes);
// A frame as lines of 32 bytes in the trace layout (groups of four).
std::vector<std::string> FrameLines(std::span<const uint8_t> frame);

}  // namespace q417::cli
