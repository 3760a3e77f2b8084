#include "transport/GuardedWrite.h"

namespace q417 {

GuardedWrite::GuardedWrite(CReportChannel& channel, bool wireless)
    : channel_(channel), wireless_(wireless) {
    if (channel_.IsOpen() == 0 || !LinkAnswers()) {
        Fail(kLinkLost);
        return;
    }
    int result = CmdBegin(channel_);
    if (result != kResultOk) {
        Fail(result);
        return;
    }
    begun_ = true;
}

GuardedWrite::~GuardedWrite() {
    if (begun_ && !ended_) {
        End();
    }
}

bool GuardedWrite::LinkAnswers() {
    return !wireless_ || CmdQueryLink(channel_);
}

int GuardedWrite::End() {
    if (!begun_ || ended_) {
        return Result();
    }
    ended_ = true;
    // With the link gone the receiver would refuse CmdEnd as well: nothing is sent.
    if (!LinkAnswers()) {
        if (Ok()) {
            Fail(kLinkLost);
        }
        return Result();
    }
    int result = CmdEnd(channel_);
    if (Ok() && result != kResultOk) {
        Fail(result);
    }
    return Result();
}

}  // namespace q417
