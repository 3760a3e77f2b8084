// q417ctl's device commands: list, info, raw and hid.
#include <json/json.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "platform/Trace.h"
#include "transport/CReportChannel.h"
#include "transport/Commands.h"
#include "transport/DetectionPass.h"
#include "transport/DeviceInfoBlock.h"
#include "transport/HidPath.h"
#include "transport/HidrawBackend.h"
#include "transport/IdentificationTable.h"

namespace q417::cli {
namespace {

// Exit codes beyond 0 (success) and 2 (usage).
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoDevice = 3;
constexpr int kExitPermission = 4;

// The package installs the rule itself; a build tree's user copies it.
constexpr const char* kUdevFix =
    "install the q417 package (its udev rule 70-q417.rules), or copy data/linux/70-q417.rules "
    "into /etc/udev/rules.d/, then replug the device";

// The largest payload of a raw frame: bytes 4..63.
constexpr std::size_t kMaxRawBytes = 60;

std::string PermissionReason(const std::string& node) {
    return "permission denied on " + (node.empty() ? std::string("the device node") : node) + ": " +
           kUdevFix;
}

Json::Value HexList(std::span<const uint8_t> bytes) {
    Json::Value list(Json::arrayValue);
    for (uint8_t b : bytes) {
        list.append(Json::UInt(b));
    }
    return list;
}

Json::Value IdList(const std::vector<uint8_t>& ids) {
    Json::Value list(Json::arrayValue);
    for (uint8_t id : ids) {
        list.append(Json::UInt(id));
    }
    return list;
}

// Why a detection pass gave no usable device: a permission problem is told apart from nothing
// being there, with the fix.
int FailNoDevice(const CliContext& ctx, const DetectionPassResult& pass) {
    if (!pass.enumerated) {
        return ctx.Fail("cannot list the HID devices (" + ctx.backend->Name() + ")", kExitFailed);
    }
    for (const DetectionOpenFailure& f : pass.openFailures) {
        if (f.error == HidOpenError::PermissionDenied) {
            return ctx.Fail(PermissionReason(NodeFromPath(f.path)), kExitPermission);
        }
    }
    if (!pass.openFailures.empty()) {
        const DetectionOpenFailure& f = pass.openFailures.front();
        const std::string node = NodeFromPath(f.path);
        return ctx.Fail("no supported device found (" + (node.empty() ? f.path : node) +
                            " could not be opened" + (f.text.empty() ? "" : ": " + f.text) + ")",
                        kExitNoDevice);
    }
    return ctx.Fail("no supported device found", kExitNoDevice);
}

// Permission problems on interfaces that were not taken, reported next to a successful result.
void WarnOpenFailures(const CliContext& ctx, const DetectionPassResult& pass) {
    for (const DetectionOpenFailure& f : pass.openFailures) {
        const std::string node = NodeFromPath(f.path);
        if (f.error == HidOpenError::PermissionDenied) {
            *ctx.err << "q417ctl: warning: " << PermissionReason(node) << '\n';
        } else {
            *ctx.err << "q417ctl: warning: cannot open " << (node.empty() ? f.path : node)
                     << (f.text.empty() ? "" : ": " + f.text) << '\n';
        }
    }
}

Json::Value OpenFailuresJson(const DetectionPassResult& pass) {
    Json::Value list(Json::arrayValue);
    for (const DetectionOpenFailure& f : pass.openFailures) {
        Json::Value item(Json::objectValue);
        item["path"] = f.path;
        item["node"] = NodeFromPath(f.path);
        item["permissionDenied"] = f.error == HidOpenError::PermissionDenied;
        item["error"] = f.text;
        list.append(item);
    }
    return list;
}

struct TakenSlot {
    std::size_t index = 0;
    DeviceIdentity slot;
};

std::vector<TakenSlot> TakenSlots(const CInterfaceSlotList& slots,
                                  const DetectionPassResult& pass) {
    std::vector<TakenSlot> taken;
    for (std::size_t index : pass.takenSlots) {
        if (std::optional<DeviceIdentity> s = slots.Slot(index)) {
            taken.push_back({index, *s});
        }
    }
    std::sort(taken.begin(), taken.end(),
              [](const TakenSlot& a, const TakenSlot& b) { return a.index < b.index; });
    return taken;
}

// The device a command talks to: the first command interface found, the cable before the
// receiver (a mouse plugged in by cable is the one the user is holding).
std::optional<TakenSlot> PickCommandSlot(const std::vector<TakenSlot>& taken) {
    std::optional<TakenSlot> receiver;
    for (const TakenSlot& t : taken) {
        if (t.slot.role != kRoleCommand) {
            continue;
        }
        if (!IsReceiverKind(t.slot.kind)) {
            return t;
        }
        if (!receiver) {
            receiver = t;
        }
    }
    return receiver;
}

// A report channel opened on the picked command interface, as the device manager opens it.
struct OpenedChannel {
    std::unique_ptr<CReportChannel> channel;
    TakenSlot target;
};

// Runs fn on the channel a command should use. Inside a script whose device manager already
// talks to that interface, the traffic goes through the device's own channel on its thread: a
// second reader of the same collection would be handed the other's replies and take them for its
// own (replies are matched by their command code only).
template <class Fn>
auto WithCommandChannel(CliContext& ctx, OpenedChannel& opened, Fn fn)
    -> std::invoke_result_t<Fn&, CReportChannel&> {
    if (ctx.HasSession()) {
        std::string error;
        if (CliSession* session = ctx.Session(&error)) {
            // A device still opening or synchronising would otherwise share the collection
            // with the channel below, and its replies would go to the wrong reader.
            session->WaitSettled();
            for (const SelectorEntry& e :
                 session->OnLoop([&] { return session->Manager().Entries(); })) {
                CTavrenixUSBDevice& device = *e.device;
                using R = std::invoke_result_t<Fn&, CReportChannel&>;
                std::optional<std::optional<R>> ran = device.Call([&]() -> std::optional<R> {
                    CReportChannel& own = device.CommandChannel();
                    if (own.IsOpen() == 0 ||
                        own.SelectedInterface().Path() != opened.target.slot.path) {
                        return std::nullopt;
                    }
                    return fn(own);
                });
                if (ran && *ran) {
                    return std::move(**ran);
                }
            }
        }
    }
    return fn(*opened.channel);
}

// On failure prints the reason and returns the exit code.
std::optional<int> OpenCommandChannel(const CliContext& ctx, OpenedChannel& opened) {
    CInterfaceSlotList slots;
    CDetectionPass detection(ctx.backend);
    const DetectionPassResult pass = detection.Run(slots);
    const std::optional<TakenSlot> target = PickCommandSlot(TakenSlots(slots, pass));
    if (!target) {
        return FailNoDevice(ctx, pass);
    }
    auto channel = std::make_unique<CReportChannel>(ctx.backend);
    const bool receiver = IsReceiverKind(target->slot.kind);
    CHidInterface& hid = receiver ? channel->InterfaceB() : channel->InterfaceA();
    if (!hid.Open(target->slot.path, true, true, true, false)) {
        const std::string node = NodeFromPath(target->slot.path);
        if (hid.LastOpenError() == HidOpenError::PermissionDenied) {
            return ctx.Fail(PermissionReason(node), kExitPermission);
        }
        return ctx.Fail("cannot open " + (node.empty() ? target->slot.path : node) +
                            (hid.LastOpenErrorText().empty() ? "" : ": " + hid.LastOpenErrorText()),
                        kExitFailed);
    }
    channel->SelectEndpoint(receiver ? 2 : 1);
    channel->SetOpen(true);
    opened.channel = std::move(channel);
    opened.target = *target;
    return std::nullopt;
}

Json::Value DeviceJson(const TakenSlot& t) {
    Json::Value device(Json::objectValue);
    device["slot"] = Json::UInt(t.index);
    device["vendorId"] = t.slot.vendorId;
    device["productId"] = t.slot.productId;
    device["kind"] = t.slot.kind;
    device["kindName"] = std::string(KindName(t.slot.kind));
    device["connection"] = IsReceiverKind(t.slot.kind) ? "receiver" : "cable";
    device["path"] = t.slot.path;
    return device;
}

std::string DeviceLine(const TakenSlot& t) {
    return std::string(KindName(t.slot.kind)) + " " + Hex4(t.slot.vendorId) + ":" +
           Hex4(t.slot.productId) + ", slot " + std::to_string(t.index) + ", " + t.slot.path;
}

// "0x1F" or "31", 0..255.
std::optional<uint8_t> ParseByteArgument(const std::string& text) {
    if (text.empty() || text.size() > 6) {
        return std::nullopt;
    }
    unsigned value = 0;
    std::size_t i = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int d = -1;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        }
        if (d < 0) {
            return std::nullopt;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (value > 0xFF) {
            return std::nullopt;
        }
    }
    return static_cast<uint8_t>(value);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// list

int RunList(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("list takes no arguments", kExitUsage);
    }
    CInterfaceSlotList slots;
    CDetectionPass detection(ctx.backend);
    const DetectionPassResult pass = detection.Run(slots);
    const std::vector<TakenSlot> taken = TakenSlots(slots, pass);
    if (taken.empty()) {
        return FailNoDevice(ctx, pass);
    }
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "list";
        doc["backend"] = ctx.backend->Name();
        Json::Value list(Json::arrayValue);
        for (const TakenSlot& t : taken) {
            const DeviceIdentity& s = t.slot;
            Json::Value item(Json::objectValue);
            item["slot"] = Json::UInt(t.index);
            item["row"] = slots.FindRow(s.vendorId, s.productId, s.kind, s.role);
            item["vendorId"] = s.vendorId;
            item["productId"] = s.productId;
            item["interfaceNumber"] = s.interfaceNumber;
            item["collectionNumber"] = s.collectionNumber;
            item["kind"] = s.kind;
            item["kindName"] = std::string(KindName(s.kind));
            item["role"] = std::string(RoleName(s.role));
            item["path"] = s.path;
            list.append(item);
        }
        doc["slots"] = list;
        doc["openFailures"] = OpenFailuresJson(pass);
        ctx.PrintJson(doc);
    } else {
        std::ostream& os = *ctx.out;
        os << "slot  row  vendor  product  if  col  kind                     role          path\n";
        for (const TakenSlot& t : taken) {
            const DeviceIdentity& s = t.slot;
            char line[160];
            std::snprintf(
                line, sizeof line, "%-4zu  %-3d  %04x    %04x     %02x  %02x   %-2u %-21s %-13s ",
                t.index, slots.FindRow(s.vendorId, s.productId, s.kind, s.role), s.vendorId,
                s.productId, s.interfaceNumber, s.collectionNumber, s.kind,
                std::string(KindName(s.kind)).c_str(), std::string(RoleName(s.role)).c_str());
            os << line << s.path << '\n';
        }
    }
    WarnOpenFailures(ctx, pass);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// info

int RunInfo(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("info takes no arguments", kExitUsage);
    }
    OpenedChannel opened;
    if (std::optional<int> failed = OpenCommandChannel(ctx, opened)) {
        return *failed;
    }
    struct InfoRead {
        std::optional<std::string> failure;
        int result = kResultOk;
        std::array<uint8_t, kInfoBlockSize> info{};
    };
    const InfoRead read = WithCommandChannel(ctx, opened, [](CReportChannel& channel) {
        InfoRead r;
        if (channel.UseReceiver() && !CmdQueryLink(channel)) {
            r.failure = "the receiver's mouse does not answer: switch it on or bring it in range";
            return r;
        }
        CmdTransaction transaction(channel);
        if (!transaction.Begun()) {
            r.failure =
                "begin command failed: " + std::string(CommandResultText(transaction.Result()));
            return r;
        }
        r.result = CmdReadInfo(channel, r.info);
        const int endResult = transaction.End();
        if (r.result == kResultOk && endResult != kResultOk) {
            r.result = endResult;
        }
        return r;
    });
    if (read.failure) {
        return ctx.Fail(*read.failure, kExitFailed);
    }
    const int result = read.result;
    const std::array<uint8_t, kInfoBlockSize>& info = read.info;
    if (result != kResultOk) {
        return ctx.Fail(
            "reading the information block failed: " + std::string(CommandResultText(result)) +
                " (" + std::to_string(result) + ")",
            kExitFailed);
    }

    const DeviceInfoBlock block = DeviceInfoBlock::FromBytes(info);
    const unsigned keys = block.KeyCount();
    const unsigned macroUnits = block.MacroMemoryUnits();
    const uint16_t sensor = block.Sensor();
    const unsigned dpiStep = block.DpiStep();
    const unsigned lowestDpi = block.LowestDpi();
    const std::size_t keyTableBytes = block.KeyTableSize();
    const bool keyTableFits = block.KeyTableFits();
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "info";
        doc["device"] = DeviceJson(opened.target);
        doc["keys"] = keys;
        doc["keyTableBytes"] = Json::UInt(keyTableBytes);
        doc["keyTableFits"] = keyTableFits;
        doc["macroMemoryUnits"] = macroUnits;
        doc["macroMemoryBytes"] = Json::UInt(block.MacroMemoryBytes());
        doc["sensor"] = "0x" + Hex4(sensor);
        doc["sensorModel"] = sensor;
        doc["dpiStep"] = dpiStep;
        doc["lowestDpi"] = lowestDpi;
        doc["raw"] = HexList(info);
        ctx.PrintJson(doc);
    } else {
        std::ostream& os = *ctx.out;
        os << "device:        " << DeviceLine(opened.target) << '\n';
        os << "keys:          " << keys;
        if (!keyTableFits) {
            os << " (a key table of " << keyTableBytes << " bytes exceeds the 512-byte block)";
        }
        os << '\n';
        os << "macro memory:  " << macroUnits << " units (" << block.MacroMemoryBytes()
           << " bytes)\n";
        os << "sensor:        0x" << Hex4(sensor) << '\n';
        os << "DPI step:      " << dpiStep << '\n';
        os << "lowest DPI:    " << lowestDpi << '\n';
        os << "raw:           " << HexBytes(info) << '\n';
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// raw

int RunRaw(CliContext& ctx, CliArgs args) {
    if (args.empty()) {
        return ctx.Fail("raw needs a command code: raw CODE [BYTE...]", kExitUsage);
    }
    if (args.size() - 1 > kMaxRawBytes) {
        return ctx.Fail("raw takes at most " + std::to_string(kMaxRawBytes) + " data bytes, got " +
                            std::to_string(args.size() - 1),
                        kExitUsage);
    }
    Frame request{};
    request[0] = kReportId;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::optional<uint8_t> value = ParseByteArgument(args[i]);
        if (!value) {
            return ctx.Fail("'" + args[i] + "' is not a byte (0..255, decimal or 0x hex)",
                            kExitUsage);
        }
        request[i == 0 ? 3 : 3 + i] = *value;
    }
    StoreSumChecksum(request);

    OpenedChannel opened;
    if (std::optional<int> failed = OpenCommandChannel(ctx, opened)) {
        return *failed;
    }
    Frame reply{};
    uint32_t transferred = 0;
    const int result = WithCommandChannel(ctx, opened, [&](CReportChannel& channel) {
        return channel.Exchange(request, reply, &transferred);
    });
    const bool gotReply = result == kResultOk || result == kResultRefused;

    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = result == kResultOk;
        doc["command"] = "raw";
        doc["device"] = DeviceJson(opened.target);
        doc["request"] = HexList(request);
        doc["result"] = result;
        doc["resultText"] = std::string(CommandResultText(result));
        if (gotReply) {
            doc["reply"] = HexList(reply);
            doc["status"] = reply[7];
        } else {
            doc["reply"] = Json::Value(Json::nullValue);
        }
        if (result != kResultOk) {
            doc["error"] = "exchange failed: " + std::string(CommandResultText(result));
        }
        ctx.PrintJson(doc);
    } else {
        std::ostream& os = *ctx.out;
        os << "device:  " << DeviceLine(opened.target) << '\n';
        os << "request:\n";
        for (const std::string& line : FrameLines(request)) {
            os << "  " << line << '\n';
        }
        if (gotReply) {
            os << "reply:\n";
            for (const std::string& line : FrameLines(reply)) {
                os << "  " << line << '\n';
            }
            os << "status:  0x" << Hex2(reply[7]) << '\n';
        }
        os << "result:  " << result << " (" << CommandResultText(result) << ")\n";
    }
    if (result != kResultOk) {
        if (!ctx.json) {
            *ctx.err << "q417ctl: exchange failed: " << CommandResultText(result) << '\n';
        }
        return kExitFailed;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// hid

namespace {

struct HidCollectionView {
    uint16_t collectionNumber = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    std::vector<uint8_t> reportIds[kHidReportTypeCount];
    uint16_t inputLength = 0;
    uint16_t outputLength = 0;
    uint16_t featureLength = 0;
    std::string path;
    int row = -1;
};

struct HidInterfaceView {
    std::string node;  // device node, or the instance on backends without nodes
    std::string instance;
    std::string name;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    std::optional<uint32_t> interfaceNumber;
    bool readable = false;
    bool writable = false;
    bool permissionDenied = false;
    std::string openError;
    std::string problem;  // sysfs or descriptor trouble
    std::vector<HidCollectionView> collections;
};

int MatchRow(const CInterfaceSlotList& table, uint16_t vendorId, uint16_t productId,
             const std::string& path, uint16_t usagePage, uint16_t usage) {
    DeviceIdentity probe;
    probe.vendorId = vendorId;
    probe.productId = productId;
    probe.interfaceNumber = InterfaceFromPath(path);
    probe.collectionNumber = CollectionFromPath(path);
    probe.usagePage = usagePage;
    probe.usage = usage;
    return table.RowFor(probe);
}

std::vector<HidInterfaceView> ListHidraw(const HidrawBackend& hidraw,
                                         const CInterfaceSlotList& table) {
    std::vector<HidInterfaceView> views;
    for (const HidrawNodeInfo& node : hidraw.ListNodes()) {
        HidInterfaceView v;
        v.node = node.devicePath;
        v.instance = node.instance;
        v.name = node.name;
        v.vendorId = node.vendorId;
        v.productId = node.productId;
        v.versionNumber = node.versionNumber;
        v.interfaceNumber = node.interfaceNumber;
        v.readable = node.readable;
        v.writable = node.writable;
        v.permissionDenied = node.permissionDenied;
        v.openError = node.openError;
        v.problem = !node.sysfsError.empty() ? node.sysfsError : node.descriptorError;
        for (const HidrawCollectionInfo& c : node.collections) {
            HidCollectionView cv;
            cv.collectionNumber = CollectionFromPath(c.path);
            cv.usagePage = c.usagePage;
            cv.usage = c.usage;
            for (int t = 0; t < kHidReportTypeCount; ++t) {
                cv.reportIds[t] = c.reportIds[t];
            }
            cv.inputLength = c.inputReportByteLength;
            cv.outputLength = c.outputReportByteLength;
            cv.featureLength = c.featureReportByteLength;
            cv.path = c.path;
            cv.row = MatchRow(table, node.vendorId, node.productId, c.path, c.usagePage, c.usage);
            v.collections.push_back(std::move(cv));
        }
        views.push_back(std::move(v));
    }
    return views;
}

// Any other backend (the emulated bus): every path is opened once to read what it is; paths of
// one device instance form one interface.
std::optional<std::vector<HidInterfaceView>> ListByOpening(
    const std::shared_ptr<IHidBackend>& backend, const CInterfaceSlotList& table) {
    CHidInterface hid(backend);
    if (!hid.Enumerate()) {
        return std::nullopt;
    }
    std::vector<std::string> paths;
    while (std::optional<std::string> p = hid.NextPath()) {
        paths.push_back(*p);
    }
    hid.FreePaths();

    std::vector<HidInterfaceView> views;
    std::map<std::string, std::size_t> byInstance;
    for (const std::string& path : paths) {
        std::string instance = InstanceFromPath(path);
        if (instance.empty()) {
            instance = path;
        }
        auto [it, added] = byInstance.try_emplace(instance, views.size());
        if (added) {
            HidInterfaceView v;
            v.instance = instance;
            v.node = NodeFromPath(path);
            v.interfaceNumber = InterfaceFromPath(path);
            v.readable = v.writable = true;
            views.push_back(std::move(v));
        }
        HidInterfaceView& v = views[it->second];

        bool opened = hid.Open(path, true, true, true, false);
        if (!opened) {
            v.writable = false;
            v.permissionDenied =
                v.permissionDenied || hid.LastOpenError() == HidOpenError::PermissionDenied;
            v.openError = hid.LastOpenErrorText();
            opened = hid.Open(path, true, false, true, false);
            if (!opened) {
                v.readable = false;
                v.permissionDenied =
                    v.permissionDenied || hid.LastOpenError() == HidOpenError::PermissionDenied;
            }
        }
        HidCollectionView cv;
        cv.collectionNumber = CollectionFromPath(path);
        cv.path = path;
        if (opened) {
            const HidAttributes attributes = hid.Attributes();
            const HidCaps caps = hid.Caps();
            v.vendorId = attributes.vendorId;
            v.productId = attributes.productId;
            v.versionNumber = attributes.versionNumber;
            cv.usagePage = caps.usagePage;
            cv.usage = caps.usage;
            cv.inputLength = caps.inputReportByteLength;
            cv.outputLength = caps.outputReportByteLength;
            cv.featureLength = caps.featureReportByteLength;
            if (std::shared_ptr<const HidPreparsed> preparsed = hid.Preparsed()) {
                for (int t = 0; t < kHidReportTypeCount; ++t) {
                    cv.reportIds[t] = preparsed->ReportIds(static_cast<HidReportType>(t));
                }
            }
            cv.row = MatchRow(table, v.vendorId, v.productId, path, cv.usagePage, cv.usage);
            hid.Close();
        } else {
            v.vendorId = VendorFromPath(path);
            v.productId = ProductFromPath(path);
            v.problem = "cannot open: " + hid.LastOpenErrorText();
        }
        v.collections.push_back(std::move(cv));
    }
    return views;
}

Json::Value HidJson(const std::string& backend, const std::vector<HidInterfaceView>& views) {
    Json::Value doc(Json::objectValue);
    doc["ok"] = true;
    doc["command"] = "hid";
    doc["backend"] = backend;
    Json::Value list(Json::arrayValue);
    static constexpr const char* kTypeNames[kHidReportTypeCount] = {"input", "output", "feature"};
    for (const HidInterfaceView& v : views) {
        Json::Value item(Json::objectValue);
        item["node"] = v.node;
        item["instance"] = v.instance;
        item["name"] = v.name;
        item["vendorId"] = v.vendorId;
        item["productId"] = v.productId;
        item["versionNumber"] = v.versionNumber;
        item["interfaceNumber"] =
            v.interfaceNumber ? Json::Value(Json::UInt(*v.interfaceNumber)) : Json::Value();
        item["readable"] = v.readable;
        item["writable"] = v.writable;
        item["permissionDenied"] = v.permissionDenied;
        item["openError"] = v.openError;
        item["problem"] = v.problem;
        Json::Value collections(Json::arrayValue);
        for (const HidCollectionView& c : v.collections) {
            Json::Value col(Json::objectValue);
            col["collectionNumber"] = c.collectionNumber;
            col["usagePage"] = c.usagePage;
            col["usage"] = c.usage;
            Json::Value ids(Json::objectValue);
            for (int t = 0; t < kHidReportTypeCount; ++t) {
                ids[kTypeNames[t]] = IdList(c.reportIds[t]);
            }
            col["reportIds"] = ids;
            col["inputReportByteLength"] = c.inputLength;
            col["outputReportByteLength"] = c.outputLength;
            col["featureReportByteLength"] = c.featureLength;
            col["path"] = c.path;
            col["row"] = c.row >= 0 ? Json::Value(c.row) : Json::Value();
            collections.append(col);
        }
        item["collections"] = collections;
        list.append(item);
    }
    doc["interfaces"] = list;
    return doc;
}

std::string IdsText(const std::vector<uint8_t>& ids) {
    if (ids.empty()) {
        return "-";
    }
    std::string text;
    for (uint8_t id : ids) {
        text += (text.empty() ? "" : ",") + std::to_string(id);
    }
    return text;
}

void PrintHidText(std::ostream& os, const std::vector<HidInterfaceView>& views) {
    if (views.empty()) {
        os << "no HID interfaces found\n";
        return;
    }
    bool ourDeviceDenied = false;
    for (const HidInterfaceView& v : views) {
        os << (v.node.empty() ? v.instance : v.node) << "  " << Hex4(v.vendorId) << ":"
           << Hex4(v.productId) << "  interface "
           << (v.interfaceNumber ? std::to_string(*v.interfaceNumber) : std::string("-"));
        if (!v.name.empty()) {
            os << "  \"" << v.name << "\"";
        }
        if (!v.instance.empty() && !v.node.empty()) {
            os << "  " << v.instance;
        }
        os << '\n';
        os << "  access: read " << (v.readable ? "yes" : "no") << ", write "
           << (v.writable ? "yes" : "no");
        if (v.permissionDenied) {
            os << " (permission denied)";
            ourDeviceDenied = ourDeviceDenied || v.vendorId == 0x4A1D;
        } else if (!v.openError.empty()) {
            os << " (" << v.openError << ")";
        }
        os << '\n';
        if (!v.problem.empty()) {
            os << "  problem: " << v.problem << '\n';
        }
        for (const HidCollectionView& c : v.collections) {
            os << "  collection " << c.collectionNumber << ": usage page 0x" << Hex4(c.usagePage)
               << " usage 0x" << Hex4(c.usage) << ", report IDs in " << IdsText(c.reportIds[0])
               << " out " << IdsText(c.reportIds[1]) << " feature " << IdsText(c.reportIds[2])
               << ", lengths in " << c.inputLength << " out " << c.outputLength << " feature "
               << c.featureLength << ", row "
               << (c.row >= 0 ? std::to_string(c.row) : std::string("none")) << '\n';
            os << "    " << c.path << '\n';
        }
    }
    if (ourDeviceDenied) {
        os << "hint: to use these devices without root, " << kUdevFix << '\n';
    }
}

}  // namespace

int RunHid(CliContext& ctx, CliArgs args) {
    if (!args.empty()) {
        return ctx.Fail("hid takes no arguments", kExitUsage);
    }
    CInterfaceSlotList table;
    std::vector<HidInterfaceView> views;
    if (const auto* hidraw = dynamic_cast<const HidrawBackend*>(ctx.backend.get())) {
        views = ListHidraw(*hidraw, table);
    } else {
        std::optional<std::vector<HidInterfaceView>> listed = ListByOpening(ctx.backend, table);
        if (!listed) {
            return ctx.Fail("cannot list the HID devices (" + ctx.backend->Name() + ")",
                            kExitFailed);
        }
        views = std::move(*listed);
    }
    if (ctx.json) {
        ctx.PrintJson(HidJson(ctx.backend->Name(), views));
    } else {
        PrintHidText(*ctx.out, views);
    }
    return 0;
}

}  // namespace q417::cli
