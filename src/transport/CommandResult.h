#pragma once
// Result codes of the report channel's exchanges and of the command builders. Callers treat every
// value other than kResultOk as failure of the operation.
#include <string_view>

namespace q417 {

inline constexpr int kResultOk = 1;              // the reply was read (and its status was good)
inline constexpr int kResultNoReply = 0;         // channel not open, or no reply could be read
inline constexpr int kResultWriteFailed = -1;    // the request could not be written
inline constexpr int kResultRefused = -101;      // receiver refused (0xAA) or wrong reply CRC
inline constexpr int kResultStatusFF = -102;     // the device answered with status 0xFF
inline constexpr int kResultStatusFE = -103;     // the device answered with status 0xFE
inline constexpr int kResultBadArgument = -201;  // bad bank, address range or buffer: nothing sent
// A long write stopped between two frames because its device is stopping (the frames before the
// cut were written, the transaction was ended); a write that had not begun sent nothing.
inline constexpr int kResultCut = -301;

constexpr bool IsCommandResult(int code) {
    switch (code) {
        case kResultOk:
        case kResultNoReply:
        case kResultWriteFailed:
        case kResultRefused:
        case kResultStatusFF:
        case kResultStatusFE:
        case kResultBadArgument:
        case kResultCut:
            return true;
        default:
            return false;
    }
}

// A short English explanation for logs and q417ctl.
constexpr std::string_view CommandResultText(int code) {
    switch (code) {
        case kResultOk:
            return "success";
        case kResultNoReply:
            return "channel not open or no reply from the device";
        case kResultWriteFailed:
            return "the request could not be written";
        case kResultRefused:
            return "the receiver refused the request or its reply was corrupt";
        case kResultStatusFF:
            return "the device reported a failure (status 0xFF)";
        case kResultStatusFE:
            return "the device reported a failure (status 0xFE)";
        case kResultBadArgument:
            return "invalid argument; nothing was sent";
        case kResultCut:
            return "cut short because the program is stopping; the device holds only part of it";
        default:
            return "unknown result";
    }
}

}  // namespace q417
