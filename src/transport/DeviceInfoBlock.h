#pragma once
// The 34-byte device information block (command 0x03). The host interprets a few bytes; the rest
// is kept unchanged with the block.
#include <array>
#include <cstdint>
#include <span>

namespace q417 {

class CReportChannel;

inline constexpr std::size_t kDeviceInfoBlockSize = 34;
inline constexpr std::size_t kKeyTableBytesPerKey = 3;
inline constexpr std::size_t kMacroMemoryUnitBytes = 128;

struct DeviceInfoBlock {
    std::array<uint8_t, kDeviceInfoBlockSize> bytes{};

    static DeviceInfoBlock FromBytes(std::span<const uint8_t, kDeviceInfoBlockSize> raw);

    uint8_t KeyCount() const { return bytes[5]; }
    uint8_t MacroMemoryUnits() const { return bytes[6]; }
    std::size_t MacroMemoryBytes() const { return std::size_t{bytes[6]} * kMacroMemoryUnitBytes; }
    // Mouse: which of two notifications follows a read of the block.
    uint8_t NotifyMode() const { return bytes[7]; }
    uint16_t Sensor() const { return LittleEndian16(9); }
    uint8_t DpiStep() const { return bytes[11]; }
    uint16_t LowestDpi() const { return LittleEndian16(14); }

    // Bytes of one key table: 3 per key.
    std::size_t KeyTableSize() const { return std::size_t{KeyCount()} * kKeyTableBytesPerKey; }
    // False when the device claims more keys than a 512-byte key table can hold; such a block
    // must not be used to size the key-table commands.
    bool KeyTableFits() const;
    // Sizes the channel's block commands to this device's key table (SetBlockSize(keys × 3));
    // false, leaving the channel unchanged, when the table would not fit.
    bool ApplyKeyTableSize(CReportChannel& channel) const;

private:
    uint16_t LittleEndian16(std::size_t at) const {
        return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    }
};

}  // namespace q417
