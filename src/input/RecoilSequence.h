#pragma once
// Recoil sequences ("guns"): four fixed series of 30 shots, each shot six macro events (left
// click, horizontal and vertical move with the shot's pause, two zero moves). A gun lives in a
// ".Shoot" file, a JSON document whose "Events" array holds the events; its other members are kept
// when the file is rewritten. Files are read tolerantly (a missing or mistyped event reads as
// zeros) and written atomically.
#include <json/json.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/MacroEventRow.h"

namespace q417 {

inline constexpr int kRecoilGunCount = 4;
inline constexpr int kRecoilShotCount = 30;
inline constexpr std::size_t kEventsPerShot = 6;
inline constexpr std::size_t kMaxRecoilEvents = kEventsPerShot * kRecoilShotCount;  // 180
// A full sequence is about 20 KB of styled JSON; anything much larger is not a sequence.
inline constexpr std::size_t kMaxShootFileBytes = 1024u * 1024u;
inline constexpr uint8_t kMaxRecoilDistance = 255;

// Fixed timing of a shot's click and horizontal move.
inline constexpr uint16_t kShotClickDelay = 10;
inline constexpr uint16_t kShotMoveDelay = 5;

// The events of the four guns, in gun order.
using RecoilSet = std::array<std::vector<MacroEvent>, kRecoilGunCount>;

// One shot as the editor shows it.
struct RecoilShot {
    uint8_t x = 0;       // horizontal distance
    bool left = false;   // direction of x ("down" in the file)
    uint8_t y = 0;       // vertical distance
    bool up = false;     // direction of y ("down" in the file)
    uint16_t delay = 0;  // pause after the shot's moves

    bool operator==(const RecoilShot&) const = default;
};

// The shot from the editor's three edits (signed decimal, leading digits; none → 0), clamped to
// the distances' byte range and the delay's 16 bits so what is stored is what the mouse does.
RecoilShot ParseShotEdits(std::string_view xText, bool left, std::string_view yText, bool up,
                          std::string_view delayText);

// The six events of a shot, in file order.
std::array<MacroEvent, kEventsPerShot> ShotEvents(const RecoilShot& shot);

// Shot b (0-29) read from an "Events" array: distances and directions from events 6b+2 and 6b+3,
// the delay from 6b+3. Missing, null or mistyped events read as 0 and "up".
RecoilShot ShotFromEvents(const Json::Value& events, int shot);

// "ShootData_<gun>.Shoot"; gun must be 0-3.
std::string ShootFileName(int gun);

// A parsed ".Shoot" document.
struct ShootFile {
    Json::Value document;            // the whole root object
    std::vector<MacroEvent> events;  // "Events", at most 180; elements that are not objects read
                                     // as zero "up" events, so counts and positions stay
    std::size_t fileEventCount = 0;  // length of "Events" in the file (may exceed 180)
};

// nullopt when the bytes are not a JSON object (or above kMaxShootFileBytes). A missing or
// mistyped "Events" gives no events.
std::optional<ShootFile> ParseShootFile(std::string_view bytes);

enum class ShootFileState { Ok, Missing, Unreadable };
// A missing (or empty) file gives nullopt with state Missing; one that cannot be read or parsed
// nullopt with state Unreadable.
std::optional<ShootFile> ReadShootFile(const std::string& path, ShootFileState* state = nullptr);

// Writes the document atomically; on failure the old file is kept.
bool WriteShootFile(const std::string& path, const Json::Value& document);

}  // namespace q417
