#include "transport/HidPath.h"

#include <cctype>

namespace q417 {
namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view::size_type FindNoCase(std::string_view text, std::string_view key) {
    if (key.size() > text.size()) {
        return std::string_view::npos;
    }
    for (std::size_t i = 0; i + key.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < key.size() && Lower(text[i + k]) == Lower(key[k])) {
            ++k;
        }
        if (k == key.size()) {
            return i;
        }
    }
    return std::string_view::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char l = Lower(c);
    if (l >= 'a' && l <= 'f') {
        return l - 'a' + 10;
    }
    return -1;
}

// What sscanf("%x") stores: leading white space skipped, an optional sign and "0x" prefix, then
// hex digits (the value wraps like an unsigned int). No digits means no conversion: 0.
uint32_t ScanHex(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i + 2 < text.size() && text[i] == '0' && Lower(text[i + 1]) == 'x' &&
        HexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    uint32_t value = 0;
    bool any = false;
    for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
        value = (value << 4) | static_cast<uint32_t>(HexDigit(text[i]));
        any = true;
    }
    if (!any) {
        return 0;
    }
    return negative ? static_cast<uint32_t>(0u - value) : value;
}

uint16_t ValueAfterKey(std::string_view path, std::string_view key) {
    const auto at = FindNoCase(path, key);
    if (at == std::string_view::npos) {
        return 0;
    }
    return static_cast<uint16_t>(ScanHex(path.substr(at + key.size())) & 0xFFFFu);
}

}  // namespace

uint16_t VendorFromPath(std::string_view path) {
    return ValueAfterKey(path, "vid_");
}
uint16_t ProductFromPath(std::string_view path) {
    return ValueAfterKey(path, "pid_");
}
uint16_t InterfaceFromPath(std::string_view path) {
    return ValueAfterKey(path, "&mi_");
}
uint16_t CollectionFromPath(std::string_view path) {
    return ValueAfterKey(path, "&col");
}

std::string InstanceFromPath(std::string_view path) {
    const auto first = path.find('#');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto second = path.find('#', first + 1);
    if (second == std::string_view::npos) {
        return {};
    }
    const auto third = path.find('#', second + 1);
    return std::string(path.substr(
        second + 1, third == std::string_view::npos ? std::string_view::npos : third - second - 1));
}

}  // namespace q417
