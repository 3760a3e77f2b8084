#pragma once
// The files of a device's macro library: the library file ("MacroInfo": one {"MacroName", "Guid"}
// per macro, the position being the macro index used by key codes) and one ".mac" event file per
// macro, named by its identifier. The event file is also the import and export format.
//
// Reading is tolerant: a member of the wrong kind reads as absent. An identifier that could not
// name a file in the device folder ("../x", "a/b", "") is treated as absent, so no library entry
// can make us read, overwrite or delete a file outside the folder.
#include <json/json.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/MacroEventRow.h"

namespace q417 {

inline constexpr int kMaxMacros = 50;
inline constexpr int kMacroFileVersion = 64;
inline constexpr const char* kMacroFileExtension = ".mac";
inline constexpr const char* kMacroLibraryFileName = "macro.config";  // mouse, keyboard
inline constexpr const char* kNameOnlyMacroLibraryFileName = "zyrel_macro.config";  // pad, headset
// An imported ".mac" above this size is refused: 4000 events take about 400 KB as styled JSON.
inline constexpr std::size_t kMaxMacroFileBytes = 2u * 1024u * 1024u;

// The library file name of a device kind (1/9 keyboard, 2/6 mouse, 3 mouse pad, 7 headset).
std::string MacroLibraryFileName(int deviceKind);

// The JSON text as a document; nullopt when it does not parse (a UTF-8 byte order mark is skipped,
// comments are allowed). Never throws.
std::optional<Json::Value> ParseJsonText(std::string_view text);

// ---- event files ----

struct MacroEventFile {
    std::string name;  // "MacroName" when last saved
    std::string guid;  // "Guid" when last saved (informational: the file name is what counts)
    std::vector<MacroEvent> events;
    int version = kMacroFileVersion;
};

// The event file of a document; nullopt when the root is not an object. A missing or mistyped
// "Events" gives no events; elements of "Events" that are not objects are left out.
std::optional<MacroEventFile> MacroEventFileFromJson(const Json::Value& root);
// From the file's bytes (the fuzz target feeds this).
std::optional<MacroEventFile> ParseMacroEventFile(std::string_view bytes);

enum class EventFileState { Ok, Missing, Unreadable };
// A missing file is a macro with no events (state Missing, an empty file returned); an unreadable
// one gives nullopt.
std::optional<MacroEventFile> ReadMacroEventFile(const std::string& path,
                                                 EventFileState* state = nullptr);

// The document written for an event file: "MacroName", "Guid", "Events" (delays as decimal
// strings), "Version" 64.
Json::Value MacroEventFileToJson(const MacroEventFile& file);
// Atomic: on failure the old file stays as it was.
bool WriteMacroEventFile(const std::string& path, const MacroEventFile& file);

// What makes a file acceptable for import: a JSON object, at most kMaxMacroFileBytes, whose
// "Events" is an array of at most 4000 objects.
enum class MacroFileCheck {
    Ok,
    TooLarge,
    NotJson,
    NotObject,
    NoEventArray,
    TooManyEvents,
    BadEvent
};
MacroFileCheck CheckMacroFile(std::string_view bytes);
const char* MacroFileCheckText(MacroFileCheck check);

// ---- library file ----

struct MacroLibraryEntry {
    std::string name;  // "MacroName"; empty when absent or not a string
    std::string id;    // "Guid"; empty when absent, not a string or not a bare file name
};

enum class LibraryFileState { Ok, Missing, Unreadable };

// The entries of a parsed library document, one per element of "MacroInfo" (an element that is not
// an object still holds its place, so later indices stay right). nullopt when the root is not an
// object or "MacroInfo" is present but not an array.
std::optional<std::vector<MacroLibraryEntry>> MacroLibraryFromJson(const Json::Value& root);

// The library file: a missing (or empty) file is an empty library; an unreadable one gives nullopt.
// document (when given) receives the parsed root, for changing and writing it back.
std::optional<std::vector<MacroLibraryEntry>> ReadMacroLibraryFile(
    const std::string& path, LibraryFileState* state = nullptr, Json::Value* document = nullptr);

// The names of the library file in library order; empty when it is missing or unreadable. This is
// the device's name list for the key list and the key editor's macro combo.
std::vector<std::string> ReadMacroNames(const std::string& libraryPath);

// A fresh macro identifier (local time "%d_%02d_%02d_%02d_%02d_%02d_%03d") that names no ".mac"
// file in folder and none of the taken identifiers.
std::string MakeMacroId(const std::string& folder, const std::vector<MacroLibraryEntry>& taken);

}  // namespace q417
