// q417ctl demo: plugging, the receiver's link and notifications on the emulated bus of --demo.
#include <json/json.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "emulator/EmulatedHidBus.h"

namespace q417::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: demo plug|unplug cable|receiver|PRODUCT, demo link on|off, demo press BUTTON, "
    "demo notify CODE";

// How long a press may take to reach the device object and be read back.
constexpr std::chrono::milliseconds kPressBound{3000};

// The plugged device of that kind (the cable, or any receiver); kNoDevice when none.
emu::DeviceId Find(emu::EmulatedHidBus& bus, bool cable) {
    for (const emu::PluggedDevice& d : bus.Plugged()) {
        if (d.receiver != cable) {
            return d.id;
        }
    }
    return emu::kNoDevice;
}

// "cable", "receiver" (the first receiver the bus offers) or a product id from the bus's list.
std::optional<emu::PlugOption> Choose(emu::EmulatedHidBus& bus, const std::string& what);

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

std::optional<emu::PlugOption> Choose(emu::EmulatedHidBus& bus, const std::string& what) {
    const std::optional<uint16_t> product =
        what == "cable" || what == "receiver" ? std::nullopt : ParseCode(what);
    for (const emu::PlugOption& option : bus.Catalogue()) {
        if ((what == "cable" && !option.receiver) || (what == "receiver" && option.receiver) ||
            (product && option.productId == *product)) {
            return option;
        }
    }
    return std::nullopt;
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
    std::optional<emu::PlugOption> option;
    if (sub == "plug" || sub == "unplug") {
        option = Choose(*ctx.demoBus, what);
        if (!option) {
            return ctx.Fail("demo " + sub + ": '" + what +
                                "' is none of cable, receiver or a product the emulator offers",
                            kExitUsage);
        }
    } else if (sub == "press") {
        std::vector<std::string> buttons;
        ctx.demoBus->WithFirmware<emu::DeviceFirmware>(
            ctx.demoBus->MainMouse(), [&](emu::DeviceFirmware& f) { buttons = f.Buttons(); });
        if (std::find(buttons.begin(), buttons.end(), what) == buttons.end()) {
            std::string list;
            for (const std::string& b : buttons) {
                list += (list.empty() ? "" : "|") + b;
            }
            return ctx.Fail("demo press: the mouse has no button '" + what + "' (" + list + ")",
                            kExitUsage);
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
        const emu::DeviceId present = bus.FindPlugged(option->productId);
        const std::size_t before = session->EventCount();
        if (sub == "plug") {
            if (present != emu::kNoDevice) {
                return ctx.Fail("demo plug: the " + what + " is already plugged in", kExitFailed);
            }
            if (bus.Plug(option->productId) == emu::kNoDevice) {
                return ctx.Fail("demo plug: the emulator refused", kExitFailed);
            }
        } else {
            if (present == emu::kNoDevice || !bus.Unplug(present)) {
                return ctx.Fail("demo unplug: the " + what + " is not plugged in", kExitFailed);
            }
        }
        const bool settled = session->WaitForChangeAfter(before);
        if (!settled) {
            *ctx.err << "q417ctl: warning: the device manager has not finished with the change\n";
        }
        doc["settled"] = settled;
        doc["product"] = option->productId;
        return Report(ctx, doc,
                      std::string(sub == "plug" ? "plugged in" : "unplugged") + " the " + what +
                          " (0x" + Hex4(option->productId) + ")");
    }
    if (sub == "press") {
        // The mouse changes its own memory and announces it; the command ends once the device
        // object has read the change back, so the next line of a script sees it.
        const std::vector<emu::PluggedDevice> plugged = bus.Plugged();
        const bool reachable =
            std::any_of(plugged.begin(), plugged.end(),
                        [](const emu::PluggedDevice& d) { return !d.receiver || d.linkUp; });
        const std::optional<uint16_t> pressed = bus.PressButton(bus.MainMouse(), what);
        if (!pressed) {
            return ctx.Fail("demo press: the mouse did nothing", kExitFailed);
        }
        const int profile = *pressed & 0x0F;
        const int stage = (*pressed >> 4) & 0x0F;
        const bool dpi = (*pressed >> 8) == 0x11;
        doc["code"] = *pressed;
        doc["profile"] = profile;
        if (dpi) {
            doc["stage"] = stage;
        }
        bool seen = false;
        if (reachable) {
            seen = session->WaitForSnapshot(
                [&](const DeviceSnapshot& s) {
                    return s.mouse && s.mouse->recordSlot == profile &&
                           s.mouse->currentProfile == profile &&
                           (!dpi || s.mouse->activeStage == stage);
                },
                kPressBound);
            if (!seen) {
                *ctx.err << "q417ctl: warning: the device has not read the change back yet\n";
            }
        }
        doc["seen"] = seen;
        std::string text = "pressed the mouse's " + what + " button: " +
                           (dpi ? "stage " + std::to_string(stage + 1) + " of " : std::string()) +
                           "profile " + std::to_string(profile + 1) + " (0x" + Hex4(*pressed) + ")";
        if (!reachable) {
            text += "; nothing reaches the mouse, so nobody was told";
        }
        return Report(ctx, doc, text);
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
