#pragma once
// Pulls the identifiers out of a device path such as
// "hidraw#vid_4a1d&pid_7101&mi_00&col05#0003:4A1D:7101.000A#/dev/hidraw3".
#include <cstdint>
#include <string>
#include <string_view>

namespace q417 {

// Each finds its key regardless of letter case ("vid_", "pid_", "&mi_", "&col"), reads the text
// after it as hexadecimal the way "%x" does and returns the low 16 bits; 0 when the key is absent.
uint16_t VendorFromPath(std::string_view path);
uint16_t ProductFromPath(std::string_view path);
uint16_t InterfaceFromPath(std::string_view path);
uint16_t CollectionFromPath(std::string_view path);

// The kernel's device instance carried by our paths: the third '#'-separated part
// ("0003:4A1D:7101.000A" above). Empty when the path has fewer than three parts.
std::string InstanceFromPath(std::string_view path);

}  // namespace q417
