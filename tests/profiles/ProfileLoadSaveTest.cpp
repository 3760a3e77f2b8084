// Loading, template fallback, saving and the safety of the profile document on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ProfileTestUtil.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"

namespace q417 {
namespace {

using test::Parse;
using test::ReadText;
using test::TempDir;
using test::WriteText;

// A template whose "Device" elements are told apart by "slot".
std::string MakeTemplate(const TempDir& dir, int elements) {
    Json::Value doc;
    for (int i = 0; i < elements; ++i) {
        Json::Value e;
        e["slot"] = i;
        e["KeyList"][0]["Assignment"] = 0x100100;
        e["KeyList"][0]["DefaultAssignment"] = 0x100100;
        doc["Device"][i] = e;
    }
    std::string path = dir / "template.Json";
    WriteText(path, doc.toStyledString());
    return path;
}

std::vector<std::string> AsideFiles(const TempDir& dir, const std::string& name) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        std::string f = e.path().filename().string();
        if (f.rfind(name + ".unreadable-", 0) == 0) {
            found.push_back(e.path().string());
        }
    }
    return found;
}

TEST(ProfileLoad, MissingDocumentIsMadeFromTheTemplateOnce) {
    TempDir dir;
    CBasicProfiledata p;
    p.SetTemplatePath(MakeTemplate(dir, 3));
    std::string doc = dir / "a.Json";
    Json::Value e = p.LoadProfile(doc);
    EXPECT_EQ(e["slot"].asInt(), 0);
    Json::Value written = Parse(ReadText(doc));
    EXPECT_EQ(written["Device"].size(), 1u);
    EXPECT_EQ(written["Device"][0]["slot"].asInt(), 0);
    EXPECT_FALSE(written.isMember("profileUUID"));

    // The second load reads the document even when the template is gone.
    std::filesystem::remove(dir / "template.Json");
    CBasicProfiledata q;
    q.SetTemplatePath(dir / "template.Json");
    EXPECT_EQ(q.LoadProfile(doc)["slot"].asInt(), 0);
}

TEST(ProfileLoad, MissingElementGrowsTheDeviceArrayWithNulls) {
    TempDir dir;
    std::string doc = dir / "m.Json";
    WriteText(doc, R"({"Device":[{"slot":"mine","KeyList":[]}],"extra":{"keep":true}})");
    CMouseProfiledata p;
    p.SetTemplatePath(MakeTemplate(dir, 6));
    ASSERT_TRUE(p.SetDeviceIndex(2));
    EXPECT_EQ(p.LoadProfile(doc)["slot"].asInt(), 2);
    Json::Value written = Parse(ReadText(doc));
    ASSERT_EQ(written["Device"].size(), 3u);
    EXPECT_EQ(written["Device"][0]["slot"].asString(), "mine");
    EXPECT_TRUE(written["Device"][1].isNull());
    EXPECT_EQ(written["Device"][2]["slot"].asInt(), 2);
    EXPECT_TRUE(written["extra"]["keep"].asBool());
}

TEST(ProfileLoad, DeviceIndexIsBounded) {
    CMouseProfiledata p;
    EXPECT_TRUE(p.SetDeviceIndex(5));
    EXPECT_FALSE(p.SetDeviceIndex(-1));
    EXPECT_FALSE(p.SetDeviceIndex(255));
    EXPECT_EQ(p.GetDeviceIndex(), 5);
}

TEST(ProfileSave, OnlyTheElementAtTheDeviceIndexIsReplaced) {
    TempDir dir;
    std::string doc = dir / "m.Json";
    WriteText(doc, R"({"Device":[{"slot":0,"KeyList":[]},{"slot":1,"KeyList":[],"own":[1,2]}],)"
                   R"("profilename":"P","profileUUID":"id","future":{"x":1}})");
    CMouseProfiledata p;
    p.SetDeviceIndex(1);
    p.SetProfilePath(doc);
    EXPECT_EQ(p.LoadProfile(doc)["slot"].asInt(), 1);
    p.SetActiveDpiStage(3);
    ASSERT_EQ(p.Save(), SaveResult::Written);
    Json::Value written = Parse(ReadText(doc));
    EXPECT_EQ(written["Device"][0], Parse(R"({"slot":0,"KeyList":[]})"));
    EXPECT_EQ(written["Device"][1]["DPIStages"]["StageActive"].asInt(), 3);
    EXPECT_EQ(written["Device"][1]["own"], Parse("[1,2]"));
    EXPECT_EQ(written["profilename"].asString(), "P");
    EXPECT_EQ(written["future"]["x"].asInt(), 1);
}

TEST(ProfileSave, ChangesMadeByOthersBetweenLoadAndSaveAreKept) {
    TempDir dir;
    std::string doc = dir / "m.Json";
    WriteText(doc, R"({"Device":[{"KeyList":[],"v":0},{"KeyList":[],"v":1}],"profilename":"A"})");
    CMouseProfiledata one;
    one.SetDeviceIndex(1);
    one.SetProfilePath(doc);
    one.LoadProfile(doc);
    ASSERT_EQ(one.Save(), SaveResult::Written);

    CMouseProfiledata zero;  // another object writes element 0 by rename
    zero.SetProfilePath(doc);
    zero.LoadProfile(doc);
    zero.SetActiveDpiStage(4);
    ASSERT_EQ(zero.Save(), SaveResult::Written);
    one.SetActiveDpiStage(2);
    ASSERT_EQ(one.Save(), SaveResult::Written);
    Json::Value d = Parse(ReadText(doc));
    EXPECT_EQ(d["Device"][0]["DPIStages"]["StageActive"].asInt(), 4);
    EXPECT_EQ(d["Device"][1]["DPIStages"]["StageActive"].asInt(), 2);

    // An edit in place (same file, new content) is seen as well.
    Json::Value edited = d;
    edited["profilename"] = "Renamed elsewhere";
    WriteText(doc, edited.toStyledString());
    one.SetActiveDpiStage(3);
    ASSERT_EQ(one.Save(), SaveResult::Written);
    d = Parse(ReadText(doc));
    EXPECT_EQ(d["profilename"].asString(), "Renamed elsewhere");
    EXPECT_EQ(d["Device"][0]["DPIStages"]["StageActive"].asInt(), 4);
    EXPECT_EQ(d["Device"][1]["DPIStages"]["StageActive"].asInt(), 3);
}

TEST(ProfileSave, ElementWithoutKeyListLeavesTheFileByteForByte) {
    TempDir dir;
    std::string doc = dir / "k.Json";
    const std::string original = "{ \"Device\" : [ { \"LightInfo\" : { \"Light\" : 1 } } ] }\r\n";
    WriteText(doc, original);
    CKeyboardProfiledata p;
    p.SetProfilePath(doc);
    p.LoadProfile(doc);
    LightInfo li{};
    li.brightness = 4;
    p.SetLightInfo(li);
    EXPECT_EQ(p.Save(), SaveResult::NoKeyList);
    EXPECT_EQ(ReadText(doc), original);
}

TEST(ProfileSave, AbsentSectionsReadAsNullAreSavedAsNull) {
    TempDir dir;
    std::string doc = dir / "k.Json";
    WriteText(doc, R"({"Device":[{"KeyList":[{"Assignment":1}],"Mystery":{"a":[1,"b"]}}]})");
    CKeyboardProfiledata p;
    p.SetProfilePath(doc);
    p.LoadProfile(doc);
    EXPECT_EQ(p.GetLightInfo(), LightInfo{});
    EXPECT_EQ(p.GetSystemStages(), KeyboardSystemStages{});
    ASSERT_EQ(p.Save(), SaveResult::Written);
    Json::Value e = Parse(ReadText(doc))["Device"][0];
    EXPECT_TRUE(e.isMember("LightInfo"));
    EXPECT_TRUE(e["LightInfo"].isNull());
    EXPECT_TRUE(e["SystemStages"].isNull());
    EXPECT_EQ(e["Mystery"], Parse(R"({"a":[1,"b"]})"));
    EXPECT_EQ(e["KeyList"][0]["Assignment"].asInt(), 1);
}

TEST(ProfileSave, UnknownMembersSurviveChangesToKnownSections) {
    TempDir dir;
    std::string doc = dir / "k.Json";
    WriteText(doc, R"({"Device":[{"KeyList":[{"Assignment":5,"DefaultAssignment":5,"note":"n"}],)"
                   R"("SystemStages":{"Repeat":1,"Future":9},"LightInfo":{"Light":1,"Glow":2}}]})");
    CKeyboardProfiledata p;
    p.SetProfilePath(doc);
    p.LoadProfile(doc);
    auto keys = p.GetKeyList();
    keys[0].current.type = 0x20;
    p.SetKeyList(keys);
    p.SetSystemStages(MakeWord(7, 2), 0, 0);
    ASSERT_EQ(p.Save(), SaveResult::Written);
    Json::Value e = Parse(ReadText(doc))["Device"][0];
    EXPECT_EQ(e["KeyList"][0]["note"].asString(), "n");
    EXPECT_EQ(e["KeyList"][0]["DefaultAssignment"].asInt(), 5);
    EXPECT_EQ(e["SystemStages"]["Future"].asInt(), 9);
    EXPECT_EQ(e["SystemStages"]["Repeat"].asInt(), 7);
    // SetLightInfo replaces the whole section: its unknown members do not survive, by design.
    p.SetLightInfo(LightInfo{});
    EXPECT_FALSE(p.Element()["LightInfo"].isMember("Glow"));
}

TEST(ProfileSafety, UnparsableDocumentIsKeptAsideBeforeRebuild) {
    TempDir dir;
    std::string doc = dir / "u.Json";
    const std::string broken = "{\"Device\":[{\"KeyList\":[{\"Assignment\":12";
    WriteText(doc, broken);
    CBasicProfiledata p;
    p.SetTemplatePath(MakeTemplate(dir, 1));
    EXPECT_EQ(p.LoadProfile(doc)["slot"].asInt(), 0);
    auto aside = AsideFiles(dir, "u.Json");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), broken);
    EXPECT_EQ(Parse(ReadText(doc))["Device"][0]["slot"].asInt(), 0);

    // Wrong shape (root not an object, "Device" not an array) counts as unreadable too; a save
    // into such a file keeps it aside as well.
    WriteText(doc, "[1,2,3]");
    p.SetProfilePath(doc);
    EXPECT_EQ(p.Save(), SaveResult::Written);
    EXPECT_EQ(AsideFiles(dir, "u.Json").size(), 2u);
    WriteText(doc, R"({"Device":{"0":{}}})");
    EXPECT_EQ(p.LoadProfile(doc)["slot"].asInt(), 0);
    EXPECT_EQ(AsideFiles(dir, "u.Json").size(), 3u);
}

TEST(ProfileSafety, FailedSaveIsReportedAndTheElementKept) {
    TempDir dir;
    std::string doc = dir / "d.Json";
    ASSERT_EQ(::mkdir(doc.c_str(), 0700), 0);  // a directory where the document should be
    CBasicProfiledata p;
    p.SetTemplatePath(MakeTemplate(dir, 1));
    p.SetProfilePath(doc);
    EXPECT_EQ(p.LoadProfile(doc)["slot"].asInt(), 0);
    EXPECT_TRUE(p.LastWriteFailed());
    EXPECT_EQ(p.Save(), SaveResult::Failed);
    EXPECT_TRUE(p.LastWriteFailed());
    EXPECT_EQ(p.Element()["slot"].asInt(), 0);
}

TEST(ProfileSafety, MismatchedTypesReadAsAbsentWithoutThrowing) {
    TempDir dir;
    std::string doc = dir / "t.Json";
    WriteText(doc,
              R"({"Device":[{"KeyList":[{"Assignment":"x","DefaultAssignment":[1]},7],)"
              R"("LightInfo":{"SelectItem":"3","Light":2.9,"MultiColor":"yes","Red":1e300},)"
              R"("LightList":"none","DPIStages":{"StageActive":{},"StageDPIs":{"a":1}},)"
              R"("SystemStages":[1,2],"ReportStages":5,)"
              R"("CustomLightMode":{"CustomLightModeGroupIndex":"9","LightColorInfo":{"x":1}}}]})");
    CKeyboardProfiledata k;
    k.LoadProfile(doc);
    std::vector<KeyAssignmentEntry> keys;
    ASSERT_NO_THROW(keys = k.GetKeyList());
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(EncodeAssignment(keys[0].current), 0);
    EXPECT_EQ(EncodeAssignment(keys[1].defaults), 0);
    LightInfo li;
    ASSERT_NO_THROW(li = k.GetLightInfo());
    EXPECT_EQ(li.mode, 0);
    EXPECT_EQ(li.brightness, 2);
    EXPECT_EQ(li.multiColor, 0);
    EXPECT_EQ(li.red, 0);
    EXPECT_TRUE(k.GetLightList().empty());
    EXPECT_EQ(k.GetSystemStages(), KeyboardSystemStages{});
    EXPECT_EQ(k.GetCustomLightGroup(), 0);
    EXPECT_NO_THROW(k.GetCustomLightColors(1, 4));
    EXPECT_NO_THROW(k.SetCustomLightColors({RgbaColor{1, 2, 3, 4}}, 1));

    CMouseProfiledata m;
    m.LoadProfile(doc);
    EXPECT_NO_THROW(m.GetDpiStages());
    EXPECT_TRUE(m.GetDpiStages().empty());
    EXPECT_EQ(m.GetSystemStages(), MouseSystemStages{});
    EXPECT_NO_THROW(m.SetSystemStages(MouseSystemStages{}));
    EXPECT_EQ(m.Element()["ReportStages"]["StageActive"].asInt(), 0);
}

}  // namespace
}  // namespace q417
