#pragma once
// Names of the messages the application exchanges with companion programs (a service tool, a
// lighting companion, an audio-capture helper, the installer). They are kept exactly as the
// companions know them: the last one ends in "EBE19", not "EBF19" like its neighbours.
#include <array>
#include <string_view>

namespace q417::companion {

// Activation: a second start hands it to the running instance.
inline constexpr std::string_view kActivation = "Q417";
// Forwarded to the settings window as kSettings.
inline constexpr std::string_view kForwardToSettings = "{1234567890}";
// To the settings window; with wParam 4 the application saves its state and quits.
inline constexpr std::string_view kSettings = "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}";
// Broadcast with wParam 1: lParam 1 the application controls the lighting, 0 it has let go.
inline constexpr std::string_view kLightControlState = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
// From the lighting companion: takes (lParam 0) or gives back (lParam 1) the lighting.
inline constexpr std::string_view kLightControlRequest = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
// From the service tool "DudaRavo": answered with the table of supported devices.
inline constexpr std::string_view kDeviceTableRequest = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";
// To the audio-capture companion window.
inline constexpr std::string_view kAudioCapture = "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}";

inline constexpr int kSettingsQuitParam = 4;

// The six names registered after the resources, in their registration order.
inline constexpr std::array<std::string_view, 6> kRegisteredAfterResources{
    kForwardToSettings,   kSettings,           kLightControlState,
    kLightControlRequest, kDeviceTableRequest, kAudioCapture};

}  // namespace q417::companion
