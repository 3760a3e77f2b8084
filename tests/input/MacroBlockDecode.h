#pragma once
// Reads a macro block back out of device memory (the emulated mouse's macro memory), so tests
// assert on macros and events instead of byte offsets. Every field is checked against the layout:
// magic, total length, offsets that point inside the block and follow one another without gaps.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "input/MacroEventRow.h"

namespace q417::test {

struct DecodedMacroBlock {
    std::size_t length = 0;  // the header's total length
    std::vector<std::vector<MacroEvent>> macros;
};

// nullopt (and why, in error) when memory does not start with a well-formed block.
inline std::optional<DecodedMacroBlock> DecodeMacroBlock(std::span<const uint8_t> memory,
                                                         std::string* error = nullptr) {
    auto fail = [&](const std::string& why) -> std::optional<DecodedMacroBlock> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(memory[at] | (memory[at + 1] << 8));
    };
    if (memory.size() < 16) {
        return fail("shorter than the header");
    }
    if (memory[0] != 0xAA || memory[1] != 0x55) {
        return fail("no AA 55 magic");
    }
    DecodedMacroBlock block;
    block.length = u16(2);
    const std::size_t n = u16(4);
    if (block.length > memory.size()) {
        return fail("length beyond the memory");
    }
    for (std::size_t i = 6; i < 16; ++i) {
        if (memory[i] != 0) {
            return fail("header byte " + std::to_string(i) + " is not 0");
        }
    }
    if (16 + 2 * n > block.length) {
        return fail("offset table beyond the block");
    }
    std::size_t expected = 16 + 2 * n;  // records follow the table and each other
    for (std::size_t j = 0; j < n; ++j) {
        const std::size_t offset = u16(16 + 2 * j);
        if (offset != expected) {
            return fail("record " + std::to_string(j) + " at " + std::to_string(offset) +
                        ", expected " + std::to_string(expected));
        }
        if (offset + 4 > block.length) {
            return fail("record " + std::to_string(j) + " header beyond the block");
        }
        const std::size_t count = u16(offset);
        if (u16(offset + 2) != 0) {
            return fail("record " + std::to_string(j) + " spare word is not 0");
        }
        if (offset + 4 + 4 * count > block.length) {
            return fail("record " + std::to_string(j) + " events beyond the block");
        }
        std::vector<MacroEvent>& events = block.macros.emplace_back();
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t at = offset + 4 + 4 * k;
            events.push_back(
                DecodeMacroEvent({memory[at], memory[at + 1], memory[at + 2], memory[at + 3]}));
        }
        expected = offset + 4 + 4 * count;
    }
    if (expected != block.length) {
        return fail("length " + std::to_string(block.length) + " but records end at " +
                    std::to_string(expected));
    }
    return block;
}

}  // namespace q417::test
