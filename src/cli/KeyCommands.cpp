// q417ctl keys, assign and apply: the mouse's key assignments as the key page shows and edits them,
// and the apply action that writes the used macros and the key table. Also the helpers the macro
// and recoil commands share (finding the mouse, numbers, English texts, the progress line).
#include <json/json.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <iostream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "cli/InputCommands.h"
#include "devices/CTavrenixMouseDevice.h"
#include "input/KeyAssignmentApply.h"
#include "input/KeyListText.h"
#include "input/KeyTables.h"
#include "transport/CommandResult.h"

namespace q417::cli {

// --- Shared helpers ------------------------------------------------------------------------------

std::optional<int> ParseHexOrDecimal(std::string_view text, int lo, int hi) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    long long value = 0;
    auto [stop, ec] = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (begin == end || ec != std::errc() || stop != end || value < lo || value > hi) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

namespace {

struct EnglishText {
    std::string_view key;
    std::string_view text;
};

// The language keys the mouse's key list can show. Keyboard key names are mostly the key's own
// name after the prefix; the ones that are not are listed here too.
constexpr std::array kEnglishTexts{
    EnglishText{"mouse_key_left", "Left button"},
    EnglishText{"mouse_key_middle", "Middle button"},
    EnglishText{"mouse_key_right", "Right button"},
    EnglishText{"mouse_key_back", "Back"},
    EnglishText{"mouse_key_forward", "Forward"},
    EnglishText{"mouse_key_DPI_loop", "DPI cycle"},
    EnglishText{"mouse_key_DPI_add", "DPI up"},
    EnglishText{"mouse_key_DPI_sub", "DPI down"},
    EnglishText{"mouse_key_M8_key", "M8 key"},
    EnglishText{"mouse_key_fire_key", "Fire key"},
    EnglishText{"mouse_key_left_Swing", "Tilt left"},
    EnglishText{"mouse_key_right_Swing", "Tilt right"},
    EnglishText{"mouse_key_up_Swing", "Scroll up"},
    EnglishText{"mouse_key_down_Swing", "Scroll down"},
    EnglishText{"mouse_key_report_loop", "Report rate cycle"},
    EnglishText{"mouse_key_DPI_shift", "DPI shift"},
    EnglishText{"mouse_key_smart_key", "Smart key"},
    EnglishText{"show_window", "Show window"},
    EnglishText{"close_text", "Disabled"},
    EnglishText{"media_text", "Media player"},
    EnglishText{"media_play", "Play/Pause"},
    EnglishText{"media_stop", "Stop"},
    EnglishText{"media_prev", "Previous track"},
    EnglishText{"media_next", "Next track"},
    EnglishText{"media_vol_sub", "Volume down"},
    EnglishText{"media_vol_add", "Volume up"},
    EnglishText{"media_mute", "Mute"},
    EnglishText{"web_text", "Browser home"},
    EnglishText{"web_refresh", "Browser refresh"},
    EnglishText{"wed_stop", "Browser stop"},
    EnglishText{"wed_back", "Browser back"},
    EnglishText{"wed_forward", "Browser forward"},
    EnglishText{"wed_favorite", "Browser favourites"},
    EnglishText{"web_search", "Browser search"},
    EnglishText{"media_mypc", "My computer"},
    EnglishText{"media_calc", "Calculator"},
    EnglishText{"media_mail", "Mail"},
    EnglishText{"system_power", "Power"},
    EnglishText{"system_sleep", "Sleep"},
    EnglishText{"system_wake_up", "Wake up"},
    EnglishText{"custem_open", "Open"},
    EnglishText{"custem_new", "New"},
    EnglishText{"custem_undo", "Undo"},
    EnglishText{"custem_save", "Save"},
    EnglishText{"custem_copy", "Copy"},
    EnglishText{"custem_cut", "Cut"},
    EnglishText{"custem_paste", "Paste"},
    EnglishText{"custem_find", "Find"},
    EnglishText{"custem_select_all", "Select all"},
    EnglishText{"custem_narrow", "Zoom out"},
    EnglishText{"custem_magnify", "Zoom in"},
    EnglishText{"gun_1_txt", "Recoil 1"},
    EnglishText{"gun_2_txt", "Recoil 2"},
    EnglishText{"gun_3_txt", "Recoil 3"},
    EnglishText{"gun_4_txt", "Recoil 4"},
    EnglishText{"keyboard_key_GM", "Game mode"},
    EnglishText{"keyboard_key_FN", "Fn"},
    EnglishText{"keyboard_key_LCtrl", "Left Ctrl"},
    EnglishText{"keyboard_key_LShift", "Left Shift"},
    EnglishText{"keyboard_key_LAlt", "Left Alt"},
    EnglishText{"keyboard_key_LWin", "Left Win"},
    EnglishText{"keyboard_key_RCtrl", "Right Ctrl"},
    EnglishText{"keyboard_key_RShift", "Right Shift"},
    EnglishText{"keyboard_key_RAlt", "Right Alt"},
    EnglishText{"keyboard_key_RWin", "Right Win"},
    EnglishText{"keyboard_key_xiegang", "\\"},
    EnglishText{"keyboard_key_<", ","},
    EnglishText{"keyboard_key_Caplk", "Caps Lock"},
    EnglishText{"keyboard_key_Print Scr", "Print Screen"},
    EnglishText{"keyboard_key_Browaer Home", "Browser Home"},
    EnglishText{"keyboard_key_Browser ForWard", "Browser Forward"},
};

constexpr std::string_view kKeyboardKeyPrefix = "keyboard_key_";

}  // namespace

std::string EnglishKeyText(std::string_view languageKey) {
    for (const EnglishText& t : kEnglishTexts) {
        if (t.key == languageKey) {
            return std::string(t.text);
        }
    }
    if (languageKey.size() > kKeyboardKeyPrefix.size() &&
        languageKey.starts_with(kKeyboardKeyPrefix)) {
        return std::string(languageKey.substr(kKeyboardKeyPrefix.size()));
    }
    return std::string(languageKey);
}

InputMouse FindInputMouse(CliContext& ctx, bool requireDevice) {
    InputMouse m;
    std::string error;
    m.session = ctx.Session(&error);
    if (m.session == nullptr) {
        m.code = ctx.Fail(error, kInputExitFailed);
        return m;
    }
    if (!m.session->WaitSettled()) {
        *ctx.err << "q417ctl: warning: the devices did not settle in time; using what is known\n";
    }
    if (std::optional<int> entry = m.session->MouseEntry()) {
        m.device = m.session->MouseDevice(*entry);
    }
    if (!m.device && requireDevice) {
        m.code = ctx.Fail("no mouse found", kInputExitNoDevice);
    }
    return m;
}

ProgressLine ProgressLine::ForContext(const CliContext& ctx) {
    const bool terminal = ctx.err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    return ProgressLine(ctx.err, terminal);
}

std::string ProgressText(std::string_view label, std::size_t done, std::size_t total) {
    return std::string(label) + ": " + std::to_string(done) + "/" + std::to_string(total) +
           " frames";
}

void ProgressLine::Update(std::size_t done, std::size_t total) {
    if (!enabled_ || stream_ == nullptr) {
        return;
    }
    // Trailing blanks wipe what a longer earlier label left on the line.
    *stream_ << '\r' << ProgressText(label_, done, total) << "    " << std::flush;
    shown_ = true;
}

void ProgressLine::Finish() {
    if (shown_ && stream_ != nullptr) {
        *stream_ << '\n' << std::flush;
        shown_ = false;
    }
}

// --- keys, assign, apply -------------------------------------------------------------------------

namespace {

Json::Value CodeJson(const KeyAssignment& code) {
    Json::Value j(Json::objectValue);
    j["type"] = "0x" + Hex2(code.type);
    j["p1"] = "0x" + Hex2(code.param1);
    j["p2"] = "0x" + Hex2(code.param2);
    return j;
}

std::string CodeText(const KeyAssignment& code) {
    return Hex2(code.type) + " " + Hex2(code.param1) + " " + Hex2(code.param2);
}

std::string Translate(std::string_view key) {
    return EnglishKeyText(key);
}

struct KeysView {
    std::vector<KeyAssignmentEntry> entries;
    std::vector<std::string> macroNames;
};

// The key entries and the macro names as the key page would show them now.
std::optional<KeysView> ReadKeys(CTavrenixMouseDevice& mouse) {
    return mouse.Call([&] {
        // Sets the device folder (the profile may have switched) and reads the macro library.
        mouse.ReloadNameLists();
        return KeysView{mouse.KeyEntries(), mouse.Macros().MacroNames()};
    });
}

// Type names accepted by assign besides a number.
struct TypeName {
    std::string_view name;
    std::uint8_t type;
};
constexpr std::array kTypeNames{
    TypeName{"disable", keytype::kNone},        TypeName{"none", keytype::kNone},
    TypeName{"mouse", keytype::kMouseButton},   TypeName{"swing", keytype::kHorizontalSwing},
    TypeName{"wheel", keytype::kVerticalSwing}, TypeName{"dpi", keytype::kDpi},
    TypeName{"fire", keytype::kFire},           TypeName{"key", keytype::kKeyboardKey},
    TypeName{"media", keytype::kMedia},         TypeName{"system", keytype::kSystem},
    TypeName{"macro", keytype::kMacro},         TypeName{"macro-count", keytype::kMacroCounted},
    TypeName{"recoil", keytype::kRecoil},
};

constexpr const char* kAssignUsage =
    "usage: assign BUTTON TYPE [P1 [P2]] | assign BUTTON default (BUTTON 0-10; TYPE, P1, P2 "
    "0-255 in decimal or 0x hex; TYPE also disable, mouse, swing, wheel, dpi, fire, key, media, "
    "system, macro, macro-count, recoil)";

std::optional<std::uint8_t> ParseType(std::string_view text) {
    for (const TypeName& t : kTypeNames) {
        if (t.name == text) {
            return t.type;
        }
    }
    if (std::optional<int> v = ParseHexOrDecimal(text, 0, 255)) {
        return static_cast<std::uint8_t>(*v);
    }
    return std::nullopt;
}

std::string ButtonTitle(std::size_t button) {
    return button < kMouseKeyNameTable.size() ? EnglishKeyText(kMouseKeyNameTable[button])
                                              : "key " + std::to_string(button);
}

Json::Value ButtonJson(std::size_t button, const KeyAssignmentEntry& entry,
                       const std::vector<std::string>& macroNames) {
    Json::Value j(Json::objectValue);
    j["button"] = Json::UInt(button);
    j["title"] = ButtonTitle(button);
    j["current"] = CodeJson(entry.current);
    j["default"] = CodeJson(entry.defaults);
    j["changed"] = entry.Changed();
    j["text"] =
        RenderKeyText(DescribeKeyCode(entry.current, KeyDeviceKind::Mouse, macroNames), Translate);
    return j;
}

}  // namespace

int RunKeys(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("usage: keys", kInputExitUsage);
    }
    InputMouse m = FindInputMouse(ctx, true);
    if (m.code) {
        return *m.code;
    }
    std::optional<KeysView> view = ReadKeys(*m.device);
    if (!view) {
        return ctx.Fail("keys: the mouse is shutting down", kInputExitFailed);
    }
    const std::size_t count =
        std::min(view->entries.size(), static_cast<std::size_t>(kMouseKeyButtonCount));
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "keys";
        Json::Value buttons(Json::arrayValue);
        for (std::size_t b = 0; b < count; ++b) {
            buttons.append(ButtonJson(b, view->entries[b], view->macroNames));
        }
        doc["buttons"] = buttons;
        ctx.PrintJson(doc);
        return kInputExitOk;
    }
    for (std::size_t b = 0; b < count; ++b) {
        const KeyAssignmentEntry& e = view->entries[b];
        std::string title = ButtonTitle(b);
        title.resize(std::max<std::size_t>(title.size(), 14), ' ');
        *ctx.out << (b < 10 ? " " : "") << b << "  " << title << "  " << CodeText(e.current) << "  "
                 << RenderKeyText(
                        DescribeKeyCode(e.current, KeyDeviceKind::Mouse, view->macroNames),
                        Translate)
                 << "  (default " << CodeText(e.defaults) << (e.Changed() ? ", changed" : "")
                 << ")\n";
    }
    if (count == 0) {
        *ctx.out << "the mouse's profile has no keys\n";
    }
    return kInputExitOk;
}

int RunAssign(CliContext& ctx, CliArgs args) {
    if (args.size() < 2 || args.size() > 4) {
        return ctx.Fail(kAssignUsage, kInputExitUsage);
    }
    std::optional<int> button = ParseHexOrDecimal(args[0], 0, kMouseKeyButtonCount - 1);
    const bool toDefault = args[1] == "default";
    std::optional<std::uint8_t> type = toDefault ? std::uint8_t{0} : ParseType(args[1]);
    std::optional<int> p1 = args.size() > 2 ? ParseHexOrDecimal(args[2], 0, 255) : 0;
    std::optional<int> p2 = args.size() > 3 ? ParseHexOrDecimal(args[3], 0, 255) : 0;
    if (!button || !type || !p1 || !p2 || (toDefault && args.size() != 2)) {
        return ctx.Fail(kAssignUsage, kInputExitUsage);
    }
    if (!toDefault && !FindKeyType(*type)) {
        return ctx.Fail("assign: 0x" + Hex2(*type) + " is not a function type", kInputExitUsage);
    }
    if (!toDefault && *type == keytype::kRecoil &&
        *p1 >= static_cast<int>(kRecoilNameKeys.size())) {
        return ctx.Fail("assign: recoil sequences are 0-3", kInputExitUsage);
    }
    InputMouse m = FindInputMouse(ctx, true);
    if (m.code) {
        return *m.code;
    }
    CTavrenixMouseDevice& mouse = *m.device;
    const auto key = static_cast<std::size_t>(*button);
    struct Outcome {
        std::string refused;
        std::optional<SaveResult> saved;
        KeyAssignmentEntry entry{};
        std::vector<std::string> macroNames;
    };
    std::optional<Outcome> outcome = mouse.Call([&] {
        Outcome o;
        mouse.ReloadNameLists();
        const std::vector<KeyAssignmentEntry>& entries = mouse.KeyEntries();
        if (key >= entries.size()) {
            o.refused = "the mouse's profile has no button " + std::to_string(key);
            return o;
        }
        o.entry = entries[key];
        if (toDefault) {
            o.entry.current = o.entry.defaults;
        } else {
            o.entry.current.type = *type;
            o.entry.current.param1 = static_cast<std::uint8_t>(*p1);
            o.entry.current.param2 = static_cast<std::uint8_t>(*p2);
        }
        o.entry.current.keyIndex = static_cast<std::uint16_t>(key);
        o.entry.current.spare = 0;
        const KeyAssignment left{0, keytype::kMouseButton, 0x01, 0x00, 0};
        // The key page never lets the last left button go; the command line keeps that rule.
        if (IsOnlyLeftButton(entries, key) && !o.entry.current.SameCode(left)) {
            o.refused = "button " + std::to_string(key) +
                        " holds the only left button; give another button the left button first";
            return o;
        }
        const int macros = mouse.Macros().Count();
        if ((o.entry.current.type == keytype::kMacro ||
             o.entry.current.type == keytype::kMacroCounted) &&
            o.entry.current.param1 >= macros) {
            o.refused = "there is no macro " + std::to_string(o.entry.current.param1) + " (the " +
                        "library has " + std::to_string(macros) + "; q417ctl macro list)";
            return o;
        }
        o.saved = mouse.StoreKeyAssignment(key, o.entry);
        o.macroNames = mouse.Macros().MacroNames();
        return o;
    });
    if (!outcome) {
        return ctx.Fail("assign: the mouse is shutting down", kInputExitFailed);
    }
    if (!outcome->refused.empty()) {
        return ctx.Fail("assign: " + outcome->refused, kInputExitFailed);
    }
    if (!outcome->saved || *outcome->saved == SaveResult::Failed) {
        return ctx.Fail("assign: the profile file could not be written; the old file was kept",
                        kInputExitFailed);
    }
    if (*outcome->saved == SaveResult::NoKeyList) {
        *ctx.err << "q417ctl: warning: the profile has no key list; the change was not saved\n";
    }
    const std::string text = RenderKeyText(
        DescribeKeyCode(outcome->entry.current, KeyDeviceKind::Mouse, outcome->macroNames),
        Translate);
    if (ctx.json) {
        Json::Value doc = ButtonJson(key, outcome->entry, outcome->macroNames);
        doc["ok"] = true;
        doc["command"] = "assign";
        doc["saved"] = *outcome->saved == SaveResult::Written;
        ctx.PrintJson(doc);
    } else {
        *ctx.out << "button " << key << " (" << ButtonTitle(key)
                 << "): " << CodeText(outcome->entry.current) << (text.empty() ? "" : " " + text)
                 << "; saved in the profile, q417ctl apply writes it to the mouse\n";
    }
    return kInputExitOk;
}

namespace {

// The apply action's view of the mouse: its own operations, with the progress line told which
// write is running.
class MouseApplyTarget final : public KeyApplyTarget {
public:
    MouseApplyTarget(CTavrenixMouseDevice& mouse, ProgressLine& line)
        : mouse_(mouse), line_(line) {}

    std::vector<int> CollectUsedMacros() override {
        used_ = mouse_.CollectUsedMacros();
        return used_;
    }
    int WriteMacros(const std::vector<int>& usedMacros) override {
        line_.SetLabel("writing macros");
        return mouse_.WriteMacros(usedMacros);
    }
    int WriteCurrentKeyTable(int profileIndex) override {
        line_.SetLabel("writing key table");
        return mouse_.WriteCurrentKeyTable(profileIndex);
    }
    const std::vector<int>& Used() const { return used_; }

private:
    CTavrenixMouseDevice& mouse_;
    ProgressLine& line_;
    std::vector<int> used_;
};

// English texts of the apply action's two messages.
constexpr std::string_view kNoDeviceText = "No device is connected";
constexpr std::string_view kTooLargeText =
    "The macros do not fit into the mouse's memory: remove at least %d events and apply again";
constexpr std::string_view kCutText =
    "cut short because q417ctl is stopping: the mouse holds only part of the macros and key "
    "table; apply again";

}  // namespace

int RunApply(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("usage: apply", kInputExitUsage);
    }
    InputMouse m = FindInputMouse(ctx, true);
    if (m.code) {
        return *m.code;
    }
    CTavrenixMouseDevice& mouse = *m.device;
    ProgressLine line = ProgressLine::ForContext(ctx);
    struct Outcome {
        KeyApplyResult result;
        std::vector<int> used;
        std::vector<int> unplaced;  // buttons without a record in the mouse's key table
    };
    std::optional<Outcome> outcome = mouse.Commands().SubmitAndWait(
        [&](CommandContext& context) {
            mouse.ReloadNameLists();
            mouse.SetTransferProgress([&context](std::size_t done, std::size_t total) {
                context.ReportProgress(static_cast<int>(done), static_cast<int>(total));
            });
            MouseApplyTarget target(mouse, line);
            Outcome o{ApplyKeyAssignments(target), target.Used(), {}};
            mouse.SetTransferProgress({});
            // A button is found in the table by its factory code when the table is read; one
            // whose code was changed by an earlier apply is not found again and is not written.
            const std::size_t buttons =
                std::min(mouse.KeyEntries().size(), static_cast<std::size_t>(kMouseKeyButtonCount));
            for (std::size_t k = 0; k < buttons; ++k) {
                if (!mouse.KeyLayout().PositionOf(k)) {
                    o.unplaced.push_back(static_cast<int>(k));
                }
            }
            if (o.result.outcome == KeyApplyOutcome::Written) {
                mouse.RefreshPanel();
            }
            return o;
        },
        [&](int done, int total) {
            line.Update(static_cast<std::size_t>(done), static_cast<std::size_t>(total));
        });
    line.Finish();
    if (!outcome) {
        return ctx.Fail("apply: the mouse is shutting down", kInputExitFailed);
    }
    const KeyApplyResult& r = outcome->result;
    Json::Value doc(Json::objectValue);
    doc["command"] = "apply";
    doc["macroResult"] = r.macroResult;
    doc["keyTableResult"] = r.keyTableResult;
    Json::Value used(Json::arrayValue);
    for (int u : outcome->used) {
        used.append(u);
    }
    doc["usedMacros"] = used;
    Json::Value unplaced(Json::arrayValue);
    for (int k : outcome->unplaced) {
        unplaced.append(k);
    }
    doc["unplacedButtons"] = unplaced;
    std::string failure;
    int code = kInputExitFailed;
    switch (r.outcome) {
        case KeyApplyOutcome::Written:
            break;
        case KeyApplyOutcome::NoDevice:
            failure = std::string(kNoDeviceText);
            code = kInputExitNoDevice;
            break;
        case KeyApplyOutcome::TooLarge:
            failure = FormatCountMessage(kTooLargeText, r.count);
            doc["count"] = r.count;
            break;
        case KeyApplyOutcome::KeyTableFailed:
            failure = "the macros were written but the key table was not (result " +
                      std::to_string(r.keyTableResult) + ")";
            break;
        case KeyApplyOutcome::Cut:
            failure = std::string(kCutText);
            break;
    }
    if (!failure.empty()) {
        if (ctx.json) {
            doc["ok"] = false;
            doc["error"] = failure;
            if (!r.messageKey.empty()) {
                doc["messageKey"] = r.messageKey;
            }
            ctx.PrintJson(doc);
        }
        *ctx.err << "q417ctl: apply: " << failure << '\n';
        return code;
    }
    if (r.outcome == KeyApplyOutcome::Written && !outcome->unplaced.empty()) {
        *ctx.err << "q417ctl: warning: apply: button";
        for (int k : outcome->unplaced) {
            *ctx.err << ' ' << k;
        }
        *ctx.err << " not written: the mouse's key table read at start-up did not show "
                    "where (its factory code was not found there)\n";
    }
    if (ctx.json) {
        doc["ok"] = true;
        ctx.PrintJson(doc);
    } else {
        *ctx.out << "apply: " << outcome->used.size() << " macro"
                 << (outcome->used.size() == 1 ? "" : "s") << " and the key table written\n";
    }
    return kInputExitOk;
}

}  // namespace q417::cli
