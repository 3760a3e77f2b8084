#include "transport/IdentificationTable.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <set>
#include <sstream>

#include "platform/FileIo.h"
#include "transport/HidPath.h"

namespace q417 {
namespace {

DeviceIdentity MakeRow(uint16_t vendor, uint16_t product, uint16_t interfaceNumber,
                       uint16_t collection, uint16_t kind, uint16_t role, uint16_t usagePage,
                       uint16_t usage, uint16_t partner) {
    DeviceIdentity row;
    row.vendorId = vendor;
    row.productId = product;
    row.interfaceNumber = interfaceNumber;
    row.collectionNumber = collection;
    row.kind = kind;
    row.role = role;
    row.usagePage = usagePage;
    row.usage = usage;
    row.hasPartner = 1;
    row.partnerIndex = partner;
    return row;
}

std::array<DeviceIdentity, kBuiltInRowCount> MakeBuiltInRows() {
    return {
        MakeRow(0x0000, 0x0000, 0, 5, 1, 0x00, 0xFF1C, 0x0092, 2),
        MakeRow(0x0000, 0x0000, 1, 3, 1, 0xFF, 0x000C, 0x0001, 3),
        MakeRow(0x0000, 0x0000, 0, 5, 9, 0x00, 0xFF1C, 0x0092, 0),
        MakeRow(0x0000, 0x0000, 1, 3, 9, 0xFF, 0x000C, 0x0001, 1),
        MakeRow(0x4A1D, 0x7101, 0, 5, 2, 0x00, 0xFF1C, 0x0092, 6),
        MakeRow(0x4A1D, 0x7101, 0, 4, 2, 0xFF, 0x000C, 0x0001, 7),
        MakeRow(0x4A1D, 0x7102, 0, 5, 6, 0x00, 0xFF1C, 0x0092, 4),
        MakeRow(0x4A1D, 0x7102, 1, 3, 6, 0xFF, 0x000C, 0x0001, 5),
        MakeRow(0x0000, 0x0000, 0, 5, 2, 0x00, 0xFF1C, 0x0092, 10),
        MakeRow(0x0000, 0x0000, 1, 3, 2, 0xFF, 0x000C, 0x0001, 11),
        MakeRow(0x4A1D, 0x7103, 0, 5, 6, 0x00, 0xFF1C, 0x0092, 8),
        MakeRow(0x4A1D, 0x7103, 0, 4, 6, 0xFF, 0x000C, 0x0001, 9),
    };
}

void SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

// A 16-bit field: a JSON integer, or a string of "0x" and one to four hex digits.
bool ReadU16(const Json::Value& value, uint16_t& out, std::string& why) {
    if (value.isString()) {
        const std::string text = value.asString();
        if (text.size() < 3 || text.size() > 6 || text[0] != '0' ||
            (text[1] != 'x' && text[1] != 'X')) {
            why = "\"" + text + "\" is not a hex number like \"0x4A1D\"";
            return false;
        }
        uint32_t v = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            const char c = text[i];
            int d = -1;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            }
            if (d < 0) {
                why = "\"" + text + "\" is not a hex number like \"0x4A1D\"";
                return false;
            }
            v = v * 16 + static_cast<uint32_t>(d);
        }
        out = static_cast<uint16_t>(v);
        return true;
    }
    if (value.isIntegral() && !value.isBool()) {
        if (value.isInt64() && value.asInt64() >= 0 && value.asInt64() <= 0xFFFF) {
            out = static_cast<uint16_t>(value.asInt64());
            return true;
        }
        why = "value out of range 0..65535";
        return false;
    }
    why = "expected an integer or a hex string";
    return false;
}

struct FieldSpec {
    const char* name;
    uint16_t DeviceIdentity::*member;
};

constexpr FieldSpec kRequiredFields[] = {
    {"vendorId", &DeviceIdentity::vendorId},
    {"productId", &DeviceIdentity::productId},
    {"interfaceNumber", &DeviceIdentity::interfaceNumber},
    {"collectionNumber", &DeviceIdentity::collectionNumber},
    {"kind", &DeviceIdentity::kind},
    {"role", &DeviceIdentity::role},
    {"usagePage", &DeviceIdentity::usagePage},
    {"usage", &DeviceIdentity::usage},
};

bool ParseRow(const Json::Value& value, DeviceIdentity& row, std::string& why) {
    if (!value.isObject()) {
        why = "a row must be an object";
        return false;
    }
    for (const std::string& key : value.getMemberNames()) {
        const bool known = key == "partnerIndex" || key == "comment" ||
                           std::any_of(std::begin(kRequiredFields), std::end(kRequiredFields),
                                       [&](const FieldSpec& f) { return key == f.name; });
        if (!known) {
            why = "unknown field \"" + key + "\"";
            return false;
        }
    }
    if (value.isMember("comment") && !value["comment"].isString()) {
        why = "\"comment\" must be a string";
        return false;
    }
    for (const FieldSpec& field : kRequiredFields) {
        if (!value.isMember(field.name)) {
            why = std::string("missing field \"") + field.name + "\"";
            return false;
        }
        std::string fieldWhy;
        if (!ReadU16(value[field.name], row.*field.member, fieldWhy)) {
            why = std::string("field \"") + field.name + "\": " + fieldWhy;
            return false;
        }
    }
    row.hasPartner = 0;
    row.partnerIndex = 0;
    if (value.isMember("partnerIndex") && !value["partnerIndex"].isNull()) {
        std::string fieldWhy;
        if (!ReadU16(value["partnerIndex"], row.partnerIndex, fieldWhy)) {
            why = "field \"partnerIndex\": " + fieldWhy;
            return false;
        }
        row.hasPartner = 1;
    }
    row.connected = 0;
    row.path.clear();
    return true;
}

}  // namespace

const std::array<DeviceIdentity, kBuiltInRowCount>& BuiltInIdentificationRows() {
    static const std::array<DeviceIdentity, kBuiltInRowCount> rows = MakeBuiltInRows();
    return rows;
}

std::string_view KindName(uint16_t kind) {
    switch (kind) {
        case kKindKeyboardCable:
            return "keyboard (cable)";
        case kKindMouseCable:
            return "mouse (cable)";
        case kKindMousePad:
            return "mouse pad";
        case kKindMouseReceiver:
            return "mouse (receiver)";
        case kKindHeadset:
            return "headset";
        case kKindKeyboardReceiver:
            return "keyboard (receiver)";
        default:
            return "unknown";
    }
}

std::string_view RoleName(uint16_t role) {
    if (role == kRoleCommand) {
        return "command";
    }
    if (role == kRoleNotification) {
        return "notification";
    }
    return "unknown";
}

bool ValidateIdentificationRow(const DeviceIdentity& row, std::size_t rowIndex,
                               std::size_t tableSize, std::string* error) {
    if (!IsKnownKind(row.kind)) {
        SetError(error, "kind " + std::to_string(row.kind) + " is not one of 1, 2, 3, 6, 7, 9");
        return false;
    }
    if (row.role != kRoleCommand && row.role != kRoleNotification) {
        SetError(error, "role " + std::to_string(row.role) + " is neither 0 nor 0xFF");
        return false;
    }
    // Such a row could never complete the second stage, which compares the device's own IDs.
    if (row.vendorId == 0 && row.productId == 0) {
        SetError(error, "vendorId and productId are both 0, so no device can ever match the row");
        return false;
    }
    if (row.hasPartner > 1) {
        SetError(error, "hasPartner must be 0 or 1");
        return false;
    }
    if (row.hasPartner == 1) {
        if (row.partnerIndex >= tableSize) {
            SetError(error, "partnerIndex " + std::to_string(row.partnerIndex) +
                                " is outside the table (0.." + std::to_string(tableSize - 1) + ")");
            return false;
        }
        if (row.partnerIndex == rowIndex) {
            SetError(error, "a row cannot be its own partner");
            return false;
        }
    }
    if (row.connected != 0 || !row.path.empty()) {
        SetError(error, "a table row must be free (connected 0, empty path)");
        return false;
    }
    return true;
}

bool ParseIdentificationRows(std::string_view json, std::size_t existingRowCount,
                             std::vector<DeviceIdentity>& rows, std::string* error) {
    Json::Value root;
    std::string parseErrors;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 64;
    try {
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        if (!reader->parse(json.data(), json.data() + json.size(), &root, &parseErrors)) {
            std::string first = parseErrors.substr(0, parseErrors.find('\n'));
            SetError(error, "not valid JSON: " + first);
            return false;
        }
    } catch (const std::exception& e) {
        SetError(error, std::string("not valid JSON: ") + e.what());
        return false;
    }
    if (!root.isObject()) {
        SetError(error, "the document must be an object with a \"rows\" array");
        return false;
    }
    for (const std::string& key : root.getMemberNames()) {
        if (key != "rows" && key != "comment") {
            SetError(error, "unknown top-level field \"" + key + "\"");
            return false;
        }
    }
    const Json::Value& list = root["rows"];
    if (!list.isArray()) {
        SetError(error, "the document must be an object with a \"rows\" array");
        return false;
    }
    if (list.size() > kMaxAppendedRows) {
        SetError(error, "too many rows (" + std::to_string(list.size()) + ", at most " +
                            std::to_string(kMaxAppendedRows) + ")");
        return false;
    }
    const std::size_t tableSize = existingRowCount + list.size();
    std::vector<DeviceIdentity> parsed;
    parsed.reserve(list.size());
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        DeviceIdentity row;
        std::string why;
        if (!ParseRow(list[i], row, why) ||
            !ValidateIdentificationRow(row, existingRowCount + i, tableSize, &why)) {
            SetError(error, "row " + std::to_string(i) + ": " + why);
            return false;
        }
        parsed.push_back(std::move(row));
    }
    rows = std::move(parsed);
    return true;
}

// ---------------------------------------------------------------------------------------------

CInterfaceSlotList::CInterfaceSlotList()
    : rows_(BuiltInIdentificationRows().begin(), BuiltInIdentificationRows().end()),
      slots_(rows_) {}

bool CInterfaceSlotList::AppendRows(std::span<const DeviceIdentity> rows, std::string* error) {
    std::lock_guard lock(mutex_);
    if (rows_.size() - kBuiltInRowCount + rows.size() > kMaxAppendedRows) {
        SetError(error,
                 "too many appended rows (at most " + std::to_string(kMaxAppendedRows) + ")");
        return false;
    }
    const std::size_t tableSize = rows_.size() + rows.size();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string why;
        if (!ValidateIdentificationRow(rows[i], rows_.size() + i, tableSize, &why)) {
            SetError(error, "row " + std::to_string(i) + ": " + why);
            return false;
        }
    }
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    slots_.insert(slots_.end(), rows.begin(), rows.end());
    return true;
}

bool CInterfaceSlotList::AppendRowsFromFile(const std::string& file, std::string* error) {
    const FileReadResult read = ReadWholeFile(file, kMaxIdentificationFileBytes);
    switch (read.status) {
        case ReadStatus::Ok:
            break;
        case ReadStatus::Missing:
            SetError(error, file + ": no such file");
            return false;
        case ReadStatus::TooLarge:
            SetError(error, file + ": file too large");
            return false;
        case ReadStatus::Error:
            SetError(error, file + ": " + read.error);
            return false;
    }
    std::vector<DeviceIdentity> rows;
    std::string why;
    if (!ParseIdentificationRows(read.data, Size(), rows, &why) || !AppendRows(rows, &why)) {
        SetError(error, file + ": " + why);
        return false;
    }
    return true;
}

std::size_t CInterfaceSlotList::Size() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
}

std::optional<DeviceIdentity> CInterfaceSlotList::Row(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= rows_.size()) {
        return std::nullopt;
    }
    return rows_[index];
}

std::optional<DeviceIdentity> CInterfaceSlotList::Slot(std::size_t index) const {
    std::lock_guard lock(mutex_);
    if (index >= slots_.size()) {
        return std::nullopt;
    }
    return slots_[index];
}

std::vector<DeviceIdentity> CInterfaceSlotList::Slots() const {
    std::lock_guard lock(mutex_);
    return slots_;
}

bool CInterfaceSlotList::SameFour(const DeviceIdentity& a, const DeviceIdentity& b) {
    return a.vendorId == b.vendorId && a.productId == b.productId &&
           a.interfaceNumber == b.interfaceNumber && a.collectionNumber == b.collectionNumber;
}

bool CInterfaceSlotList::SameSix(const DeviceIdentity& a, const DeviceIdentity& b) {
    return SameFour(a, b) && a.usagePage == b.usagePage && a.usage == b.usage;
}

bool CInterfaceSlotList::IsFree(const DeviceIdentity& slot) {
    return slot.connected == 0 && slot.path.empty();
}

bool CInterfaceSlotList::MatchPath(const DeviceIdentity& probe) const {
    std::lock_guard lock(mutex_);
    const bool inTable = std::any_of(rows_.begin(), rows_.end(),
                                     [&](const DeviceIdentity& r) { return SameFour(r, probe); });
    if (!inTable) {
        return false;
    }
    return std::any_of(slots_.begin(), slots_.end(),
                       [&](const DeviceIdentity& s) { return SameFour(s, probe) && IsFree(s); });
}

bool CInterfaceSlotList::MatchOpened(DeviceIdentity& probe, std::size_t* slotIndex) {
    if (probe.vendorId == 0 && probe.productId == 0) {
        return false;
    }
    std::lock_guard lock(mutex_);
    const auto row = std::find_if(rows_.begin(), rows_.end(),
                                  [&](const DeviceIdentity& r) { return SameSix(r, probe); });
    if (row == rows_.end()) {
        return false;
    }
    // An interface already in a slot must not take a second one.
    if (!probe.path.empty() &&
        std::any_of(slots_.begin(), slots_.end(),
                    [&](const DeviceIdentity& s) { return s.path == probe.path; })) {
        return false;
    }
    const auto slot = std::find_if(slots_.begin(), slots_.end(), [&](const DeviceIdentity& s) {
        return SameSix(s, probe) && IsFree(s);
    });
    if (slot == slots_.end()) {
        return false;
    }
    probe.kind = row->kind;
    probe.role = row->role;
    slot->connected = 1;
    slot->path = probe.path;
    if (slotIndex != nullptr) {
        *slotIndex = static_cast<std::size_t>(slot - slots_.begin());
    }
    return true;
}

int CInterfaceSlotList::RowFor(const DeviceIdentity& probe) const {
    if (probe.vendorId == 0 && probe.productId == 0) {
        return -1;
    }
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (SameSix(rows_[i], probe)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CInterfaceSlotList::AnySlotFree() const {
    std::lock_guard lock(mutex_);
    return std::any_of(slots_.begin(), slots_.end(), IsFree);
}

int CInterfaceSlotList::FindRow(uint16_t vendorId, uint16_t productId, uint16_t kind,
                                uint16_t role) const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const DeviceIdentity& r = rows_[i];
        if (r.vendorId == vendorId && r.productId == productId && r.kind == kind &&
            r.role == role) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int CInterfaceSlotList::FindSlotByPath(std::string_view path) const {
    if (path.empty()) {
        return -1;
    }
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].path == path) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool CInterfaceSlotList::Release(std::size_t index) {
    std::lock_guard lock(mutex_);
    if (index >= slots_.size()) {
        return false;
    }
    slots_[index].connected = 0;
    slots_[index].path.clear();
    return true;
}

// ---------------------------------------------------------------------------------------------

std::string CRejectedInterfaces::InstanceKey(std::string_view path) {
    std::string instance = InstanceFromPath(path);
    return instance.empty() ? std::string(path) : instance;
}

bool CRejectedInterfaces::Contains(std::string_view path) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const auto& e) { return e.second == path; });
}

void CRejectedInterfaces::Remember(std::string_view path) {
    std::lock_guard lock(mutex_);
    if (std::none_of(entries_.begin(), entries_.end(),
                     [&](const auto& e) { return e.second == path; })) {
        entries_.emplace_back(InstanceKey(path), std::string(path));
    }
}

void CRejectedInterfaces::ForgetAbsent(std::span<const std::string> presentPaths) {
    std::set<std::string> present;
    for (const std::string& p : presentPaths) {
        present.insert(InstanceKey(p));
    }
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& e) { return present.count(e.first) == 0; });
}

std::size_t CRejectedInterfaces::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void CRejectedInterfaces::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace q417
