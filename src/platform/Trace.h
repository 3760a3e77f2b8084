#pragma once
// Diagnostic trace output. The device layer writes one line per event (frames, replies, worker
// exits); on Linux they go to stderr when Q417_TRACE=1 and are dropped otherwise.
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace q417 {

// True when tracing is on (Q417_TRACE=1 at first use, or a sink installed by a test).
bool TraceEnabled();

// Writes one line (a newline is added when missing). Thread-safe; lines never interleave.
void Trace(std::string_view line);

// Formats 32 bytes the way frame dumps are written: groups of four, separated by spaces.
std::string FormatTraceHexLine(std::span<const unsigned char> bytes32);

// Replaces the output with a callback (tests); an empty function restores stderr output.
void SetTraceSink(std::function<void(std::string_view)> sink);

}  // namespace q417
