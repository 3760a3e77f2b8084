#include "cli/HexFormat.h"

#include <algorithm>
#include <cstdio>

#include "platform/Trace.h"

namespace q417::cli {

std::string Hex2(uint8_t value) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02x", value);
    return buf;
}

std::string Hex4(uint16_t value) {
    char buf[5];
    std::snprintf(buf, sizeof buf, "%04x", value);
    return buf;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += Hex2(b);
    }
    return text;
}

std::vector<std::string> FrameLines(std::span<const uint8_t> frame) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < frame.size(); at += 32) {
        lines.push_back(
            FormatTraceHexLine(frame.subspan(at, std::min<std::size_t>(32, frame.size() - at))));
    }
    return lines;
}

}  // namespace q417::cli
