#pragma once
// q417ctl's key, macro and recoil commands, and what they share: finding the mouse, numbers typed
// in hex or decimal, English texts for the key list, and the progress line of the long writes.
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/CliContext.h"

namespace q417 {
class CTavrenixMouseDevice;
}

namespace q417::cli {

class CliSession;

// keys: each button's current and default code and its text.
int RunKeys(CliContext& ctx, CliArgs args);
// assign BUTTON TYPE [P1 [P2]] | assign BUTTON default: stored in the profile, not yet written.
int RunAssign(CliContext& ctx, CliArgs args);
// apply: the used macros, then the key table, to the mouse.
int RunApply(CliContext& ctx, CliArgs args);
// macro list|add|rename|delete|import|export|show.
int RunMacro(CliContext& ctx, CliArgs args);
// recoil import|export|write.
int RunRecoil(CliContext& ctx, CliArgs args);

inline constexpr int kInputExitOk = 0;
inline constexpr int kInputExitFailed = 1;
inline constexpr int kInputExitUsage = 2;
inline constexpr int kInputExitNoDevice = 3;

// "0x1f" (hex) or "31" (decimal); nullopt for anything else or a value outside [lo, hi].
std::optional<int> ParseHexOrDecimal(std::string_view text, int lo, int hi);

// English text of a language key the key list can show (button titles, function names, media,
// system, shortcut and keyboard key names); the key itself when the table does not know it.
std::string EnglishKeyText(std::string_view languageKey);

// The session with detection settled and the visible mouse on it. device is null when there is
// none; `code` then holds the exit code when the reason was printed (no session could start or,
// with requireDevice, no mouse).
struct InputMouse {
    CliSession* session = nullptr;
    std::shared_ptr<CTavrenixMouseDevice> device;
    std::optional<int> code;
};
InputMouse FindInputMouse(CliContext& ctx, bool requireDevice);

// "writing macros: 12/40 frames" on stderr, rewritten in place with a carriage return, when the
// stream is a terminal; nothing otherwise. Update runs on the device's command thread, Finish on
// the caller's once the operation has ended.
class ProgressLine {
public:
    ProgressLine(std::ostream* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
    // Enabled when ctx's error stream is the process's stderr and that is a terminal.
    static ProgressLine ForContext(const CliContext& ctx);

    void SetLabel(std::string label) { label_ = std::move(label); }
    void Update(std::size_t done, std::size_t total);
    // Ends the line (a newline) when something was shown.
    void Finish();
    bool Shown() const { return shown_; }

private:
    std::ostream* stream_;
    bool enabled_;
    bool shown_ = false;
    std::string label_;
};

// The text of a ProgressLine update: "<label>: <done>/<total> frames".
std::string ProgressText(std::string_view label, std::size_t done, std::size_t total);

}  // namespace q417::cli
