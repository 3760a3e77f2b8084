#pragma once
// The rule every configuration write of a device follows: nothing is sent while the command
// channel is closed; through the receiver the link must answer before the transaction and again
// before each later command, else the write stops and reports failure; the commands are bracketed
// by CmdBegin and CmdEnd. A write that has begun always ends, even when a command fails.
#include <utility>

#include "transport/CReportChannel.h"
#include "transport/CommandResult.h"
#include "transport/Commands.h"

namespace q417 {

class GuardedWrite {
public:
    // Checks the channel and the link and sends CmdBegin. Ok() tells whether the transaction runs.
    GuardedWrite(CReportChannel& channel, bool wireless);
    // Sends CmdEnd when the transaction began and End() was not called.
    ~GuardedWrite();
    GuardedWrite(const GuardedWrite&) = delete;
    GuardedWrite& operator=(const GuardedWrite&) = delete;

    bool Ok() const { return !failed_; }
    // 0 when the channel was closed or the link down, else the first failing command's result
    // (kResultOk while nothing failed).
    int Result() const { return Ok() ? kResultOk : failure_; }

    // Runs one command of the transaction (command() returns the command's int result). Returns
    // the result, or 0 without sending when the link is down; after a failure nothing more is
    // sent and the first failure is returned again.
    template <class Command>
    int Step(Command&& command) {
        if (!Ok()) {
            return failure_;
        }
        if (!LinkAnswers()) {
            Fail(kLinkLost);
            return failure_;
        }
        int result = std::forward<Command>(command)();
        if (result != kResultOk) {
            Fail(result);
        }
        return result;
    }

    // Ends the transaction (link check, then CmdEnd) and returns Result(); a failing CmdEnd is the
    // result when everything before it succeeded.
    int End();

    CReportChannel& Channel() { return channel_; }

private:
    // Result of a write that found the channel closed or the receiver's link down.
    static constexpr int kLinkLost = 0;

    bool LinkAnswers();
    void Fail(int result) {
        failed_ = true;
        failure_ = result;
    }

    CReportChannel& channel_;
    bool wireless_;
    bool begun_ = false;
    bool ended_ = false;
    bool failed_ = false;
    int failure_ = kResultOk;
};

}  // namespace q417
