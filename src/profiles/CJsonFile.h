#pragma once
// JSON files of the profile layer: bounded reads, tolerant parsing, atomic writes, and the
// time-stamp identifiers that name profile documents.
#include <json/json.h>

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>

namespace q417 {

// Stateless; the functions are static so callers need no instance, but a member instance works too.
class CJsonFile {
public:
    enum class DocumentState { Ok, Missing, Unreadable };

    // The whole file as bytes; empty when it cannot be opened or read, or is above 16 MiB.
    static std::string readjsonFile(const std::string& path);

    // The parsed document, or null when the file is missing, empty, too large or does not parse.
    // Comments are allowed, a UTF-8 byte order mark is skipped, CR LF line ends load.
    static Json::Value ReadDocument(const std::string& path);

    // As ReadDocument, and says whether the file was missing (or empty) or present but unreadable.
    static Json::Value ReadDocument(const std::string& path, DocumentState& state);

    // Writes the value's styled text plus a newline, atomically. False on failure (the old file is
    // then kept unchanged).
    static bool WriteDocument(const std::string& path, const Json::Value& value);

    // Renames an unreadable file aside to "<path>.unreadable-<time stamp>" so that nothing the user
    // had is lost before the file is rebuilt. Returns the new path, empty when the rename failed.
    static std::string KeepAside(const std::string& path);

    // Copies a file aside to "<path>.<tag>-<time stamp>" before it is rewritten with less in it;
    // the file itself stays. Returns the copy's path, empty when the copy could not be written.
    static std::string CopyAside(const std::string& path, std::string_view tag);

    // The file name without folder and extension ("/a/b/2024_x.Json" -> "2024_x").
    static std::string FileTitle(const std::string& path);

    // Local time as "%d_%02d_%02d_%02d_%02d_%02d_%03d" (year, month, day, h, min, s, ms). Within
    // one process successive calls never return the same identifier.
    static std::string MakeTimeStampId();

    // As MakeTimeStampId, advancing by a millisecond until folder + id + ".Json" does not exist.
    // folder must end with a separator (or be empty for the current folder).
    static std::string MakeTimeStampId(const std::string& folder);

    // The formatting alone: tm fields in local-time form plus milliseconds.
    static std::string FormatTimeStampId(const std::tm& local, int milliseconds);
};

}  // namespace q417
