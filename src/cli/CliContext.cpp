#include "cli/CliContext.h"

#include <ostream>

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

}  // namespace q417::cli
