#include "profiles/CProfileList.h"

#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/FileIo.h"
#include "platform/Trace.h"
#include "profiles/CJsonFile.h"

namespace q417 {

// One per device folder and process: serialises the read-change-write of the list file between
// the objects (and threads) that share the folder, and counts the writes.
struct CProfileList::FolderState {
    std::mutex mutex;
    std::atomic<std::uint64_t> version{0};
};

// The list file as read: the document itself (unknown members survive a write) and its usable
// entries in order.
struct CProfileList::ListFile {
    Json::Value root{Json::objectValue};
    std::vector<Json::Value> items;  // objects with a bare, unique "profileUUID"
    int select = 0;
    bool missing = false;   // no file, an empty file or no usable entry: start a new list
    bool repaired = false;  // entries dropped or the selection corrected: the file needs a write
    bool pruned = false;    // entries dropped: the file on disk holds more than `items`
};

namespace {

constexpr const char* kName = "profilename";
constexpr const char* kId = "profileUUID";
constexpr const char* kIsLink = "profileislink";
constexpr const char* kLinkName = "profilelinkmame";
constexpr const char* kList = "profilelist";
constexpr const char* kSelect = "profileselect";

std::shared_ptr<CProfileList::FolderState> FolderStateFor(const std::string& folder) {
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<CProfileList::FolderState>> registry;
    // One key per folder however it is spelt, existing yet or not.
    std::error_code ec;
    std::string key = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
    if (ec) {
        key = folder;
    }
    while (key.size() > 1 && key.back() == '/') {
        key.pop_back();
    }
    std::lock_guard lock(registryMutex);
    for (auto it = registry.begin(); it != registry.end();) {
        it = it->second.expired() ? registry.erase(it) : std::next(it);
    }
    std::weak_ptr<CProfileList::FolderState>& slot = registry[key];
    std::shared_ptr<CProfileList::FolderState> state = slot.lock();
    if (!state) {
        state = std::make_shared<CProfileList::FolderState>();
        slot = state;
    }
    return state;
}

// Identity of the list file on disk: an atomic write always gives it a new inode, so a change by
// another process shows even within one clock tick.
struct FileStamp {
    ino_t inode = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return {st.st_ino,
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

locale_t Utf8Locale() {
    static locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

// Decodes UTF-8; a byte that does not start a valid sequence stands for itself in the range
// 0xDC80..0xDCFF, so broken names still compare byte for byte.
std::u32string DecodeUtf8(std::string_view s) {
    std::u32string out;
    std::size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80           ? 1
                  : (b >> 5) == 0x6  ? 2
                  : (b >> 4) == 0xE  ? 3
                  : (b >> 3) == 0x1E ? 4
                                     : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = len > 0 && i + static_cast<std::size_t>(len) <= s.size();
        for (int k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out.push_back(0xDC00 + b);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

char32_t FoldCase(char32_t c) {
    if (c < 0x80) {
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    }
    locale_t locale = Utf8Locale();
    if (locale == static_cast<locale_t>(0) || c > 0x10FFFF) {
        return c;
    }
    return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), locale));
}

bool IsSpace(char32_t c) {
    if (c < 0x80) {
        return c == ' ' || (c >= '\t' && c <= '\r');
    }
    locale_t locale = Utf8Locale();
    return locale != static_cast<locale_t>(0) && c <= 0x10FFFF &&
           ::iswspace_l(static_cast<wint_t>(c), locale) != 0;
}

std::string NameOf(const Json::Value& item) {
    const Json::Value& name = item[kName];
    return name.isString() ? name.asString() : item[kId].asString();
}

Json::Value MakeItem(const std::string& name, const std::string& id) {
    Json::Value item(Json::objectValue);
    item[kName] = name;
    item[kId] = id;
    item[kIsLink] = 0;
    item[kLinkName] = "";
    return item;
}

std::string NumberedName(const char* format, int k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, k);
    return buf;
}

// "Device"[0] when the document has one that is an object, else null (looked up without
// adding members).
const Json::Value* FirstDeviceElement(const Json::Value& document) {
    if (!document.isObject()) {
        return nullptr;
    }
    const Json::Value& devices = document["Device"];
    if (!devices.isArray() || devices.empty() || !devices[0].isObject()) {
        return nullptr;
    }
    return &devices[0];
}

int IndexIn(const std::vector<Json::Value>& items, std::string_view id) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i][kId].asString() == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
}  // namespace

const char* ProfileListResultText(ProfileListResult result) {
    switch (result) {
        case ProfileListResult::Done:
            return "done";
        case ProfileListResult::ListFull:
            return "the list already holds 50 profiles";
        case ProfileListResult::LastEntry:
            return "the last profile cannot be deleted";
        case ProfileListResult::NoSelection:
            return "no such profile";
        case ProfileListResult::NameBlank:
            return "the name is blank";
        case ProfileListResult::NameTaken:
            return "another profile has this name";
        case ProfileListResult::ListUnreadable:
            return "the profile list file cannot be read (left unchanged)";
        case ProfileListResult::ImportFileInvalid:
            return "not a profile file (needs \"profilename\" and \"profileUUID\")";
        case ProfileListResult::TemplateUnreadable:
            return "the profile template cannot be read or holds no profile";
        case ProfileListResult::DocumentUnreadable:
            return "the profile document cannot be read";
        case ProfileListResult::WriteFailed:
            return "a file could not be written (the old file is kept)";
        case ProfileListResult::NotInitialised:
            return "no device folder set";
    }
    return "unknown result";
}

CProfileList::CProfileList() = default;
CProfileList::~CProfileList() = default;

void CProfileList::SetKind(int kind) {
    kind_ = kind;
}

void CProfileList::SetFolders(std::string deviceFolder, std::string templatePath) {
    if (!deviceFolder.empty() && deviceFolder.back() != '/') {
        deviceFolder.push_back('/');
    }
    deviceFolder_ = std::move(deviceFolder);
    templatePath_ = std::move(templatePath);
    folder_ = deviceFolder_.empty() ? nullptr : FolderStateFor(deviceFolder_);
    entries_.clear();
    selected_ = -1;
    currentId_.clear();
}

std::string CProfileList::ListFilePath() const {
    return deviceFolder_ + kProfileListFileName;
}

int CProfileList::IndexOfId(std::string_view id) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string CProfileList::ProfilePathAt(int index) const {
    if (index < 0 || index >= GetCount()) {
        return {};
    }
    return deviceFolder_ + entries_[static_cast<std::size_t>(index)].id + ".Json";
}

std::string CProfileList::CurrentProfilePath() const {
    return ProfilePathAt(selected_);
}

bool CProfileList::NeedsReload() const {
    if (!folder_) {
        return false;
    }
    FileStamp now = StampOf(ListFilePath());
    return folder_->version.load() != seenVersion_ ||
           now != FileStamp{static_cast<ino_t>(seenFileInode_), seenFileMtimeNs_};
}

int CProfileList::RenameResultCode(ProfileListResult result) {
    switch (result) {
        case ProfileListResult::Done:
            return 1;
        case ProfileListResult::NameTaken:
            return 0;
        case ProfileListResult::NameBlank:
            return 2;
        default:
            return -1;
    }
}

bool CProfileList::IsBlank(std::string_view name) {
    for (char32_t c : DecodeUtf8(name)) {
        if (!IsSpace(c)) {
            return false;
        }
    }
    return true;
}

bool CProfileList::SameName(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    std::u32string x = DecodeUtf8(a);
    std::u32string y = DecodeUtf8(b);
    if (x.size() != y.size()) {
        return false;
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (FoldCase(x[i]) != FoldCase(y[i])) {
            return false;
        }
    }
    return true;
}

// ---- reading and writing the list file (callers hold the folder lock) ----

ProfileListResult CProfileList::ReadLocked(ListFile& list) const {
    list = ListFile{};
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
    Json::Value root = CJsonFile::ReadDocument(ListFilePath(), state);
    if (state == CJsonFile::DocumentState::Missing) {
        list.missing = true;
        return ProfileListResult::Done;
    }
    if (state != CJsonFile::DocumentState::Ok || !root.isObject()) {
        return ProfileListResult::ListUnreadable;
    }
    const Json::Value& items = std::as_const(root)[kList];
    if (!items.isNull() && !items.isArray()) {
        return ProfileListResult::ListUnreadable;
    }
    // An entry is usable only when its identifier can name a file in this folder and no earlier
    // entry names the same document (deleting one would remove the other's file).
    std::set<std::string> seen;
    std::size_t dropped = 0;
    for (const Json::Value& item : items) {
        const Json::Value& id = item.isObject() ? item[kId] : Json::Value::nullSingleton();
        if (!id.isString() || !IsBareFileName(id.asString()) ||
            !seen.insert(id.asString()).second) {
            ++dropped;
            continue;
        }
        list.items.push_back(item);
    }
    if (dropped > 0) {
        Trace("ProfileList: dropping " + std::to_string(dropped) + " unusable entries of " +
              ListFilePath());
        list.repaired = true;
        list.pruned = true;
    }
    root.removeMember(kList);
    list.root = std::move(root);
    if (list.items.empty()) {
        list.missing = true;
        return ProfileListResult::Done;
    }
    const Json::Value& select = std::as_const(list.root)[kSelect];
    if (select.isInt() && select.asInt() >= 0 &&
        select.asInt() < static_cast<int>(list.items.size())) {
        list.select = select.asInt();
    } else {
        // Hand-edited or stale: fall back to the first profile and record that.
        list.select = 0;
        list.repaired = true;
    }
    return ProfileListResult::Done;
}

ProfileListResult CProfileList::WriteLocked(ListFile& list) {
    if (list.pruned) {
        // The entries left out may be a hand edit gone wrong: the file as it was is copied aside
        // before anything is written over it.
        std::string copy = CJsonFile::CopyAside(ListFilePath(), "pruned");
        if (copy.empty()) {
            return ProfileListResult::WriteFailed;
        }
        prunedCopy_ = std::move(copy);
        list.pruned = false;
    }
    Json::Value root = list.root;
    Json::Value& items = root[kList];
    items = Json::Value(Json::arrayValue);
    for (const Json::Value& item : list.items) {
        items.append(item);
    }
    root[kSelect] = list.select;
    if (!CJsonFile::WriteDocument(ListFilePath(), root)) {
        return ProfileListResult::WriteFailed;
    }
    list.repaired = false;
    ++folder_->version;
    TakeLocked(list);
    return ProfileListResult::Done;
}

void CProfileList::TakeLocked(const ListFile& list) {
    entries_.clear();
    for (const Json::Value& item : list.items) {
        entries_.push_back({NameOf(item), item[kId].asString()});
    }
    selected_ = entries_.empty() ? -1 : list.select;
    currentId_ =
        entries_.empty() ? std::string() : entries_[static_cast<std::size_t>(selected_)].id;
    seenVersion_ = folder_->version.load();
    FileStamp stamp = StampOf(ListFilePath());
    seenFileInode_ = stamp.inode;
    seenFileMtimeNs_ = stamp.mtimeNs;
}

// Every changing operation starts here: a fresh read, refusing to go on when the file exists but
// cannot be read (writing back would drop every entry), and a new list when the file has gone.
ProfileListResult CProfileList::OpenLocked(ListFile& list) {
    if (ProfileListResult r = ReadLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    return list.missing ? CreateFirstProfileLocked(list) : ProfileListResult::Done;
}

std::string CProfileList::NewIdLocked(const ListFile& list) const {
    for (;;) {
        std::string id = CJsonFile::MakeTimeStampId(deviceFolder_);
        bool used = false;
        for (const Json::Value& item : list.items) {
            used = used || item[kId].asString() == id;
        }
        if (!used) {
            return id;
        }
    }
}

// New profiles are copies of the template document. A mouse template keeps its DPI stages in plain
// DPI, marked so (see CMouseProfiledata); the mouse converts them when it loads the profile.
Json::Value CProfileList::TemplateDocument() const {
    Json::Value document = CJsonFile::ReadDocument(templatePath_);
    return document.isObject() ? document : Json::Value(Json::objectValue);
}

bool CProfileList::NameInUse(const ListFile& list, std::string_view name, int except) const {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        if (static_cast<int>(i) != except && SameName(NameOf(list.items[i]), name)) {
            return true;
        }
    }
    return false;
}

std::string CProfileList::TargetId(std::string_view id) const {
    return id.empty() ? currentId_ : std::string(id);
}

ProfileListResult CProfileList::AppendLocked(ListFile& list, std::string name, Json::Value document,
                                             std::string* newId) {
    std::string id = NewIdLocked(list);
    if (!document.isObject()) {
        document = Json::Value(Json::objectValue);
    }
    document[kName] = name;
    document[kId] = id;
    // The document goes first, so that no entry ever names a missing file.
    std::string path = deviceFolder_ + id + ".Json";
    if (!CJsonFile::WriteDocument(path, document)) {
        return ProfileListResult::WriteFailed;
    }
    list.items.push_back(MakeItem(name, id));
    ProfileListResult result = WriteLocked(list);
    if (result != ProfileListResult::Done) {
        ::unlink(path.c_str());
        list.items.pop_back();
        return result;
    }
    if (newId != nullptr) {
        *newId = id;
    }
    return ProfileListResult::Done;
}

ProfileListResult CProfileList::CreateFirstProfileLocked(ListFile& list) {
    list.items.clear();
    list.select = 0;
    return AppendLocked(list, "Profile1", TemplateDocument(), nullptr);
}

// ---- operations ----

ProfileListResult CProfileList::Initialise() {
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    keptAside_.clear();
    ListFile list;
    if (ReadLocked(list) == ProfileListResult::ListUnreadable) {
        // Starting a new list must not cost the user the old one: keep it aside first.
        keptAside_ = CJsonFile::KeepAside(ListFilePath());
        if (keptAside_.empty()) {
            return ProfileListResult::ListUnreadable;
        }
        list = ListFile{};
        list.missing = true;
    }
    if (list.missing) {
        return CreateFirstProfileLocked(list);
    }
    if (list.repaired) {
        ProfileListResult written = WriteLocked(list);
        if (written != ProfileListResult::Done) {
            TakeLocked(list);
            return written;
        }
    }
    TakeLocked(list);
    return ProfileListResult::Done;
}

ProfileListResult CProfileList::Reload() {
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = ReadLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    if (list.missing) {
        return CreateFirstProfileLocked(list);
    }
    if (list.repaired) {
        return WriteLocked(list);
    }
    TakeLocked(list);
    return ProfileListResult::Done;
}

ProfileListResult CProfileList::SelectLocked(ListFile& list, int index) {
    if (index < 0 || index >= static_cast<int>(list.items.size())) {
        TakeLocked(list);
        return ProfileListResult::NoSelection;
    }
    if (index == list.select && !list.repaired) {
        TakeLocked(list);
        return ProfileListResult::Done;
    }
    list.select = index;
    return WriteLocked(list);
}

ProfileListResult CProfileList::Select(int index) {
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    return SelectLocked(list, index);
}

ProfileListResult CProfileList::SelectId(std::string_view id) {
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    return SelectLocked(list, IndexIn(list.items, id));
}

ProfileListResult CProfileList::AddProfile(std::string* newId) {
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    if (static_cast<int>(list.items.size()) >= kMaxProfiles) {
        TakeLocked(list);
        return ProfileListResult::ListFull;
    }
    int k = 1;
    std::string name = NumberedName("Profile%d", k);
    while (NameInUse(list, name)) {
        name = NumberedName("Profile%d", ++k);
    }
    return AppendLocked(list, std::move(name), TemplateDocument(), newId);
}

ProfileListResult CProfileList::DeleteProfile() {
    return DeleteProfile(currentId_);
}

ProfileListResult CProfileList::DeleteProfile(std::string_view idArg) {
    std::string id = TargetId(idArg);
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    int target = IndexIn(list.items, id);
    if (target < 0) {
        TakeLocked(list);
        return ProfileListResult::NoSelection;
    }
    if (list.items.size() <= 1) {
        TakeLocked(list);
        return ProfileListResult::LastEntry;
    }
    // Deleting the selected entry selects the one before it (entry 0 stays 0); deleting another
    // keeps the same profile selected.
    int s = list.select;
    list.items.erase(list.items.begin() + target);
    if (target == s) {
        list.select = s == 0 ? 0 : s - 1;
    } else if (target < s) {
        list.select = s - 1;
    }
    // The list goes first: a failed write leaves both list and document as they were.
    if (ProfileListResult r = WriteLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    std::string path = deviceFolder_ + id + ".Json";
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        Trace("ProfileList: cannot remove " + path + ": " + std::strerror(errno));
    }
    return ProfileListResult::Done;
}

ProfileListResult CProfileList::CopyProfile(std::string* newId) {
    return CopyProfile(currentId_, newId);
}

ProfileListResult CProfileList::CopyProfile(std::string_view idArg, std::string* newId) {
    std::string id = TargetId(idArg);
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    int source = IndexIn(list.items, id);
    if (static_cast<int>(list.items.size()) >= kMaxProfiles) {
        TakeLocked(list);
        return ProfileListResult::ListFull;
    }
    if (source < 0) {
        TakeLocked(list);
        return ProfileListResult::NoSelection;
    }
    std::string name = NameOf(list.items[static_cast<std::size_t>(source)]) + " copy";
    while (NameInUse(list, name)) {
        name += " copy";
    }
    // A source document that is missing or unreadable would load as the template, so that is
    // what its copy starts from.
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
    Json::Value document = CJsonFile::ReadDocument(deviceFolder_ + id + ".Json", state);
    if (state != CJsonFile::DocumentState::Ok || !document.isObject()) {
        document = TemplateDocument();
    }
    return AppendLocked(list, std::move(name), std::move(document), newId);
}

ProfileListResult CProfileList::ImportProfile(const std::string& path, std::string* newId) {
    Json::Value document = CJsonFile::ReadDocument(path);
    if (!document.isObject() || std::as_const(document)[kName].isNull() ||
        std::as_const(document)[kId].isNull()) {
        return ProfileListResult::ImportFileInvalid;
    }
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    if (static_cast<int>(list.items.size()) >= kMaxProfiles) {
        TakeLocked(list);
        return ProfileListResult::ListFull;
    }
    std::string name = CJsonFile::FileTitle(path);
    if (IsBlank(name)) {
        int k = 1;
        name = NumberedName("Profile%d", k);
        while (NameInUse(list, name)) {
            name = NumberedName("Profile%d", ++k);
        }
    }
    // Suffixes accumulate: abc, abc(1), abc(1)(2), ...
    for (int k = 1; NameInUse(list, name); ++k) {
        name += NumberedName("(%d)", k);
    }
    ProfileListResult result = AppendLocked(list, std::move(name), std::move(document), newId);
    if (result == ProfileListResult::Done) {
        // The document an empty identifier would have named, left by older versions.
        std::string stray = deviceFolder_ + ".Json";
        if (FileExists(stray)) {
            ::unlink(stray.c_str());
        }
    }
    return result;
}

ProfileListResult CProfileList::ExportProfile(const std::string& path) {
    return ExportProfile(currentId_, path);
}

ProfileListResult CProfileList::ExportProfile(std::string_view idArg, const std::string& path) {
    std::string id = TargetId(idArg);
    Json::Value document;
    {
        if (!folder_) {
            return ProfileListResult::NotInitialised;
        }
        std::lock_guard lock(folder_->mutex);
        ListFile list;
        if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
            return r;
        }
        TakeLocked(list);
        if (IndexIn(list.items, id) < 0) {
            return ProfileListResult::NoSelection;
        }
        CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
        document = CJsonFile::ReadDocument(deviceFolder_ + id + ".Json", state);
        if (state != CJsonFile::DocumentState::Ok) {
            return ProfileListResult::DocumentUnreadable;
        }
    }
    return CJsonFile::WriteDocument(path, document) ? ProfileListResult::Done
                                                    : ProfileListResult::WriteFailed;
}

ProfileListResult CProfileList::ResetProfileFile() {
    return ResetProfileFile(currentId_);
}

ProfileListResult CProfileList::ResetProfileFile(std::string_view idArg) {
    std::string id = TargetId(idArg);
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    TakeLocked(list);
    int index = IndexIn(list.items, id);
    if (index < 0) {
        return ProfileListResult::NoSelection;
    }
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
    Json::Value document = CJsonFile::ReadDocument(templatePath_, state);
    if (state != CJsonFile::DocumentState::Ok || FirstDeviceElement(document) == nullptr) {
        // Writing a document without the template's contents would only lose the user's profile.
        return ProfileListResult::TemplateUnreadable;
    }
    document[kName] = NameOf(list.items[static_cast<std::size_t>(index)]);
    document[kId] = id;
    std::string path = deviceFolder_ + id + ".Json";
    if (kind_ == 7) {
        // The headset's own equaliser presets survive a reset.
        const Json::Value current = CJsonFile::ReadDocument(path);
        const Json::Value* from = FirstDeviceElement(current);
        if (from != nullptr && FirstDeviceElement(document) != nullptr) {
            Json::Value& to = document["Device"][0];
            for (const char* key : {"CustomEQNameInfo", "CustomEQHzValueInfo"}) {
                if (from->isMember(key)) {
                    to[key] = (*from)[key];
                }
            }
        }
    }
    return CJsonFile::WriteDocument(path, document) ? ProfileListResult::Done
                                                    : ProfileListResult::WriteFailed;
}

ProfileListResult CProfileList::RenameProfile(std::string_view name) {
    return RenameProfile(currentId_, name);
}

ProfileListResult CProfileList::RenameProfile(std::string_view idArg, std::string_view name) {
    std::string id = TargetId(idArg);
    if (!folder_) {
        return ProfileListResult::NotInitialised;
    }
    std::lock_guard lock(folder_->mutex);
    ListFile list;
    if (ProfileListResult r = OpenLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    TakeLocked(list);
    if (IsBlank(name)) {
        return ProfileListResult::NameBlank;
    }
    int index = IndexIn(list.items, id);
    if (index < 0) {
        return ProfileListResult::NoSelection;
    }
    if (NameInUse(list, name, index)) {
        return ProfileListResult::NameTaken;
    }
    list.items[static_cast<std::size_t>(index)][kName] = std::string(name);
    if (ProfileListResult r = WriteLocked(list); r != ProfileListResult::Done) {
        return r;
    }
    // A document that does not parse is left for the profile loader to keep aside; rewriting it
    // here would destroy it.
    std::string path = deviceFolder_ + id + ".Json";
    Json::Value document = CJsonFile::ReadDocument(path);
    if (document.isObject()) {
        document[kName] = std::string(name);
        if (!CJsonFile::WriteDocument(path, document)) {
            return ProfileListResult::WriteFailed;
        }
    }
    return ProfileListResult::Done;
}

}  // namespace q417
