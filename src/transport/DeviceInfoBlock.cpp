#include "transport/DeviceInfoBlock.h"

#include <algorithm>

#include "transport/CReportChannel.h"

namespace q417 {

DeviceInfoBlock DeviceInfoBlock::FromBytes(std::span<const uint8_t, kDeviceInfoBlockSize> raw) {
    DeviceInfoBlock block;
    std::copy(raw.begin(), raw.end(), block.bytes.begin());
    return block;
}

bool DeviceInfoBlock::KeyTableFits() const {
    return KeyTableSize() <= kMaxBlockSize;
}

bool DeviceInfoBlock::ApplyKeyTableSize(CReportChannel& channel) const {
    return KeyTableFits() && channel.SetBlockSize(static_cast<uint16_t>(KeyTableSize()));
}

}  // namespace q417
