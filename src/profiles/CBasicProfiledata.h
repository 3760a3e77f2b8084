#pragma once
// The profile data of one device: the profile element in memory, its translation to and from the
// fixed-width records, and loading and saving the profile document. The mouse pad uses this class
// as it is; the mouse, keyboard and headset derive from it.
#include <json/json.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "profiles/CJsonFile.h"
#include "profiles/ProfileRecords.h"

namespace q417 {

// Outcome of a save.
enum class SaveResult {
    Written,    // the document was replaced
    NoKeyList,  // the element has no "KeyList": the file was left as it was, by design
    Failed,     // the write failed; the old file is unchanged
};

// Outcome of resetting a profile from its template.
enum class ResetResult {
    Done,
    NoProfile,              // no profile document is chosen
    TemplateMissing,        // the template file does not exist or is empty
    TemplateUnreadable,     // it cannot be read or does not parse as a document
    TemplateNoElement,      // no usable element (an object with a "KeyList") at the device index
    TemplateDpiOutOfRange,  // a mouse template's stage asks for a DPI outside 50-26000
    WriteFailed,            // the profile document could not be written
};
// A short English description ("the profile template is missing", ...).
const char* ResetResultText(ResetResult result);

class CBasicProfiledata {
public:
    // Highest on-board profile slot count a device index can address (a slot number is 4 bits).
    static constexpr int kMaxDeviceIndex = 16;

    CBasicProfiledata() = default;
    virtual ~CBasicProfiledata() = default;
    CBasicProfiledata(const CBasicProfiledata&) = default;
    CBasicProfiledata& operator=(const CBasicProfiledata&) = default;

    // Saving. Save merges the element into the profile document; SaveSecondary does the same with
    // the secondary element; WriteFile replaces the whole file.
    virtual SaveResult Save();
    virtual SaveResult SaveElement(const Json::Value& element, const std::string& path);
    virtual SaveResult SaveSecondary(const std::string& path);
    virtual bool WriteFile(const Json::Value& document, const std::string& path);

    // Paths. The profile and template setters ignore an empty argument.
    void SetProfilePath(const std::string& path);
    void SetTemplatePath(const std::string& path);
    const std::string& GetProfilePath() const { return m_profilePath; }
    const std::string& GetTemplatePath() const { return m_templatePath; }
    void SetLightConfigPath(const std::string& path) { m_lightConfigPath = path; }
    const std::string& GetLightConfigPath() const { return m_lightConfigPath; }

    // Loads the element at the device index from the document at path; a missing or unreadable
    // document (or element) is rebuilt from the template and written back. An unparsable document
    // is first renamed aside ("<path>.unreadable-<id>"). Returns the element now held (null only
    // when neither file has it). LastWriteFailed() tells whether a rebuild could not be written.
    const Json::Value& LoadProfile(const std::string& path);
    const Json::Value& LoadSecondary(const std::string& path);

    // The template's element at the device index, read as a document: the template is the
    // program's own file and is never written or renamed here. nullopt (the reason in *why) when
    // it cannot be used.
    std::optional<Json::Value> ReadTemplateElement(ResetResult* why = nullptr) const;
    // Makes element the profile element, in memory only (Save writes it).
    void TakeElement(Json::Value element) { m_element = std::move(element); }

    // The light configuration document ("zyrel_light.config"), kept for GetCustomLightEffects.
    Json::Value LoadLightConfig(const std::string& path);

    // 0 ≤ n < kMaxDeviceIndex; other values are refused (false) and the index is kept.
    bool SetDeviceIndex(int n);
    int GetDeviceIndex() const { return m_deviceIndex; }

    LightInfo GetLightInfo();
    void SetLightInfo(const LightInfo& info);
    AudioLightInfo GetAudioLightInfo();
    void SetAudioLightInfo(const AudioLightInfo& info);
    std::vector<LightInfo> GetLightList();

    // The segments of the user effect chosen by the current LightInfo's mode: the effect's "Guid"
    // from the light configuration, read as "<Guid>.light" from the light configuration's folder.
    std::vector<LightSegment> GetCustomLightEffects();
    // Number of built-in effects ahead of the user effects in the effect list (0 at start, so the
    // mode itself is the user-effect index).
    void SetBuiltinEffectCount(int count) { m_builtinEffectCount = count < 0 ? 0 : count; }

    std::vector<KeyAssignmentEntry> GetKeyList();
    void SetKeyList(const std::vector<KeyAssignmentEntry>& entries);
    std::vector<KeyAssignmentEntry> GetSecondaryKeyList();
    void SetSecondaryKeyList(const std::vector<KeyAssignmentEntry>& entries);

    // Caches that only the mouse fills; never stored in a file.
    void SetKeyTableBlock(std::span<const std::uint8_t> block);
    const std::array<std::uint8_t, 512>& GetKeyTableBlock() const { return m_keyTableBlock; }
    void SetKeyValueMap(std::map<int, int> map) { m_keyValueMap = std::move(map); }
    const std::map<int, int>& GetKeyValueMap() const { return m_keyValueMap; }

    // The in-memory state.
    const Json::Value& Element() const { return m_element; }
    const Json::Value& SecondaryElement() const { return m_secondary; }
    const Json::Value& LightConfig() const { return m_lightConfig; }
    const LightInfo& CurrentLightInfo() const { return m_lightInfo; }
    const std::vector<LightInfo>& LightList() const { return m_lightList; }
    const std::vector<LightSegment>& CustomLightEffects() const { return m_customEffects; }
    const std::vector<KeyAssignmentEntry>& KeyList() const { return m_keyList; }
    const std::vector<KeyAssignmentEntry>& SecondaryKeyList() const { return m_secondaryKeyList; }

    // True when the last write this object attempted (save or load rebuild) failed.
    bool LastWriteFailed() const { return m_lastWriteFailed; }

protected:
    Json::Value& MutableElement() { return m_element; }

    // Tolerant JSON access. A value of another type than the one read counts as absent.
    static int ReadInt(const Json::Value& v);
    static bool ReadBool(const Json::Value& v);
    static std::uint8_t ReadU8(const Json::Value& v) {
        return static_cast<std::uint8_t>(ReadInt(v));
    }
    static std::uint16_t ReadU16(const Json::Value& v) {
        return static_cast<std::uint16_t>(ReadInt(v));
    }
    // Mutable read of a member: on an object an absent member is added as null (the profile keeps
    // such members); on anything else nothing is added and null is returned.
    static const Json::Value& Touch(Json::Value& object, const char* key);
    // Member / element for writing: a value of the wrong type is replaced by an object / array.
    static Json::Value& Member(Json::Value& object, const char* key);
    static Json::Value& Item(Json::Value& array, Json::ArrayIndex index);
    // Read-only element of an array, null when out of range or not an array.
    static const Json::Value& At(const Json::Value& array, Json::ArrayIndex index);
    // True when v is present: neither null nor of a type the reader cannot use as a section.
    static bool IsSection(const Json::Value& v) { return v.isObject(); }

private:
    // Identity of a file as last read or written, to skip parsing it again before a save.
    struct FileStamp {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    // The document last read or written, with the element at hollowIndex taken out.
    struct RememberedDocument {
        bool valid = false;
        std::string path;
        Json::ArrayIndex hollowIndex = 0;
        std::optional<FileStamp> stamp;
        Json::Value document;
    };
    static std::optional<FileStamp> StampOf(const std::string& path);
    void RememberDocument(const std::string& path, Json::Value&& document,
                          Json::ArrayIndex hollowIndex);
    bool TakeRememberedDocument(const std::string& path, Json::ArrayIndex index,
                                Json::Value& document);
    const Json::Value& LoadInto(const std::string& path, Json::Value& target);
    SaveResult SaveInto(Json::Value* owned, const Json::Value& element, const std::string& path);
    static std::vector<KeyAssignmentEntry> ReadKeyList(Json::Value& element);
    static void WriteKeyList(Json::Value& element, const std::vector<KeyAssignmentEntry>& entries);

    std::string m_profilePath;
    std::string m_templatePath;
    LightInfo m_lightInfo;
    AudioLightInfo m_audioLightInfo;
    std::vector<LightInfo> m_lightList;
    Json::Value m_element;
    Json::Value m_secondary;
    std::string m_lightConfigPath;
    Json::Value m_lightConfig;
    std::vector<LightSegment> m_customEffects;
    std::vector<KeyAssignmentEntry> m_keyList;
    std::vector<KeyAssignmentEntry> m_secondaryKeyList;
    int m_deviceIndex = 0;
    int m_builtinEffectCount = 0;
    std::array<std::uint8_t, 512> m_keyTableBlock{};
    std::map<int, int> m_keyValueMap;
    CJsonFile m_jsonFile;
    bool m_lastWriteFailed = false;
    RememberedDocument m_cache;
};

}  // namespace q417
