// q417ctl demo: plugging, the receiver's link and notifications on the emulated bus of --demo.
#include <json/json.h>

#include <charconv>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: demo plug|unplug cable|receiver, demo link on|off, demo notify CODE";

// The plugged device of that product; kNoDevice when none.
emu::DeviceId Find(emu::EmulatedHidBus& bus, bool cable) {
    for (emu::DeviceId id : bus.Devices()) {
        std::optional<uint16_t> product = bus.ProductOf(id);
        if (!product) {
            continue;
        }
        if (cable ? *product == emu::kWiredMouseProductId
                  : (*product == emu::kReceiverProductId || *product == emu::kReceiver2ProductId)) {
            return id;
        }
    }
    return emu::kNoDevice;
}

// "0x1103" or "4355", 0..0xFFFF.
std::optional<uint16_t> ParseCode(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    unsigned value = 0;
    auto [stop, ec] = std::from_chars(begin, end, value, hex ? 16 : 10);
    if (begin == end || ec != std::errc() || stop != end || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

int Report(const CliContext& ctx, Json::Value doc, const std::string& text) {
    if (ctx.json) {
        doc["ok"] = true;
        doc["command"] = "demo";
        ctx.PrintJson(doc);
    } else {
        *ctx.out << text << '\n';
    }
    return 0;
}

}  // namespace

int RunDemo(CliContext& ctx, CliArgs args) {
    if (!ctx.demo || !ctx.demoBus) {
        return ctx.Fail("demo works only with --demo", kExitUsage);
    }
    if (args.size() != 2) {
        return ctx.Fail(kUsage, kExitUsage);
    }
    const std::string& sub = args[0];
    const std::string& what = args[1];
    std::optional<uint16_t> code;
    if (sub == "plug" || sub == "unplug") {
        if (what != "cable" && what != "receiver") {
            return ctx.Fail(kUsage, kExitUsage);
        }
    } else if (sub == "link") {
        if (what != "on" && what != "off") {
            return ctx.Fail(kUsage, kExitUsage);
        }
    } else if (sub == "notify") {
        code = ParseCode(what);
        if (!code) {
            return ctx.Fail("demo notify: '" + what + "' is not a code (0x0000-0xFFFF or decimal)",
                            kExitUsage);
        }
    } else {
        return ctx.Fail(kUsage, kExitUsage);
    }

    // The manager runs first, so that it sees the change as it happens.
    std::string error;
    CliSession* session = ctx.Session(&error);
    if (session == nullptr) {
        return ctx.Fail(error, kExitFailed);
    }
    session->WaitSettled();
    emu::EmulatedHidBus& bus = *ctx.demoBus;
    Json::Value doc(Json::objectValue);
    doc["sub"] = sub;
    doc["target"] = what;

    if (sub == "plug" || sub == "unplug") {
        const bool cable = what == "cable";
        const emu::DeviceId present = Find(bus, cable);
        const std::size_t before = session->EventCount();
        if (sub == "plug") {
            if (present != emu::kNoDevice) {
                return ctx.Fail("demo plug: a " + what + " is already plugged in", kExitFailed);
            }
            const emu::DeviceId id =
                cable ? bus.PlugWiredMouse() : bus.PlugReceiver(emu::kReceiverProductId, true);
            if (id == emu::kNoDevice) {
                return ctx.Fail("demo plug: the emulator refused", kExitFailed);
            }
        } else {
            if (present == emu::kNoDevice || !bus.Unplug(present)) {
                return ctx.Fail("demo unplug: no " + what + " is plugged in", kExitFailed);
            }
        }
        const bool settled = session->WaitForChangeAfter(before);
        if (!settled) {
            *ctx.err << "q417ctl: warning: the device manager has not finished with the change\n";
        }
        doc["settled"] = settled;
        return Report(ctx, doc,
                      std::string(sub == "plug" ? "plugged in" : "unplugged") + " the " + what);
    }
    if (sub == "link") {
        const emu::DeviceId receiver = Find(bus, false);
        if (receiver == emu::kNoDevice || !bus.SetLink(receiver, what == "on")) {
            return ctx.Fail("demo link: no receiver is plugged in", kExitFailed);
        }
        return Report(ctx, doc,
                      std::string("the receiver's mouse is ") + (what == "on" ? "on" : "off") +
                          " (the device manager notices within a few seconds)");
    }
    // notify: from the mouse on its cable, else through the receiver.
    emu::DeviceId target = Find(bus, true);
    if (target == emu::kNoDevice) {
        target = Find(bus, false);
    }
    if (target == emu::kNoDevice) {
        return ctx.Fail("demo notify: no device is plugged in", kExitFailed);
    }
    if (!bus.RaiseNotification(target, *code)) {
        return ctx.Fail("demo notify: not sent (the receiver's mouse is off)", kExitFailed);
    }
    doc["code"] = *code;
    return Report(ctx, doc, "notification 0x" + Hex4(*code) + " sent");
}

}  // namespace q417::cli
