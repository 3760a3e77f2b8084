// q417ctl's mouse commands on the running device manager: status, the page's edits, profile
// switch and device reset.
#include <json/json.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "input/MacroBlock.h"
#include "platform/Folders.h"
#include "transport/CommandResult.h"
#include "transport/DeviceIdentity.h"

namespace q417::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoDevice = 3;

// A profile switch or reset may write a macro block through the receiver (about half a minute).
constexpr auto kApplyBound = std::chrono::seconds(120);

std::optional<int> ParseInt(std::string_view text, int lo, int hi) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < lo ||
        value > hi) {
        return std::nullopt;
    }
    return value;
}

// A stage as people type it (1-6, as the window shows it) to the mouse's index (0-5).
std::optional<int> ParseStage(std::string_view text) {
    std::optional<int> stage = ParseInt(text, 1, kMouseStageCount);
    return stage ? std::optional<int>(*stage - 1) : std::nullopt;
}

std::string Colour(const DpiStage& s) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", s.red, s.green, s.blue);
    return text;
}

// The session with detection settled, and the visible mouse. On failure `code` holds the exit
// code (the reason is printed).
struct MouseTarget {
    CliSession* session = nullptr;
    int entry = -1;
    std::shared_ptr<CTavrenixMouseDevice> device;
    std::optional<int> code;
};

CliSession* SettledSession(CliContext& ctx, int* code) {
    std::string error;
    CliSession* session = ctx.Session(&error);
    if (session == nullptr) {
        *code = ctx.Fail(error, kExitFailed);
        return nullptr;
    }
    if (!session->WaitSettled()) {
        *ctx.err << "q417ctl: warning: the devices did not settle in time; showing what is known\n";
    }
    return session;
}

int FailNoDevice(const CliContext& ctx) {
    return ctx.Fail(ctx.demo ? "no supported device found"
                             : "no supported device found (q417ctl hid shows every HID "
                               "interface and whether it can be opened)",
                    kExitNoDevice);
}

MouseTarget FindMouse(CliContext& ctx) {
    MouseTarget t;
    int code = 0;
    t.session = SettledSession(ctx, &code);
    if (t.session == nullptr) {
        t.code = code;
        return t;
    }
    std::optional<int> entry = t.session->MouseEntry();
    if (entry) {
        t.entry = *entry;
        t.device = t.session->MouseDevice(*entry);
    }
    if (!t.device) {
        t.code = FailNoDevice(ctx);
    }
    return t;
}

std::string DeviceResultText(int result) {
    if (result == kResultNoReply) {
        return "the mouse did not answer (switched off, out of range or unplugged)";
    }
    return std::string(CommandResultText(result)) + " (" + std::to_string(result) + ")";
}

// --- status --------------------------------------------------------------------------------------

struct EntryStatus {
    SelectorEntry entry;  // without its device
    std::string listName;
    std::string listId;
    int listIndex = -1;
    bool open = false;
    bool wireless = false;
    std::uint16_t productId = 0;    // of the interface in use (the receiver's own product)
    std::optional<bool> link;       // receiver only
    std::optional<int> readResult;  // empty when the mouse was not asked (link down)
    std::optional<DeviceSnapshot> snapshot;
};

EntryStatus ReadEntry(CliSession& session, int index) {
    EntryStatus s;
    std::shared_ptr<CTavrenixUSBDevice> device;
    session.OnLoop([&] {
        const SelectorEntry& e = session.Manager().Entries()[static_cast<std::size_t>(index)];
        s.entry = e;
        s.entry.device.reset();
        device = e.device;
        if (CProfileList* list = session.Manager().ProfileListFor(index)) {
            s.listId = list->GetCurrentId();
            s.listIndex = list->GetCurSel();
            if (s.listIndex >= 0 && s.listIndex < list->GetCount()) {
                s.listName = list->Entries()[static_cast<std::size_t>(s.listIndex)].name;
            }
        }
        return 0;
    });
    if (!device) {
        return s;
    }
    // Read on the device's thread: what the mouse holds now, not what was last shown.
    auto snapshot = device->Call([&] {
        s.open = device->CommandChannel().IsOpen() != 0;
        s.wireless = device->IsWireless();
        if (s.open) {
            CReportChannel& channel = device->CommandChannel();
            s.productId =
                (s.wireless ? channel.InterfaceB() : channel.InterfaceA()).Attributes().productId;
            if (s.wireless) {
                s.link = device->CheckLink() == 1;
            }
            if (!s.wireless || *s.link) {
                s.readResult = device->ReloadFromDevice();
            }
        }
        return device->MakeSnapshot();
    });
    s.snapshot = std::move(snapshot);
    return s;
}

// The polling-rate code the page shows (the receiver 0x7103 keeps its own setting).
int PollingCode(const MouseSnapshot& m) {
    return m.page.pollingOption;
}

Json::Value EntryJson(const EntryStatus& s) {
    Json::Value j(Json::objectValue);
    j["index"] = s.entry.index;
    j["name"] = s.entry.name;
    j["kind"] = s.entry.kind;
    j["visible"] = s.entry.visible;
    j["selected"] = s.entry.selected;
    j["open"] = s.open;
    j["connection"] = !s.open ? "none" : (s.wireless ? "receiver" : "cable");
    j["link"] = s.link ? Json::Value(*s.link ? "up" : "down") : Json::Value(Json::nullValue);
    if (!s.snapshot) {
        return j;
    }
    const DeviceSnapshot& snap = *s.snapshot;
    if (s.open) {
        j["productId"] = "0x" + Hex4(s.productId);
        if (s.readResult) {
            j["readResult"] = *s.readResult;
        }
    }
    Json::Value profile(Json::objectValue);
    profile["index"] = s.listIndex;
    profile["name"] = s.listName;
    profile["id"] = s.listId;
    if (snap.mouse) {
        profile["deviceSlot"] = snap.mouse->currentProfile;
    }
    j["profile"] = profile;
    if (!snap.mouse) {
        return j;
    }
    const MouseSnapshot& m = *snap.mouse;
    Json::Value stages(Json::arrayValue);
    for (std::size_t i = 0; i < m.page.stages.size(); ++i) {
        const DpiStageView& v = m.page.stages[i];
        if (!v.present) {
            continue;
        }
        Json::Value st(Json::objectValue);
        st["stage"] = Json::UInt(i);
        st["enabled"] = v.enableChecked;
        st["active"] = static_cast<int>(i) == m.activeStage;
        st["dpi"] = v.dpi;
        st["stored"] = i < m.stages.size() ? m.stages[i].dpiX : 0;
        st["colour"] = i < m.stages.size() ? Colour(m.stages[i]) : std::string();
        stages.append(st);
    }
    Json::Value dpi(Json::objectValue);
    dpi["active"] = m.activeStage;
    dpi["stages"] = stages;
    j["dpi"] = dpi;
    j["polling"] = PollingCode(m);
    j["liftOff"] = m.page.liftOffOption;
    j["calibration"] = m.page.linearCalibrationOption;
    return j;
}

// The present stages as " *1:400 2:800(off) ...": counted from 1, * the one in use.
void PrintStages(std::ostream& os, const MouseSnapshot& m) {
    for (std::size_t i = 0; i < m.page.stages.size(); ++i) {
        const DpiStageView& v = m.page.stages[i];
        if (v.present) {
            os << ' ' << (static_cast<int>(i) == m.activeStage ? "*" : "") << i + 1 << ':' << v.dpi
               << (v.enableChecked ? "" : "(off)");
        }
    }
}

void PrintEntry(std::ostream& os, const EntryStatus& s) {
    os << "entry " << s.entry.index << ": " << s.entry.name << ", "
       << (s.entry.visible ? "shown" : "hidden") << (s.entry.selected ? ", selected" : "") << '\n';
    if (!s.open) {
        os << "  connection:  none\n";
        return;
    }
    const DeviceSnapshot& snap = *s.snapshot;
    os << "  connection:  " << (s.wireless ? "receiver" : "cable") << " (product 0x"
       << Hex4(s.productId) << ")\n";
    if (s.link) {
        os << "  link:        " << (*s.link ? "up" : "down (mouse off or out of range)") << '\n';
    }
    if (s.readResult && *s.readResult != kResultOk) {
        os << "  read:        failed: " << DeviceResultText(*s.readResult)
           << " (showing the profile)\n";
    }
    // Stages and profiles are counted from 1 in the text, as in the window; JSON keeps indexes.
    os << "  profile:     " << s.listIndex + 1 << " '" << s.listName << "' (" << s.listId << ")";
    if (snap.mouse) {
        os << ", device slot " << snap.mouse->currentProfile + 1;
    }
    os << '\n';
    if (!snap.mouse) {
        return;
    }
    const MouseSnapshot& m = *snap.mouse;
    os << "  DPI stages: ";
    PrintStages(os, m);
    os << '\n';
    os << "  polling:     code " << PollingCode(m) << '\n';
    os << "  lift-off:    " << m.page.liftOffOption << '\n';
    os << "  calibration: " << m.page.linearCalibrationOption << '\n';
}

// --- edits ---------------------------------------------------------------------------------------

// Runs one of the page's edits on the mouse's thread and reports the stage list and settings the
// mouse now has. `refused` explains a kResultBadArgument (nothing changed).
int RunEdit(CliContext& ctx, const std::string& command, Json::Value request,
            const std::function<int(CTavrenixMouseDevice&)>& edit,
            const std::function<std::string(const MouseSnapshot&)>& refused) {
    MouseTarget t = FindMouse(ctx);
    if (t.code) {
        return *t.code;
    }
    CTavrenixMouseDevice& mouse = *t.device;
    struct Outcome {
        int result = 0;
        bool saved = true;
        std::optional<std::string> precheck;
        DeviceSnapshot snapshot;
    };
    auto outcome = mouse.Call([&] {
        Outcome o;
        o.snapshot = mouse.MakeSnapshot();
        if (o.snapshot.mouse) {
            std::string why = refused(*o.snapshot.mouse);
            if (!why.empty()) {
                o.precheck = why;
                o.result = kResultBadArgument;
                return o;
            }
        }
        o.result = edit(mouse);
        o.saved = mouse.LastSaveSucceeded();
        o.snapshot = mouse.MakeSnapshot();
        return o;
    });
    if (!outcome) {
        return ctx.Fail(command + ": the device is shutting down", kExitFailed);
    }
    if (outcome->result == kResultBadArgument) {
        return ctx.Fail(command + ": " + outcome->precheck.value_or("refused by the mouse"),
                        kExitFailed);
    }
    if (!outcome->saved) {
        *ctx.err
            << "q417ctl: warning: the profile file could not be saved; the old file was kept\n";
    }
    if (outcome->result != kResultOk) {
        return ctx.Fail(command +
                            ": writing the mouse failed: " + DeviceResultText(outcome->result) +
                            (outcome->saved ? "; the change is saved in the profile and goes to "
                                              "the mouse when it is reached again"
                                            : ""),
                        kExitFailed);
    }
    EntryStatus s;
    s.entry.index = t.entry;
    s.open = true;
    s.wireless = outcome->snapshot.wireless;
    s.snapshot = outcome->snapshot;
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = command;
        for (const std::string& key : request.getMemberNames()) {
            doc[key] = request[key];
        }
        doc["result"] = outcome->result;
        Json::Value state = EntryJson(s);
        doc["entry"] = t.entry;
        doc["dpi"] = state["dpi"];
        doc["polling"] = state["polling"];
        doc["liftOff"] = state["liftOff"];
        doc["calibration"] = state["calibration"];
        ctx.PrintJson(doc);
    } else if (outcome->snapshot.mouse) {
        const MouseSnapshot& m = *outcome->snapshot.mouse;
        *ctx.out << command << ": written.";
        *ctx.out << " DPI stages:";
        PrintStages(*ctx.out, m);
        *ctx.out << "; polling " << PollingCode(m) << ", lift-off " << m.page.liftOffOption
                 << ", calibration " << m.page.linearCalibrationOption << '\n';
    }
    return 0;
}

std::string NoCheck(const MouseSnapshot&) {
    return {};
}

int OnOffSetting(CliContext& ctx, CliArgs args, const std::string& command, std::size_t offset) {
    std::optional<int> value = args.size() == 1 ? ParseInt(args[0], 0, 1) : std::nullopt;
    if (!value) {
        return ctx.Fail("usage: " + command + " 0|1", kExitUsage);
    }
    Json::Value request(Json::objectValue);
    request["value"] = *value;
    return RunEdit(
        ctx, command, request,
        [&](CTavrenixMouseDevice& m) {
            return m.EditSetting(offset, static_cast<std::uint16_t>(*value));
        },
        NoCheck);
}

// --- profile switch and reset --------------------------------------------------------------------

// The English texts of the two messages an apply can end with.
std::string ApplyMessage(const ProfileApplyResult& r) {
    if (r.messageKey == "message_text_7") {
        return "no device is connected: the macros and the key table were not written";
    }
    if (r.messageKey == "message_text_16") {
        return "the macros are too large for the mouse by " + std::to_string(r.messageNumber) +
               " events: remove some and apply again (the key table was not written)";
    }
    if (r.messageKey == kMessageResetFailed) {
        return std::string(ResetResultText(static_cast<ResetResult>(r.resetResult))) + " (" +
               DefaultDataFolder() + "mouse.Json): the profile was left as it was";
    }
    return {};
}

std::optional<ProfileApplyResult> WaitApply(
    CliSession& session, const std::function<void(std::function<void(ProfileApplyResult)>)>& run) {
    auto promise = std::make_shared<std::promise<ProfileApplyResult>>();
    std::future<ProfileApplyResult> future = promise->get_future();
    session.OnLoop([&] {
        run([promise](ProfileApplyResult r) { promise->set_value(r); });
        return 0;
    });
    if (future.wait_for(kApplyBound) != std::future_status::ready) {
        return std::nullopt;
    }
    return future.get();
}

// Reports an apply; 0 when everything was written.
int ReportApply(CliContext& ctx, const std::string& command, const ProfileApplyResult& r,
                Json::Value doc, const std::string& doneText) {
    std::string failure;
    if (!r.ran) {
        failure = "the mouse did not run it (shutting down)";
    } else if (r.listResult != static_cast<int>(ProfileListResult::Done)) {
        failure = ProfileListResultText(static_cast<ProfileListResult>(r.listResult));
    } else if (!r.messageKey.empty()) {
        failure = ApplyMessage(r);
    } else if (r.macroResult == kMacrosCut || r.keyTableResult == kResultCut) {
        // Never "done": the mouse holds part of the macros or key table.
        failure =
            "cut short because the mouse was stopping: the macros and the key table were "
            "only partly written";
    } else if (r.recordResult != kResultOk) {
        failure = "writing the profile record failed: " + DeviceResultText(r.recordResult);
    } else if (r.keyTableResult != 0 && r.keyTableResult != kResultOk) {
        failure = "writing the key table failed: " + DeviceResultText(r.keyTableResult);
    }
    if (!failure.empty()) {
        if (ctx.json) {
            doc["ok"] = false;
            doc["command"] = command;
            doc["error"] = failure;
            doc["recordResult"] = r.recordResult;
            doc["macroResult"] = r.macroResult;
            doc["keyTableResult"] = r.keyTableResult;
            if (!r.messageKey.empty()) {
                doc["messageKey"] = r.messageKey;
                doc["message"] = ApplyMessage(r);
            }
            ctx.PrintJson(doc);
        }
        *ctx.err << "q417ctl: " << command << ": " << failure << '\n';
        return kExitFailed;
    }
    if (ctx.json) {
        doc["ok"] = true;
        doc["command"] = command;
        doc["recordResult"] = r.recordResult;
        doc["macroResult"] = r.macroResult;
        doc["keyTableResult"] = r.keyTableResult;
        ctx.PrintJson(doc);
    } else {
        *ctx.out << doneText << '\n';
    }
    return 0;
}

}  // namespace

int RunStatus(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("status takes no arguments", kExitUsage);
    }
    int code = 0;
    CliSession* session = SettledSession(ctx, &code);
    if (session == nullptr) {
        return code;
    }
    const std::size_t count = session->OnLoop([&] { return session->Manager().Entries().size(); });
    std::vector<EntryStatus> entries;
    // A receiver whose mouse is off keeps its entry hidden but is still a device to report.
    bool anyDevice = false;
    for (std::size_t i = 0; i < count; ++i) {
        entries.push_back(ReadEntry(*session, static_cast<int>(i)));
        anyDevice = anyDevice || entries.back().entry.visible || entries.back().open;
    }
    if (!anyDevice) {
        return FailNoDevice(ctx);
    }
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "status";
        Json::Value list(Json::arrayValue);
        for (const EntryStatus& s : entries) {
            list.append(EntryJson(s));
        }
        doc["entries"] = list;
        ctx.PrintJson(doc);
    } else {
        for (const EntryStatus& s : entries) {
            PrintEntry(*ctx.out, s);
        }
    }
    return 0;
}

int RunDpi(CliContext& ctx, CliArgs args) {
    std::optional<int> stage = args.size() == 2 ? ParseStage(args[0]) : std::nullopt;
    std::optional<int> dpi = args.size() == 2 ? ParseInt(args[1], kMinDpi, kMaxDpi) : std::nullopt;
    if (!stage || !dpi) {
        return ctx.Fail("usage: dpi STAGE VALUE (stage 1-6, value 50-26000)", kExitUsage);
    }
    Json::Value request(Json::objectValue);
    request["stage"] = *stage;
    request["value"] = *dpi;
    return RunEdit(
        ctx, "dpi", request, [&](CTavrenixMouseDevice& m) { return m.EditStageDpi(*stage, *dpi); },
        NoCheck);
}

int RunDpiActive(CliContext& ctx, CliArgs args) {
    std::optional<int> stage = args.size() == 1 ? ParseStage(args[0]) : std::nullopt;
    if (!stage) {
        return ctx.Fail("usage: dpi-active STAGE (1-6)", kExitUsage);
    }
    Json::Value request(Json::objectValue);
    request["stage"] = *stage;
    return RunEdit(
        ctx, "dpi-active", request,
        [&](CTavrenixMouseDevice& m) { return m.EditActiveStage(*stage); },
        [&](const MouseSnapshot& m) -> std::string {
            const auto s = static_cast<std::size_t>(*stage);
            if (s >= m.stages.size()) {
                return "the profile has no stage " + std::to_string(*stage + 1);
            }
            if (m.stages[s].active == 0) {
                return "stage " + std::to_string(*stage + 1) + " is switched off (dpi-enable " +
                       std::to_string(*stage + 1) + " on)";
            }
            return {};
        });
}

int RunDpiEnable(CliContext& ctx, CliArgs args) {
    std::optional<int> stage = args.size() == 2 ? ParseStage(args[0]) : std::nullopt;
    const bool on = args.size() == 2 && args[1] == "on";
    if (!stage || args.size() != 2 || (args[1] != "on" && args[1] != "off")) {
        return ctx.Fail("usage: dpi-enable STAGE on|off (stage 1-6)", kExitUsage);
    }
    Json::Value request(Json::objectValue);
    request["stage"] = *stage;
    request["on"] = on;
    return RunEdit(
        ctx, "dpi-enable", request,
        [&](CTavrenixMouseDevice& m) { return m.EditStageEnabled(*stage, on); },
        [&](const MouseSnapshot& m) -> std::string {
            const auto s = static_cast<std::size_t>(*stage);
            if (s >= m.stages.size()) {
                return "the profile has no stage " + std::to_string(*stage + 1);
            }
            if (!on && *stage == m.activeStage) {
                return "stage " + std::to_string(*stage + 1) +
                       " is in use; make another stage active first";
            }
            if (!on && m.stages[s].active != 0) {
                int enabled = 0;
                for (const DpiStage& st : m.stages) {
                    enabled += st.active != 0 ? 1 : 0;
                }
                if (enabled <= 1) {
                    return "the last enabled stage cannot be switched off";
                }
            }
            return {};
        });
}

int RunPolling(CliContext& ctx, CliArgs args) {
    std::optional<int> code =
        args.size() == 1 ? ParseInt(args[0], 0, kPollingOptionCount - 1) : std::nullopt;
    if (!code) {
        return ctx.Fail("usage: polling CODE (0-5)", kExitUsage);
    }
    Json::Value request(Json::objectValue);
    request["code"] = *code;
    return RunEdit(
        ctx, "polling", request, [&](CTavrenixMouseDevice& m) { return m.EditPollingRate(*code); },
        [&](const MouseSnapshot& m) -> std::string {
            // The page offers codes 4 and 5 only through the receiver 0x7103.
            if (*code >= 4 && !m.page.highPollingOptionsVisible) {
                return "polling codes 4 and 5 exist only through the receiver 0x7103";
            }
            return {};
        });
}

int RunLiftOff(CliContext& ctx, CliArgs args) {
    return OnOffSetting(ctx, args, "lod", MouseSystemStages::kSilentAltitude);
}

int RunCalibration(CliContext& ctx, CliArgs args) {
    return OnOffSetting(ctx, args, "calibration", MouseSystemStages::kLinearCalibration);
}

int RunProfileSwitch(CliContext& ctx, const std::string& target) {
    MouseTarget t = FindMouse(ctx);
    if (t.code) {
        return *t.code;
    }
    CliSession& session = *t.session;
    // An all-digit argument is a position counted from 1; anything else (or a position past the
    // end) a name.
    int index = -1;
    std::string name;
    std::string id;
    std::string error;
    session.OnLoop([&] {
        CProfileList* list = session.Manager().ProfileListFor(t.entry);
        if (list == nullptr || list->GetCount() == 0) {
            error = "the mouse has no profile list";
            return 0;
        }
        if (std::optional<int> i = ParseInt(target, 1, 1 << 30); i && *i <= list->GetCount()) {
            index = *i - 1;
        } else {
            for (int k = 0; k < list->GetCount(); ++k) {
                if (CProfileList::SameName(list->Entries()[static_cast<std::size_t>(k)].name,
                                           target)) {
                    index = k;
                    break;
                }
            }
        }
        if (index < 0) {
            error = "no profile '" + target + "' (the list has " +
                    std::to_string(list->GetCount()) + "; q417ctl profile list)";
            return 0;
        }
        name = list->Entries()[static_cast<std::size_t>(index)].name;
        id = list->Entries()[static_cast<std::size_t>(index)].id;
        return 0;
    });
    if (!error.empty()) {
        return ctx.Fail("profile switch: " + error, kExitFailed);
    }
    const int entry = t.entry;
    std::optional<ProfileApplyResult> r =
        WaitApply(session, [&](std::function<void(ProfileApplyResult)> done) {
            session.Manager().SwitchProfile(entry, index, std::move(done));
        });
    if (!r) {
        return ctx.Fail("profile switch: the mouse did not finish in time", kExitFailed);
    }
    Json::Value doc(Json::objectValue);
    doc["entry"] = entry;
    doc["index"] = index;
    doc["name"] = name;
    doc["id"] = id;
    return ReportApply(
        ctx, "profile switch", *r, doc,
        "switched to profile " + std::to_string(index + 1) + " '" + name + "' (" + id + ")");
}

std::optional<int> RunProfileDeviceReset(CliContext& ctx) {
    int code = 0;
    CliSession* session = SettledSession(ctx, &code);
    if (session == nullptr) {
        return code;
    }
    std::optional<int> entry = session->MouseEntry();
    if (!entry) {
        return std::nullopt;
    }
    std::string name;
    std::string id;
    session->OnLoop([&] {
        if (CProfileList* list = session->Manager().ProfileListFor(*entry)) {
            id = list->GetCurrentId();
            int i = list->IndexOfId(id);
            if (i >= 0) {
                name = list->Entries()[static_cast<std::size_t>(i)].name;
            }
        }
        return 0;
    });
    std::optional<ProfileApplyResult> r =
        WaitApply(*session, [&](std::function<void(ProfileApplyResult)> done) {
            session->Manager().ResetDevice(*entry, true, std::move(done));
        });
    if (!r) {
        return ctx.Fail("profile reset: the mouse did not finish in time", kExitFailed);
    }
    Json::Value doc(Json::objectValue);
    doc["entry"] = *entry;
    doc["device"] = true;
    doc["name"] = name;
    doc["id"] = id;
    return ReportApply(ctx, "profile reset", *r, doc,
                       "reset profile '" + name + "' (" + id +
                           ") to the template and wrote it to "
                           "the mouse");
}

}  // namespace q417::cli
