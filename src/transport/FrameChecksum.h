#pragma once
// The two checksums of the 64-byte command frame, shared by the host side and the emulator.
#include <array>
#include <cstdint>
#include <span>

namespace q417 {

inline constexpr std::size_t kFrameSize = 64;
using Frame = std::array<uint8_t, kFrameSize>;

// Sum of bytes 3..63 as unsigned bytes in a 32-bit accumulator; the low 16 bits go to bytes 1-2.
uint16_t SumChecksum(std::span<const uint8_t, kFrameSize> frame);
void StoreSumChecksum(std::span<uint8_t, kFrameSize> frame);

// CRC-16/MODBUS (reflected 0xA001, init 0xFFFF, no final XOR), bit by bit.
uint16_t Crc16(std::span<const uint8_t> data);
// The receiver's CRC covers frame bytes 3..31.
uint16_t FrameCrc(std::span<const uint8_t, kFrameSize> frame);
void StoreFrameCrc(std::span<uint8_t, kFrameSize> frame);
bool FrameCrcMatches(std::span<const uint8_t, kFrameSize> frame);

}  // namespace q417
