#include <array>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "AppInfo.h"
#include "cli/CliCommands.h"
#include "cli/InputCommands.h"
#include "emulator/DemoBus.h"
#include "platform/Folders.h"

namespace q417::cli {
namespace {

struct CommandEntry {
    std::string_view name;
    std::string_view usage;
    int (*run)(CliContext&, CliArgs);
    // The command's own options that take the next word as their value; that word is never
    // read as a global option. A command with options also gets "--" itself, to end them.
    std::array<std::string_view, 2> valueOptions{};
    bool ownOptions = false;
};

constexpr std::array kCommands{
    CommandEntry{"list",
                 "list                      supported interfaces found in one detection pass",
                 RunList},
    CommandEntry{"info", "info                      the mouse's information block, decoded",
                 RunInfo},
    CommandEntry{"raw", "raw CODE [BYTE...]        one plain exchange, both frames dumped", RunRaw},
    CommandEntry{"hid", "hid                       every HID interface present, supported or not",
                 RunHid},
    CommandEntry{"profile",
                 "profile SUB [--kind K] [--index N]  (N from 1)\n"
                 "                          profiles of one device kind, no device needed\n"
                 "                          (K: mouse|keyboard|MousePad|HD, default mouse):\n"
                 "                            list           every profile, * marks the selected\n"
                 "                            add            new profile from the template\n"
                 "                            copy           copy of a profile\n"
                 "                            rename NAME    rename a profile\n"
                 "                            delete         delete a profile (not the last)\n"
                 "                            select N       make profile N (from 1) the selected\n"
                 "                            import FILE    add FILE as a profile named after it\n"
                 "                            export FILE    write a profile's document to FILE\n"
                 "                            reset          a profile back to the template\n"
                 "                          copy, rename, delete, export and reset act on the\n"
                 "                          selected profile, or on profile N with --index N\n"
                 "                            switch N|NAME  the mouse switches to that profile\n"
                 "                                           (NAME in any letter case)\n"
                 "                          with a mouse present, reset is the device reset: the\n"
                 "                          current profile back to the template, written to the\n"
                 "                          mouse (without a mouse only the file is reset)",
                 RunProfile,
                 {"--kind", "--index"},
                 true},
    CommandEntry{"status",
                 "status                    every device entry: shown, connection, link, profile,\n"
                 "                          DPI stages (* active), polling rate, lift-off,\n"
                 "                          calibration, as read from the mouse now",
                 RunStatus},
    CommandEntry{"dpi", "dpi STAGE VALUE           DPI of stage 1-6 (50-26000, rounded up to 50)",
                 RunDpi},
    CommandEntry{"dpi-active", "dpi-active STAGE          the stage in use (an enabled one)",
                 RunDpiActive},
    CommandEntry{"dpi-enable", "dpi-enable STAGE on|off   switch a stage on or off", RunDpiEnable},
    CommandEntry{"polling",
                 "polling CODE              polling-rate code 0-3 (0-5 through receiver 7103)",
                 RunPolling},
    CommandEntry{"lod", "lod 0|1                   lift-off distance option", RunLiftOff},
    CommandEntry{"calibration", "calibration 0|1           linear calibration option",
                 RunCalibration},
    CommandEntry{
        "keys",
        "keys                      each button 0-10: current and default code (type p1 p2,\n"
        "                          hex) and what it does",
        RunKeys},
    CommandEntry{
        "assign",
        "assign BUTTON TYPE [P1 [P2]]  a button's code, saved in the profile (apply\n"
        "                          writes it); numbers decimal or 0x hex, P1 P2 default 0;\n"
        "                          TYPE also disable, mouse, swing, wheel, dpi, fire, key,\n"
        "                          media, system, macro, macro-count, recoil\n"
        "  assign BUTTON default     the button's default code",
        RunAssign},
    CommandEntry{"apply",
                 "apply                     write the used macros, then the key table, to the\n"
                 "                          mouse (progress on a terminal's stderr)",
                 RunApply},
    CommandEntry{
        "macro",
        "macro SUB                 the mouse's macro library (works without a mouse):\n"
        "                            list | add [NAME] | rename INDEX NAME | delete INDEX\n"
        "                            import FILE | export NAME FILE | show NAME\n"
        "                          delete renumbers the macro codes of every profile",
        RunMacro},
    CommandEntry{
        "recoil",
        "recoil SUB                recoil sequences, GUN 0-3:\n"
        "                            import GUN FILE | export GUN FILE  (no mouse needed)\n"
        "                            write          the four guns to the mouse",
        RunRecoil},
    CommandEntry{"watch",
                 "watch [MS]                arrivals, removals, reachability, synchronisations,\n"
                 "                          notices and state changes as they happen, until\n"
                 "                          Ctrl-C / SIGTERM (or for MS milliseconds)",
                 RunWatch},
    CommandEntry{"demo",
                 "demo SUB                  --demo only, the emulated devices:\n"
                 "                            plug|unplug cable|receiver|PRODUCT (0x7103)\n"
                 "                            link on|off    the receiver's mouse on or off\n"
                 "                            press dpi|profile  the mouse's own button: it\n"
                 "                                           changes its memory and says so\n"
                 "                            notify CODE    a device notification (0x1103, 4355)",
                 RunDemo},
    CommandEntry{"script",
                 "script FILE               run FILE's command lines in this process, one device\n"
                 "                          manager for all; '#' comments, 'sleep MS'; exit 1\n"
                 "                          when any line failed",
                 RunScript},
};

void PrintUsage(std::ostream& os) {
    os << "usage: q417ctl [--demo] [--json] COMMAND [ARGS...]\n"
          "       q417ctl --help | --version\n\ncommands:\n";
    for (const CommandEntry& c : kCommands) {
        os << "  " << c.usage << '\n';
    }
    os << "\nThe global options may stand anywhere on the line; after \"--\" every word goes to\n"
          "the command as it is. Stages (1-6) and profiles (from 1) are counted from 1 in the\n"
          "text and in the arguments; JSON output keeps indexes counted from 0.\n"
          "--demo uses an emulated wired mouse and receiver instead of the real devices, and\n"
          "keeps its own profiles and macros in the data folder's demo/ sub-folder\n"
          "(~/.local/share/Q417/demo/) unless Q417_DATA_HOME names the folder to work in.\n"
          "--json prints one JSON document per command, on one line (watch: one per event).\n"
          "exit codes: 0 success, 1 failed, 2 bad usage, 3 no supported device,\n"
          "4 permission denied on a device node.\n";
}

const CommandEntry* FindCommand(std::string_view name) {
    for (const CommandEntry& c : kCommands) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

}  // namespace

int RunCommandLine(CliContext& ctx, CliArgs args) {
    if (args.empty()) {
        return ctx.Fail("no command", 2);
    }
    if (args[0].starts_with("--")) {
        return ctx.Fail("global option " + args[0] + " is not allowed here", 2);
    }
    const CommandEntry* c = FindCommand(args[0]);
    if (c == nullptr) {
        return ctx.Fail("unknown command '" + args[0] + "' (see q417ctl --help)", 2);
    }
    return c->run(ctx, args.subspan(1));
}

int RunQ417ctl(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    return RunQ417ctlOnBus(args, out, err, nullptr);
}

int RunQ417ctlOnBus(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                    std::shared_ptr<emu::EmulatedHidBus> demoBus) {
    // Outlives the context, whose session may still save profiles while it ends.
    std::optional<DemoDataScope> demoData;
    CliContext ctx;
    ctx.out = &out;
    ctx.err = &err;
    // The global options are taken wherever they stand, up to a "--"; the command gets the rest
    // in order, including the values of its own options that happen to look like ours.
    const CommandEntry* c = nullptr;
    std::vector<std::string> commandArgs;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded && c != nullptr) {
            commandArgs.push_back(a);
            continue;
        }
        if (a == "--" && !optionsEnded) {
            optionsEnded = true;
            if (c != nullptr && c->ownOptions) {
                commandArgs.push_back(a);
            }
            continue;
        }
        if (optionsEnded) {
            // The command's name after a leading "--"; a command with options of its own must
            // still learn that none follow.
            c = FindCommand(a);
            if (c == nullptr) {
                return ctx.Fail("unknown command '" + a + "' (see q417ctl --help)", 2);
            }
            if (c->ownOptions) {
                commandArgs.emplace_back("--");
            }
        } else if (a == "--demo") {
            ctx.demo = true;
        } else if (a == "--json") {
            ctx.json = true;
        } else if (a == "--help") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (c == nullptr && a.starts_with("--")) {
            return ctx.Fail("unknown option " + a + " (see q417ctl --help)", 2);
        } else if (c == nullptr) {
            c = FindCommand(a);
            if (c == nullptr) {
                return ctx.Fail("unknown command '" + a + "' (see q417ctl --help)", 2);
            }
        } else {
            commandArgs.push_back(a);
            for (std::string_view option : c->valueOptions) {
                if (!option.empty() && a == option && i + 1 < args.size()) {
                    commandArgs.push_back(args[++i]);
                    break;
                }
            }
        }
    }
    if (help) {
        PrintUsage(out);
        return 0;
    }
    if (version) {
        out << "q417ctl " << kProgramVersion << '\n';
        return 0;
    }
    if (c == nullptr) {
        PrintUsage(err);
        return 2;
    }
    if (std::string missing = MissingDataMessage(false); !missing.empty()) {
        return ctx.Fail(missing, 1);
    }
    if (ctx.demo) {
        demoData.emplace();
        ctx.demoBus = demoBus ? std::move(demoBus) : emu::MakeDemoBus();
        ctx.backend = ctx.demoBus;
    } else {
        ctx.backend = DefaultHidBackend();
    }
    const int code = c->run(ctx, commandArgs);
    ctx.EndSession();
    return code;
}

}  // namespace q417::cli
