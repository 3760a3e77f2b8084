#pragma once
// The q417ctl commands. Each returns the process exit code: 0 on success, non-zero after printing
// a one-line reason.
#include <memory>
#include <optional>
#include <string>

#include "cli/CliContext.h"

namespace q417::cli {

// Device commands (transport level).
int RunList(CliContext& ctx, CliArgs args);
int RunInfo(CliContext& ctx, CliArgs args);
int RunRaw(CliContext& ctx, CliArgs args);
int RunHid(CliContext& ctx, CliArgs args);

// Profile files of a device kind, without any device.
int RunProfile(CliContext& ctx, CliArgs args);

// The mouse through the running device manager (CliSession).
int RunStatus(CliContext& ctx, CliArgs args);
int RunDpi(CliContext& ctx, CliArgs args);
int RunDpiActive(CliContext& ctx, CliArgs args);
int RunDpiEnable(CliContext& ctx, CliArgs args);
int RunPolling(CliContext& ctx, CliArgs args);
int RunLiftOff(CliContext& ctx, CliArgs args);
int RunCalibration(CliContext& ctx, CliArgs args);
int RunWatch(CliContext& ctx, CliArgs args);
// --demo only: plugging, the receiver's link and notifications on the emulated bus.
int RunDemo(CliContext& ctx, CliArgs args);
// "profile switch INDEX|NAME" on the mouse.
int RunProfileSwitch(CliContext& ctx, const std::string& target);
// "profile reset" with a mouse present: the device reset. nullopt when no mouse is present (the
// caller resets the profile file instead).
std::optional<int> RunProfileDeviceReset(CliContext& ctx);

// A file of command lines, run in this process with one device manager.
int RunScript(CliContext& ctx, CliArgs args);
// One command line ("NAME ARGS...", no global options) on a prepared context.
int RunCommandLine(CliContext& ctx, CliArgs args);

// Runs q417ctl with argv-style arguments (without the program name); used by main and the tests.
int RunQ417ctl(std::span<const std::string> args, std::ostream& out, std::ostream& err);
// The same; with --demo the commands run on `demoBus` (when set) instead of a fresh demo bus, so
// a test can look into the emulated devices afterwards.
int RunQ417ctlOnBus(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                    std::shared_ptr<emu::EmulatedHidBus> demoBus);

}  // namespace q417::cli
