#pragma once
// The mouse, by cable (0x7101) or through a receiver (0x7102, 0x7103). Its on-device memory holds
// the current profile number at offset 0 and one 80-byte record per profile at p × 96; this class
// reads and writes them, keeps the profile document in step, and runs the mouse's light effects.
// Every operation runs on the device's command thread.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices/CTavrenixUSBDevice.h"
#include "devices/DpiEncoding.h"
#include "devices/MouseRecord.h"
#include "input/KeyTableWrite.h"
#include "input/MacroLibrary.h"
#include "input/RecoilGuns.h"
#include "profiles/CMouseProfiledata.h"

namespace q417 {

inline constexpr std::size_t kMouseLedCount = 15;
inline constexpr int kMouseKeyButtonCount = 11;
inline constexpr std::uint16_t kMouseVendorId = 0x4A1D;
inline constexpr std::uint16_t kMouseCableProduct = 0x7101;
inline constexpr std::uint16_t kMouseReceiverProduct = 0x7102;
inline constexpr std::uint16_t kMouseHighRateReceiverProduct = 0x7103;
// Firmware versions below this get the "update your firmware" notice.
inline constexpr std::uint16_t kCurrentFirmwareVersion = 0x0100;

class CTavrenixMouseDevice : public CTavrenixUSBDevice {
public:
    explicit CTavrenixMouseDevice(std::string name, DeviceOptions options = {});
    ~CTavrenixMouseDevice() override;

    int LoadLightSettings() override;
    int Synchronise() override;
    int ReloadFromDevice() override;
    int UpdatePowerStatus() override;
    int CheckLink() override;
    int LoadFromProfile() override;
    // Resets the current profile to the template, saves and shows it. A template that cannot be
    // used changes nothing (the result says why).
    ResetResult ApplyProfile() override;
    // Returns 1 when the record was written; otherwise 0 (closed channel, link down) or the
    // first failing command's result.
    int WriteProfileRecord(int profileIndex, int profileByte, int flag, int screenWidth,
                           int screenHeight) override;
    void SetProfilePaths() override;
    std::string GetProfileLabel() override;
    void SaveProfile() override;
    void SetDeviceIndex(int n) override;
    void SetLightSettings(const LightState& light) override;
    DeviceSnapshot MakeSnapshot() override;
    void ReloadNameLists() override;
    void RefreshKeyList() override;

    // Keys, macros and recoil. The key table goes to profile index 0 only.
    std::vector<int> CollectUsedMacros() override;
    int WriteKeyTable(int profileIndex, std::vector<KeyAssignmentEntry> entries) override;
    int WriteCurrentKeyTable(int profileIndex) override;
    // 0 written, -1 no device, -2 cut by the device's stop, n > 0 the block is too large (see
    // WriteMacros in input). The key table and recoil writes give kResultCut when cut.
    int WriteMacros(const std::vector<int>& usedMacros) override;
    // The four guns' working files to the device's recoil memory: 1 written, else the failure.
    int WriteRecoil();
    // Stores entry as key `key`'s assignment in the entries and the profile file.
    std::optional<SaveResult> StoreKeyAssignment(std::size_t key, const KeyAssignmentEntry& entry);
    CMacroLibrary& Macros() { return macros_; }
    RecoilGuns& Recoil() { return recoil_; }
    const KeyTableLayout& KeyLayout() const { return keyLayout_; }

    // Reads the information block and the key tables (part of Synchronise). 1 on success.
    int SyncFromDevice();
    // Reads the current profile number and its record; 1 on success, and nothing changes on
    // failure (a profile number outside 0-15 counts as a failed read).
    int ReadProfileRecord(int* profileNumber = nullptr);
    DpiRule CurrentDpiRule() const { return DpiRule::FromInfoBlock(InfoBlock()); }

    // Edits as the page makes them: the profile changes, is saved, and the record is written.
    // Each returns the write's result, or kResultBadArgument (nothing changed) for a bad value.
    int EditStageDpi(int stage, int dpi);
    int EditStageEnabled(int stage, bool on);
    int EditActiveStage(int stage);
    int EditStageColour(int stage, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    // Polling-rate code 0-5; through the receiver 0x7103 it goes to that receiver's own setting.
    int EditPollingRate(int code);
    // Any other half of the settings record (lift-off, calibration, stored-only settings).
    int EditSetting(std::size_t offset, std::uint16_t value);

    // The record back to the slot it was read from (byte 0 as read).
    int WriteCurrentRecord();
    // A record or key table that did not reach the mouse is written at the next successful
    // synchronisation, reload or link check, before the record is read back.
    bool RecordPending() const { return recordPending_; }
    bool KeysPending() const { return keysPending_; }
    // The macros the keys use and the key table must go to the mouse (macro codes renumbered).
    void MarkKeysPending();
    // Writes what is pending; 1 when nothing is left (or nothing was pending).
    int FlushPendingWrites();
    // The used macros, then the key table: 1 written, else the failure; kResultBadArgument when
    // the macros do not fit (excessEvents: how many events are too many).
    int WriteKeysAndMacros(int* excessEvents = nullptr);
    // The slot the last record was read from (or written to).
    int RecordSlot() const { return recordSlot_; }

    CMouseProfiledata& Profile() { return profile_; }
    const MouseRecord& LastRecord() const { return lastRecord_; }
    int CurrentProfile() const { return currentProfile_; }
    const std::array<std::uint8_t, 512>& KeyTable() const { return keyTable_; }
    const std::vector<KeyAssignmentEntry>& KeyEntries() const { return keyEntries_; }
    bool OnHighRateReceiver();
    // False after a save that failed (the old file was kept).
    bool LastSaveSucceeded() const { return lastSave_ != SaveResult::Failed; }

protected:
    int LightStepPeriod(int effect, int speed) const override;
    bool RunLightStep(CLightEngine& engine, int effect, std::uint32_t nowMs) override;
    bool HasLightStep(int effect) const override;
    bool LightStepRepeatsItself(int effect) const override;
    void HandleProfileNotification(std::uint16_t code) override;

private:
    bool LinkAnswers();
    // The button → key-table place map, from the table last read and the buttons' codes.
    void RebuildKeyLayout();
    void SendFirmwareNotice();
    // True once an information block was read (the DPI rule is the sensor's).
    bool DpiRuleKnown() const;
    // Template stages (plain DPI) to stored values with this mouse's rule; true when converted.
    bool ConvertTemplateStages();
    // Takes the profile element's keys, lights, stages and settings into the device state.
    void TakeProfileElement();
    // Stores a changed stage list or settings record, saves, writes the record, refreshes.
    int CommitEdit();
    // Before an edit: the record of the slot the mouse is on must be known. False when it had
    // to be read and could not be.
    bool PrepareEdit();
    // The profile document, then the mouse's current record over it (Synchronise, reload).
    int ReloadRecordOverProfile();
    // Builds the record and writes it to slot profileIndex; a failure is kept as pending.
    int WriteRecordTo(int profileIndex, int profileByte, bool followsMouse);

    CMouseProfiledata profile_;
    MouseRecord lastRecord_;
    int currentProfile_ = 0;
    int recordSlot_ = 0;          // where lastRecord_ was read from
    bool recordStale_ = false;    // the mouse moved to another slot we could not read yet
    bool recordRead_ = false;     // lastRecord_ came from this mouse
    bool recordPending_ = false;  // the last record write did not reach the mouse
    int pendingSlot_ = 0;
    std::optional<std::uint8_t> pendingByte0_;  // empty: slot 0's byte 0 follows the mouse
    bool keysPending_ = false;                  // macros and key table still to be written
    std::array<std::uint8_t, 512> keyTable_{};
    std::vector<KeyAssignmentEntry> keyEntries_;
    KeyTableLayout keyLayout_;
    bool keyTableRead_ = false;
    CMacroLibrary macros_;
    RecoilGuns recoil_;
    bool firmwareNoticeSent_ = false;
    SaveResult lastSave_ = SaveResult::Written;
};

}  // namespace q417
