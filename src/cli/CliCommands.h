#pragma once
// The q417ctl commands. Each returns the process exit code: 0 on success, non-zero after printing
// a one-line reason.
#include "cli/CliContext.h"

namespace q417::cli {

// Device commands (transport level).
int RunList(CliContext& ctx, CliArgs args);
int RunInfo(CliContext& ctx, CliArgs args);
int RunRaw(CliContext& ctx, CliArgs args);
int RunHid(CliContext& ctx, CliArgs args);

// Profile files of a device kind, without any device.
int RunProfile(CliContext& ctx, CliArgs args);

// Runs q417ctl with argv-style arguments (without the program name); used by main and the tests.
int RunQ417ctl(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace q417::cli
