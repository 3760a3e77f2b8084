// The macro library of a device folder: naming, rename, import, export, save and delete with the
// renumbering of macro codes in every profile.
#include <gtest/gtest.h>

#include <filesystem>

#include "input/MacroLibrary.h"
#include "input/MacroRenumber.h"
#include "platform/FileIo.h"
#include "profiles/CProfileList.h"
#include "profiles/ProfileListTestUtil.h"

namespace q417 {
namespace {

using listtest::ImmutableFolder;
using listtest::ListFixtureFolders;
using listtest::ParseFile;
using listtest::WriteJson;
using test::ReadText;
using test::WriteText;

// "%d_%02d_%02d_%02d_%02d_%02d_%03d" with a four-digit year (no std::regex: g++ 12's ASan build
// warns inside it).
bool IsTimeStamp(const std::string& id) {
    const std::string shape = "dddd_dd_dd_dd_dd_dd_ddd";
    if (id.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool digit = id[i] >= '0' && id[i] <= '9';
        if (shape[i] == 'd' ? !digit : id[i] != '_') {
            return false;
        }
    }
    return true;
}

class MacroLibraryTest : public ::testing::Test {
protected:
    std::string LibraryText() const { return ReadText(library.LibraryPath()); }
    void AddNamed(std::initializer_list<const char*> names) {
        for (const char* n : names) {
            std::string made;
            ASSERT_EQ(library.AddMacro(&made), MacroResult::Done);
            ASSERT_EQ(library.RenameMacro(library.Count() - 1, n), MacroResult::Done);
        }
    }
    std::string WriteMac(const std::string& fileName, const std::string& events) {
        std::string path = folders.root.path() + fileName;
        WriteText(path, R"({"MacroName":"orig","Guid":"orig-guid","Version":64,"Events":[)" +
                            events + "]}");
        return path;
    }

    ListFixtureFolders folders;
    CMacroLibrary library{folders.device, 2};
};

TEST_F(MacroLibraryTest, AddPicksTheFirstFreeNameAndAFreshIdentifier) {
    WriteText(library.LibraryPath(), R"({"MacroInfo":[{"MacroName":"macro_1","Guid":"a"},
        {"MacroName":"MACRO_2","Guid":"b"}], "Keep": 1})");
    ASSERT_EQ(library.LoadLibrary(), MacroResult::Done);
    std::string name;
    ASSERT_EQ(library.AddMacro(&name), MacroResult::Done);
    EXPECT_EQ(name, "macro_3");
    EXPECT_EQ(library.SelectedMacro(), 2);
    ASSERT_EQ(library.AddMacro(&name), MacroResult::Done);
    EXPECT_EQ(name, "macro_4");

    Json::Value root = ParseFile(library.LibraryPath());
    EXPECT_EQ(root["Keep"].asInt(), 1);  // other members survive
    ASSERT_EQ(root["MacroInfo"].size(), 4u);
    const std::string id3 = root["MacroInfo"][2]["Guid"].asString();
    const std::string id4 = root["MacroInfo"][3]["Guid"].asString();
    EXPECT_TRUE(IsTimeStamp(id3)) << id3;
    EXPECT_NE(id3, id4);
    EXPECT_EQ(library.Entries()[2].id, id3);
    EXPECT_FALSE(std::filesystem::exists(folders.device + id3 + ".mac"));  // until the first save
}

TEST_F(MacroLibraryTest, FiftyIsTheLimitForAddAndImport) {
    for (int i = 0; i < kMaxMacros; ++i) {
        ASSERT_EQ(library.AddMacro(), MacroResult::Done) << i;
    }
    const std::string before = LibraryText();
    EXPECT_EQ(library.AddMacro(), MacroResult::LibraryFull);
    EXPECT_EQ(library.ImportMacro(WriteMac("Jump.mac", "")), MacroResult::LibraryFull);
    EXPECT_EQ(LibraryText(), before);
    EXPECT_EQ(library.Count(), kMaxMacros);
}

TEST_F(MacroLibraryTest, AnUnreadableLibraryIsNeverOverwritten) {
    const std::string broken = R"({"MacroInfo":[{"MacroName":"mine","Guid":"g"} oops)";
    WriteText(library.LibraryPath(), broken);
    EXPECT_EQ(library.LoadLibrary(), MacroResult::LibraryUnreadable);
    EXPECT_EQ(library.Count(), 0);
    EXPECT_EQ(library.AddMacro(), MacroResult::LibraryUnreadable);
    EXPECT_EQ(library.ImportMacro(WriteMac("Jump.mac", "")), MacroResult::LibraryUnreadable);
    EXPECT_EQ(library.RenameMacro(0, "x"), MacroResult::LibraryUnreadable);
    EXPECT_EQ(LibraryText(), broken);
}

TEST_F(MacroLibraryTest, RenameTrimsAndRefusesBlankAndTakenNames) {
    AddNamed({"Alpha", "Beta"});
    std::string stored;
    EXPECT_EQ(library.RenameMacro(1, "  Gamma \t", &stored), MacroResult::Done);
    EXPECT_EQ(stored, "Gamma");
    EXPECT_EQ(library.RenameMacro(1, "   "), MacroResult::NameBlank);
    EXPECT_EQ(library.RenameMacro(1, "ALPHA"), MacroResult::NameTaken);
    EXPECT_EQ(library.RenameMacro(1, "gamma"), MacroResult::NameTaken);  // its own name counts
    EXPECT_EQ(library.RenameMacro(2, "Delta"), MacroResult::NoSelection);
    EXPECT_EQ(library.RenameMacro(-1, "Delta"), MacroResult::NoSelection);
    CMacroLibrary fresh(folders.device, 2);
    ASSERT_EQ(fresh.LoadLibrary(), MacroResult::Done);
    EXPECT_EQ(fresh.MacroNames(), (std::vector<std::string>{"Alpha", "Gamma"}));
    EXPECT_EQ(fresh.IndexOfName("GAMMA"), 1);
}

TEST_F(MacroLibraryTest, ImportNameClashesAndByteForByteCopy) {
    const std::string path = WriteMac("Jump.mac", R"({"Action":"down","Type":10,"Button":4,
        "Delay":"120"})");
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        std::string name;
        ASSERT_EQ(library.ImportMacro(path, &name), MacroResult::Done);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Jump", "Jump_1", "Jump_1_2"}));
    EXPECT_EQ(library.SelectedMacro(), 2);
    // The copy keeps the "MacroName" and "Guid" it had; the library names the new identifier.
    const std::string copy = library.EventFilePath(2);
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(ReadText(copy), ReadText(path));
    EXPECT_NE(library.Entries()[2].id, "orig-guid");
    MacroEventFile events;
    ASSERT_EQ(library.LoadEvents(2, events), MacroResult::Done);
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0], (MacroEvent{true, 10, 4, 120}));

    // A clash with a name of another letter case counts too.
    std::string name;
    ASSERT_EQ(library.ImportMacro(WriteMac("JUMP_1.mac", ""), &name), MacroResult::Done);
    EXPECT_EQ(name, "JUMP_1_1");
}

TEST_F(MacroLibraryTest, ImportRefusesWhatIsNoEventFile) {
    std::string tooMany;
    for (int i = 0; i <= 4000; ++i) {
        tooMany += std::string(i ? "," : "") + R"({"Action":"up","Type":1,"Button":1})";
    }
    struct Case {
        std::string path;
        MacroFileCheck check;
    } cases[] = {
        {WriteMac("many.mac", tooMany), MacroFileCheck::TooManyEvents},
        {WriteMac("bad.mac", "1,2"), MacroFileCheck::BadEvent},
        {folders.root.path() + "array.mac", MacroFileCheck::NotObject},
        {folders.root.path() + "huge.mac", MacroFileCheck::TooLarge},
    };
    WriteText(cases[2].path, "[]");
    WriteText(cases[3].path, std::string(kMaxMacroFileBytes + 10, ' '));
    for (const Case& c : cases) {
        MacroFileCheck check = MacroFileCheck::Ok;
        EXPECT_EQ(library.ImportMacro(c.path, nullptr, &check), MacroResult::ImportFileInvalid)
            << c.path;
        EXPECT_EQ(check, c.check) << c.path;
    }
    EXPECT_EQ(library.ImportMacro(""), MacroResult::ImportFileUnreadable);
    EXPECT_EQ(library.ImportMacro(folders.root.path() + "none.mac"),
              MacroResult::ImportFileUnreadable);
    EXPECT_EQ(library.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(library.LibraryPath()));
}

TEST_F(MacroLibraryTest, SaveExportAndRowsWithEmptyDelays) {
    AddNamed({"Fire"});
    const std::string exported = folders.root.path() + "out.mac";
    // A macro never saved exports as one with no events.
    ASSERT_EQ(library.ExportMacro(0, exported), MacroResult::Done);
    auto empty = ReadMacroEventFile(exported);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->events.empty());
    EXPECT_EQ(empty->name, "Fire");

    std::vector<MacroEventRow> rows = {{{true, 1, 1, 0}, true}, {{false, 1, 1, 35}, false}};
    ASSERT_EQ(library.SaveMacro(0, std::span<MacroEventRow>(rows)), MacroResult::Done);
    EXPECT_FALSE(rows[0].delayEmpty);
    Json::Value root = ParseFile(library.EventFilePath(0));
    EXPECT_EQ(root["MacroName"].asString(), "Fire");
    EXPECT_EQ(root["Guid"].asString(), library.Entries()[0].id);
    EXPECT_EQ(root["Events"][0]["Delay"].asString(), "0");
    EXPECT_EQ(root["Events"][1]["Delay"].asString(), "35");
    ASSERT_EQ(library.ExportMacro(0, exported), MacroResult::Done);
    EXPECT_EQ(ReadText(exported), ReadText(library.EventFilePath(0)));
    EXPECT_EQ(library.ExportMacro(1, exported), MacroResult::NoSelection);
}

TEST_F(MacroLibraryTest, AStoredFileAboveTheLimitIsNeitherLoadedNorCutBySaving) {
    AddNamed({"Long"});
    std::string events;
    for (std::size_t i = 0; i <= kMaxMacroEvents; ++i) {
        events += std::string(i ? "," : "") + R"({"Action":"up","Type":1,"Button":1,"Delay":"1"})";
    }
    // A file put there by hand (or by an older version): 4001 events.
    const std::string stored = WriteMac("long.mac", events);
    std::filesystem::copy_file(stored, library.EventFilePath(0));
    const std::string before = ReadText(library.EventFilePath(0));

    MacroEventFile file;
    EXPECT_EQ(library.LoadEvents(0, file), MacroResult::TooManyEvents);
    EXPECT_EQ(file.events.size(), kMaxMacroEvents + 1);
    EXPECT_NE(std::string(MacroResultText(MacroResult::TooManyEvents)).find("4000"),
              std::string::npos);

    // An editor that took the first 4000 rows must not write them over the 4001.
    std::vector<MacroEvent> cut(file.events.begin(), file.events.begin() + kMaxMacroEvents);
    EXPECT_EQ(library.SaveMacro(0, std::span<const MacroEvent>(cut)), MacroResult::TooManyEvents);
    EXPECT_EQ(ReadText(library.EventFilePath(0)), before);

    // Nor is a list above the limit ever saved.
    AddNamed({"Other"});
    EXPECT_EQ(library.SaveMacro(1, std::span<const MacroEvent>(file.events)),
              MacroResult::TooManyEvents);
    EXPECT_FALSE(std::filesystem::exists(library.EventFilePath(1)));
    EXPECT_EQ(library.SaveMacro(1, std::span<const MacroEvent>(cut)), MacroResult::Done);
}

TEST_F(MacroLibraryTest, IdentifiersCannotReachOutsideTheFolder) {
    // A victim file beside the device folder, and a library entry naming it.
    const std::string victim = folders.root.path() + "victim.mac";
    WriteText(victim, "precious");
    WriteText(library.LibraryPath(), R"({"MacroInfo":[
        {"MacroName":"evil","Guid":"../victim"},
        {"MacroName":"abs","Guid":")" + folders.root.path() +
                                         R"(victim"}]})");
    ASSERT_EQ(library.LoadLibrary(), MacroResult::Done);
    EXPECT_EQ(library.EventFilePath(0), "");
    // Saving gives the entry a fresh identifier instead of writing through the bad one.
    const MacroEvent ev{true, 10, 4, 1};
    ASSERT_EQ(library.SaveMacro(0, std::span<const MacroEvent>(&ev, 1)), MacroResult::Done);
    EXPECT_NE(library.Entries()[0].id, "../victim");
    EXPECT_TRUE(IsBareFileName(library.Entries()[0].id));
    EXPECT_EQ(ParseFile(library.LibraryPath())["MacroInfo"][0]["Guid"].asString(),
              library.Entries()[0].id);

    CProfileList profiles;
    folders.Bind(profiles);
    ASSERT_EQ(profiles.Initialise(), ProfileListResult::Done);
    ASSERT_EQ(library.DeleteMacro(1, profiles), MacroResult::Done);
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_EQ(library.Count(), 1);
}

// Three profiles; the third is a mouse document with two on-board profile elements.
class MacroDeleteTest : public MacroLibraryTest {
protected:
    static Json::Value Key(int assignment, int def) {
        Json::Value k(Json::objectValue);
        k["Assignment"] = assignment;
        k["DefaultAssignment"] = def;
        return k;
    }
    static int Code(int type, int p1, int p2) { return type * 65536 + p1 * 256 + p2; }

    void SetUp() override {
        folders.Bind(profiles);
        ASSERT_EQ(profiles.Initialise(), ProfileListResult::Done);
        ASSERT_EQ(profiles.AddProfile(), ProfileListResult::Done);
        ASSERT_EQ(profiles.AddProfile(), ProfileListResult::Done);
        ASSERT_EQ(profiles.Select(0), ProfileListResult::Done);
        AddNamed({"zero", "one", "two"});
        for (int p = 0; p < 3; ++p) {
            Json::Value doc = ParseFile(profiles.ProfilePathAt(p));
            Json::Value element(Json::objectValue);
            element["KeyList"].append(Key(Code(0x70, 1, 3), Code(0x10, 1, 0)));  // deleted macro
            element["KeyList"].append(Key(Code(0x71, 2, 9), Code(0x10, 2, 0)));  // later macro
            element["KeyList"].append(Key(Code(0x70, 0, 1), Code(0x10, 4, 0)));  // earlier macro
            element["KeyList"].append(Key(Code(0x20, 2, 4), Code(0x20, 2, 4)));  // not a macro
            element["Other"] = p;
            doc["Device"] = Json::Value(Json::arrayValue);
            doc["Device"].append(element);
            if (p == 2) {
                doc["Device"].append(element);
            }
            WriteJson(profiles.ProfilePathAt(p), doc);
        }
        const MacroEvent ev{true, 10, 4, 1};
        ASSERT_EQ(library.SaveMacro(1, std::span<const MacroEvent>(&ev, 1)), MacroResult::Done);
        deletedEventFile = library.EventFilePath(1);
        ASSERT_TRUE(std::filesystem::exists(deletedEventFile));
    }

    CProfileList profiles;
    std::string deletedEventFile;
};

TEST_F(MacroDeleteTest, RenumbersMacroCodesInEveryProfile) {
    MacroDeleteOutcome outcome;
    ASSERT_EQ(library.DeleteMacro(1, profiles, &outcome), MacroResult::Done);
    EXPECT_EQ(outcome.changedProfileIds.size(), 3u);
    EXPECT_TRUE(outcome.currentProfileChanged);
    EXPECT_TRUE(outcome.skippedProfileIds.empty());
    for (int p = 0; p < 3; ++p) {
        Json::Value doc = ParseFile(profiles.ProfilePathAt(p));
        ASSERT_EQ(doc["Device"].size(), p == 2 ? 2u : 1u);
        for (const Json::Value& element : doc["Device"]) {
            const Json::Value& keys = element["KeyList"];
            EXPECT_EQ(keys[0]["Assignment"].asInt(), Code(0x10, 1, 0)) << p;
            EXPECT_EQ(keys[1]["Assignment"].asInt(), Code(0x71, 1, 9)) << p;
            EXPECT_EQ(keys[2]["Assignment"].asInt(), Code(0x70, 0, 1)) << p;
            EXPECT_EQ(keys[3]["Assignment"].asInt(), Code(0x20, 2, 4)) << p;
            EXPECT_EQ(keys[0]["DefaultAssignment"].asInt(), Code(0x10, 1, 0)) << p;
            EXPECT_EQ(element["Other"].asInt(), p);
        }
        EXPECT_TRUE(doc["profileUUID"].isString());  // the rest of the document stays
    }
    EXPECT_EQ(library.MacroNames(), (std::vector<std::string>{"zero", "two"}));
    EXPECT_EQ(ReadMacroNames(library.LibraryPath()), library.MacroNames());
    EXPECT_EQ(library.SelectedMacro(), 0);
    EXPECT_FALSE(std::filesystem::exists(deletedEventFile));
}

TEST_F(MacroDeleteTest, InMemoryKeysRenumberTheSameWay) {
    std::vector<KeyAssignmentEntry> keys = {
        {DecodeAssignment(Code(0x70, 1, 3), 0), DecodeAssignment(Code(0x10, 1, 0), 0)},
        {DecodeAssignment(Code(0x71, 2, 9), 1), DecodeAssignment(Code(0x10, 2, 0), 1)},
        {DecodeAssignment(Code(0x70, 0, 1), 2), DecodeAssignment(Code(0x10, 4, 0), 2)}};
    EXPECT_TRUE(UsesMacro(keys, 1));
    EXPECT_FALSE(UsesMacro(keys, 3));
    ASSERT_TRUE(RenumberMacroCodes(keys, 1));
    EXPECT_EQ(EncodeAssignment(keys[0].current), Code(0x10, 1, 0));
    EXPECT_EQ(EncodeAssignment(keys[1].current), Code(0x71, 1, 9));
    EXPECT_EQ(EncodeAssignment(keys[2].current), Code(0x70, 0, 1));
    EXPECT_FALSE(RenumberMacroCodes(keys, 5));
}

TEST_F(MacroDeleteTest, AFailedWriteKeepsEveryFile) {
    std::vector<std::string> before;
    for (int p = 0; p < 3; ++p) {
        before.push_back(ReadText(profiles.ProfilePathAt(p)));
    }
    const std::string libraryBefore = LibraryText();
    {
        ImmutableFolder frozen(folders.device);
        if (!frozen.ok()) {
            GTEST_SKIP() << "file system without the immutable flag";
        }
        EXPECT_EQ(library.DeleteMacro(1, profiles), MacroResult::WriteFailed);
        EXPECT_EQ(library.AddMacro(), MacroResult::WriteFailed);
        EXPECT_EQ(library.RenameMacro(0, "new"), MacroResult::WriteFailed);
        const MacroEvent ev{false, 1, 1, 1};
        EXPECT_EQ(library.SaveMacro(1, std::span<const MacroEvent>(&ev, 1)),
                  MacroResult::WriteFailed);
    }
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(ReadText(profiles.ProfilePathAt(p)), before[p]) << p;
    }
    EXPECT_EQ(LibraryText(), libraryBefore);
    EXPECT_EQ(library.Count(), 3);
    auto events = ReadMacroEventFile(deletedEventFile);
    ASSERT_TRUE(events);
    EXPECT_EQ(events->events.size(), 1u);
    EXPECT_EQ(events->events[0].down, true);
}

TEST_F(MacroDeleteTest, AnUnreadableProfileIsSkippedAndAnUnreadableListRefuses) {
    WriteText(profiles.ProfilePathAt(1), "{ broken");
    MacroDeleteOutcome outcome;
    ASSERT_EQ(library.DeleteMacro(1, profiles, &outcome), MacroResult::Done);
    EXPECT_EQ(outcome.changedProfileIds.size(), 2u);
    ASSERT_EQ(outcome.skippedProfileIds.size(), 1u);
    EXPECT_EQ(outcome.skippedProfileIds[0], profiles.Entries()[1].id);
    EXPECT_EQ(ReadText(profiles.ProfilePathAt(1)), "{ broken");

    WriteText(profiles.ListFilePath(), "{ broken list");
    const std::string libraryBefore = LibraryText();
    EXPECT_EQ(library.DeleteMacro(0, profiles), MacroResult::ProfilesUnreadable);
    EXPECT_EQ(LibraryText(), libraryBefore);
    EXPECT_EQ(library.DeleteMacro(7, profiles), MacroResult::NoSelection);
}

}  // namespace
}  // namespace q417
