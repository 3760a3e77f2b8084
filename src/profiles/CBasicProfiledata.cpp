#include "profiles/CBasicProfiledata.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/FileIo.h"
#include "platform/Trace.h"

namespace q417 {
namespace {

// A parsed document we can merge into: an object whose "Device" (when present) is an array.
bool HasDocumentShape(const Json::Value& document) {
    if (document.isNull()) {
        return true;
    }
    if (!document.isObject()) {
        return false;
    }
    const Json::Value& devices = document["Device"];
    return devices.isNull() || devices.isArray();
}

const Json::Value& Field(const Json::Value& object, const char* key) {
    if (!object.isObject()) {
        return Json::Value::nullSingleton();
    }
    return object[key];
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

const char* ResetResultText(ResetResult result) {
    switch (result) {
        case ResetResult::Done:
            return "done";
        case ResetResult::NoProfile:
            return "no profile is chosen";
        case ResetResult::TemplateMissing:
            return "the profile template is missing";
        case ResetResult::TemplateUnreadable:
            return "the profile template cannot be read";
        case ResetResult::TemplateNoElement:
            return "the profile template has no usable profile for this device";
        case ResetResult::TemplateDpiOutOfRange:
            return "the profile template holds a DPI outside 50-26000";
        case ResetResult::WriteFailed:
            return "the profile could not be written";
    }
    return "?";
}

// ---- tolerant JSON access ------------------------------------------------------------------

int CBasicProfiledata::ReadInt(const Json::Value& v) {
    if (v.isBool()) {
        return v.asBool() ? 1 : 0;
    }
    if (v.isInt()) {
        return v.asInt();
    }
    if (v.isUInt()) {
        return static_cast<int>(v.asUInt());
    }
    if (v.isInt64()) {
        return static_cast<int>(static_cast<std::uint32_t>(v.asInt64()));
    }
    if (v.isUInt64()) {
        return static_cast<int>(static_cast<std::uint32_t>(v.asUInt64()));
    }
    if (v.isDouble()) {
        double d = v.asDouble();
        if (std::isfinite(d) && d > std::numeric_limits<int>::min() - 1.0 &&
            d < std::numeric_limits<int>::max() + 1.0) {
            return static_cast<int>(d);
        }
    }
    return 0;  // null, strings, arrays, objects and absurd numbers count as absent
}

bool CBasicProfiledata::ReadBool(const Json::Value& v) {
    if (v.isBool()) {
        return v.asBool();
    }
    if (v.isInt64()) {
        return v.asInt64() != 0;
    }
    if (v.isUInt64()) {
        return v.asUInt64() != 0;
    }
    if (v.isDouble()) {
        return v.asDouble() != 0.0;
    }
    return false;
}

const Json::Value& CBasicProfiledata::Touch(Json::Value& object, const char* key) {
    if (!object.isObject()) {
        return Json::Value::nullSingleton();
    }
    return object[key];
}

Json::Value& CBasicProfiledata::Member(Json::Value& object, const char* key) {
    if (!object.isObject()) {
        object = Json::Value(Json::objectValue);
    }
    return object[key];
}

Json::Value& CBasicProfiledata::Item(Json::Value& array, Json::ArrayIndex index) {
    if (!array.isArray()) {
        array = Json::Value(Json::arrayValue);
    }
    return array[index];
}

const Json::Value& CBasicProfiledata::At(const Json::Value& array, Json::ArrayIndex index) {
    if (!array.isArray() || index >= array.size()) {
        return Json::Value::nullSingleton();
    }
    return array[index];
}

// ---- paths and device index ----------------------------------------------------------------

void CBasicProfiledata::SetProfilePath(const std::string& path) {
    if (!path.empty()) {
        m_profilePath = path;
    }
}

void CBasicProfiledata::SetTemplatePath(const std::string& path) {
    if (!path.empty()) {
        m_templatePath = path;
    }
}

bool CBasicProfiledata::SetDeviceIndex(int n) {
    if (n < 0 || n >= kMaxDeviceIndex) {
        Trace("SetDeviceIndex: index " + std::to_string(n) + " refused");
        return false;
    }
    m_deviceIndex = n;
    return true;
}

void CBasicProfiledata::SetKeyTableBlock(std::span<const std::uint8_t> block) {
    m_keyTableBlock.fill(0);
    std::copy_n(block.begin(), std::min(block.size(), m_keyTableBlock.size()),
                m_keyTableBlock.begin());
}

// ---- load and save -------------------------------------------------------------------------

std::optional<CBasicProfiledata::FileStamp> CBasicProfiledata::StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileStamp{
        static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        static_cast<std::int64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

void CBasicProfiledata::RememberDocument(const std::string& path, Json::Value&& document,
                                         Json::ArrayIndex hollowIndex) {
    // Every writer replaces documents by rename, so an unchanged identity, size and time mean the
    // file still holds what was read or written here.
    m_cache.stamp = StampOf(path);
    m_cache.valid = m_cache.stamp.has_value();
    m_cache.path = path;
    m_cache.hollowIndex = hollowIndex;
    m_cache.document = std::move(document);
}

bool CBasicProfiledata::TakeRememberedDocument(const std::string& path, Json::ArrayIndex index,
                                               Json::Value& document) {
    if (!m_cache.valid || m_cache.path != path || m_cache.hollowIndex != index) {
        return false;
    }
    m_cache.valid = false;
    if (StampOf(path) != m_cache.stamp) {
        return false;
    }
    document = std::move(m_cache.document);
    return true;
}

const Json::Value& CBasicProfiledata::LoadInto(const std::string& path, Json::Value& target) {
    const auto index = static_cast<Json::ArrayIndex>(m_deviceIndex);
    m_cache.valid = false;
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
    Json::Value document = m_jsonFile.ReadDocument(path, state);
    bool mayWrite = true;
    if (state == CJsonFile::DocumentState::Unreadable || !HasDocumentShape(document)) {
        // Keep what the user had before the document is rebuilt; if it cannot be moved aside it
        // must not be overwritten either.
        mayWrite = !CJsonFile::KeepAside(path).empty();
        document = Json::Value();
    }

    // The element is moved out of the document (no deep copy); the rest is remembered so that the
    // next save need not parse the file again.
    Json::Value* devices = document.isObject() ? &document["Device"] : nullptr;
    if (devices != nullptr && devices->isArray() && index < devices->size() &&
        (*devices)[index].isObject()) {
        target = Json::Value();
        target.swap((*devices)[index]);
        RememberDocument(path, std::move(document), index);
        return target;
    }

    // Missing element: take the template's and write the document back. The element is copied as
    // it is; a mouse template's stages are plain DPI and say so (see CMouseProfiledata), so the
    // mouse converts them when it takes the element.
    Json::Value templ = m_jsonFile.ReadDocument(m_templatePath);
    Json::Value element;
    if (templ.isObject() && templ["Device"].isArray() && index < templ["Device"].size() &&
        templ["Device"][index].isObject()) {
        element.swap(templ["Device"][index]);
    }
    Json::Value& slot = Item(Member(document, "Device"), index);
    slot.swap(element);
    const bool written = mayWrite && m_jsonFile.WriteDocument(path, document);
    m_lastWriteFailed = !written;
    target = Json::Value();
    target.swap(slot);
    if (written) {
        RememberDocument(path, std::move(document), index);
    }
    return target;
}

const Json::Value& CBasicProfiledata::LoadProfile(const std::string& path) {
    return LoadInto(path, m_element);
}

const Json::Value& CBasicProfiledata::LoadSecondary(const std::string& path) {
    return LoadInto(path, m_secondary);
}

std::optional<Json::Value> CBasicProfiledata::ReadTemplateElement(ResetResult* why) const {
    ResetResult local = ResetResult::Done;
    ResetResult& reason = why != nullptr ? *why : local;
    CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
    Json::Value document = CJsonFile::ReadDocument(m_templatePath, state);
    if (state != CJsonFile::DocumentState::Ok) {
        reason = state == CJsonFile::DocumentState::Missing ? ResetResult::TemplateMissing
                                                            : ResetResult::TemplateUnreadable;
        return std::nullopt;
    }
    if (!HasDocumentShape(document) || document.isNull()) {
        reason = ResetResult::TemplateUnreadable;
        return std::nullopt;
    }
    const Json::Value& element =
        At(Field(document, "Device"), static_cast<Json::ArrayIndex>(m_deviceIndex));
    // Without a key list the element could never be saved as the profile.
    if (!element.isObject() || !Field(element, "KeyList").isArray()) {
        reason = ResetResult::TemplateNoElement;
        return std::nullopt;
    }
    reason = ResetResult::Done;
    return element;
}

Json::Value CBasicProfiledata::LoadLightConfig(const std::string& path) {
    m_lightConfig = m_jsonFile.ReadDocument(path);
    return m_lightConfig;
}

SaveResult CBasicProfiledata::Save() {
    return SaveInto(&m_element, m_element, m_profilePath);
}

SaveResult CBasicProfiledata::SaveSecondary(const std::string& path) {
    return SaveInto(&m_secondary, m_secondary, path);
}

SaveResult CBasicProfiledata::SaveElement(const Json::Value& element, const std::string& path) {
    return SaveInto(nullptr, element, path);
}

SaveResult CBasicProfiledata::SaveInto(Json::Value* owned, const Json::Value& element,
                                       const std::string& path) {
    // An element without "KeyList" is never saved; decide that before touching the file.
    if (Field(element, "KeyList").isNull()) {
        return SaveResult::NoKeyList;
    }
    const auto index = static_cast<Json::ArrayIndex>(m_deviceIndex);
    Json::Value document;
    if (!TakeRememberedDocument(path, index, document)) {
        CJsonFile::DocumentState state = CJsonFile::DocumentState::Missing;
        document = m_jsonFile.ReadDocument(path, state);
        if (state == CJsonFile::DocumentState::Unreadable || !HasDocumentShape(document)) {
            if (CJsonFile::KeepAside(path).empty()) {
                m_lastWriteFailed = true;
                return SaveResult::Failed;
            }
            document = Json::Value();
        }
    }
    Json::Value& slot = Item(Member(document, "Device"), index);
    if (owned != nullptr) {
        slot.swap(*owned);  // lend the element to the document instead of copying it
    } else {
        slot = element;
    }
    const bool written = m_jsonFile.WriteDocument(path, document);
    if (owned != nullptr) {
        slot.swap(*owned);
    }
    slot = Json::Value();
    m_lastWriteFailed = !written;
    if (!written) {
        return SaveResult::Failed;
    }
    RememberDocument(path, std::move(document), index);
    return SaveResult::Written;
}

bool CBasicProfiledata::WriteFile(const Json::Value& document, const std::string& path) {
    if (m_cache.path == path) {
        m_cache.valid = false;
    }
    m_lastWriteFailed = !m_jsonFile.WriteDocument(path, document);
    return !m_lastWriteFailed;
}

// ---- lights --------------------------------------------------------------------------------

LightInfo CBasicProfiledata::GetLightInfo() {
    LightInfo r{};
    if (m_element.isObject()) {
        Json::Value& section = m_element["LightInfo"];
        if (section.isObject()) {
            r.mode = ReadU8(section["SelectItem"]);
            r.brightness = ReadU8(section["Light"]);
            r.speed = ReadU8(section["Speed"]);
            r.direction = ReadU8(section["Fx"]);
            r.multiColor = ReadBool(section["MultiColor"]) ? 1 : 0;
            r.red = ReadU8(section["Red"]);
            r.green = ReadU8(section["Green"]);
            r.blue = ReadU8(section["Blue"]);
            r.zzccMode = ReadU8(section["ZZCCLedMode"]);
            r.customGroup = ReadU8(section["CustomGroup"]);
            r.oldMode = ReadU8(section["OldLedmode"]);
        }
    }
    m_lightInfo = r;
    return r;
}

void CBasicProfiledata::SetLightInfo(const LightInfo& info) {
    m_lightInfo = info;
    Json::Value section(Json::objectValue);
    section["SelectItem"] = int{info.mode};
    section["Light"] = int{info.brightness};
    section["Speed"] = int{info.speed};
    section["MultiColor"] = info.multiColor != 0 ? 1 : 0;
    section["Red"] = int{info.red};
    section["Green"] = int{info.green};
    section["Blue"] = int{info.blue};
    section["Fx"] = int{info.direction};
    section["ZZCCLedMode"] = int{info.zzccMode};
    section["CustomGroup"] = int{info.customGroup};
    section["OldLedmode"] = int{info.oldMode};
    Member(m_element, "LightInfo") = std::move(section);
}

AudioLightInfo CBasicProfiledata::GetAudioLightInfo() {
    AudioLightInfo r{};
    if (m_element.isObject()) {
        Json::Value& section = m_element["AudioLightInfo"];
        if (section.isObject()) {
            r.audioMode = ReadU8(section["AudioMode"]);
            r.bkRed = ReadU8(section["BkColorR"]);
            r.bkGreen = ReadU8(section["BkColorG"]);
            r.bkBlue = ReadU8(section["BkColorB"]);
            r.fgRed = ReadU8(section["FgColorR"]);
            r.fgGreen = ReadU8(section["FgColorG"]);
            r.fgBlue = ReadU8(section["FgColorB"]);
            r.sevenColorFlags = ReadBool(section["7ColorFlags"]) ? 1 : 0;
            r.colorTypeFlags = ReadBool(section["ColorTypeFlags"]) ? 1 : 0;
        }
    }
    m_audioLightInfo = r;
    return r;
}

void CBasicProfiledata::SetAudioLightInfo(const AudioLightInfo& info) {
    m_audioLightInfo = info;
    Json::Value section(Json::objectValue);
    section["AudioMode"] = int{info.audioMode};
    section["BkColorR"] = int{info.bkRed};
    section["BkColorG"] = int{info.bkGreen};
    section["BkColorB"] = int{info.bkBlue};
    section["FgColorR"] = int{info.fgRed};
    section["FgColorG"] = int{info.fgGreen};
    section["FgColorB"] = int{info.fgBlue};
    section["7ColorFlags"] = info.sevenColorFlags != 0 ? 1 : 0;
    section["ColorTypeFlags"] = info.colorTypeFlags != 0 ? 1 : 0;
    Member(m_element, "AudioLightInfo") = std::move(section);
}

std::vector<LightInfo> CBasicProfiledata::GetLightList() {
    std::vector<LightInfo> result;
    if (m_element.isObject()) {
        Json::Value& list = m_element["LightList"];
        if (list.isArray()) {
            result.reserve(list.size());
            for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
                Json::Value& entry = list[i];
                LightInfo r{};
                if (entry.isObject()) {
                    r.present = 1;
                    r.mode = ReadU8(entry["LEDREGMode"]);
                    r.brightness = ReadU8(entry["LEDBrightness"]);
                    r.speed = ReadU8(entry["LEDSpeed"]);
                    r.multiColor = ReadBool(entry["LEDMultiColor"]) ? 1 : 0;
                    r.direction = ReadBool(entry["LEDDirection"]) ? 1 : 0;
                    r.red = ReadU8(entry["red"]);
                    r.green = ReadU8(entry["green"]);
                    r.blue = ReadU8(entry["blue"]);
                }
                result.push_back(r);
            }
        }
    }
    m_lightList = result;
    return result;
}

std::vector<LightSegment> CBasicProfiledata::GetCustomLightEffects() {
    m_customEffects.clear();
    if (m_lightConfig.isNull()) {
        return m_customEffects;
    }
    int mode = m_lightInfo.mode;
    if (mode < m_builtinEffectCount) {
        return m_customEffects;  // a built-in effect: no user effect file
    }
    const auto userIndex = static_cast<Json::ArrayIndex>(mode - m_builtinEffectCount);
    const Json::Value& perDevice =
        At(Field(m_lightConfig, "LightInfo"), static_cast<Json::ArrayIndex>(m_deviceIndex));
    const Json::Value& guid = Field(At(perDevice, userIndex), "Guid");
    if (!guid.isString()) {
        return m_customEffects;
    }
    std::string id = guid.asString();
    // The name comes from a file: it must stay inside the device folder.
    if (!IsBareFileName(id) || id.find("..") != std::string::npos) {
        Trace("GetCustomLightEffects: effect name refused: " + id);
        return m_customEffects;
    }
    std::string folder = FolderOf(m_lightConfigPath.empty() ? m_profilePath : m_lightConfigPath);
    Json::Value effect = m_jsonFile.ReadDocument(folder + id + ".light");
    const Json::Value& segments = Field(effect, "LEDEffectList");
    if (!segments.isArray()) {
        return m_customEffects;
    }
    m_customEffects.reserve(segments.size());
    for (const Json::Value& s : segments) {
        LightSegment seg{};
        seg.mode = ReadU8(Field(s, "LEDREGMode"));
        seg.direction = ReadU8(Field(s, "LEDDirection"));
        seg.brightness = ReadU8(Field(s, "LEDBrightness"));
        seg.speed = ReadU8(Field(s, "LEDSpeed"));
        seg.multiColor = ReadU8(Field(s, "LEDMultiColor"));
        seg.red = ReadU8(Field(s, "red"));
        seg.green = ReadU8(Field(s, "green"));
        seg.blue = ReadU8(Field(s, "blue"));
        seg.time = static_cast<std::uint32_t>(ReadInt(Field(s, "Time")));
        seg.cycle = static_cast<std::uint32_t>(ReadInt(Field(s, "Cyle")));
        m_customEffects.push_back(seg);
    }
    return m_customEffects;
}

// ---- key list ------------------------------------------------------------------------------

std::vector<KeyAssignmentEntry> CBasicProfiledata::ReadKeyList(Json::Value& element) {
    std::vector<KeyAssignmentEntry> result;
    if (!element.isObject()) {
        return result;
    }
    Json::Value& list = element["KeyList"];
    if (!list.isArray()) {
        return result;
    }
    // A key index is 16 bits wide; a longer list cannot belong to a device.
    const Json::ArrayIndex n = std::min<Json::ArrayIndex>(list.size(), 0x10000u);
    result.reserve(n);
    for (Json::ArrayIndex i = 0; i < n; ++i) {
        Json::Value& key = list[i];
        const auto index = static_cast<std::uint16_t>(i);
        KeyAssignmentEntry e;
        e.current = DecodeAssignment(ReadInt(Touch(key, "Assignment")), index);
        e.defaults = DecodeAssignment(ReadInt(Touch(key, "DefaultAssignment")), index);
        result.push_back(e);
    }
    return result;
}

void CBasicProfiledata::WriteKeyList(Json::Value& element,
                                     const std::vector<KeyAssignmentEntry>& entries) {
    if (entries.empty()) {
        return;
    }
    Json::Value& list = Member(element, "KeyList");
    for (std::size_t i = 0; i < entries.size() && i < 0x10000u; ++i) {
        Member(Item(list, static_cast<Json::ArrayIndex>(i)), "Assignment") =
            EncodeAssignment(entries[i].current);
    }
}

std::vector<KeyAssignmentEntry> CBasicProfiledata::GetKeyList() {
    m_keyList = ReadKeyList(m_element);
    return m_keyList;
}

void CBasicProfiledata::SetKeyList(const std::vector<KeyAssignmentEntry>& entries) {
    m_keyList = entries;
    WriteKeyList(m_element, entries);
}

std::vector<KeyAssignmentEntry> CBasicProfiledata::GetSecondaryKeyList() {
    m_secondaryKeyList = ReadKeyList(m_secondary);
    return m_secondaryKeyList;
}

void CBasicProfiledata::SetSecondaryKeyList(const std::vector<KeyAssignmentEntry>& entries) {
    m_secondaryKeyList = entries;
    WriteKeyList(m_secondary, entries);
}

}  // namespace q417
