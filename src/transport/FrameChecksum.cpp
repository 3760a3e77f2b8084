#include "transport/FrameChecksum.h"

namespace q417 {

uint16_t SumChecksum(std::span<const uint8_t, kFrameSize> frame) {
    uint32_t sum = 0;
    for (std::size_t i = 3; i < kFrameSize; ++i) {
        sum += frame[i];
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

void StoreSumChecksum(std::span<uint8_t, kFrameSize> frame) {
    uint16_t sum = SumChecksum(frame);
    frame[1] = static_cast<uint8_t>(sum & 0xFF);
    frame[2] = static_cast<uint8_t>(sum >> 8);
}

uint16_t Crc16(std::span<const uint8_t> data) {
    static constexpr uint16_t kTable[2] = {0x0000, 0xA001};
    uint16_t crc = 0xFFFF;
    for (uint8_t byte : data) {
        for (int bit = 0; bit < 8; ++bit) {
            uint16_t b = (byte >> bit) & 1u;
            crc = static_cast<uint16_t>((crc >> 1) ^ kTable[(crc ^ b) & 1u]);
        }
    }
    return crc;
}

uint16_t FrameCrc(std::span<const uint8_t, kFrameSize> frame) {
    return Crc16(frame.subspan(3, 29));
}

void StoreFrameCrc(std::span<uint8_t, kFrameSize> frame) {
    uint16_t crc = FrameCrc(frame);
    frame[1] = static_cast<uint8_t>(crc & 0xFF);
    frame[2] = static_cast<uint8_t>(crc >> 8);
}

bool FrameCrcMatches(std::span<const uint8_t, kFrameSize> frame) {
    uint16_t crc = FrameCrc(frame);
    return frame[1] == (crc & 0xFF) && frame[2] == (crc >> 8);
}

}  // namespace q417
