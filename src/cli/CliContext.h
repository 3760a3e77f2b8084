#pragma once
// What every q417ctl command gets: the global options, the output streams and the HID backend
// (the emulated demo bus with --demo, hidraw otherwise).
#include <json/json.h>

#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "transport/HidBackend.h"

namespace q417::emu {
class EmulatedHidBus;
}

namespace q417::cli {

class CliSession;

struct CliContext {
    bool json = false;
    bool demo = false;
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    std::shared_ptr<IHidBackend> backend;
    // With --demo: the emulated bus behind `backend` (the demo commands plug and unplug on it).
    std::shared_ptr<emu::EmulatedHidBus> demoBus;
    // The running device manager of the mouse commands; one per process, started on first use.
    std::shared_ptr<CliSession> session;

    // Starts the session on first use. nullptr (with the reason in *error) when it cannot start.
    CliSession* Session(std::string* error);
    bool HasSession() const { return session != nullptr; }
    // Stops the session, if one runs (bounded).
    void EndSession();

    // Prints one JSON document on one line (JSON Lines).
    void PrintJson(const Json::Value& document) const;
    // Prints "q417ctl: <reason>" (or {"error": reason} with --json) and returns exitCode.
    int Fail(const std::string& reason, int exitCode = 1) const;
};

using CliArgs = std::span<const std::string>;

}  // namespace q417::cli
