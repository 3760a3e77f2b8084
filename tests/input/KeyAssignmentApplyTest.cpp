// The apply action's outcomes, the count message formatter and storing an edited key.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "input/KeyAssignmentApply.h"
#include "input/MacroBlock.h"
#include "profiles/ProfileTestUtil.h"
#include "transport/CommandResult.h"

namespace q417 {
namespace {

class FakeTarget : public KeyApplyTarget {
public:
    std::vector<int> CollectUsedMacros() override { return used; }
    int WriteMacros(const std::vector<int>& list) override {
        macrosWritten = list;
        return macroResult;
    }
    int WriteCurrentKeyTable(int profileIndex) override {
        keyTableWrites.push_back(profileIndex);
        return keyTableResult;
    }

    std::vector<int> used = {4, 1};
    int macroResult = 0;
    int keyTableResult = 1;
    std::vector<int> macrosWritten;
    std::vector<int> keyTableWrites;
};

TEST(KeyApply, OutcomesOfTheMacroAndKeyTableSteps) {
    FakeTarget ok;
    KeyApplyResult r = ApplyKeyAssignments(ok);
    EXPECT_EQ(r.outcome, KeyApplyOutcome::Written);
    EXPECT_EQ(ok.macrosWritten, (std::vector<int>{4, 1}));
    EXPECT_EQ(ok.keyTableWrites, (std::vector<int>{0}));
    EXPECT_TRUE(r.messageKey.empty());

    FakeTarget noDevice;
    noDevice.macroResult = -1;
    r = ApplyKeyAssignments(noDevice);
    EXPECT_EQ(r.outcome, KeyApplyOutcome::NoDevice);
    EXPECT_EQ(r.messageKey, "message_text_7");
    EXPECT_TRUE(noDevice.keyTableWrites.empty());

    FakeTarget tooLarge;
    tooLarge.macroResult = 37;
    r = ApplyKeyAssignments(tooLarge);
    EXPECT_EQ(r.outcome, KeyApplyOutcome::TooLarge);
    EXPECT_EQ(r.messageKey, "message_text_16");
    EXPECT_EQ(r.count, 37);
    EXPECT_TRUE(tooLarge.keyTableWrites.empty());

    // A failed key table write is not reported as written.
    FakeTarget tableFails;
    tableFails.keyTableResult = 0;
    r = ApplyKeyAssignments(tableFails);
    EXPECT_EQ(r.outcome, KeyApplyOutcome::KeyTableFailed);
    EXPECT_EQ(r.keyTableResult, 0);

    // Cut by the device's stop: never written, and no key table naming a partial macro block.
    FakeTarget macrosCut;
    macrosCut.macroResult = kMacrosCut;
    r = ApplyKeyAssignments(macrosCut);
    EXPECT_EQ(r.outcome, KeyApplyOutcome::Cut);
    EXPECT_TRUE(r.messageKey.empty());
    EXPECT_TRUE(macrosCut.keyTableWrites.empty());
    FakeTarget tableCut;
    tableCut.keyTableResult = kResultCut;
    EXPECT_EQ(ApplyKeyAssignments(tableCut).outcome, KeyApplyOutcome::Cut);
}

TEST(KeyApply, CountMessageSubstitutesOnlyItsNumber) {
    EXPECT_EQ(FormatCountMessage("Remove %d events", 12), "Remove 12 events");
    EXPECT_EQ(FormatCountMessage("%d", -3), "-3");
    // Any other conversion stays as written, so the text cannot read a missing argument.
    EXPECT_EQ(FormatCountMessage("%s: %d %n %x", 5), "%s: 5 %n %x");
    EXPECT_EQ(FormatCountMessage("%d and %d", 5), "5 and %d");
    EXPECT_EQ(FormatCountMessage("100%% full, %d", 5), "100% full, 5");
    EXPECT_EQ(FormatCountMessage("no number%", 5), "no number%");
}

TEST(KeyStore, StoresTheEntryAndEveryAssignment) {
    test::TempDir dir;
    const std::string path = dir / "profile.Json";
    test::WriteText(path, R"({"Device":[{"KeyList":[
        {"Assignment":1048832,"DefaultAssignment":1048832},
        {"Assignment":1049600,"DefaultAssignment":1049600}]}]})");
    CBasicProfiledata profile;
    profile.SetProfilePath(path);
    profile.SetTemplatePath(path);
    profile.LoadProfile(path);
    std::vector<KeyAssignmentEntry> entries = profile.GetKeyList();
    ASSERT_EQ(entries.size(), 2u);

    KeyAssignmentEntry edited = entries[1];
    edited.current = DecodeAssignment(0x700203, 1);
    EXPECT_EQ(StoreAssignment(entries, 1, edited, profile), SaveResult::Written);
    EXPECT_EQ(EncodeAssignment(entries[1].current), 0x700203);
    Json::Value doc = test::Parse(test::ReadText(path));
    EXPECT_EQ(doc["Device"][0]["KeyList"][1]["Assignment"].asInt(), 0x700203);
    EXPECT_EQ(doc["Device"][0]["KeyList"][1]["DefaultAssignment"].asInt(), 1049600);
    EXPECT_EQ(doc["Device"][0]["KeyList"][0]["Assignment"].asInt(), 1048832);

    // A key beyond the entries changes nothing.
    const std::string before = test::ReadText(path);
    EXPECT_FALSE(StoreAssignment(entries, 2, edited, profile).has_value());
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_EQ(test::ReadText(path), before);
}

TEST(KeySelect, TheLastLeftButtonStays) {
    std::vector<KeyAssignmentEntry> entries(3);
    entries[0].current = DecodeAssignment(0x100100, 0);
    entries[1].current = DecodeAssignment(0x100200, 1);
    EXPECT_TRUE(IsOnlyLeftButton(entries, 0));
    EXPECT_FALSE(IsOnlyLeftButton(entries, 1));
    EXPECT_FALSE(IsOnlyLeftButton(entries, 3));
    // With two left buttons either may change.
    entries[2].current = DecodeAssignment(0x100100, 2);
    EXPECT_FALSE(IsOnlyLeftButton(entries, 0));
    EXPECT_FALSE(IsOnlyLeftButton(entries, 2));
}

}  // namespace
}  // namespace q417
