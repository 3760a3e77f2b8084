#include <array>
#include <ostream>
#include <string_view>

#include "cli/CliCommands.h"
#include "emulator/DemoBus.h"

namespace q417::cli {
namespace {

struct CommandEntry {
    std::string_view name;
    std::string_view usage;
    int (*run)(CliContext&, CliArgs);
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
    CommandEntry{
        "profile",
        "profile SUB [--kind K] [--index N]\n"
        "                          profiles of one device kind, no device needed\n"
        "                          (K: mouse|keyboard|MousePad|HD, default mouse):\n"
        "                            list           every profile, * marks the selected\n"
        "                            add            new profile from the template\n"
        "                            copy           copy of a profile\n"
        "                            rename NAME    rename a profile\n"
        "                            delete         delete a profile (not the last)\n"
        "                            select INDEX   make entry INDEX (from 0) the selected\n"
        "                            import FILE    add FILE as a profile named after it\n"
        "                            export FILE    write a profile's document to FILE\n"
        "                            reset          a profile back to the template\n"
        "                          copy, rename, delete, export and reset act on the\n"
        "                          selected profile, or on entry N with --index N",
        RunProfile},
};

void PrintUsage(std::ostream& os) {
    os << "usage: q417ctl [--demo] [--json] COMMAND [ARGS...]\n\ncommands:\n";
    for (const CommandEntry& c : kCommands) {
        os << "  " << c.usage << '\n';
    }
    os << "\n--demo uses an emulated wired mouse and receiver instead of the real devices.\n"
          "--json prints one JSON document per command, on one line.\n";
}

}  // namespace

int RunQ417ctl(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    CliContext ctx;
    ctx.out = &out;
    ctx.err = &err;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        if (args[i] == "--demo") {
            ctx.demo = true;
        } else if (args[i] == "--json") {
            ctx.json = true;
        } else if (args[i] == "--help") {
            PrintUsage(out);
            return 0;
        } else {
            return ctx.Fail("unknown option " + args[i] + " (see q417ctl --help)", 2);
        }
    }
    if (i == args.size()) {
        PrintUsage(err);
        return 2;
    }
    const std::string& name = args[i];
    for (const CommandEntry& c : kCommands) {
        if (c.name == name) {
            ctx.backend =
                ctx.demo ? std::shared_ptr<IHidBackend>(emu::MakeDemoBus()) : DefaultHidBackend();
            return c.run(ctx, args.subspan(i + 1));
        }
    }
    return ctx.Fail("unknown command '" + name + "' (see q417ctl --help)", 2);
}

}  // namespace q417::cli
