#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "ProfileListTestUtil.h"
#include "profiles/CProfileList.h"

namespace q417 {
namespace {

using listtest::ImmutableFolder;
using listtest::JsonFilesIn;
using listtest::ParseFile;
using listtest::ReadText;
using listtest::WriteJson;
using listtest::WriteText;
using R = ProfileListResult;

class ProfileListTest : public ::testing::Test {
protected:
    void SetUp() override {
        folders.Bind(list);
        ASSERT_EQ(list.Initialise(), R::Done);
    }
    std::string ListFile() const { return folders.device + "ProfileList.ini"; }
    Json::Value ListJson() const { return ParseFile(ListFile()); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : list.Entries()) {
            names.push_back(e.name);
        }
        return names;
    }
    std::string Add() {
        std::string id;
        EXPECT_EQ(list.AddProfile(&id), R::Done);
        return id;
    }

    listtest::ListFixtureFolders folders;
    CProfileList list;
};

TEST_F(ProfileListTest, FirstRunCreatesProfile1FromTheTemplate) {
    Json::Value file = ListJson();
    ASSERT_TRUE(file["profilelist"].isArray());
    ASSERT_EQ(file["profilelist"].size(), 1u);
    const Json::Value& e = file["profilelist"][0];
    EXPECT_EQ(e["profilename"].asString(), "Profile1");
    EXPECT_EQ(e["profileislink"], Json::Value(0));
    EXPECT_EQ(e["profilelinkmame"], Json::Value(""));
    EXPECT_EQ(file["profileselect"], Json::Value(0));
    std::string id = e["profileUUID"].asString();
    EXPECT_EQ(list.GetCurrentId(), id);
    EXPECT_EQ(list.CurrentProfilePath(), folders.device + id + ".Json");

    Json::Value doc = ParseFile(folders.device + id + ".Json");
    Json::Value expected = listtest::SmallTemplate();
    expected["profilename"] = "Profile1";
    expected["profileUUID"] = id;
    EXPECT_EQ(doc, expected);

    // A second Initialise over the same folder reads, and changes nothing.
    std::string before = ReadText(ListFile());
    CProfileList again;
    folders.Bind(again);
    EXPECT_EQ(again.Initialise(), R::Done);
    EXPECT_EQ(again.GetCurrentId(), id);
    EXPECT_EQ(ReadText(ListFile()), before);
}

TEST_F(ProfileListTest, NamingRules) {
    // Add: the lowest free "Profile%d", compared without regard to case.
    Add();
    ASSERT_EQ(list.RenameProfile(list.Entries()[1].id, "profile2"), R::Done);
    Add();
    EXPECT_EQ(list.Entries()[2].name, "Profile3");
    ASSERT_EQ(list.RenameProfile(list.Entries()[0].id, "Other"), R::Done);
    Add();
    EXPECT_EQ(list.Entries()[3].name, "Profile1");

    // Copy: " copy" appended until the name is free.
    ASSERT_EQ(list.RenameProfile(list.Entries()[0].id, "Game"), R::Done);
    std::string first, second;
    ASSERT_EQ(list.CopyProfile(list.Entries()[0].id, &first), R::Done);
    EXPECT_EQ(list.Entries()[list.IndexOfId(first)].name, "Game copy");
    ASSERT_EQ(list.CopyProfile(list.Entries()[0].id, &second), R::Done);
    EXPECT_EQ(list.Entries()[list.IndexOfId(second)].name, "Game copy copy");

    // Import: the file's title, then accumulating "(%d)" suffixes.
    std::string file = folders.root.path() + "abc.json";
    Json::Value doc = listtest::SmallTemplate();
    doc["profilename"] = "ignored";
    doc["profileUUID"] = "ignored";
    WriteJson(file, doc);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(list.ImportProfile(file), R::Done);
    }
    std::vector<std::string> names = Names();
    std::vector<std::string> tail(names.end() - 3, names.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"abc", "abc(1)", "abc(1)(2)"}));
    // The selection never moved.
    EXPECT_EQ(list.GetCurSel(), 0);
    EXPECT_EQ(ListJson()["profileselect"], Json::Value(0));
}

TEST_F(ProfileListTest, CopyTakesTheSourceDocumentAndNewIdentity) {
    std::string source = list.GetCurrentId();
    Json::Value doc = ParseFile(list.CurrentProfilePath());
    doc["Device"][0]["LightInfo"]["LEDBrightness"] = 9;
    WriteJson(list.CurrentProfilePath(), doc);
    std::string id;
    ASSERT_EQ(list.CopyProfile(&id), R::Done);
    Json::Value copy = ParseFile(folders.device + id + ".Json");
    EXPECT_EQ(copy["Device"][0]["LightInfo"]["LEDBrightness"], Json::Value(9));
    EXPECT_EQ(copy["profilename"].asString(), "Profile1 copy");
    EXPECT_EQ(copy["profileUUID"].asString(), id);
    EXPECT_NE(id, source);
}

TEST_F(ProfileListTest, DeleteMovesTheSelectionAndRemovesTheDocument) {
    Add();
    Add();
    std::vector<ProfileListEntry> before = list.Entries();
    // Deleting entry 0 of three while it is selected leaves the selection at 0.
    ASSERT_EQ(list.DeleteProfile(), R::Done);
    EXPECT_EQ(ListJson()["profileselect"], Json::Value(0));
    EXPECT_EQ(list.GetCurrentId(), before[1].id);
    EXPECT_FALSE(std::filesystem::exists(folders.device + before[0].id + ".Json"));

    // Deleting the selected last entry selects the one before it.
    Add();
    ASSERT_EQ(list.Select(2), R::Done);
    std::string prev = list.Entries()[1].id;
    ASSERT_EQ(list.DeleteProfile(), R::Done);
    EXPECT_EQ(ListJson()["profileselect"], Json::Value(1));
    EXPECT_EQ(list.GetCurrentId(), prev);

    // Deleting an entry before the selected one keeps the same profile selected.
    ASSERT_EQ(list.DeleteProfile(list.Entries()[0].id), R::Done);
    EXPECT_EQ(list.GetCurrentId(), prev);
    EXPECT_EQ(list.GetCurSel(), 0);

    // The last entry stays.
    std::string file = ReadText(ListFile());
    EXPECT_EQ(list.DeleteProfile(), R::LastEntry);
    EXPECT_EQ(ReadText(ListFile()), file);
    EXPECT_EQ(JsonFilesIn(folders.device).size(), 1u);
}

TEST_F(ProfileListTest, RenameRules) {
    Add();
    std::string file = ReadText(ListFile());
    EXPECT_EQ(list.RenameProfile("  "), R::NameBlank);
    EXPECT_EQ(list.RenameProfile("\t\xE3\x80\x80"), R::NameBlank);  // ideographic space
    EXPECT_EQ(list.RenameProfile("PROFILE2"), R::NameTaken);
    EXPECT_EQ(ReadText(ListFile()), file);
    EXPECT_EQ(CProfileList::RenameResultCode(list.RenameProfile("  ")), 2);
    EXPECT_EQ(CProfileList::RenameResultCode(list.RenameProfile("profile2")), 0);

    EXPECT_EQ(list.RenameProfile("Profile1"), R::Done);  // its own name
    EXPECT_EQ(list.RenameProfile("  Éclair "), R::Done);
    EXPECT_EQ(list.Entries()[0].name, "  Éclair ");  // stored as typed
    EXPECT_EQ(ParseFile(list.CurrentProfilePath())["profilename"].asString(), "  Éclair ");
    EXPECT_EQ(ListJson()["profilelist"][0]["profilename"].asString(), "  Éclair ");
    // Letter case beyond ASCII counts as the same name.
    EXPECT_EQ(list.RenameProfile(list.Entries()[1].id, "  éCLAIR "), R::NameTaken);
}

TEST_F(ProfileListTest, FiftyEntriesRefuseAddCopyAndImport) {
    for (int i = 1; i < kMaxProfiles; ++i) {
        Add();
    }
    ASSERT_EQ(list.GetCount(), 50);
    std::string file = folders.root.path() + "x.json";
    WriteJson(file, ParseFile(list.CurrentProfilePath()));
    std::string before = ReadText(ListFile());
    EXPECT_EQ(list.AddProfile(), R::ListFull);
    EXPECT_EQ(list.CopyProfile(), R::ListFull);
    EXPECT_EQ(list.ImportProfile(file), R::ListFull);
    EXPECT_EQ(ReadText(ListFile()), before);
    EXPECT_EQ(JsonFilesIn(folders.device).size(), 50u);
    // All fifty identifiers differ although they were made in quick succession.
    std::set<std::string> ids;
    for (const auto& e : list.Entries()) {
        ids.insert(e.id);
    }
    EXPECT_EQ(ids.size(), 50u);
}

TEST_F(ProfileListTest, ExportThenImportGivesANewEntryWithTheSameContent) {
    std::string out = folders.root.path() + "My Game.json";
    ASSERT_EQ(list.ExportProfile(out), R::Done);
    Json::Value exported = ParseFile(out);
    EXPECT_EQ(exported, ParseFile(list.CurrentProfilePath()));

    std::string id;
    ASSERT_EQ(list.ImportProfile(out, &id), R::Done);
    EXPECT_NE(id, list.GetCurrentId());
    EXPECT_EQ(list.Entries().back().name, "My Game");
    Json::Value imported = ParseFile(folders.device + id + ".Json");
    EXPECT_EQ(imported["profilename"].asString(), "My Game");
    EXPECT_EQ(imported["profileUUID"].asString(), id);
    imported["profilename"] = exported["profilename"];
    imported["profileUUID"] = exported["profileUUID"];
    EXPECT_EQ(imported, exported);

    // Files without both identity members, or not JSON at all, are refused and change nothing.
    std::string before = ReadText(ListFile());
    WriteText(folders.root.path() + "bad.json", "{\"profilename\": \"x\"}");
    WriteText(folders.root.path() + "worse.json", "not json");
    EXPECT_EQ(list.ImportProfile(folders.root.path() + "bad.json"), R::ImportFileInvalid);
    EXPECT_EQ(list.ImportProfile(folders.root.path() + "worse.json"), R::ImportFileInvalid);
    EXPECT_EQ(list.ImportProfile(folders.root.path() + "absent.json"), R::ImportFileInvalid);
    EXPECT_EQ(ReadText(ListFile()), before);
}

TEST_F(ProfileListTest, ResetRebuildsFromTheTemplate) {
    ASSERT_EQ(list.RenameProfile("Mine"), R::Done);
    Json::Value doc = ParseFile(list.CurrentProfilePath());
    doc["Device"][0]["LightInfo"]["LEDBrightness"] = 1;
    doc["Device"][0]["CustomEQNameInfo"] = "user names";
    WriteJson(list.CurrentProfilePath(), doc);

    ASSERT_EQ(list.ResetProfileFile(), R::Done);
    Json::Value reset = ParseFile(list.CurrentProfilePath());
    EXPECT_EQ(reset["Device"][0]["LightInfo"]["LEDBrightness"], Json::Value(3));
    EXPECT_EQ(reset["Device"][0]["CustomEQNameInfo"].asString(), "template names");
    EXPECT_EQ(reset["profilename"].asString(), "Mine");
    EXPECT_EQ(reset["profileUUID"].asString(), list.GetCurrentId());

    // A headset keeps its own equaliser presets.
    list.SetKind(7);
    WriteJson(list.CurrentProfilePath(), doc);
    ASSERT_EQ(list.ResetProfileFile(), R::Done);
    reset = ParseFile(list.CurrentProfilePath());
    EXPECT_EQ(reset["Device"][0]["CustomEQNameInfo"].asString(), "user names");
    EXPECT_EQ(reset["Device"][0]["LightInfo"]["LEDBrightness"], Json::Value(3));
    EXPECT_FALSE(reset["Device"][0].isMember("CustomEQHzValueInfo"));

    // Without a readable template the profile is left alone.
    WriteText(folders.templatePath, "{broken");
    std::string before = ReadText(list.CurrentProfilePath());
    EXPECT_EQ(list.ResetProfileFile(), R::TemplateUnreadable);
    EXPECT_EQ(ReadText(list.CurrentProfilePath()), before);
}

// ---- repaired faults ----

TEST_F(ProfileListTest, SelectionOutsideTheListSelectsEntry0AndRewrites) {
    Add();
    for (const char* bad : {"7", "-1", "\"1\"", "null"}) {
        Json::Value file = ListJson();
        Json::Reader().parse(bad, file["profileselect"]);
        WriteJson(ListFile(), file);
        CProfileList other;
        folders.Bind(other);
        ASSERT_EQ(other.Initialise(), R::Done) << bad;
        EXPECT_EQ(other.GetCurSel(), 0) << bad;
        EXPECT_EQ(ListJson()["profileselect"], Json::Value(0)) << bad;
    }
    // A selection of -1 (or past the end) is refused and the file kept.
    std::string before = ReadText(ListFile());
    EXPECT_EQ(list.Select(-1), R::NoSelection);
    EXPECT_EQ(list.Select(2), R::NoSelection);
    EXPECT_EQ(ReadText(ListFile()), before);
}

TEST_F(ProfileListTest, UnreadableListIsKeptAndOperationsRefused) {
    Add();
    for (const char* garbage : {"{\"profilelist\": [", "[1,2]", "{\"profilelist\": \"x\"}"}) {
        WriteText(ListFile(), garbage);
        EXPECT_EQ(list.AddProfile(), R::ListUnreadable) << garbage;
        EXPECT_EQ(list.CopyProfile(), R::ListUnreadable) << garbage;
        EXPECT_EQ(list.DeleteProfile(), R::ListUnreadable) << garbage;
        EXPECT_EQ(list.RenameProfile("z"), R::ListUnreadable) << garbage;
        EXPECT_EQ(list.Select(0), R::ListUnreadable) << garbage;
        EXPECT_EQ(list.Reload(), R::ListUnreadable) << garbage;
        EXPECT_EQ(ReadText(ListFile()), garbage);
        EXPECT_EQ(list.GetCount(), 2);  // the last good copy stays
    }
    EXPECT_EQ(JsonFilesIn(folders.device).size(), 2u);

    // Initialise starts anew only after keeping the file aside.
    CProfileList fresh;
    folders.Bind(fresh);
    ASSERT_EQ(fresh.Initialise(), R::Done);
    EXPECT_EQ(fresh.GetCount(), 1);
    ASSERT_FALSE(fresh.KeptAsidePath().empty());
    EXPECT_EQ(ReadText(fresh.KeptAsidePath()), "{\"profilelist\": \"x\"}");
}

TEST_F(ProfileListTest, IdentifiersFromTheFileNeverLeaveTheFolder) {
    std::string victim = folders.root.path() + "victim.Json";
    WriteText(victim, "{}");
    Json::Value file = ListJson();
    Json::Value good = file["profilelist"][0];
    for (const char* id : {"../victim", "sub/x", "", ".."}) {
        Json::Value bad = good;
        bad["profileUUID"] = id;
        file["profilelist"].append(bad);
    }
    Json::Value dup = good;
    dup["profilename"] = "Duplicate";
    file["profilelist"].append(dup);
    file["profilelist"].append(42);
    file["profileselect"] = 1;
    WriteJson(ListFile(), file);

    ASSERT_EQ(list.Reload(), R::Done);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetCurSel(), 0);
    Json::Value rewritten = ListJson();
    EXPECT_EQ(rewritten["profilelist"].size(), 1u);
    Add();
    ASSERT_EQ(list.DeleteProfile(list.Entries()[0].id), R::Done);
    EXPECT_TRUE(std::filesystem::exists(victim));
}

TEST_F(ProfileListTest, PruningKeepsACopyOfTheOldListFirst) {
    Json::Value file = ListJson();
    Json::Value bad = file["profilelist"][0];
    bad["profileUUID"] = "../elsewhere";
    file["profilelist"].append(bad);
    WriteJson(ListFile(), file);
    const std::string before = ReadText(ListFile());

    ASSERT_EQ(list.Reload(), R::Done);
    EXPECT_EQ(ListJson()["profilelist"].size(), 1u);
    ASSERT_FALSE(list.PrunedCopyPath().empty());
    EXPECT_EQ(ReadText(list.PrunedCopyPath()), before);

    // No usable entry at all: a new list is started, and the old one is still kept.
    Json::Value none(Json::objectValue);
    none["profilelist"].append(bad);
    WriteJson(ListFile(), none);
    const std::string unusable = ReadText(ListFile());
    CProfileList fresh;
    folders.Bind(fresh);
    ASSERT_EQ(fresh.Initialise(), R::Done);
    EXPECT_EQ(fresh.GetCount(), 1);
    ASSERT_FALSE(fresh.PrunedCopyPath().empty());
    EXPECT_EQ(ReadText(fresh.PrunedCopyPath()), unusable);

    // A list with nothing to drop is rewritten without a copy.
    CProfileList clean;
    folders.Bind(clean);
    ASSERT_EQ(clean.Initialise(), R::Done);
    ASSERT_EQ(clean.AddProfile(), R::Done);
    EXPECT_TRUE(clean.PrunedCopyPath().empty());
}

TEST_F(ProfileListTest, StaleIndexOfASecondObjectHitsTheRightProfile) {
    Add();
    Add();
    CProfileList other;
    folders.Bind(other);
    ASSERT_EQ(other.Initialise(), R::Done);
    ASSERT_EQ(other.Select(2), R::Done);
    std::string chosen = other.GetCurrentId();
    EXPECT_TRUE(list.NeedsReload());

    // The first object deletes entry 0; the second still believes its profile is at index 2.
    ASSERT_EQ(list.Reload(), R::Done);
    EXPECT_FALSE(list.NeedsReload());
    std::string zero = list.Entries()[0].id;
    ASSERT_EQ(list.DeleteProfile(zero), R::Done);
    EXPECT_TRUE(other.NeedsReload());
    ASSERT_EQ(other.RenameProfile("Renamed"), R::Done);
    ASSERT_EQ(other.Reload(), R::Done);
    EXPECT_EQ(other.Entries()[other.IndexOfId(chosen)].name, "Renamed");
    EXPECT_EQ(other.GetCurrentId(), chosen);

    // An identifier that has gone is refused, not mapped onto another entry.
    EXPECT_EQ(list.RenameProfile(zero, "x"), R::NoSelection);
    EXPECT_EQ(list.CopyProfile(zero, nullptr), R::NoSelection);
    EXPECT_EQ(list.DeleteProfile(zero), R::NoSelection);
}

TEST_F(ProfileListTest, FailedWritesReportAndKeepTheOldFiles) {
    Add();
    std::string before = ReadText(ListFile());
    std::vector<std::string> docs = JsonFilesIn(folders.device);
    {
        ImmutableFolder frozen(folders.device);
        if (!frozen.ok()) {
            GTEST_SKIP() << "file system cannot make a folder read-only for root";
        }
        EXPECT_EQ(list.AddProfile(), R::WriteFailed);
        EXPECT_EQ(list.CopyProfile(), R::WriteFailed);
        EXPECT_EQ(list.DeleteProfile(), R::WriteFailed);
        EXPECT_EQ(list.RenameProfile("New"), R::WriteFailed);
        EXPECT_EQ(list.Select(1), R::WriteFailed);
    }
    EXPECT_EQ(ReadText(ListFile()), before);
    EXPECT_EQ(JsonFilesIn(folders.device).size(), docs.size());
    EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(ProfileListTest, RenameLeavesAnUnparsableDocumentForTheLoader) {
    WriteText(list.CurrentProfilePath(), "{ damaged");
    ASSERT_EQ(list.RenameProfile("New"), R::Done);
    EXPECT_EQ(ReadText(list.CurrentProfilePath()), "{ damaged");
    EXPECT_EQ(list.Entries()[0].name, "New");
}

TEST_F(ProfileListTest, TwoThreadsSharingAFolderLoseNoEntry) {
    CProfileList other;
    folders.Bind(other);
    ASSERT_EQ(other.Initialise(), R::Done);
    auto addMany = [](CProfileList* l) {
        for (int i = 0; i < 12; ++i) {
            l->AddProfile();
        }
    };
    {
        std::jthread a(addMany, &list);
        std::jthread b(addMany, &other);
    }
    ASSERT_EQ(list.Reload(), R::Done);
    EXPECT_EQ(list.GetCount(), 25);
    EXPECT_EQ(JsonFilesIn(folders.device).size(), 25u);
}

TEST(ProfileListNames, CaseAndBlankRules) {
    EXPECT_TRUE(CProfileList::SameName("Profile1", "pROFILE1"));
    EXPECT_TRUE(CProfileList::SameName("ÄÖÜ", "äöü"));
    EXPECT_TRUE(CProfileList::SameName("ЖУК", "жук"));
    EXPECT_FALSE(CProfileList::SameName("Profile1", "Profile1 "));
    EXPECT_FALSE(CProfileList::SameName("\xC3", "\xC3\xA4"));
    EXPECT_TRUE(CProfileList::IsBlank(""));
    EXPECT_TRUE(CProfileList::IsBlank(" \t\r\n"));
    EXPECT_FALSE(CProfileList::IsBlank(" a "));
}

}  // namespace
}  // namespace q417
