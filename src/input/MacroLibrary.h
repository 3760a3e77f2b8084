#pragma once
// The macro library of one device folder: the list of macros (names and identifiers, in library
// order) and the operations of the macro editor on it. The library file is the authority: every
// change reads it afresh, changes it and writes it back atomically, and the in-memory copy follows
// the file. No UI here: the editor and q417ctl are views over this class.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/MacroEventRow.h"
#include "input/MacroFiles.h"

namespace q417 {

class CProfileList;

enum class MacroResult {
    Done = 0,
    NotInitialised,      // SetFolder was not called
    LibraryFull,         // 50 macros: add and import do nothing
    NoSelection,         // the index is not in the library
    NameBlank,           // rename to white space only: ignored
    NameTaken,           // rename to a name already in the list, any letter case: "message_text_5"
    LibraryUnreadable,   // the library file exists but cannot be read; it is kept, nothing written
    ProfilesUnreadable,  // delete: the profile list cannot be read, so codes could not be
                         // renumbered
    ImportFileUnreadable,  // import: no path, or the file cannot be read
    ImportFileInvalid,     // import: not a valid event file (MacroFileCheck)
    EventFileUnreadable,   // the macro's event file exists but cannot be read
    TooManyEvents,         // the macro holds more than kMaxMacroEvents events: not loaded, and
                           // never saved over (that would cut the stored file)
    WriteFailed,           // a file could not be written; the old files are kept
};

const char* MacroResultText(MacroResult result);

// What deleting a macro changed besides the library.
struct MacroDeleteOutcome {
    std::vector<std::string> changedProfileIds;  // profile documents whose key codes changed
    std::vector<std::string>
        skippedProfileIds;               // documents that could not be read (left as they are)
    bool currentProfileChanged = false;  // the profile list's selected profile is among the changed
};

class CMacroLibrary {
public:
    CMacroLibrary() = default;
    // deviceFolder ends with '/'; deviceKind picks the library file name.
    CMacroLibrary(std::string deviceFolder, int deviceKind);

    void SetFolder(std::string deviceFolder, int deviceKind);
    const std::string& Folder() const { return folder_; }
    std::string LibraryPath() const;
    // folder + id + ".mac"; empty when the macro has no usable identifier or index is out of range.
    std::string EventFilePath(int index) const;

    // Reads the library file into the list. A missing file is an empty library (Done); an
    // unreadable one empties the list and returns LibraryUnreadable. The selection is kept when
    // still in range, else it becomes macro 0 (or none).
    MacroResult LoadLibrary();
    // The library file as it is now (nullopt when unreadable, empty when missing), without changing
    // this object.
    std::optional<std::vector<MacroLibraryEntry>> ReadLibrary() const;

    const std::vector<MacroLibraryEntry>& Entries() const { return entries_; }
    std::vector<std::string> MacroNames() const;
    int Count() const { return static_cast<int>(entries_.size()); }
    // Case-insensitive; -1 when absent.
    int IndexOfName(std::string_view name) const;

    int SelectedMacro() const { return selected_; }  // -1 when nothing is selected (or empty)
    bool Select(int index);

    // Appends a macro named "macro_N" (the smallest N whose name is free, any letter case) with a
    // fresh identifier and selects it. No event file exists until the first save.
    MacroResult AddMacro(std::string* name = nullptr);

    // Renames macro index to newName trimmed at both ends. The event file is not touched.
    MacroResult RenameMacro(int index, std::string_view newName, std::string* stored = nullptr);

    // Deletes macro index: first renumbers the macro codes of every profile of the device (every
    // element of every document in profiles' list; profiles must be set up for this device folder),
    // then removes the library entry and the event file, and selects macro 0. When a profile or the
    // library cannot be written, the documents already rewritten are put back and nothing is
    // deleted. The caller reloads its key entries when outcome->currentProfileChanged.
    MacroResult DeleteMacro(int index, CProfileList& profiles,
                            MacroDeleteOutcome* outcome = nullptr);

    // Adds a macro from a ".mac" file: the name is the file title, "_1", "_2", ... appended while
    // it clashes (Jump, Jump_1, Jump_1_2); the file is checked (CheckMacroFile) and copied byte for
    // byte to the new macro's event file. Selects the new macro.
    MacroResult ImportMacro(const std::string& path, std::string* name = nullptr,
                            MacroFileCheck* check = nullptr);

    // Writes macro index's event file to path (atomically). A macro never saved is exported as an
    // event file with no events.
    MacroResult ExportMacro(int index, const std::string& path) const;

    // Writes the event file of macro index from the editor's rows in order; a row whose delay edit
    // is empty is saved with delay 0 and its flag is cleared. Refused (TooManyEvents) for more
    // than kMaxMacroEvents rows, and when the stored file holds more than that.
    MacroResult SaveMacro(int index, std::span<MacroEventRow> rows);
    MacroResult SaveMacro(int index, std::span<const MacroEvent> events);

    // The events of macro index (none when its event file does not exist yet). TooManyEvents for
    // a file above kMaxMacroEvents events: file then holds them all, for reporting only.
    MacroResult LoadEvents(int index, MacroEventFile& file) const;

private:
    MacroResult ReadForChange(Json::Value& document, std::vector<MacroLibraryEntry>& entries) const;
    // ReadForChange, then the library must have room for one more (else LibraryFull) ...
    MacroResult ReadForAdding(Json::Value& document, std::vector<MacroLibraryEntry>& entries);
    // ... or hold entry `index` (else NoSelection). The list is taken over on a refusal.
    MacroResult ReadForEntry(Json::Value& document, std::vector<MacroLibraryEntry>& entries,
                             int index);
    bool NameInUse(const std::vector<MacroLibraryEntry>& entries, std::string_view name) const;
    MacroResult Append(Json::Value& document, std::vector<MacroLibraryEntry>& entries,
                       std::string name, const std::string* eventBytes, std::string* stored);
    void Take(std::vector<MacroLibraryEntry> entries);

    std::string folder_;
    std::string libraryName_ = kMacroLibraryFileName;
    std::vector<MacroLibraryEntry> entries_;
    int selected_ = -1;
};

}  // namespace q417
