#pragma once
// One detection pass: enumerate the HID interfaces present and let each candidate take its slot
// through the two matching stages. q417ctl runs one pass; the device manager's worker runs one
// every 100 ms with the same object, so the rejected interfaces are remembered between passes.
#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "transport/CHidInterface.h"
#include "transport/HidBackend.h"
#include "transport/IdentificationTable.h"

namespace q417 {

struct DetectionOpenFailure {
    std::string path;
    HidOpenError error = HidOpenError::Other;
    std::string text;
};

struct DetectionPassResult {
    bool enumerated = false;                // false: the enumeration itself failed
    std::vector<std::string> presentPaths;  // every path the enumeration gave
    std::vector<std::size_t> takenSlots;    // slots taken in this pass, in enumeration order
    std::vector<DetectionOpenFailure> openFailures;  // first stage passed, but no open
    std::vector<std::string> rejectedPaths;          // opened, but refused by the second stage
    std::size_t skippedRejected = 0;                 // remembered refusals not opened again
};

class CDetectionPass {
public:
    explicit CDetectionPass(std::shared_ptr<IHidBackend> backend);
    CDetectionPass(const CDetectionPass&) = delete;
    CDetectionPass& operator=(const CDetectionPass&) = delete;

    // Runs one pass over slots. A stop request ends the pass between two paths.
    DetectionPassResult Run(CInterfaceSlotList& slots, std::stop_token stop = {});

    const CRejectedInterfaces& Rejected() const { return rejected_; }
    // Forgets every remembered refusal (e.g. after the table grew).
    void ForgetRejected() { rejected_.Clear(); }

private:
    CHidInterface probe_;
    CRejectedInterfaces rejected_;
};

// The device node named by a path's last '#'-separated part ("/dev/hidraw3"); empty when the
// path carries none.
std::string NodeFromPath(const std::string& path);

}  // namespace q417
