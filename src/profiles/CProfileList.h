#pragma once
// The profile list of one device kind: "ProfileList.ini" in the device folder (a JSON document
// despite its name) maps display names to profile identifiers, and identifier + ".Json" is the
// profile document. The file is the authority: every operation reads it afresh under a per-folder
// lock, changes it and writes it back atomically. Entries are addressed by identifier, so an index
// that went stale because another device of the same kind changed the list never hits the wrong
// profile.
//
// No UI here: the device page is a view over this class and turns the results into messages.
#include <json/json.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace q417 {

inline constexpr int kMaxProfiles = 50;
inline constexpr const char* kProfileListFileName = "ProfileList.ini";

enum class ProfileListResult {
    Done = 0,
    ListFull,           // 50 entries: add, copy and import do nothing (silent)
    LastEntry,          // one entry left: delete does nothing (silent)
    NoSelection,        // nothing selected, or the index/identifier is not in the list (silent)
    NameBlank,          // rename to white space only: "message_text_25"
    NameTaken,          // rename to another entry's name, any letter case: "message_text_5"
    ListUnreadable,     // the list file exists but cannot be read; it is kept, nothing written
    ImportFileInvalid,  // not a JSON object with "profilename" and "profileUUID" (ignored silently)
    TemplateUnreadable,  // reset needs the template and it cannot be read; the profile is kept
    DocumentUnreadable,  // export: the profile document is missing or cannot be read
    WriteFailed,         // a file could not be written; the old file is kept
    NotInitialised,      // SetFolders was not called
};

// A short English description of a result (for logs and q417ctl).
const char* ProfileListResultText(ProfileListResult result);

struct ProfileListEntry {
    std::string name;  // display name, UTF-8
    std::string id;    // profile identifier; a bare file name
};

// One object is used from one thread at a time; objects on different threads may share a folder.
class CProfileList {
public:
    CProfileList();
    ~CProfileList();
    CProfileList(const CProfileList&) = delete;
    CProfileList& operator=(const CProfileList&) = delete;

    // Device kind (1/9 keyboard, 2/6 mouse, 3 mouse pad, 7 headset); reset keeps a headset's own
    // equaliser presets.
    void SetKind(int kind);
    int Kind() const { return kind_; }
    // deviceFolder ends with '/'; templatePath is the kind's profile template.
    void SetFolders(std::string deviceFolder, std::string templatePath);

    // Reads the list, starting a new one with "Profile1" (a copy of the template) when the file is
    // missing, empty or has no entries. An unreadable list file is first kept aside. A selection
    // outside the list selects entry 0 and the file is rewritten.
    ProfileListResult Initialise();
    // Reads the list again (after another device changed it). On failure the last copy stays.
    ProfileListResult Reload();

    // Selects an entry and records it in the list file ("profileselect").
    ProfileListResult Select(int index);
    ProfileListResult SelectId(std::string_view id);

    // The operations below act on the selected profile, or on the one named by id. newId (when
    // given) receives the identifier of the profile made.
    ProfileListResult AddProfile(std::string* newId = nullptr);
    ProfileListResult DeleteProfile();
    ProfileListResult DeleteProfile(std::string_view id);
    ProfileListResult CopyProfile(std::string* newId = nullptr);
    ProfileListResult CopyProfile(std::string_view id, std::string* newId);
    ProfileListResult ImportProfile(const std::string& path, std::string* newId = nullptr);
    ProfileListResult ExportProfile(const std::string& path);
    ProfileListResult ExportProfile(std::string_view id, const std::string& path);
    ProfileListResult ResetProfileFile();
    ProfileListResult ResetProfileFile(std::string_view id);
    // The name is stored as typed (not trimmed).
    ProfileListResult RenameProfile(std::string_view name);
    ProfileListResult RenameProfile(std::string_view id, std::string_view name);

    // The last copy of the list read or written by this object.
    const std::vector<ProfileListEntry>& Entries() const { return entries_; }
    int GetCount() const { return static_cast<int>(entries_.size()); }
    int GetCurSel() const { return selected_; }  // -1 before Initialise
    const std::string& GetCurrentId() const { return currentId_; }
    int IndexOfId(std::string_view id) const;    // -1 when absent
    std::string ProfilePathAt(int index) const;  // empty when out of range
    std::string CurrentProfilePath() const;      // the selected document; empty when none
    std::string ListFilePath() const;
    const std::string& DeviceFolderPath() const { return deviceFolder_; }
    const std::string& TemplatePath() const { return templatePath_; }
    // Where the last Initialise put an unreadable list file before starting anew; empty otherwise.
    const std::string& KeptAsidePath() const { return keptAside_; }
    // Where the old list file was copied before the last write that left unusable entries out of
    // it; empty when no write of this object did.
    const std::string& PrunedCopyPath() const { return prunedCopy_; }

    // Change tracking for objects that share one device folder: every successful write by any
    // CProfileList of this process bumps the folder's version. NeedsReload says another object
    // wrote since this one last read or wrote; Version is the folder version this object has seen.
    std::uint64_t Version() const { return seenVersion_; }
    bool NeedsReload() const;

    // The rename result in the device page's form: 1 done, 0 name taken, 2 blank, -1 otherwise.
    static int RenameResultCode(ProfileListResult result);

    // True when name is nothing but white space (or empty).
    static bool IsBlank(std::string_view name);
    // Equality without regard to letter case (Unicode simple case folding where the C library
    // knows it, ASCII otherwise).
    static bool SameName(std::string_view a, std::string_view b);

    struct FolderState;

private:
    struct ListFile;

    ProfileListResult ReadLocked(ListFile& list) const;
    ProfileListResult OpenLocked(ListFile& list);
    ProfileListResult SelectLocked(ListFile& list, int index);
    ProfileListResult WriteLocked(ListFile& list);
    ProfileListResult CreateFirstProfileLocked(ListFile& list);
    ProfileListResult AppendLocked(ListFile& list, std::string name, Json::Value document,
                                   std::string* newId);
    void TakeLocked(const ListFile& list);
    bool NameInUse(const ListFile& list, std::string_view name, int except = -1) const;
    std::string NewIdLocked(const ListFile& list) const;
    std::string TargetId(std::string_view id) const;
    Json::Value TemplateDocument() const;

    int kind_ = 0;
    std::string deviceFolder_;
    std::string templatePath_;
    std::shared_ptr<FolderState> folder_;
    std::vector<ProfileListEntry> entries_;
    int selected_ = -1;
    std::string currentId_;
    std::string keptAside_;
    std::string prunedCopy_;
    std::uint64_t seenVersion_ = 0;
    std::uint64_t seenFileInode_ = 0;  // the list file as last read or written
    std::int64_t seenFileMtimeNs_ = 0;
};

}  // namespace q417
