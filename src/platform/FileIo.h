#pragma once
// Reading and writing whole files safely: bounded reads, and writes that go to a temporary file in
// the same folder and are renamed into place, so a failed write never leaves a half-written file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace q417 {

// Files above this size count as unreadable (a JSON document of ours is a few hundred KiB at most).
inline constexpr std::size_t kMaxDocumentBytes = 16u * 1024u * 1024u;

enum class ReadStatus { Ok, Missing, TooLarge, Error };

struct FileReadResult {
    ReadStatus status = ReadStatus::Error;
    std::string data;
    std::string error;  // errno text when status is Error
};

FileReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes = kMaxDocumentBytes);

// Writes data to path atomically: temp file + fsync + rename. On failure the old file is untouched,
// the temporary file is removed and error (if given) says why.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

bool FileExists(const std::string& path);

// A bare file name: not empty, no '/' or '\\', not "." or "..", no NUL. Names taken from files,
// devices or servers must pass this before they become part of a path.
bool IsBareFileName(std::string_view name);

}  // namespace q417
