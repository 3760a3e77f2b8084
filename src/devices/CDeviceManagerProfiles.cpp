// The device manager's profile operations: the profile list of each device folder, and the
// switch and reset that rewrite a device's records from a profile.
#include <json/json.h>

#include "devices/CDeviceManager.h"
#include "platform/Folders.h"
#include "platform/Trace.h"

namespace q417 {

// --- Profiles ----------------------------------------------------------------------------------

CProfileList* CDeviceManager::ProfileListFor(int entry) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        return nullptr;
    }
    ProfileIdFor(entries_[static_cast<std::size_t>(entry)].name);
    return profileLists_[entries_[static_cast<std::size_t>(entry)].name].get();
}

std::string CDeviceManager::ProfileIdFor(const std::string& folderName) {
    auto& list = profileLists_[folderName];
    if (!list) {
        list = std::make_unique<CProfileList>();
        int kind = kDeviceKindMouse;
        for (const DeviceOptionRow& o : kDeviceOptionRows) {
            if (o.deviceName == folderName) {
                kind = o.kind;
                break;
            }
        }
        std::string data = options_.deviceOptions.defaultDataFolder.empty()
                               ? DefaultDataFolder()
                               : options_.deviceOptions.defaultDataFolder;
        list->SetKind(kind);
        list->SetFolders(WithTrailingSlash(DeviceFolder(folderName)),
                         WithTrailingSlash(data) + folderName + ".Json");
        ProfileListResult r = list->Initialise();
        if (r != ProfileListResult::Done) {
            Trace(std::string("profile list of ") + folderName + ": " + ProfileListResultText(r));
        }
    } else if (list->NeedsReload()) {
        list->Reload();
    }
    return list->GetCurrentId();
}

namespace {

ProfileApplyResult Refused(ProfileListResult why) {
    ProfileApplyResult r;
    r.listResult = static_cast<int>(why);
    return r;
}

}  // namespace

ProfileApplyResult CDeviceManager::FinishApply(ProfileApplyResult r) {
    if (r.macroResult == -1) {
        r.messageKey = "message_text_7";
    } else if (r.macroResult > 0) {
        r.messageKey = "message_text_16";
        r.messageNumber = r.macroResult;
    }
    return r;
}

void CDeviceManager::SwitchProfile(int entry, int index,
                                   std::function<void(ProfileApplyResult)> done) {
    CProfileList* list = ProfileListFor(entry);
    if (list == nullptr) {
        done(Refused(ProfileListResult::NoSelection));
        return;
    }
    ProfileListResult selected = list->Select(index);
    if (selected != ProfileListResult::Done) {
        done(Refused(selected));
        return;
    }
    const std::string id = list->GetCurrentId();
    const int width = options_.screenWidth;
    const int height = options_.screenHeight;
    const std::string folder = entries_[static_cast<std::size_t>(entry)].name;
    SubmitTo(
        entry,
        [id, width, height](CTavrenixUSBDevice& device) {
            ProfileApplyResult r;
            r.ran = true;
            device.SetProfileId(id);
            device.LoadFromProfile();
            device.RefreshKeyList();
            device.RefreshPanel();
            r.recordResult = device.WriteProfileRecord(0, 0, 1, width, height);
            r.macroResult = device.WriteMacros(device.CollectUsedMacros());
            if (r.macroResult == 0) {
                r.keyTableResult = device.WriteCurrentKeyTable(0);
            }
            return FinishApply(r);
        },
        [this, folder, entry, id, done](std::optional<ProfileApplyResult> r) {
            // The list is the folder's: the other devices of the folder take the new profile id
            // for their next load, but only the device that switched reloads, and only once.
            for (const SelectorEntry& e : entries_) {
                if (e.name == folder && e.index != entry) {
                    SubmitTo(
                        e.index,
                        [id](CTavrenixUSBDevice& device) {
                            device.SetProfileId(id);
                            return 0;
                        },
                        [](std::optional<int>) {});
                }
            }
            done(r.value_or(ProfileApplyResult{}));
        });
}

void CDeviceManager::ResetDevice(int entry, bool full,
                                 std::function<void(ProfileApplyResult)> done) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= entries_.size()) {
        done(Refused(ProfileListResult::NoSelection));
        return;
    }
    const int width = options_.screenWidth;
    const int height = options_.screenHeight;
    const int kind = entries_[static_cast<std::size_t>(entry)].kind;
    SubmitTo(
        entry,
        [full, width, height, kind](CTavrenixUSBDevice& device) {
            ProfileApplyResult r;
            r.ran = true;
            r.resetResult = static_cast<int>(device.ApplyProfile());
            if (r.resetResult != static_cast<int>(ResetResult::Done)) {
                r.messageKey = kMessageResetFailed;
                return r;
            }
            r.keyTableResult = device.WriteCurrentKeyTable(0);
            r.recordResult = device.WriteProfileRecord(0, 0, 1, width, height);
            if (full) {
                device.RefreshPanel();
                r.recordResult = device.WriteProfileRecord(0, 0, 1, width, height);
                if (kind == kDeviceKindKeyboard || kind == kDeviceKindMouse) {
                    r.macroResult = device.WriteMacros(device.CollectUsedMacros());
                    if (r.macroResult == 0) {
                        r.keyTableResult = device.WriteCurrentKeyTable(0);
                    }
                    device.RefreshPanel();
                }
            }
            return FinishApply(r);
        },
        [full, done](std::optional<ProfileApplyResult> r) {
            // The shell's colour presets go back to their defaults too, but only with a reset
            // that took place: a refused one leaves everything the user had.
            if (full && r && r->ran && r->resetResult == static_cast<int>(ResetResult::Done)) {
                std::string presets =
                    WithTrailingSlash(UserDataFolder()) + "color_option_info.config";
                std::remove(presets.c_str());
            }
            done(r.value_or(ProfileApplyResult{}));
        });
}

}  // namespace q417
