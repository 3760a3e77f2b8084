#pragma once
// Firmware model of the mouse: its information block, configuration memory (current profile
// number and six 80-byte profile records at p x 96), key tables, macro and recoil memory, power
// status, and the command interpreter that answers the 64-byte command frames.
//
// Every reply echoes request bytes 3-6; byte 7 is the status (0 success, 0xFF refused); reads
// return their data from byte 8. A request that reaches beyond the addressed memory, carries more
// than 56 data bytes or has an unknown code is answered 0xFF and changes nothing.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "emulator/DeviceFirmware.h"

namespace q417::emu {

inline constexpr std::size_t kMaxFrameData = 56;

// Command codes the firmware answers.
namespace cmd {
inline constexpr uint8_t kBegin = 0x01;
inline constexpr uint8_t kEnd = 0x02;
inline constexpr uint8_t kReadInfo = 0x03;
inline constexpr uint8_t kReadMemory = 0x05;
inline constexpr uint8_t kWriteMemory = 0x06;
inline constexpr uint8_t kReadKeyTable = 0x07;
inline constexpr uint8_t kReadKeyTableBank = 0x08;
inline constexpr uint8_t kWriteKeyTable = 0x09;
inline constexpr uint8_t kReadPage = 0x0A;
inline constexpr uint8_t kWritePage = 0x0B;
inline constexpr uint8_t kStreamLight = 0x12;
inline constexpr uint8_t kWriteMacros = 0x15;
inline constexpr uint8_t kWriteRecoil = 0x17;
inline constexpr uint8_t kReadStatus = 0x1A;
inline constexpr uint8_t kReadKeyAttributes = 0x1B;
inline constexpr uint8_t kEnableLightControl = 0x1C;
inline constexpr uint8_t kWriteKeyTable2 = 0x27;
inline constexpr uint8_t kQueryLink = 0xAA;
}  // namespace cmd

// Sizes of the mouse's memories.
inline constexpr std::size_t kInfoBlockSize = 34;
inline constexpr uint8_t kMouseKeyCount = 11;
inline constexpr uint8_t kMacroMemoryUnits = 64;  // x 128 bytes = 8 KiB
inline constexpr std::size_t kMacroMemorySize = kMacroMemoryUnits * 128u;
inline constexpr std::size_t kProfileCount = 6;
inline constexpr std::size_t kProfileStride = 96;
inline constexpr std::size_t kProfileRecordSize = 80;
inline constexpr std::size_t kConfigMemorySize = kProfileCount * kProfileStride;
inline constexpr std::size_t kKeyTableBankSize = 512;
inline constexpr std::size_t kKeyAttributeSize = kKeyTableBankSize / 3;
inline constexpr std::size_t kPageMemorySize = 8 * 512;
inline constexpr std::size_t kLightStreamSize = 512;
inline constexpr std::size_t kRecoilMemorySize = 4096;
inline constexpr std::size_t kPowerStatusSize = 6;

// Sensor description carried by the information block.
inline constexpr uint16_t kSensorModel = 0x3395;
inline constexpr uint8_t kDpiStep = 50;
inline constexpr uint16_t kLowestDpi = 50;
inline constexpr uint16_t kHighestDpi = 26000;
inline constexpr uint16_t kFirmwareVersion = 0x0107;

// Profile record layout (offsets within an 80-byte record).
inline constexpr std::size_t kRecordPollingRate = 11;
inline constexpr std::size_t kRecordActiveStage = 12;
inline constexpr std::size_t kRecordFirstStage = 14;
inline constexpr std::size_t kDpiStageSize = 9;
inline constexpr std::size_t kDpiStageCount = 6;

// 0x3395 sensor encoding: stored = (dpi - lowest) / step.
constexpr uint16_t EncodeDpi(uint32_t dpi) {
    return dpi <= kLowestDpi ? 0 : static_cast<uint16_t>((dpi - kLowestDpi) / kDpiStep);
}
constexpr uint32_t DecodeDpi(uint16_t stored) {
    return stored * uint32_t{kDpiStep} + kLowestDpi;
}

// Names of the mouse's own buttons (PressButton).
inline constexpr std::string_view kMouseDpiButton = "dpi";
inline constexpr std::string_view kMouseProfileButton = "profile";

class MouseFirmware : public DeviceFirmware {
public:
    MouseFirmware();  // factory state

    std::string_view Kind() const override { return "mouse"; }
    uint8_t Execute(const Frame& request, Frame& reply) override;
    void FactoryReset() override;
    // "dpi": the next enabled stage of the current profile (0x11sp); "profile": the next
    // profile (0x10p). Both wrap round.
    std::vector<std::string> Buttons() const override;
    std::optional<uint16_t> PressButton(std::string_view button) override;

    std::span<uint8_t, kInfoBlockSize> Info() { return info_; }
    std::span<uint8_t, kConfigMemorySize> Memory() { return memory_; }
    std::span<uint8_t, kKeyTableBankSize> KeyTable() { return keyTable_; }
    std::span<uint8_t, kKeyTableBankSize> KeyTable2() { return keyTable2_; }
    std::span<uint8_t, kKeyAttributeSize> KeyAttributes() { return keyAttributes_; }
    std::span<uint8_t, kPageMemorySize> Pages() { return pages_; }
    std::span<uint8_t, kLightStreamSize> LightStream() { return lightStream_; }
    std::span<uint8_t, kMacroMemorySize> MacroMemory() { return macros_; }
    std::span<uint8_t, kRecoilMemorySize> RecoilMemory() { return recoil_; }
    std::span<uint8_t, kPowerStatusSize> PowerStatus() { return power_; }

    uint8_t CurrentProfile() const { return memory_[0]; }
    // Active DPI stage of the current profile's record; 0 when the profile number is out of range.
    uint8_t ActiveDpiStage() const;
    // What the mouse does when its profile button is pressed: stores p as the current profile.
    bool SelectProfile(uint8_t profile);
    bool SelectDpiStage(uint8_t stage);

    bool InTransaction() const { return inTransaction_; }
    bool LightControlEnabled() const { return lightControl_; }
    uint32_t TransactionsEnded() const { return transactionsEnded_; }

private:
    // Chunked read or write of [offset, offset + n) of one memory; false when out of range.
    static bool ReadArea(std::span<const uint8_t> area, const Frame& request, Frame& reply);
    static bool WriteArea(std::span<uint8_t> area, const Frame& request);

    std::array<uint8_t, kInfoBlockSize> info_{};
    std::array<uint8_t, kConfigMemorySize> memory_{};
    std::array<uint8_t, kKeyTableBankSize> keyTable_{};
    std::array<uint8_t, kKeyTableBankSize> keyTable2_{};
    std::array<uint8_t, kKeyAttributeSize> keyAttributes_{};
    std::array<uint8_t, kPageMemorySize> pages_{};
    std::array<uint8_t, kLightStreamSize> lightStream_{};
    std::array<uint8_t, kMacroMemorySize> macros_{};
    std::array<uint8_t, kRecoilMemorySize> recoil_{};
    std::array<uint8_t, kPowerStatusSize> power_{};
    bool inTransaction_ = false;
    bool lightControl_ = false;
    uint32_t transactionsEnded_ = 0;
};

}  // namespace q417::emu
