// q417ctl macro: the mouse's macro library (its device folder). With a mouse present the commands
// run on the mouse's own library object on its command thread, so its key page and name lists
// follow at once; without one they work on the folder's files directly.
#include <json/json.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "cli/HexFormat.h"
#include "cli/InputCommands.h"
#include "devices/CTavrenixMouseDevice.h"
#include "input/KeyTables.h"
#include "input/MacroLibrary.h"
#include "platform/Folders.h"
#include "profiles/CProfileList.h"
#include "transport/CommandResult.h"

namespace q417::cli {
namespace {

constexpr const char* kUsage =
    "usage: macro list | add [NAME] | rename INDEX NAME | delete INDEX | import FILE | "
    "export NAME FILE | show NAME";

// What one macro command produces: the exit code, the JSON document (without "ok" and
// "command") and the text lines.
struct MacroReply {
    int code = kInputExitOk;
    std::string error;
    Json::Value doc{Json::objectValue};
    std::string text;
};

MacroReply Failure(const std::string& error, int code = kInputExitFailed) {
    MacroReply r;
    r.code = code;
    r.error = error;
    return r;
}

// The macro a NAME argument means: the name in any letter case, else an index.
int FindMacro(const CMacroLibrary& library, const std::string& nameOrIndex) {
    int index = library.IndexOfName(nameOrIndex);
    if (index < 0) {
        if (std::optional<int> i = ParseHexOrDecimal(nameOrIndex, 0, kMaxMacros - 1);
            i && *i < library.Count()) {
            index = *i;
        }
    }
    return index;
}

std::string EventTypeName(uint8_t type) {
    switch (type) {
        case kEventMouseButton:
            return "button";
        case kEventMoveHorizontal:
            return "move-x";
        case kEventMoveVertical:
            return "move-y";
        case kEventModifier:
            return "modifier";
        case kEventKey:
            return "key";
        default:
            return "type-" + std::to_string(type);
    }
}

// The name of what an event presses: a mouse button, a modifier or a key; empty otherwise.
std::string EventTarget(const MacroEvent& e) {
    if (e.type == kEventMouseButton) {
        for (const KeyTableRow& row : kMouseButtonTable) {
            if (row.param1 == e.button) {
                return EnglishKeyText(row.nameKey);
            }
        }
    } else if (e.type == kEventModifier || e.type == kEventKey) {
        for (const KeyTableRow& row : kKeyCodeTable) {
            if (row.type != keytype::kKeyboardKey) {
                continue;
            }
            if ((e.type == kEventModifier && row.param1 == e.button && row.param2 == 0) ||
                (e.type == kEventKey && row.param1 == 0 && row.param2 == e.button)) {
                return EnglishKeyText(row.nameKey);
            }
        }
    }
    return {};
}

Json::Value EntryJson(const CMacroLibrary& library, int index, std::optional<std::size_t> events) {
    const MacroLibraryEntry& e = library.Entries()[static_cast<std::size_t>(index)];
    Json::Value j(Json::objectValue);
    j["index"] = index;
    j["name"] = e.name;
    j["id"] = e.id;
    if (events) {
        j["events"] = Json::UInt64(*events);
    } else {
        j["events"] = Json::nullValue;
    }
    return j;
}

MacroReply List(CMacroLibrary& library) {
    MacroReply r;
    Json::Value macros(Json::arrayValue);
    r.doc["folder"] = library.Folder();
    r.text = library.Count() == 0 ? "no macros in " + library.Folder() + "\n" : "";
    for (int i = 0; i < library.Count(); ++i) {
        MacroEventFile file;
        std::optional<std::size_t> count;
        const MacroResult loaded = library.LoadEvents(i, file);
        if (loaded == MacroResult::Done || loaded == MacroResult::TooManyEvents) {
            count = file.events.size();
        }
        macros.append(EntryJson(library, i, count));
        const bool over = loaded == MacroResult::TooManyEvents;
        if (over) {
            macros[macros.size() - 1]["error"] = MacroResultText(loaded);
        }
        r.text += std::to_string(i) + "  " + library.Entries()[static_cast<std::size_t>(i)].name +
                  "  (" + (count ? std::to_string(*count) + " events" : "events unreadable") +
                  (over ? ", more than the 4000 one macro can hold" : "") + ")\n";
    }
    r.doc["macros"] = macros;
    return r;
}

MacroReply Show(CMacroLibrary& library, const std::string& name) {
    const int index = FindMacro(library, name);
    if (index < 0) {
        return Failure("no macro '" + name + "' (q417ctl macro list)");
    }
    MacroEventFile file;
    if (MacroResult res = library.LoadEvents(index, file); res != MacroResult::Done) {
        return Failure(MacroResultText(res));
    }
    MacroReply r;
    r.doc = EntryJson(library, index, file.events.size());
    Json::Value events(Json::arrayValue);
    r.text = std::to_string(index) + "  " +
             library.Entries()[static_cast<std::size_t>(index)].name + ", " +
             std::to_string(file.events.size()) + " events\n";
    for (std::size_t k = 0; k < file.events.size(); ++k) {
        const MacroEvent& e = file.events[k];
        Json::Value j(Json::objectValue);
        j["action"] = e.down ? "down" : "up";
        j["type"] = e.type;
        j["button"] = e.button;
        j["delay"] = e.delay;
        const std::string target = EventTarget(e);
        if (!target.empty()) {
            j["target"] = target;
        }
        events.append(j);
        r.text += "  " + std::to_string(k) + "  " + (e.down ? "down " : "up   ") +
                  EventTypeName(e.type) + " 0x" + Hex2(e.button) +
                  (target.empty() ? "" : " (" + target + ")") + ", then " +
                  std::to_string(e.delay) + " ms\n";
    }
    r.doc["eventList"] = events;
    return r;
}

MacroReply Add(CMacroLibrary& library, const std::optional<std::string>& wanted) {
    if (wanted) {
        // Checked first so a clash leaves no "macro_N" behind.
        if (CProfileList::IsBlank(*wanted)) {
            return Failure(MacroResultText(MacroResult::NameBlank));
        }
        if (library.IndexOfName(*wanted) >= 0) {
            return Failure("the name '" + *wanted + "' is already in use");
        }
    }
    std::string name;
    if (MacroResult res = library.AddMacro(&name); res != MacroResult::Done) {
        return Failure(MacroResultText(res));
    }
    const int index = library.Count() - 1;
    if (wanted) {
        if (MacroResult res = library.RenameMacro(index, *wanted, &name);
            res != MacroResult::Done) {
            return Failure("macro " + std::to_string(index) + " was added as '" + name +
                           "' but could not be renamed: " + MacroResultText(res));
        }
    }
    MacroReply r;
    r.doc = EntryJson(library, index, 0);
    r.text = "added macro " + std::to_string(index) + " '" + name + "'\n";
    return r;
}

MacroReply Rename(CMacroLibrary& library, int index, const std::string& name) {
    std::string stored;
    if (MacroResult res = library.RenameMacro(index, name, &stored); res != MacroResult::Done) {
        return Failure(res == MacroResult::NoSelection
                           ? "no macro " + std::to_string(index) + " (q417ctl macro list)"
                           : MacroResultText(res));
    }
    MacroReply r;
    r.doc = EntryJson(library, index, std::nullopt);
    r.doc.removeMember("events");
    r.text = "renamed macro " + std::to_string(index) + " to '" + stored + "'\n";
    return r;
}

MacroReply Delete(CMacroLibrary& library, int index, CTavrenixMouseDevice* mouse) {
    if (index >= library.Count()) {
        return Failure("no macro " + std::to_string(index) + " (q417ctl macro list)");
    }
    const std::string name = library.Entries()[static_cast<std::size_t>(index)].name;
    // Every profile of the mouse gets its macro codes renumbered, so the list is read here.
    CProfileList profiles;
    profiles.SetKind(kDeviceKindMouse);
    profiles.SetFolders(library.Folder(), DefaultDataFolder() + "mouse.Json");
    MacroDeleteOutcome outcome;
    if (MacroResult res = library.DeleteMacro(index, profiles, &outcome);
        res != MacroResult::Done) {
        return Failure(MacroResultText(res));
    }
    bool reloaded = false;
    std::optional<int> written;
    int excess = 0;
    if (mouse != nullptr) {
        const bool mine =
            outcome.currentProfileChanged ||
            std::find(outcome.changedProfileIds.begin(), outcome.changedProfileIds.end(),
                      mouse->ProfileId()) != outcome.changedProfileIds.end();
        if (mine) {
            // The mouse's key entries follow the renumbered document, and the mouse itself still
            // plays the old numbers: its macros and key table go out again (now, or when it is
            // next reached).
            mouse->LoadFromProfile();
            reloaded = true;
            mouse->MarkKeysPending();
            written = mouse->WriteKeysAndMacros(&excess);
        }
        mouse->RefreshPanel();
    }
    MacroReply r;
    r.doc["index"] = index;
    r.doc["name"] = name;
    Json::Value changed(Json::arrayValue);
    for (const std::string& id : outcome.changedProfileIds) {
        changed.append(id);
    }
    Json::Value skipped(Json::arrayValue);
    for (const std::string& id : outcome.skippedProfileIds) {
        skipped.append(id);
    }
    r.doc["changedProfiles"] = changed;
    r.doc["skippedProfiles"] = skipped;
    r.doc["keysReloaded"] = reloaded;
    r.text = "deleted macro " + std::to_string(index) + " '" + name + "'";
    if (!outcome.changedProfileIds.empty()) {
        r.text += "; key codes renumbered in " + std::to_string(outcome.changedProfileIds.size()) +
                  " profile" + (outcome.changedProfileIds.size() == 1 ? "" : "s");
    }
    r.text += "\n";
    if (written) {
        r.doc["keysWritten"] = *written == kResultOk;
        if (*written == kResultOk) {
            r.text += "the mouse's macros and key table were written again\n";
        } else if (excess > 0) {
            r.text += "warning: the macros do not fit the mouse; remove " + std::to_string(excess) +
                      " events and apply again\n";
        } else {
            r.text +=
                "warning: the mouse did not answer; its macros and key table are written "
                "when it is reached again\n";
        }
    }
    for (const std::string& id : outcome.skippedProfileIds) {
        r.text += "warning: profile " + id + " could not be read and was left as it is\n";
    }
    return r;
}

MacroReply Import(CMacroLibrary& library, const std::string& path) {
    std::string name;
    MacroFileCheck check = MacroFileCheck::Ok;
    if (MacroResult res = library.ImportMacro(path, &name, &check); res != MacroResult::Done) {
        std::string why = MacroResultText(res);
        if (res == MacroResult::ImportFileInvalid) {
            why += std::string(": ") + MacroFileCheckText(check);
        }
        return Failure(path + ": " + why);
    }
    const int index = library.IndexOfName(name);
    MacroReply r;
    if (index >= 0) {
        MacroEventFile file;
        std::optional<std::size_t> count;
        if (library.LoadEvents(index, file) == MacroResult::Done) {
            count = file.events.size();
        }
        r.doc = EntryJson(library, index, count);
    }
    r.doc["file"] = path;
    r.text = "imported " + path + " as macro " + std::to_string(index) + " '" + name + "'\n";
    return r;
}

MacroReply Export(CMacroLibrary& library, const std::string& name, const std::string& path) {
    const int index = FindMacro(library, name);
    if (index < 0) {
        return Failure("no macro '" + name + "' (q417ctl macro list)");
    }
    if (MacroResult res = library.ExportMacro(index, path); res != MacroResult::Done) {
        return Failure(path + ": " + MacroResultText(res));
    }
    MacroReply r;
    r.doc = EntryJson(library, index, std::nullopt);
    r.doc.removeMember("events");
    r.doc["file"] = path;
    r.text = "exported macro " + std::to_string(index) + " '" +
             library.Entries()[static_cast<std::size_t>(index)].name + "' to " + path + "\n";
    return r;
}

}  // namespace

int RunMacro(CliContext& ctx, CliArgs args) {
    if (args.empty()) {
        return ctx.Fail(kUsage, kInputExitUsage);
    }
    const std::string& sub = args[0];
    const std::size_t n = args.size() - 1;
    std::optional<int> index;
    if (sub == "rename" || sub == "delete") {
        index = n >= 1 ? ParseHexOrDecimal(args[1], 0, kMaxMacros - 1) : std::nullopt;
    }
    const bool usageOk = (sub == "list" && n == 0) || (sub == "add" && n <= 1) ||
                         (sub == "rename" && n == 2 && index) ||
                         (sub == "delete" && n == 1 && index) || (sub == "import" && n == 1) ||
                         (sub == "export" && n == 2) || (sub == "show" && n == 1);
    if (!usageOk) {
        return ctx.Fail(kUsage, kInputExitUsage);
    }

    auto run = [&](CMacroLibrary& library, CTavrenixMouseDevice* mouse) -> MacroReply {
        if (MacroResult res = library.LoadLibrary(); res != MacroResult::Done) {
            return Failure(std::string(MacroResultText(res)) + ": " + library.LibraryPath());
        }
        MacroReply r;
        if (sub == "list") {
            r = List(library);
        } else if (sub == "show") {
            r = Show(library, args[1]);
        } else if (sub == "add") {
            r = Add(library, n == 1 ? std::optional<std::string>(args[1]) : std::nullopt);
        } else if (sub == "rename") {
            r = Rename(library, *index, args[2]);
        } else if (sub == "delete") {
            r = Delete(library, *index, mouse);
        } else if (sub == "import") {
            r = Import(library, args[1]);
        } else {
            r = Export(library, args[1], args[2]);
        }
        if (mouse != nullptr && sub != "list" && sub != "show" && sub != "export") {
            mouse->RefreshPanel();  // the key page's macro names
        }
        return r;
    };

    InputMouse m = FindInputMouse(ctx, false);
    if (m.code) {
        return *m.code;
    }
    MacroReply reply;
    if (m.device) {
        CTavrenixMouseDevice& mouse = *m.device;
        std::optional<MacroReply> r = mouse.Call([&] {
            mouse.ReloadNameLists();  // sets the library's folder
            return run(mouse.Macros(), &mouse);
        });
        if (!r) {
            return ctx.Fail("macro: the mouse is shutting down", kInputExitFailed);
        }
        reply = std::move(*r);
    } else {
        const std::string folder = DeviceFolder("mouse");
        if (folder.empty()) {
            return ctx.Fail("macro: the mouse's folder cannot be made", kInputExitFailed);
        }
        CMacroLibrary library(folder, kDeviceKindMouse);
        reply = run(library, nullptr);
    }
    if (reply.code != kInputExitOk) {
        return ctx.Fail("macro " + sub + ": " + reply.error, reply.code);
    }
    if (ctx.json) {
        reply.doc["ok"] = true;
        reply.doc["command"] = "macro " + sub;
        reply.doc["device"] = m.device != nullptr;
        ctx.PrintJson(reply.doc);
    } else {
        *ctx.out << reply.text;
    }
    return kInputExitOk;
}

}  // namespace q417::cli
