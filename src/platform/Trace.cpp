#include "platform/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace q417 {
namespace {

struct TraceState {
    std::mutex mutex;
    std::function<void(std::string_view)> sink;
    bool envEnabled = [] {
        const char* v = std::getenv("Q417_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
};

TraceState& State() {
    static TraceState state;
    return state;
}

}  // namespace

bool TraceEnabled() {
    TraceState& s = State();
    std::lock_guard lock(s.mutex);
    return s.envEnabled || static_cast<bool>(s.sink);
}

void Trace(std::string_view line) {
    TraceState& s = State();
    std::lock_guard lock(s.mutex);
    if (s.sink) {
        s.sink(line);
        return;
    }
    if (!s.envEnabled) {
        return;
    }
    std::string out(line);
    if (out.empty() || out.back() != '\n') {
        out.push_back('\n');
    }
    std::fwrite(out.data(), 1, out.size(), stderr);
}

std::string FormatTraceHexLine(std::span<const unsigned char> bytes) {
    // "%02x %02x %02x %02x   ..." : three spaces between the first four groups, two after.
    std::string out;
    out.reserve(32 * 3 + 16);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            if (i % 4 == 0) {
                out += (i <= 12) ? "   " : "  ";
            } else {
                out += ' ';
            }
        }
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
    }
    return out;
}

void SetTraceSink(std::function<void(std::string_view)> sink) {
    TraceState& s = State();
    std::lock_guard lock(s.mutex);
    s.sink = std::move(sink);
}

}  // namespace q417
