#pragma once
// Turns a recoil block (as the emulated mouse stores it) back into guns and events, checking the
// layout on the way, so tests can assert on what the mouse holds rather than on bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "input/RecoilSequence.h"

namespace q417::test {

struct DecodedRecoil {
    RecoilSet guns;
    std::size_t total = 0;  // the block's length field
};

// nullopt (and why, in error) when the bytes are not a well-formed block of four guns: magic,
// length, count, zero header bytes, offsets that chain record to record, zero pad after each count.
// Bytes beyond the block's length (the rest of the recoil memory) are ignored.
inline std::optional<DecodedRecoil> DecodeRecoilBlock(std::span<const uint8_t> memory,
                                                      std::string* error = nullptr) {
    auto fail = [&](const std::string& why) -> std::optional<DecodedRecoil> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    auto u16 = [&](std::size_t at) { return std::size_t(memory[at] | (memory[at + 1] << 8)); };
    constexpr std::size_t kHeader = 16 + 2 * kRecoilGunCount;
    if (memory.size() < kHeader) {
        return fail("shorter than the header");
    }
    if (u16(0) != 0x55AA) {
        return fail("bad magic");
    }
    DecodedRecoil out;
    out.total = u16(2);
    if (out.total > memory.size() || out.total < kHeader) {
        return fail("bad total length " + std::to_string(out.total));
    }
    if (u16(4) != std::size_t(kRecoilGunCount)) {
        return fail("gun count " + std::to_string(u16(4)));
    }
    for (std::size_t i = 6; i < 16; ++i) {
        if (memory[i] != 0) {
            return fail("header byte " + std::to_string(i) + " not zero");
        }
    }
    std::size_t expected = kHeader;
    for (std::size_t g = 0; g < std::size_t(kRecoilGunCount); ++g) {
        std::size_t at = u16(16 + 2 * g);
        if (at != expected) {
            return fail("gun " + std::to_string(g) + " at " + std::to_string(at) + ", expected " +
                        std::to_string(expected));
        }
        if (at + 4 > out.total) {
            return fail("gun " + std::to_string(g) + " header past the end");
        }
        std::size_t count = u16(at);
        if (u16(at + 2) != 0) {
            return fail("gun " + std::to_string(g) + " pad not zero");
        }
        if (at + 4 + 4 * count > out.total) {
            return fail("gun " + std::to_string(g) + " events past the end");
        }
        for (std::size_t e = 0; e < count; ++e) {
            std::size_t p = at + 4 + 4 * e;
            out.guns[g].push_back(
                DecodeMacroEvent({memory[p], memory[p + 1], memory[p + 2], memory[p + 3]}));
        }
        expected = at + 4 + 4 * count;
    }
    if (expected != out.total) {
        return fail("records end at " + std::to_string(expected) + ", length says " +
                    std::to_string(out.total));
    }
    return out;
}

}  // namespace q417::test
