// q417ctl recoil: the four guns' sequence files in the mouse's folder (import, export) and the
// write of all four to the mouse's recoil memory.
#include <json/json.h>

#include <ostream>
#include <string>

#include "cli/InputCommands.h"
#include "devices/CTavrenixMouseDevice.h"
#include "input/RecoilGuns.h"
#include "platform/Folders.h"
#include "transport/CommandResult.h"

namespace q417::cli {
namespace {

constexpr const char* kUsage = "usage: recoil import GUN FILE | export GUN FILE | write (GUN 0-3)";

struct RecoilReply {
    RecoilFileResult result = RecoilFileResult::Ok;
    std::size_t events = 0;  // the gun's events afterwards
};

// Imports or exports one gun on guns, keeping the editor's selected gun as it was.
RecoilReply CopyGun(RecoilGuns& guns, bool import, int gun, const std::string& path) {
    RecoilReply r;
    const int selected = guns.SelectedGun();
    guns.SelectGun(gun);
    if (import) {
        r.result = guns.ImportGun(path);
    } else {
        // A gun never opened has no working file yet: it starts as the factory copy.
        guns.PrepareGuns();
        r.result = guns.ExportGun(path);
    }
    guns.SelectGun(selected);
    r.events = guns.ReadAll()[static_cast<std::size_t>(gun)].size();
    return r;
}

int RunCopy(CliContext& ctx, bool import, int gun, const std::string& path) {
    const std::string command = import ? "recoil import" : "recoil export";
    InputMouse m = FindInputMouse(ctx, false);
    if (m.code) {
        return *m.code;
    }
    RecoilReply reply;
    if (m.device) {
        CTavrenixMouseDevice& mouse = *m.device;
        std::optional<RecoilReply> r = mouse.Call([&] {
            mouse.ReloadNameLists();  // sets the guns' folder
            return CopyGun(mouse.Recoil(), import, gun, path);
        });
        if (!r) {
            return ctx.Fail(command + ": the mouse is shutting down", kInputExitFailed);
        }
        reply = *r;
    } else {
        const std::string folder = DeviceFolder("mouse");
        if (folder.empty()) {
            return ctx.Fail(command + ": the mouse's folder cannot be made", kInputExitFailed);
        }
        RecoilGuns guns;
        guns.SetDeviceFolder(folder);
        guns.SetTemplateFolder(DefaultDataFolder());
        reply = CopyGun(guns, import, gun, path);
    }
    if (reply.result != RecoilFileResult::Ok) {
        return ctx.Fail(command + ": " + path + ": " + RecoilFileResultText(reply.result),
                        kInputExitFailed);
    }
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = command;
        doc["gun"] = gun;
        doc["file"] = path;
        doc["events"] = Json::UInt64(reply.events);
        ctx.PrintJson(doc);
    } else {
        *ctx.out << (import ? "imported " + path + " as gun " + std::to_string(gun)
                            : "exported gun " + std::to_string(gun) + " to " + path)
                 << " (" << reply.events << " events)\n";
    }
    return kInputExitOk;
}

int RunWrite(CliContext& ctx) {
    InputMouse m = FindInputMouse(ctx, true);
    if (m.code) {
        return *m.code;
    }
    CTavrenixMouseDevice& mouse = *m.device;
    ProgressLine line = ProgressLine::ForContext(ctx);
    line.SetLabel("writing recoil");
    struct Outcome {
        int result = 0;
        RecoilSet guns;
    };
    std::optional<Outcome> outcome = mouse.Commands().SubmitAndWait(
        [&](CommandContext& context) {
            mouse.ReloadNameLists();
            mouse.SetTransferProgress([&context](std::size_t done, std::size_t total) {
                context.ReportProgress(static_cast<int>(done), static_cast<int>(total));
            });
            Outcome o;
            o.result = mouse.WriteRecoil();
            mouse.SetTransferProgress({});
            o.guns = mouse.Recoil().ReadAll();
            return o;
        },
        [&](int done, int total) {
            line.Update(static_cast<std::size_t>(done), static_cast<std::size_t>(total));
        });
    line.Finish();
    if (!outcome) {
        return ctx.Fail("recoil write: the mouse is shutting down", kInputExitFailed);
    }
    if (outcome->result == kResultNoReply) {
        return ctx.Fail("recoil write: No device is connected", kInputExitNoDevice);
    }
    if (outcome->result == kResultCut) {
        return ctx.Fail("recoil write: " + std::string(CommandResultText(kResultCut)),
                        kInputExitFailed);
    }
    if (outcome->result != kResultOk) {
        return ctx.Fail("recoil write: the mouse refused the sequences: " +
                            std::string(CommandResultText(outcome->result)) + " (" +
                            std::to_string(outcome->result) + ")",
                        kInputExitFailed);
    }
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "recoil write";
        doc["result"] = outcome->result;
        Json::Value events(Json::arrayValue);
        for (const auto& gun : outcome->guns) {
            events.append(Json::UInt64(gun.size()));
        }
        doc["events"] = events;
        ctx.PrintJson(doc);
    } else {
        *ctx.out << "recoil write: the four guns written (events:";
        for (const auto& gun : outcome->guns) {
            *ctx.out << ' ' << gun.size();
        }
        *ctx.out << ")\n";
    }
    return kInputExitOk;
}

}  // namespace

int RunRecoil(CliContext& ctx, CliArgs args) {
    if (args.size() == 1 && args[0] == "write") {
        return RunWrite(ctx);
    }
    if (args.size() == 3 && (args[0] == "import" || args[0] == "export")) {
        std::optional<int> gun = ParseHexOrDecimal(args[1], 0, kRecoilGunCount - 1);
        if (gun && !args[2].empty()) {
            return RunCopy(ctx, args[0] == "import", *gun, args[2]);
        }
    }
    return ctx.Fail(kUsage, kInputExitUsage);
}

}  // namespace q417::cli
