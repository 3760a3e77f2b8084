#pragma once
// One row of the identification table, and one slot of the slot list built from it.
#include <cstdint>
#include <string>
#include <string_view>

namespace q417 {

// Device kind codes.
inline constexpr uint16_t kKindKeyboardCable = 1;
inline constexpr uint16_t kKindMouseCable = 2;
inline constexpr uint16_t kKindMousePad = 3;
inline constexpr uint16_t kKindMouseReceiver = 6;
inline constexpr uint16_t kKindHeadset = 7;
inline constexpr uint16_t kKindKeyboardReceiver = 9;

// Interface roles.
inline constexpr uint16_t kRoleCommand = 0x00;       // vendor collection, carries the exchanges
inline constexpr uint16_t kRoleNotification = 0xFF;  // Consumer Control, device-side changes

// The two collections every supported device exposes.
inline constexpr uint16_t kCommandUsagePage = 0xFF1C;
inline constexpr uint16_t kCommandUsage = 0x0092;
inline constexpr uint16_t kNotificationUsagePage = 0x000C;
inline constexpr uint16_t kNotificationUsage = 0x0001;

struct DeviceIdentity {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t interfaceNumber = 0;
    uint16_t collectionNumber = 0;
    uint16_t kind = 0;
    uint16_t role = 0;
    uint16_t connected = 0;  // 0 in the table; 1 while an interface occupies the slot
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t hasPartner = 0;
    uint16_t partnerIndex = 0;
    std::string path;  // empty in the table; the occupying interface's path in a slot

    bool operator==(const DeviceIdentity&) const = default;
};

constexpr bool IsKnownKind(uint16_t kind) {
    return kind == kKindKeyboardCable || kind == kKindMouseCable || kind == kKindMousePad ||
           kind == kKindMouseReceiver || kind == kKindHeadset || kind == kKindKeyboardReceiver;
}
// Kinds reached through the wireless receiver.
constexpr bool IsReceiverKind(uint16_t kind) {
    return kind == kKindMouseReceiver || kind == kKindKeyboardReceiver;
}
constexpr bool IsMouseKind(uint16_t kind) {
    return kind == kKindMouseCable || kind == kKindMouseReceiver;
}
constexpr bool IsKeyboardKind(uint16_t kind) {
    return kind == kKindKeyboardCable || kind == kKindKeyboardReceiver;
}

// A short English word for a kind ("mouse (cable)", "keyboard (receiver)", ...; "unknown").
std::string_view KindName(uint16_t kind);
// "command", "notification" or "unknown".
std::string_view RoleName(uint16_t role);

}  // namespace q417
