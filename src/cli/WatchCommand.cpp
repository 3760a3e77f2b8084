// q417ctl watch: the device manager's events as they happen, until SIGINT or SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <ostream>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliSession.h"
#include "cli/HexFormat.h"
#include "transport/CommandResult.h"
#include "transport/DeviceIdentity.h"

namespace q417::cli {
namespace {

// Write end of the running watch's self-pipe; the signal handler only writes one byte to it.
std::atomic<int> gSignalPipe{-1};

extern "C" void OnWatchSignal(int) {
    const int saved = errno;
    const int fd = gSignalPipe.load();
    if (fd >= 0) {
        const char c = 's';
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
    }
    errno = saved;
}

// A non-blocking pipe; the event hook keeps it alive while the loop thread may still write.
struct SelfPipe {
    int readFd = -1;
    int writeFd = -1;
    SelfPipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            readFd = fds[0];
            writeFd = fds[1];
        }
    }
    ~SelfPipe() {
        if (readFd >= 0) {
            ::close(readFd);
        }
        if (writeFd >= 0) {
            ::close(writeFd);
        }
    }
    SelfPipe(const SelfPipe&) = delete;
    SelfPipe& operator=(const SelfPipe&) = delete;
    void Poke(char c) const { [[maybe_unused]] ssize_t n = ::write(writeFd, &c, 1); }
};

// SIGINT and SIGTERM go to the pipe while the watch runs; the old handlers come back after.
class SignalRedirect {
public:
    explicit SignalRedirect(int writeFd) {
        gSignalPipe.store(writeFd);
        struct sigaction action {};
        action.sa_handler = OnWatchSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &oldInt_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~SignalRedirect() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        gSignalPipe.store(-1);
    }
    SignalRedirect(const SignalRedirect&) = delete;
    SignalRedirect& operator=(const SignalRedirect&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

std::string NoticeText(DeviceNotice notice, int wParam, int lParam) {
    switch (notice) {
        case DeviceNotice::PowerStatus:
            return "power status " + std::to_string(wParam);
        case DeviceNotice::FirmwareOld:
            return "firmware update advised (product 0x" +
                   Hex4(static_cast<std::uint16_t>(wParam)) + ", version 0x" +
                   Hex4(static_cast<std::uint16_t>(lParam)) + ")";
        case DeviceNotice::InfoNotifyOn:
            return "device notifications on";
        case DeviceNotice::InfoNotifyOff:
            return "device notifications off";
    }
    return "notice " + std::to_string(static_cast<int>(notice));
}

const char* NoticeName(DeviceNotice notice) {
    switch (notice) {
        case DeviceNotice::PowerStatus:
            return "power";
        case DeviceNotice::FirmwareOld:
            return "firmwareOld";
        case DeviceNotice::InfoNotifyOn:
            return "notifyOn";
        case DeviceNotice::InfoNotifyOff:
            return "notifyOff";
    }
    return "unknown";
}

std::string EntryText(const SessionEvent& e) {
    return "entry " + std::to_string(e.event.entry) +
           (e.entryName.empty() ? std::string() : " (" + e.entryName + ")");
}

void PrintEvent(const CliContext& ctx, const SessionEvent& e) {
    using Type = DeviceManagerEvent::Type;
    const DeviceManagerEvent& ev = e.event;
    Json::Value doc(Json::objectValue);
    std::string text;
    if (e.isState) {
        doc["event"] = "state";
        doc["entry"] = ev.entry;
        doc["state"] = e.stateText;
        text = EntryText(e) + ": " + e.stateText;
    } else {
        switch (ev.type) {
            case Type::Activation:
                doc["event"] = "ready";
                text = "first detection pass done";
                break;
            case Type::Arrived:
            case Type::Removed: {
                const bool arrived = ev.type == Type::Arrived;
                doc["event"] = arrived ? "arrived" : "removed";
                doc["slot"] = ev.slot;
                doc["kind"] = ev.row.kind;
                doc["kindName"] = std::string(KindName(ev.row.kind));
                doc["role"] = std::string(RoleName(ev.row.role));
                doc["path"] = ev.path;
                text = std::string(arrived ? "arrived" : "removed") + ": slot " +
                       std::to_string(ev.slot) + ", " + std::string(KindName(ev.row.kind)) + " " +
                       std::string(RoleName(ev.row.role)) + " interface, " + ev.path;
                break;
            }
            case Type::Reachability:
                doc["event"] = "reachability";
                doc["entry"] = ev.entry;
                doc["reachable"] = ev.flag;
                text = EntryText(e) + ": " + (ev.flag ? "reachable" : "unreachable");
                break;
            case Type::Synchronised:
                doc["event"] = "synchronised";
                doc["entry"] = ev.entry;
                doc["result"] = ev.result;
                text = EntryText(e) + ": " +
                       (ev.result == kResultOk ? std::string("synchronised")
                                               : "synchronisation failed: " +
                                                     std::string(CommandResultText(ev.result)));
                break;
            case Type::Notice:
                doc["event"] = "notice";
                doc["entry"] = ev.entry;
                doc["notice"] = NoticeName(ev.notice);
                doc["code"] = static_cast<int>(ev.notice);
                doc["wParam"] = ev.wParam;
                doc["lParam"] = ev.lParam;
                text = EntryText(e) + ": " + NoticeText(ev.notice, ev.wParam, ev.lParam);
                break;
            case Type::ConnectionSwitched:
                doc["event"] = "connection";
                doc["entry"] = ev.entry;
                doc["connection"] = ev.flag ? "receiver" : "cable";
                doc["opened"] = ev.result == 1;
                text = EntryText(e) + ": moved to the " + (ev.flag ? "receiver" : "cable") +
                       (ev.result == 1 ? "" : " (could not be opened)");
                break;
            case Type::EntriesChanged:
                return;
        }
    }
    if (ctx.json) {
        ctx.PrintJson(doc);
    } else {
        *ctx.out << text << '\n';
    }
}

}  // namespace

int RunWatch(CliContext& ctx, CliArgs args) {
    std::optional<std::chrono::milliseconds> duration;
    if (args.size() == 1) {
        long long ms = 0;
        const std::string& a = args[0];
        auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), ms);
        if (ec != std::errc() || end != a.data() + a.size() || ms < 0) {
            return ctx.Fail("usage: watch [MS]", 2);
        }
        duration = std::chrono::milliseconds(ms);
    } else if (!args.empty()) {
        return ctx.Fail("usage: watch [MS]", 2);
    }
    auto pipe = std::make_shared<SelfPipe>();
    if (pipe->readFd < 0) {
        return ctx.Fail("watch: cannot create a pipe", 1);
    }
    SignalRedirect signals(pipe->writeFd);
    // Started here: everything from the first detection pass on is shown.
    const bool fresh = !ctx.HasSession();
    std::string error;
    CliSession* session = ctx.Session(&error);
    if (session == nullptr) {
        return ctx.Fail(error, 1);
    }
    std::size_t cursor = fresh ? 0 : session->EventCount();
    session->SetEventHook([pipe] { pipe->Poke('e'); });

    const auto deadline = duration ? std::chrono::steady_clock::now() + *duration
                                   : std::chrono::steady_clock::time_point::max();
    bool stop = false;
    while (!stop) {
        for (const SessionEvent& e : session->EventsFrom(cursor)) {
            PrintEvent(ctx, e);
            cursor = e.sequence + 1;
        }
        ctx.out->flush();
        int timeout = -1;
        if (duration) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                break;
            }
            timeout = static_cast<int>(std::min<long long>(left.count(), 60000));
        }
        pollfd p{pipe->readFd, POLLIN, 0};
        const int n = ::poll(&p, 1, timeout);
        if (n < 0 && errno != EINTR) {
            break;
        }
        char buffer[64];
        ssize_t got = 0;
        while ((got = ::read(pipe->readFd, buffer, sizeof buffer)) > 0) {
            for (ssize_t i = 0; i < got; ++i) {
                stop = stop || buffer[i] == 's';
            }
        }
    }
    session->SetEventHook({});
    for (const SessionEvent& e : session->EventsFrom(cursor)) {
        PrintEvent(ctx, e);
    }
    ctx.out->flush();
    return 0;
}

}  // namespace q417::cli
