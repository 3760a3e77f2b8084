#include "emulator/MouseFirmware.h"

#include <algorithm>

namespace q417::emu {
namespace {

struct FrameFields {
    uint8_t code;
    uint8_t length;
    uint16_t offset;
};

FrameFields Fields(const Frame& request) {
    return {request[3], request[4], static_cast<uint16_t>(request[5] | (request[6] << 8))};
}

void StoreU16(std::span<uint8_t> bytes, std::size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

struct Rgb {
    uint8_t r, g, b;
};

// Factory DPI stages and their colours, the same in every profile.
constexpr std::array<uint16_t, kDpiStageCount> kFactoryDpi = {400, 800, 1600, 3200, 6400, 12800};
constexpr std::array<Rgb, kDpiStageCount> kStageColours = {
    Rgb{0xFF, 0x00, 0x00}, Rgb{0x00, 0xFF, 0x00}, Rgb{0x00, 0x00, 0xFF},
    Rgb{0xFF, 0xFF, 0x00}, Rgb{0x00, 0xFF, 0xFF}, Rgb{0xFF, 0x00, 0xFF}};
// Fixed light colour per profile, so a profile switch is visible on the device.
constexpr std::array<Rgb, kProfileCount> kProfileColours = {
    Rgb{0xFF, 0x40, 0x00}, Rgb{0x00, 0x80, 0xFF}, Rgb{0x40, 0xFF, 0x40},
    Rgb{0xFF, 0xFF, 0xFF}, Rgb{0xA0, 0x00, 0xFF}, Rgb{0xFF, 0x00, 0x60}};

// Factory function codes of the mouse buttons (type, param1, param2): left, right, middle,
// back, forward, DPI up, DPI down, DPI cycle, fire key, profile cycle, scroll.
constexpr std::array<std::array<uint8_t, 3>, kMouseKeyCount> kFactoryKeys = {{
    {0x10, 0x01, 0x00},
    {0x10, 0x04, 0x00},
    {0x10, 0x02, 0x00},
    {0x10, 0x08, 0x00},
    {0x10, 0x10, 0x00},
    {0x13, 0x03, 0x00},
    {0x13, 0x01, 0x00},
    {0x13, 0x02, 0x00},
    {0xA0, 0x1B, 0x00},
    {0x16, 0x90, 0x01},
    {0x14, 0x78, 0x02},
}};

}  // namespace

MouseFirmware::MouseFirmware() {
    FactoryReset();
}

void MouseFirmware::FactoryReset() {
    info_.fill(0);
    StoreU16(info_, 0, kFirmwareVersion);
    info_[2] = 0x02;  // device class: mouse
    info_[3] = static_cast<uint8_t>(kProfileCount);
    info_[4] = static_cast<uint8_t>(kDpiStageCount);
    info_[5] = kMouseKeyCount;
    info_[6] = kMacroMemoryUnits;
    info_[7] = 0;  // which notice the host shows after reading the block
    StoreU16(info_, 9, kSensorModel);
    info_[11] = kDpiStep;
    StoreU16(info_, 12, kHighestDpi);
    StoreU16(info_, 14, kLowestDpi);
    info_[16] = 15;  // light entries of the mouse's effect list

    memory_.fill(0);
    for (std::size_t p = 0; p < kProfileCount; ++p) {
        std::span<uint8_t> rec(memory_.data() + p * kProfileStride, kProfileRecordSize);
        rec[0] = static_cast<uint8_t>(p);  // profile 0's byte 0 is the current profile number, 0
        rec[1] = 1;                        // light effect: colour cycle
        rec[2] = 3;                        // brightness 0-4
        rec[3] = 2;                        // 4 - speed
        rec[4] = 1;                        // forward
        rec[5] = 1;                        // multi-colour
        rec[6] = kProfileColours[p].r;
        rec[7] = kProfileColours[p].g;
        rec[8] = kProfileColours[p].b;
        rec[kRecordPollingRate] = 3;
        rec[kRecordActiveStage] = 1;
        for (std::size_t s = 0; s < kDpiStageCount; ++s) {
            std::span<uint8_t> stage =
                rec.subspan(kRecordFirstStage + s * kDpiStageSize, kDpiStageSize);
            stage[0] = 1;
            stage[1] = 0;
            StoreU16(stage, 2, EncodeDpi(kFactoryDpi[s]));
            StoreU16(stage, 4, EncodeDpi(kFactoryDpi[s]));
            stage[6] = kStageColours[s].r;
            stage[7] = kStageColours[s].g;
            stage[8] = kStageColours[s].b;
        }
    }

    keyTable_.fill(0);
    for (std::size_t k = 0; k < kFactoryKeys.size(); ++k) {
        std::copy(kFactoryKeys[k].begin(), kFactoryKeys[k].end(), keyTable_.begin() + 3 * k);
    }
    keyTable2_.fill(0);
    keyAttributes_.fill(0xFF);
    for (uint8_t k = 0; k < kMouseKeyCount; ++k) {
        keyAttributes_[k] = k;
    }
    pages_.fill(0);
    lightStream_.fill(0);
    macros_.fill(0);
    recoil_.fill(0);
    power_ = {85, 0, 0, 0, 0, 0};  // 85 %, running on battery
    inTransaction_ = false;
    lightControl_ = false;
}

uint8_t MouseFirmware::ActiveDpiStage() const {
    uint8_t p = CurrentProfile();
    if (p >= kProfileCount) {
        return 0;
    }
    return memory_[p * kProfileStride + kRecordActiveStage];
}

bool MouseFirmware::SelectProfile(uint8_t profile) {
    if (profile >= kProfileCount) {
        return false;
    }
    memory_[0] = profile;
    return true;
}

bool MouseFirmware::SelectDpiStage(uint8_t stage) {
    uint8_t p = CurrentProfile();
    if (stage >= kDpiStageCount || p >= kProfileCount) {
        return false;
    }
    memory_[p * kProfileStride + kRecordActiveStage] = stage;
    return true;
}

std::vector<std::string> MouseFirmware::Buttons() const {
    return {std::string(kMouseDpiButton), std::string(kMouseProfileButton)};
}

std::optional<uint16_t> MouseFirmware::PressButton(std::string_view button) {
    const uint8_t p = CurrentProfile();
    if (p >= kProfileCount) {
        return std::nullopt;
    }
    if (button == kMouseProfileButton) {
        const auto next = static_cast<uint8_t>((p + 1) % kProfileCount);
        SelectProfile(next);
        return static_cast<uint16_t>(0x1000 | next);
    }
    if (button != kMouseDpiButton) {
        return std::nullopt;
    }
    // The button passes over the stages switched off in the record.
    const std::size_t record = p * kProfileStride;
    const uint8_t active = memory_[record + kRecordActiveStage];
    for (std::size_t step = 1; step <= kDpiStageCount; ++step) {
        const auto next = static_cast<uint8_t>((active + step) % kDpiStageCount);
        if (memory_[record + kRecordFirstStage + next * kDpiStageSize] != 0) {
            SelectDpiStage(next);
            return static_cast<uint16_t>(0x1100 | (next << 4) | p);
        }
    }
    return std::nullopt;
}

bool MouseFirmware::ReadArea(std::span<const uint8_t> area, const Frame& request, Frame& reply) {
    FrameFields f = Fields(request);
    if (f.length > kMaxFrameData || std::size_t{f.offset} + f.length > area.size()) {
        return false;
    }
    std::copy_n(area.begin() + f.offset, f.length, reply.begin() + 8);
    return true;
}

bool MouseFirmware::WriteArea(std::span<uint8_t> area, const Frame& request) {
    FrameFields f = Fields(request);
    if (f.length > kMaxFrameData || std::size_t{f.offset} + f.length > area.size()) {
        return false;
    }
    std::copy_n(request.begin() + 8, f.length, area.begin() + f.offset);
    return true;
}

uint8_t MouseFirmware::Execute(const Frame& request, Frame& reply) {
    reply.fill(0);
    reply[0] = kCommandReportId;
    std::copy_n(request.begin() + 3, 4, reply.begin() + 3);
    bool ok = false;
    switch (request[3]) {
        case cmd::kBegin:
            inTransaction_ = true;
            ok = true;
            break;
        case cmd::kEnd:
            inTransaction_ = false;
            ++transactionsEnded_;
            ok = true;
            break;
        case cmd::kReadInfo:
            ok = ReadArea(info_, request, reply);
            break;
        case cmd::kReadMemory:
            ok = ReadArea(memory_, request, reply);
            break;
        case cmd::kWriteMemory:
            ok = WriteArea(memory_, request);
            break;
        case cmd::kReadKeyTable:
        case cmd::kReadKeyTableBank:  // only bank 0 exists: bank x 512 + offset stays below 512
            ok = ReadArea(keyTable_, request, reply);
            break;
        case cmd::kWriteKeyTable:
            ok = WriteArea(keyTable_, request);
            break;
        case cmd::kWriteKeyTable2:
            ok = WriteArea(keyTable2_, request);
            break;
        case cmd::kReadPage:
            ok = ReadArea(pages_, request, reply);
            break;
        case cmd::kWritePage:
            ok = WriteArea(pages_, request);
            break;
        case cmd::kStreamLight:
            ok = WriteArea(lightStream_, request);
            break;
        case cmd::kWriteMacros:
            ok = WriteArea(macros_, request);
            break;
        case cmd::kWriteRecoil:
            ok = WriteArea(recoil_, request);
            break;
        case cmd::kReadStatus:
            ok = ReadArea(power_, request, reply);
            break;
        case cmd::kReadKeyAttributes:
            ok = ReadArea(keyAttributes_, request, reply);
            break;
        case cmd::kEnableLightControl:
            lightControl_ = true;
            ok = true;
            break;
        case cmd::kQueryLink:
            reply[8] = 0xFF;  // on its own cable the mouse is always reachable
            ok = true;
            break;
        default:
            ok = false;
            break;
    }
    reply[7] = ok ? kStatusOk : kStatusFailed;
    return reply[7];
}

}  // namespace q417::emu
