#include "input/RecoilSequence.h"

#include "input/MacroFiles.h"
#include "platform/FileIo.h"
#include "profiles/CJsonFile.h"

namespace q417 {

namespace {

constexpr const char* kEvents = "Events";

// An element of "Events", or null when the array is too short.
const Json::Value& EventAt(const Json::Value& events, std::size_t i) {
    static const Json::Value kNull;
    if (!events.isArray() || i >= events.size()) {
        return kNull;
    }
    return events[static_cast<Json::ArrayIndex>(i)];
}

}  // namespace

RecoilShot ParseShotEdits(std::string_view xText, bool left, std::string_view yText, bool up,
                          std::string_view delayText) {
    RecoilShot s;
    s.x = static_cast<uint8_t>(ParseLeadingNumber(xText, 0, kMaxRecoilDistance));
    s.left = left;
    s.y = static_cast<uint8_t>(ParseLeadingNumber(yText, 0, kMaxRecoilDistance));
    s.up = up;
    s.delay = static_cast<uint16_t>(ParseLeadingNumber(delayText, 0, kMaxEventDelay));
    return s;
}

std::array<MacroEvent, kEventsPerShot> ShotEvents(const RecoilShot& shot) {
    return {{
        {true, kEventMouseButton, 0x01, kShotClickDelay},
        {false, kEventMouseButton, 0x01, 0},
        {shot.left, kEventMoveHorizontal, shot.x, kShotMoveDelay},
        {shot.up, kEventMoveVertical, shot.y, shot.delay},
        {shot.left, kEventMoveHorizontal, 0, 0},
        {shot.up, kEventMoveVertical, 0, 0},
    }};
}

RecoilShot ShotFromEvents(const Json::Value& events, int shot) {
    RecoilShot s;
    if (shot < 0 || shot >= kRecoilShotCount) {
        return s;
    }
    std::size_t base = kEventsPerShot * static_cast<std::size_t>(shot);
    MacroEvent h = MacroEventFromJson(EventAt(events, base + 2)).value_or(MacroEvent{});
    MacroEvent v = MacroEventFromJson(EventAt(events, base + 3)).value_or(MacroEvent{});
    s.x = h.button;
    s.left = h.down;
    s.y = v.button;
    s.up = v.down;
    s.delay = v.delay;
    return s;
}

std::string ShootFileName(int gun) {
    return "ShootData_" + std::to_string(gun) + ".Shoot";
}

std::optional<ShootFile> ParseShootFile(std::string_view bytes) {
    if (bytes.size() > kMaxShootFileBytes) {
        return std::nullopt;
    }
    std::optional<Json::Value> root = ParseJsonText(bytes);
    if (!root || !root->isObject()) {
        return std::nullopt;
    }
    ShootFile file;
    file.document = std::move(*root);
    const Json::Value& document = file.document;  // const: a missing member must not be added
    const Json::Value& events = document[kEvents];
    if (events.isArray()) {
        file.fileEventCount = events.size();
        std::size_t n = std::min<std::size_t>(events.size(), kMaxRecoilEvents);
        file.events.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            file.events.push_back(MacroEventFromJson(EventAt(events, i)).value_or(MacroEvent{}));
        }
    }
    return file;
}

std::optional<ShootFile> ReadShootFile(const std::string& path, ShootFileState* state) {
    ShootFileState local = ShootFileState::Ok;
    ShootFileState& s = state != nullptr ? *state : local;
    FileReadResult r = ReadWholeFile(path, kMaxShootFileBytes);
    if (r.status == ReadStatus::Missing || (r.status == ReadStatus::Ok && r.data.empty())) {
        s = ShootFileState::Missing;
        return std::nullopt;
    }
    if (r.status != ReadStatus::Ok) {
        s = ShootFileState::Unreadable;
        return std::nullopt;
    }
    std::optional<ShootFile> file = ParseShootFile(r.data);
    s = file ? ShootFileState::Ok : ShootFileState::Unreadable;
    return file;
}

bool WriteShootFile(const std::string& path, const Json::Value& document) {
    return CJsonFile::WriteDocument(path, document);
}

}  // namespace q417
