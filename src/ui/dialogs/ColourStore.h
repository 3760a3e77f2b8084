#pragma once
// The colour dialog's remembered colours: 20 preset colours and 20 collected colours with the
// selected item of each, kept in the user data folder's "color_option_info.config":
//   {"coloroptioninfo": {
//      "palletDialogcoloroption": [{"color": "FFRRGGBB"} x 20],
//      "palletDialogcoloroption_selectitem": n,
//      "palletDialogcollectcoloroption": [{"color": "FFRRGGBB", "UserData": "1"|"0"} x 20],
//      "palletDialogcollectcoloroption_selectitem": n }}
// Colours are hexadecimal text read with base 16. What the file lacks, or holds with the wrong
// type, leaves the caller's (the layout's) value standing.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace q417::ui {

inline constexpr int kColourOptionCount = 20;

struct ColourOptions {
    std::array<std::uint32_t, kColourOptionCount> presets{};  // 0xAARRGGBB
    int presetSelect = -1;                                    // -1: none
    std::array<std::uint32_t, kColourOptionCount> collected{};
    std::array<bool, kColourOptionCount> collectedFilled{};  // "UserData" "1"
    int collectSelect = -1;
};

std::string ColourStorePath();

// Overlays the store onto options. False when there is no store or it does not parse (options
// then stay as they were).
bool ReadColourStore(ColourOptions& options);

// Writes every member atomically, keeping any other members the file holds. A store that does
// not parse is kept aside first. False when the write failed.
bool WriteColourStore(const ColourOptions& options);

// Base-16 text ("FF20A0FF", "0x20a0ff"); anything else reads as 0.
std::uint32_t ParseColourText(std::string_view text);
std::string FormatColourText(std::uint32_t argb);

}  // namespace q417::ui
