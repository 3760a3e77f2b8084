#include "cli/CliContext.h"

#include <ostream>

#include "cli/CliSession.h"
#include "transport/HidrawBackend.h"

namespace q417::cli {

void CliContext::PrintJson(const Json::Value& document) const {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    *out << Json::writeString(builder, document) << '\n';
}

int CliContext::Fail(const std::string& reason, int exitCode) const {
    if (json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = false;
        doc["error"] = reason;
        PrintJson(doc);
    }
    *err << "q417ctl: " << reason << '\n';
    return exitCode;
}

CliSession* CliContext::Session(std::string* error) {
    if (session) {
        return session.get();
    }
    // On hidraw, udev wakes detection on hot-plug; the emulated bus wakes it itself.
    const bool udev = dynamic_cast<const HidrawBackend*>(backend.get()) != nullptr;
    auto started = std::make_shared<CliSession>(backend, demoBus, udev);
    if (!started->Start(error)) {
        started->Stop();
        return nullptr;
    }
    session = std::move(started);
    return session.get();
}

void CliContext::EndSession() {
    if (session) {
        session->Stop();
        session.reset();
    }
}

}  // namespace q417::cli
