// q417ctl profile: the profile list and documents of one device kind, without any device; switch
// and, with a mouse present, reset go through the device manager.
#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "platform/FileIo.h"
#include "platform/Folders.h"
#include "profiles/CProfileList.h"

namespace q417::cli {
namespace {

struct KindInfo {
    std::string_view folderName;  // device folder and template name
    int kind;                     // device kind number of the list
};

constexpr KindInfo kKinds[] = {
    {"mouse", 2},
    {"keyboard", 1},
    {"MousePad", 3},
    {"HD", 7},
};

std::optional<KindInfo> FindKind(std::string_view name) {
    for (const KindInfo& k : kKinds) {
        if (CProfileList::SameName(k.folderName, name)) {
            return k;
        }
    }
    return std::nullopt;
}

// A profile's position as people type it (from 1, as the window shows the list) to the list's
// index (from 0).
std::optional<int> ParsePosition(std::string_view text) {
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1) {
        return std::nullopt;
    }
    return value - 1;
}

struct ProfileArgs {
    std::string sub;
    KindInfo kind = kKinds[0];
    std::optional<std::string> indexText;
    std::vector<std::string> positional;
};

// Parses "SUB [--kind K] [--index N] [ARG]" with the options anywhere after SUB; after "--" every
// word is a plain argument (a profile named "--x"). Returns an error text, empty on success.
std::string ParseArgs(CliContext& ctx, CliArgs args, ProfileArgs& out) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "--") {
            if (optionsEnded) {
                (out.sub.empty() ? out.sub : out.positional.emplace_back()) = a;
            }
            optionsEnded = true;
            continue;
        }
        auto value = [&](std::string_view option, std::string& v) -> std::string {
            if (a.size() > option.size() && a.starts_with(option) && a[option.size()] == '=') {
                v = a.substr(option.size() + 1);
                return {};
            }
            if (i + 1 >= args.size()) {
                return std::string(option) + " needs a value";
            }
            v = args[++i];
            return {};
        };
        if (a == "--kind" || a.starts_with("--kind=")) {
            std::string v;
            if (std::string e = value("--kind", v); !e.empty()) {
                return e;
            }
            std::optional<KindInfo> kind = FindKind(v);
            if (!kind) {
                return "unknown kind '" + v + "' (mouse, keyboard, MousePad or HD)";
            }
            out.kind = *kind;
        } else if (a == "--index" || a.starts_with("--index=")) {
            std::string v;
            if (std::string e = value("--index", v); !e.empty()) {
                return e;
            }
            out.indexText = v;
        } else if (a == "--json") {
            ctx.json = true;
        } else if (a.starts_with("--") && a.size() > 2) {
            return "unknown option " + a + " for profile";
        } else if (out.sub.empty()) {
            out.sub = a;
        } else {
            out.positional.push_back(a);
        }
    }
    return {};
}

std::string NameOf(const CProfileList& list, const std::string& id) {
    int index = list.IndexOfId(id);
    return index < 0 ? std::string() : list.Entries()[static_cast<std::size_t>(index)].name;
}

Json::Value EntryJson(const CProfileList& list, int index) {
    Json::Value e(Json::objectValue);
    const ProfileListEntry& entry = list.Entries()[static_cast<std::size_t>(index)];
    e["index"] = index;
    e["name"] = entry.name;
    e["id"] = entry.id;
    e["selected"] = index == list.GetCurSel();
    return e;
}

Json::Value ListJson(const CProfileList& list, std::string_view kind) {
    Json::Value doc(Json::objectValue);
    doc["ok"] = true;
    doc["kind"] = std::string(kind);
    doc["folder"] = list.DeviceFolderPath();
    doc["selected"] = list.GetCurSel();
    Json::Value& profiles = doc["profiles"];
    profiles = Json::Value(Json::arrayValue);
    for (int i = 0; i < list.GetCount(); ++i) {
        profiles.append(EntryJson(list, i));
    }
    return doc;
}

void PrintList(const CliContext& ctx, const CProfileList& list, std::string_view kind) {
    if (ctx.json) {
        ctx.PrintJson(ListJson(list, kind));
        return;
    }
    *ctx.out << kind << " profiles in " << list.DeviceFolderPath() << ":\n";
    for (int i = 0; i < list.GetCount(); ++i) {
        const ProfileListEntry& e = list.Entries()[static_cast<std::size_t>(i)];
        *ctx.out << (i == list.GetCurSel() ? "* " : "  ") << i + 1 << "  " << e.name << "  ("
                 << e.id << ")\n";
    }
}

// Reports the profile an operation made or changed: one JSON line, or one line of text.
int ReportEntry(const CliContext& ctx, const CProfileList& list, std::string_view command,
                std::string_view kind, const std::string& id, std::string_view verb) {
    int index = list.IndexOfId(id);
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = std::string(command);
        doc["kind"] = std::string(kind);
        doc["selected"] = list.GetCurSel();
        doc["count"] = list.GetCount();
        if (index >= 0) {
            doc["profile"] = EntryJson(list, index);
        }
        ctx.PrintJson(doc);
        return 0;
    }
    if (index >= 0) {
        *ctx.out << verb << ' ' << index + 1 << " '"
                 << list.Entries()[static_cast<std::size_t>(index)].name << "' (" << id << ")\n";
    } else {
        *ctx.out << verb << " (" << id << ")\n";
    }
    return 0;
}

}  // namespace

int RunProfile(CliContext& ctx, CliArgs args) {
    ProfileArgs pa;
    if (std::string error = ParseArgs(ctx, args, pa); !error.empty()) {
        return ctx.Fail(error, 2);
    }
    static constexpr std::pair<std::string_view, std::size_t> kSubs[] = {
        {"list", 0},   {"add", 0},    {"copy", 0},   {"rename", 1}, {"delete", 0},
        {"select", 1}, {"import", 1}, {"export", 1}, {"reset", 0},  {"switch", 1},
    };
    const std::pair<std::string_view, std::size_t>* sub = nullptr;
    for (const auto& s : kSubs) {
        if (s.first == pa.sub) {
            sub = &s;
        }
    }
    if (sub == nullptr) {
        return ctx.Fail(pa.sub.empty()
                            ? std::string("profile needs a sub-command (see q417ctl --help)")
                            : "unknown profile sub-command '" + pa.sub + "'",
                        2);
    }
    if (pa.positional.size() != sub->second) {
        return ctx.Fail(
            "profile " + pa.sub +
                (sub->second == 0 ? " takes no argument" : " takes exactly one argument"),
            2);
    }
    if (pa.indexText &&
        (pa.sub == "list" || pa.sub == "add" || pa.sub == "select" || pa.sub == "import")) {
        return ctx.Fail("--index does not apply to profile " + pa.sub, 2);
    }
    const bool mouse = pa.kind.kind == kKinds[0].kind;
    if (pa.sub == "switch") {
        if (pa.indexText || !mouse) {
            return ctx.Fail("profile switch takes INDEX|NAME and works on the mouse only", 2);
        }
        return RunProfileSwitch(ctx, pa.positional[0]);
    }
    // The device reset acts on the mouse's current profile; without a mouse (or for another
    // profile or kind) only the file goes back to the template.
    if (pa.sub == "reset" && mouse && !pa.indexText) {
        if (std::optional<int> code = RunProfileDeviceReset(ctx)) {
            return *code;
        }
    }

    const std::string kind(pa.kind.folderName);
    std::string folder = DeviceFolder(kind);
    std::string templatePath = DefaultDataFolder() + kind + ".Json";
    if (!FileExists(templatePath)) {
        *ctx.err << "q417ctl: warning: no profile template " << templatePath << '\n';
    }
    CProfileList list;
    list.SetKind(pa.kind.kind);
    list.SetFolders(folder, templatePath);
    if (ProfileListResult r = list.Initialise(); r != ProfileListResult::Done) {
        return ctx.Fail(std::string(ProfileListResultText(r)) + ": " + list.ListFilePath());
    }
    if (!list.KeptAsidePath().empty()) {
        *ctx.err << "q417ctl: warning: the unreadable profile list was kept as "
                 << list.KeptAsidePath() << " and a new list started\n";
    }
    if (!list.PrunedCopyPath().empty()) {
        *ctx.err << "q417ctl: warning: unusable entries were left out of the profile list; the "
                    "old list was kept as "
                 << list.PrunedCopyPath() << '\n';
    }

    // The profile an operation acts on: --index N, else the selected one.
    std::string targetId = list.GetCurrentId();
    if (pa.indexText) {
        std::optional<int> index = ParsePosition(*pa.indexText);
        if (!index || *index >= list.GetCount()) {
            return ctx.Fail("no profile " + *pa.indexText + " (the list has 1-" +
                            std::to_string(list.GetCount()) + ")");
        }
        targetId = list.Entries()[static_cast<std::size_t>(*index)].id;
    }
    auto fail = [&](ProfileListResult r, const std::string& what) {
        return ctx.Fail(pa.sub + ": " + ProfileListResultText(r) +
                        (what.empty() ? "" : ": " + what));
    };

    if (pa.sub == "list") {
        PrintList(ctx, list, kind);
        return 0;
    }
    if (pa.sub == "add") {
        std::string id;
        ProfileListResult r = list.AddProfile(&id);
        return r == ProfileListResult::Done ? ReportEntry(ctx, list, pa.sub, kind, id, "added")
                                            : fail(r, {});
    }
    if (pa.sub == "copy") {
        std::string id;
        ProfileListResult r = list.CopyProfile(targetId, &id);
        return r == ProfileListResult::Done ? ReportEntry(ctx, list, pa.sub, kind, id, "copied to")
                                            : fail(r, {});
    }
    if (pa.sub == "rename") {
        ProfileListResult r = list.RenameProfile(targetId, pa.positional[0]);
        return r == ProfileListResult::Done
                   ? ReportEntry(ctx, list, pa.sub, kind, targetId, "renamed")
                   : fail(r, "'" + pa.positional[0] + "'");
    }
    if (pa.sub == "delete") {
        const std::string name = NameOf(list, targetId);
        ProfileListResult r = list.DeleteProfile(targetId);
        if (r != ProfileListResult::Done) {
            return fail(r, {});
        }
        if (ctx.json) {
            Json::Value doc(Json::objectValue);
            doc["ok"] = true;
            doc["command"] = "delete";
            doc["kind"] = kind;
            doc["deleted"] = Json::Value(Json::objectValue);
            doc["deleted"]["name"] = name;
            doc["deleted"]["id"] = targetId;
            doc["selected"] = list.GetCurSel();
            doc["count"] = list.GetCount();
            ctx.PrintJson(doc);
        } else {
            *ctx.out << "deleted '" << name << "' (" << targetId << "); selected "
                     << list.GetCurSel() + 1 << " '" << NameOf(list, list.GetCurrentId()) << "'\n";
        }
        return 0;
    }
    if (pa.sub == "select") {
        std::optional<int> index = ParsePosition(pa.positional[0]);
        if (!index || *index >= list.GetCount()) {
            return ctx.Fail("no profile " + pa.positional[0] + " (the list has 1-" +
                            std::to_string(list.GetCount()) + ")");
        }
        ProfileListResult r = list.Select(*index);
        return r == ProfileListResult::Done
                   ? ReportEntry(ctx, list, pa.sub, kind, list.GetCurrentId(), "selected")
                   : fail(r, {});
    }
    if (pa.sub == "import") {
        const std::string& file = pa.positional[0];
        if (!FileExists(file)) {
            return ctx.Fail("import: no such file: " + file);
        }
        std::string id;
        ProfileListResult r = list.ImportProfile(file, &id);
        return r == ProfileListResult::Done
                   ? ReportEntry(ctx, list, pa.sub, kind, id, "imported as")
                   : fail(r, file);
    }
    if (pa.sub == "export") {
        const std::string& file = pa.positional[0];
        ProfileListResult r = list.ExportProfile(targetId, file);
        if (r != ProfileListResult::Done) {
            return fail(r, file);
        }
        if (ctx.json) {
            Json::Value doc(Json::objectValue);
            doc["ok"] = true;
            doc["command"] = "export";
            doc["kind"] = kind;
            if (int index = list.IndexOfId(targetId); index >= 0) {
                doc["profile"] = EntryJson(list, index);
            }
            doc["file"] = file;
            ctx.PrintJson(doc);
        } else {
            *ctx.out << "exported '" << NameOf(list, targetId) << "' to " << file << '\n';
        }
        return 0;
    }
    // reset
    ProfileListResult r = list.ResetProfileFile(targetId);
    return r == ProfileListResult::Done ? ReportEntry(ctx, list, pa.sub, kind, targetId, "reset")
                                        : fail(r, templatePath);
}

}  // namespace q417::cli
