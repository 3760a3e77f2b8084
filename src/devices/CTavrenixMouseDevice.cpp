#include "devices/CTavrenixMouseDevice.h"

#include <algorithm>

#include "input/KeyAssignmentApply.h"
#include "input/MacroBlock.h"
#include "input/MacroRenumber.h"
#include "input/RecoilBlock.h"
#include "lighting/MouseLightModes.h"
#include "platform/Folders.h"
#include "platform/Trace.h"
#include "transport/CommandResult.h"
#include "transport/Commands.h"
#include "transport/GuardedWrite.h"

namespace q417 {

namespace {

constexpr int kMaxLightLevel = 4;
constexpr int kMaxLightSpeed = 4;

DeviceOptions MouseOptions(DeviceOptions options) {
    options.ledCount = kMouseLedCount;
    return options;
}

std::uint8_t ClampByte(int v, int hi) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, hi));
}

}  // namespace

CTavrenixMouseDevice::CTavrenixMouseDevice(std::string name, DeviceOptions options)
    : CTavrenixUSBDevice(kDeviceKindMouse, std::move(name), MouseOptions(options)) {
    std::string folder =
        options.defaultDataFolder.empty() ? DefaultDataFolder() : options.defaultDataFolder;
    profile_.SetTemplatePath(WithTrailingSlash(folder) + "mouse.Json");
    SetLightConfigName("zyrel_light");
    keyLayout_.kind = KeyTableKind::Mouse;
    recoil_.SetTemplateFolder(WithTrailingSlash(folder));
}

CTavrenixMouseDevice::~CTavrenixMouseDevice() {
    Shutdown();
}

bool CTavrenixMouseDevice::LinkAnswers() {
    return !IsWireless() || CmdQueryLink(CommandChannel());
}

bool CTavrenixMouseDevice::OnHighRateReceiver() {
    return IsWireless() &&
           CommandChannel().InterfaceB().Attributes().productId == kMouseHighRateReceiverProduct;
}

// --- Profile ----------------------------------------------------------------------------------

void CTavrenixMouseDevice::SetProfilePaths() {
    std::string folder = WithTrailingSlash(DeviceFolderPath());
    if (macros_.Folder() != folder) {
        macros_.SetFolder(folder, kDeviceKindMouse);
        recoil_.SetDeviceFolder(folder);
    }
    if (!ProfileId().empty()) {
        profile_.SetProfilePath(folder + ProfileId() + ".Json");
    }
    profile_.SetLightConfigPath(folder + LightConfigName() + ".config");
}

std::string CTavrenixMouseDevice::GetProfileLabel() {
    return profile_.GetProfilePath();
}

void CTavrenixMouseDevice::SaveProfile() {
    lastSave_ = profile_.Save();
}

void CTavrenixMouseDevice::SetDeviceIndex(int n) {
    if (profile_.SetDeviceIndex(n)) {
        CTavrenixUSBDevice::SetDeviceIndex(n);
    }
}

void CTavrenixMouseDevice::SetLightSettings(const LightState& light) {
    CTavrenixUSBDevice::SetLightSettings(light);
    LightInfo info = profile_.CurrentLightInfo();
    info.mode = light.effect;
    info.brightness = light.brightness;
    info.speed = light.speed;
    info.direction = light.direction;
    info.multiColor = light.multiColour;
    info.red = light.red;
    info.green = light.green;
    info.blue = light.blue;
    profile_.SetLightInfo(info);
}

int CTavrenixMouseDevice::LoadLightSettings() {
    ReloadNameLists();
    // User effects follow the built-in ones in the effect list.
    profile_.SetBuiltinEffectCount(static_cast<int>(LightLists().codes.size()));
    LightInfo info = profile_.GetLightInfo();
    CTavrenixUSBDevice::SetLightSettings(LightState{info.mode, info.brightness, info.speed,
                                                    info.direction, info.multiColor, info.red,
                                                    info.green, info.blue});
    profile_.LoadLightConfig(profile_.GetLightConfigPath());
    SetUserEffect(profile_.GetCustomLightEffects());
    return 1;
}

int CTavrenixMouseDevice::LoadFromProfile() {
    SetProfilePaths();
    if (profile_.GetProfilePath().empty()) {
        return 0;
    }
    profile_.LoadProfile(profile_.GetProfilePath());
    keyEntries_ = profile_.GetKeyList();
    RebuildKeyLayout();
    LoadLightSettings();
    profile_.GetDpiStages();
    // A profile made from the template (new, reset without a mouse, rebuilt) still holds the
    // template's plain DPI values: stored values from now on, in the file too.
    if (ConvertTemplateStages()) {
        SaveProfile();
    }
    profile_.GetSystemStages();
    return 1;
}

void CTavrenixMouseDevice::TakeProfileElement() {
    keyEntries_ = profile_.GetKeyList();
    LoadLightSettings();
    profile_.GetDpiStages();
    ConvertTemplateStages();
    profile_.GetSystemStages();
}

ResetResult CTavrenixMouseDevice::ApplyProfile() {
    // Back to the template: its element replaces the current profile's and is saved there. The
    // template is only read; one that cannot be used leaves the profile as it was.
    SetProfilePaths();
    if (profile_.GetProfilePath().empty()) {
        return ResetResult::NoProfile;
    }
    ResetResult why = ResetResult::Done;
    std::optional<Json::Value> element = profile_.ReadTemplateElement(&why);
    if (!element) {
        return why;
    }
    // The template's stages are plain DPI (CMouseProfiledata): the mark makes sure they are
    // converted to this mouse's stored values, and each must be a DPI the mouse has.
    if (!CMouseProfiledata::StagesWithin(*element, kMinDpi, kMaxDpi)) {
        return ResetResult::TemplateDpiOutOfRange;
    }
    (*element)["DPIStages"][kStageUnitKey] = kStageUnitPlainDpi;
    Json::Value previous = profile_.Element();
    profile_.TakeElement(std::move(*element));
    TakeProfileElement();
    SaveProfile();
    if (lastSave_ == SaveResult::Failed) {
        profile_.TakeElement(std::move(previous));
        TakeProfileElement();
        RefreshPanel();
        return ResetResult::WriteFailed;
    }
    RefreshPanel();
    return ResetResult::Done;
}

bool CTavrenixMouseDevice::DpiRuleKnown() const {
    return InfoBlock().bytes != DeviceInfoBlock{}.bytes;
}

bool CTavrenixMouseDevice::ConvertTemplateStages() {
    // Before the information block names the sensor the stages stay marked as plain DPI; the
    // load after the next synchronisation converts them.
    if (!DpiRuleKnown()) {
        return false;
    }
    const DpiRule rule = CurrentDpiRule();
    return profile_.ConvertPlainDpiStages(
        [rule](int dpi) { return DpiToStored(rule, NormaliseDpi(dpi)); });
}

// --- Device traffic ---------------------------------------------------------------------------

void CTavrenixMouseDevice::SendFirmwareNotice() {
    CReportChannel& channel = CommandChannel();
    if (channel.InterfaceA().IsOpen()) {
        HidAttributes a = channel.InterfaceA().Attributes();
        if (a.vendorId == kMouseVendorId && a.productId == kMouseCableProduct &&
            a.versionNumber < kCurrentFirmwareVersion && !firmwareNoticeSent_) {
            firmwareNoticeSent_ = true;
            Notify(DeviceNotice::FirmwareOld, a.productId, a.versionNumber);
        }
    }
    if (IsWireless() && channel.InterfaceB().IsOpen()) {
        HidAttributes b = channel.InterfaceB().Attributes();
        if (b.vendorId == kMouseVendorId &&
            (b.productId == kMouseReceiverProduct ||
             b.productId == kMouseHighRateReceiverProduct) &&
            b.versionNumber < kCurrentFirmwareVersion) {
            Notify(DeviceNotice::FirmwareOld, b.productId, b.versionNumber);
        }
    }
}

int CTavrenixMouseDevice::SyncFromDevice() {
    SetProfilePaths();
    SendFirmwareNotice();
    CReportChannel& channel = CommandChannel();
    if (channel.IsOpen() == 0 || !LinkAnswers()) {
        return kResultNoReply;
    }
    CmdTransaction transaction(channel);
    if (!transaction.Begun()) {
        return transaction.Result();
    }
    std::array<std::uint8_t, kInfoBlockSize> raw{};
    int result = CmdReadInfo(channel, raw);
    if (result != kResultOk) {
        return result;
    }
    DeviceInfoBlock info = DeviceInfoBlock::FromBytes(raw);
    SetInfoBlock(info);
    if (!info.ApplyKeyTableSize(channel)) {
        return kResultBadArgument;
    }
    Notify(info.NotifyMode() != 0 ? DeviceNotice::InfoNotifyOn : DeviceNotice::InfoNotifyOff, 0, 0);
    std::array<std::uint8_t, 512> table{};
    result = CmdReadKeyTable(channel, table);
    if (result != kResultOk) {
        return result;
    }
    keyTable_ = table;
    keyTableRead_ = true;
    RebuildKeyLayout();
    std::array<std::uint8_t, 512> bank{};
    // The bank copy only feeds the profile; the synchronisation goes on without it.
    if (CmdReadKeyTableBank(channel, bank, 0) == kResultOk) {
        profile_.SetKeyTableBlock(bank);
    }
    return transaction.End();
}

int CTavrenixMouseDevice::ReadProfileRecord(int* profileNumber) {
    CReportChannel& channel = CommandChannel();
    channel.SetLightPaused(false);
    if (channel.IsOpen() == 0 || !LinkAnswers()) {
        return kResultNoReply;
    }
    // A change the mouse has not got yet goes out first; reading now would put the old values
    // back over it.
    if (int flushed = FlushPendingWrites(); flushed != kResultOk) {
        return flushed;
    }
    std::array<std::uint8_t, 1> current{};
    int result = CmdReadMemory(channel, current, 0);
    if (result != kResultOk) {
        return result;
    }
    const int p = current[0];
    if (p >= kMouseProfileSlots) {
        return kResultNoReply;
    }
    std::array<std::uint8_t, kMouseRecordSize> raw{};
    result = CmdReadMemory(channel, raw, static_cast<std::uint16_t>(p * kMouseRecordStride));
    if (result != kResultOk) {
        return result;
    }
    if (profileNumber != nullptr) {
        *profileNumber = p;
    }
    currentProfile_ = p;
    recordSlot_ = p;
    recordStale_ = false;
    recordRead_ = true;
    lastRecord_ = MouseRecord::FromBytes(raw);
    lastRecord_.bytes[MouseRecord::kLightSpare] = 0;

    // Light: the effect follows the record only when its code is one of ours.
    MouseRecordLight rl = lastRecord_.Light();
    LightState light = GetLightSettings();
    if (auto index = EffectIndex(LightLists(), rl.effectCode)) {
        light.effect = static_cast<std::uint8_t>(*index);
    }
    light.brightness = ClampByte(rl.brightness, kMaxLightLevel);
    light.speed = static_cast<std::uint8_t>(kMaxLightSpeed - ClampByte(rl.deviceSpeed, 4));
    light.multiColour = rl.multiColour;
    light.red = rl.red;
    light.green = rl.green;
    light.blue = rl.blue;
    SetLightSettings(light);

    MouseSystemStages settings = profile_.SystemStages();
    settings.SetHalf(MouseSystemStages::kReportSelectUsb, lastRecord_.PollingRate());
    settings.SetHalf(MouseSystemStages::kSilentAltitude, lastRecord_.LiftOff());
    settings.SetHalf(MouseSystemStages::kLinearCalibration, lastRecord_.LinearCalibration());
    profile_.SetSystemStages(settings);

    std::vector<DpiStage> stages;
    for (int s = 0; s < kMouseStageCount; ++s) {
        stages.push_back(lastRecord_.Stage(s));
    }
    profile_.SetDpiStages(stages);
    if (lastRecord_.ActiveStage() < kMouseStageCount) {
        profile_.SetActiveDpiStage(lastRecord_.ActiveStage());
    }
    return kResultOk;
}

int CTavrenixMouseDevice::WriteProfileRecord(int profileIndex, int profileByte, int /*flag*/,
                                             int /*screenWidth*/, int /*screenHeight*/) {
    return WriteRecordTo(profileIndex, profileByte, false);
}

int CTavrenixMouseDevice::WriteRecordTo(int profileIndex, int profileByte, bool followsMouse) {
    if (profileIndex < 0 || profileIndex >= kMouseProfileSlots) {
        return kResultBadArgument;
    }
    MouseRecord record = lastRecord_;
    record.SetProfileByte(static_cast<std::uint8_t>(profileByte));

    const LightInfo& info = profile_.CurrentLightInfo();
    MouseRecordLight light = record.Light();
    if (auto code = EffectCode(LightLists(), info.mode, EffectRange::Mouse)) {
        light.effectCode = *code;
    }
    light.brightness = info.brightness;
    light.deviceSpeed = static_cast<std::uint8_t>(kMaxLightSpeed - ClampByte(info.speed, 4));
    light.direction = info.direction;
    light.multiColour = info.multiColor;
    light.red = info.red;
    light.green = info.green;
    light.blue = info.blue;
    record.SetLight(light);

    const MouseSystemStages& settings = profile_.SystemStages();
    record.SetPollingRate(
        static_cast<std::uint8_t>(settings.Half(MouseSystemStages::kReportSelectUsb)));
    record.SetActiveStage(static_cast<std::uint8_t>(profile_.GetActiveDpiStage()));
    const std::vector<DpiStage>& stages = profile_.DpiStages();
    for (std::size_t s = 0; s < stages.size() && s < kMouseStageCount; ++s) {
        record.SetStage(static_cast<int>(s), StageInRange(CurrentDpiRule(), stages[s]));
    }
    record.SetLinearCalibration(
        static_cast<std::uint8_t>(settings.Half(MouseSystemStages::kLinearCalibration)));
    record.SetLiftOff(static_cast<std::uint8_t>(settings.Half(MouseSystemStages::kSilentAltitude)));

    GuardedWrite write(CommandChannel(), IsWireless());
    write.Step([&] {
        return CmdWriteMemory(CommandChannel(), record.bytes,
                              static_cast<std::uint16_t>(profileIndex * kMouseRecordStride));
    });
    const int result = write.End();
    if (result == kResultOk) {
        // What the slot now holds; slot 0's byte 0 also made it the mouse's current profile.
        lastRecord_ = record;
        recordSlot_ = profileIndex;
        if (profileIndex == 0) {
            currentProfile_ = profileByte;
            recordStale_ = recordStale_ && profileByte != 0;
        }
        recordPending_ = false;
    } else {
        // Kept for the next time the mouse answers: where it goes, and whether byte 0 is ours
        // (a profile switch sends the mouse to slot 0) or follows the mouse (an edit).
        if (!recordRead_) {
            // Without a record read from this mouse there is nothing safe to build a later
            // write on; the mouse's own record is read when it is reached.
            return result;
        }
        const bool keepByte0 = followsMouse && recordPending_ && pendingSlot_ == profileIndex;
        recordPending_ = true;
        pendingSlot_ = profileIndex;
        if (!followsMouse) {
            pendingByte0_ = static_cast<std::uint8_t>(profileByte);
            // The page now stands for that slot (a switch puts the host profile in slot 0), so
            // later edits join this write instead of going elsewhere.
            recordSlot_ = profileIndex;
        } else if (!keepByte0) {
            pendingByte0_.reset();
        }
    }
    return result;
}

int CTavrenixMouseDevice::WriteCurrentRecord() {
    // The slot the record was read from, with its byte 0 as read: slot 0 keeps the current
    // profile number there, any other slot its own copy.
    return WriteRecordTo(recordSlot_, lastRecord_.bytes[0], true);
}

int CTavrenixMouseDevice::FlushPendingWrites() {
    if (!recordPending_ && !keysPending_) {
        return kResultOk;
    }
    int result = kResultOk;
    if (recordPending_) {
        CReportChannel& channel = CommandChannel();
        if (channel.IsOpen() == 0 || !LinkAnswers()) {
            return kResultNoReply;
        }
        // The mouse may have moved to another profile meanwhile: the change still belongs to
        // the slot it was made on, and slot 0's byte 0 keeps the profile the mouse is on now.
        std::array<std::uint8_t, 1> current{};
        result = CmdReadMemory(channel, current, 0);
        if (result != kResultOk) {
            return result;
        }
        Trace("mouse: writing the profile record the mouse did not get");
        const std::uint8_t byte0 = pendingByte0_       ? *pendingByte0_
                                   : pendingSlot_ == 0 ? current[0]
                                                       : lastRecord_.bytes[0];
        result = WriteRecordTo(pendingSlot_, byte0, !pendingByte0_.has_value());
    }
    if (keysPending_ && result == kResultOk) {
        // Only the record stands between the mouse and the values read back; keys that still do
        // not go out stay pending without holding up the read.
        Trace("mouse: writing the macros and key table the mouse did not get");
        WriteKeysAndMacros();
    }
    return result;
}

int CTavrenixMouseDevice::WriteKeysAndMacros(int* excessEvents) {
    const int macros = WriteMacros(CollectUsedMacros());
    if (excessEvents != nullptr) {
        *excessEvents = std::max(macros, 0);
    }
    if (macros > 0) {
        // The macros do not fit: no later attempt can do better; the caller tells the user.
        keysPending_ = false;
        return kResultBadArgument;
    }
    const int result = macros == 0 ? WriteCurrentKeyTable(0) : kResultNoReply;
    keysPending_ = result != kResultOk;
    return result;
}

void CTavrenixMouseDevice::MarkKeysPending() {
    keysPending_ = true;
}

int CTavrenixMouseDevice::Synchronise() {
    int result = SyncFromDevice();
    int read = ReloadRecordOverProfile();
    RefreshPanel();
    StartLightWorker();
    return result != kResultOk ? result : read;
}

int CTavrenixMouseDevice::ReloadFromDevice() {
    int result = ReloadRecordOverProfile();
    RefreshPanel();
    return result;
}

int CTavrenixMouseDevice::ReloadRecordOverProfile() {
    // The stage list the page shows belongs to the record of recordSlot_ (with any change still
    // to be written), while the document holds what was saved last, maybe from another slot.
    // Where the record is not read over it (the mouse does not answer) or a pending change is
    // written first, the page's list stays: else an edit would send one slot's stages to another.
    std::optional<std::pair<std::vector<DpiStage>, int>> shown;
    if (recordRead_) {
        shown.emplace(profile_.DpiStages(), profile_.GetActiveDpiStage());
    }
    LoadFromProfile();
    auto restore = [&] {
        if (shown) {
            profile_.SetDpiStages(shown->first);
            profile_.SetActiveDpiStage(shown->second);
        }
    };
    if (recordPending_) {
        restore();
    }
    const int read = ReadProfileRecord();
    if (read != kResultOk) {
        restore();
    }
    return read;
}

int CTavrenixMouseDevice::UpdatePowerStatus() {
    if (CommandChannel().IsOpen() == 0 || !LinkAnswers()) {
        return 0;
    }
    std::array<std::uint8_t, 6> status{};
    status[3] = IsWireless() ? 1 : 0;
    SetPowerStatus(status);
    Notify(DeviceNotice::PowerStatus, status[4], 0);
    RefreshPanel();
    return 1;
}

int CTavrenixMouseDevice::CheckLink() {
    if (!CmdQueryLink(CommandChannel())) {
        return 0;
    }
    if (recordPending_ || keysPending_) {
        // The mouse is back: what it missed while away goes out now (the read writes it first).
        ReadProfileRecord();
        RefreshPanel();
    }
    return 1;
}

void CTavrenixMouseDevice::HandleProfileNotification(std::uint16_t code) {
    const int high = code >> 8;
    if (high != 0x10 && high != 0x11) {
        return;
    }
    // The mouse changed its own profile or stage: the record of the slot it is on now is read,
    // so that the page shows it and later edits go to that slot (a pending change goes first).
    if (ReadProfileRecord() == kResultOk) {
        RefreshPanel();
        return;
    }
    // Unreadable now: take what the code says when it makes sense, and read the record before
    // the next edit is written (a record of another slot must not be written over this one).
    const int profile = code & 0x0F;
    if (profile >= kMouseProfileSlots) {
        Trace("mouse: notification names profile " + std::to_string(profile) + ", ignored");
        return;
    }
    if (profile != recordSlot_) {
        recordStale_ = true;
    }
    currentProfile_ = profile;
    if (high == 0x11) {
        // The stage field has four bits; only six stages exist.
        const int stage = (code >> 4) & 0x0F;
        if (stage < kMouseStageCount) {
            lastRecord_.SetActiveStage(static_cast<std::uint8_t>(stage));
            profile_.SetActiveDpiStage(stage);
        } else {
            Trace("mouse: notification names stage " + std::to_string(stage) + ", ignored");
        }
    }
    RefreshPanel();
}

// --- Edits ------------------------------------------------------------------------------------

bool CTavrenixMouseDevice::PrepareEdit() {
    if (!recordRead_) {
        // Nothing was read from this mouse yet (its synchronisation has not run or failed): a
        // record built now would carry an unloaded profile's empty stages, in units of no known
        // DPI rule, into its memory. The synchronisation runs first.
        return Synchronise() == kResultOk;
    }
    if (!recordStale_) {
        return true;
    }
    // The mouse moved to another slot while it could not be read: read that slot first, or the
    // edit would write the old slot's record over it.
    return ReadProfileRecord() == kResultOk;
}

int CTavrenixMouseDevice::CommitEdit() {
    SaveProfile();
    int result = WriteCurrentRecord();
    RefreshPanel();
    return result;
}

int CTavrenixMouseDevice::EditStageDpi(int stage, int dpi) {
    if (!PrepareEdit()) {
        return kResultNoReply;
    }
    if (stage < 0 || stage >= kMouseStageCount) {
        return kResultBadArgument;
    }
    std::vector<DpiStage> stages = profile_.DpiStages();
    if (stages.size() < static_cast<std::size_t>(stage) + 1) {
        stages.resize(static_cast<std::size_t>(stage) + 1);
    }
    stages[static_cast<std::size_t>(stage)].dpiX = DpiToStored(CurrentDpiRule(), NormaliseDpi(dpi));
    profile_.SetDpiStages(stages);
    return CommitEdit();
}

int CTavrenixMouseDevice::EditStageEnabled(int stage, bool on) {
    if (!PrepareEdit()) {
        return kResultNoReply;
    }
    std::vector<DpiStage> stages = profile_.DpiStages();
    if (stage < 0 || static_cast<std::size_t>(stage) >= stages.size() ||
        stage >= kMouseStageCount) {
        return kResultBadArgument;
    }
    if (!on) {
        // The last active stage cannot be switched off, nor the stage in use.
        auto enabled = std::count_if(stages.begin(), stages.end(),
                                     [](const DpiStage& s) { return s.active != 0; });
        if (stage == profile_.GetActiveDpiStage() ||
            (enabled <= 1 && stages[static_cast<std::size_t>(stage)].active != 0)) {
            return kResultBadArgument;
        }
    }
    stages[static_cast<std::size_t>(stage)].active = on ? 1 : 0;
    profile_.SetDpiStages(stages);
    return CommitEdit();
}

int CTavrenixMouseDevice::EditActiveStage(int stage) {
    if (!PrepareEdit()) {
        return kResultNoReply;
    }
    const std::vector<DpiStage>& stages = profile_.DpiStages();
    if (stage < 0 || static_cast<std::size_t>(stage) >= stages.size() ||
        stage >= kMouseStageCount || stages[static_cast<std::size_t>(stage)].active == 0) {
        return kResultBadArgument;
    }
    profile_.SetActiveDpiStage(stage);
    return CommitEdit();
}

int CTavrenixMouseDevice::EditStageColour(int stage, std::uint8_t red, std::uint8_t green,
                                          std::uint8_t blue) {
    if (!PrepareEdit()) {
        return kResultNoReply;
    }
    std::vector<DpiStage> stages = profile_.DpiStages();
    if (stage < 0 || static_cast<std::size_t>(stage) >= stages.size() ||
        stage >= kMouseStageCount) {
        return kResultBadArgument;
    }
    DpiStage& s = stages[static_cast<std::size_t>(stage)];
    s.red = red;
    s.green = green;
    s.blue = blue;
    profile_.SetDpiStages(stages);
    return CommitEdit();
}

int CTavrenixMouseDevice::EditPollingRate(int code) {
    if (code < 0 || code >= kPollingOptionCount) {
        return kResultBadArgument;
    }
    const std::size_t half = OnHighRateReceiver() ? MouseSystemStages::kReportSelect24K
                                                  : MouseSystemStages::kReportSelectUsb;
    return EditSetting(half, static_cast<std::uint16_t>(code));
}

int CTavrenixMouseDevice::EditSetting(std::size_t offset, std::uint16_t value) {
    if (offset % 2 != 0 || offset > MouseSystemStages::kReportSelect24K) {
        return kResultBadArgument;
    }
    if (!PrepareEdit()) {
        return kResultNoReply;
    }
    MouseSystemStages settings = profile_.SystemStages();
    settings.SetHalf(offset, value);
    profile_.SetSystemStages(settings);
    return CommitEdit();
}

// --- Keys, macros, recoil ---------------------------------------------------------------------

void CTavrenixMouseDevice::RebuildKeyLayout() {
    if (!keyTableRead_) {
        return;
    }
    const std::size_t n = std::min<std::size_t>(InfoBlock().KeyCount(), keyTable_.size() / 3);
    KeyTableLayout previous = keyLayout_;
    // Where each button sits in this mouse's table: found by its factory code.
    keyLayout_ = BuildKeyTableLayout(KeyTableKind::Mouse, keyTable_, n, MouseFactoryCodes());
    // A button that was given another function no longer shows its factory code, and would lose
    // its place for good (its next change silently never written). It keeps the place it had, or
    // takes the first free place holding the code it was given, in button order.
    std::vector<bool> taken(n, false);
    for (std::uint8_t p : keyLayout_.positions) {
        if (p < n) {
            taken[p] = true;
        }
    }
    // A macro goes out under its place in the macro block, not its library number.
    auto holds = [&](std::size_t p, const KeyAssignment& code) {
        return keyTable_[3 * p] == code.type &&
               (IsMacroCode(code) || keyTable_[3 * p + 1] == code.param1) &&
               keyTable_[3 * p + 2] == code.param2;
    };
    for (std::size_t k = 0; k < keyLayout_.positions.size() && k < keyEntries_.size(); ++k) {
        if (keyLayout_.PositionOf(k)) {
            continue;
        }
        const KeyAssignment& code = keyEntries_[k].current;
        std::optional<std::size_t> place;
        if (auto before = previous.PositionOf(k);
            before && *before < n && !taken[*before] && holds(*before, code)) {
            place = *before;
        }
        for (std::size_t p = 0; !place && p < n; ++p) {
            if (!taken[p] && holds(p, code)) {
                place = p;
            }
        }
        if (place) {
            keyLayout_.positions[k] = static_cast<std::uint8_t>(*place);
            taken[*place] = true;
        }
    }
    std::map<int, int> positions;
    for (std::size_t k = 0; k < keyLayout_.positions.size(); ++k) {
        positions[static_cast<int>(k)] = keyLayout_.positions[k];
    }
    StoreKeyMap(positions);
    profile_.SetKeyValueMap(std::move(positions));
}

void CTavrenixMouseDevice::ReloadNameLists() {
    CTavrenixUSBDevice::ReloadNameLists();
    SetProfilePaths();
    macros_.LoadLibrary();
}

void CTavrenixMouseDevice::RefreshKeyList() {
    RefreshPanel();
}

std::vector<int> CTavrenixMouseDevice::CollectUsedMacros() {
    SetProfilePaths();
    auto library = macros_.ReadLibrary();
    int count = library ? static_cast<int>(library->size()) : 0;
    return q417::CollectUsedMacros(keyEntries_, count, keyLayout_);
}

int CTavrenixMouseDevice::WriteKeyTable(int profileIndex, std::vector<KeyAssignmentEntry> entries) {
    if (profileIndex != 0) {
        return kResultBadArgument;
    }
    SetProfilePaths();
    auto library = macros_.ReadLibrary();
    int count = library ? static_cast<int>(library->size()) : 0;
    return q417::WriteKeyTable(CommandChannel(), IsWireless(), keyTable_, std::move(entries), count,
                               keyLayout_, TransferProgress(), StopToken());
}

int CTavrenixMouseDevice::WriteCurrentKeyTable(int profileIndex) {
    return WriteKeyTable(profileIndex, keyEntries_);
}

int CTavrenixMouseDevice::WriteMacros(const std::vector<int>& usedMacros) {
    SetProfilePaths();
    return q417::WriteMacros(CommandChannel(), IsWireless(), macros_, usedMacros,
                             TransferProgress(), StopToken());
}

int CTavrenixMouseDevice::WriteRecoil() {
    SetProfilePaths();
    recoil_.PrepareGuns();
    return q417::WriteRecoil(CommandChannel(), IsWireless(), recoil_.ReadAll(), TransferProgress(),
                             StopToken());
}

std::optional<SaveResult> CTavrenixMouseDevice::StoreKeyAssignment(
    std::size_t key, const KeyAssignmentEntry& entry) {
    auto result = StoreAssignment(keyEntries_, key, entry, profile_);
    if (result) {
        lastSave_ = *result;
        RefreshPanel();
    }
    return result;
}

// --- Snapshot and light -----------------------------------------------------------------------

DeviceSnapshot CTavrenixMouseDevice::MakeSnapshot() {
    DeviceSnapshot s;
    FillCommonSnapshot(s);
    MouseSnapshot m;
    m.currentProfile = currentProfile_;
    m.stages = profile_.DpiStages();
    m.activeStage = profile_.GetActiveDpiStage();
    m.settings = profile_.SystemStages();
    m.dpiRule = CurrentDpiRule();
    m.page = ComputeMousePage(
        MousePageInput{m.stages, m.activeStage, m.settings, m.dpiRule, OnHighRateReceiver()});
    m.keys = keyEntries_;
    m.macroNames = macros_.MacroNames();
    m.lastRecord = lastRecord_.bytes;
    m.recordSlot = recordSlot_;
    m.writePending = recordPending_ || keysPending_;
    s.mouse = std::move(m);
    return s;
}

int CTavrenixMouseDevice::LightStepPeriod(int effect, int speed) const {
    return MouseStepPeriod(effect, speed);
}

bool CTavrenixMouseDevice::RunLightStep(CLightEngine& engine, int effect, std::uint32_t nowMs) {
    return RunMouseLightStep(engine, effect, nowMs);
}

bool CTavrenixMouseDevice::LightStepRepeatsItself(int effect) const {
    return effect == kMouseStatic || effect == kMouseOff;
}

bool CTavrenixMouseDevice::HasLightStep(int effect) const {
    return (effect >= 0 && effect <= 8) || effect == 10;
}

}  // namespace q417
