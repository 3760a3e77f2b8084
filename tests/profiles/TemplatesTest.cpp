// The shipped profile templates load through their data classes and survive a round trip.
#include <gtest/gtest.h>

#include "ProfileTestUtil.h"
#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"

namespace q417 {
namespace {

using test::TempDir;
using test::TemplatePath;

// Makes a profile from the template, saves it unchanged and checks the element on disk equals it.
template <class P>
void ExpectRoundTrip(P& p, const TempDir& dir, const std::string& templ, int index = 0) {
    p.SetTemplatePath(TemplatePath(templ));
    ASSERT_TRUE(p.SetDeviceIndex(index));
    std::string doc = dir / (templ + ".profile.Json");
    p.SetProfilePath(doc);
    Json::Value e = p.LoadProfile(doc);
    ASSERT_TRUE(e.isObject()) << templ;
    ASSERT_FALSE(e["KeyList"].isNull()) << templ << ": without a key list it would never be saved";
    EXPECT_EQ(e["LightInfo"].size(), 11u) << templ;
    ASSERT_EQ(p.Save(), SaveResult::Written) << templ;
    Json::Value disk = CJsonFile::ReadDocument(doc)["Device"][index];
    EXPECT_EQ(disk, p.Element()) << templ;
}

TEST(Templates, MouseHasSixSlotsElevenButtonsAndSixStages) {
    TempDir dir;
    Json::Value t = CJsonFile::ReadDocument(TemplatePath("mouse.Json"));
    ASSERT_EQ(t["Device"].size(), 6u);
    CMouseProfiledata p;
    ExpectRoundTrip(p, dir, "mouse.Json", 5);
    auto keys = p.GetKeyList();
    ASSERT_EQ(keys.size(), 11u);
    EXPECT_EQ(keys[0].current.type, 0x10);
    EXPECT_EQ(keys[0].current.param1, 0x01);
    EXPECT_EQ(keys[9].defaults.type, 0x16);
    EXPECT_EQ(keys[9].defaults.param2, 0x01);
    for (const auto& k : keys) {
        EXPECT_FALSE(k.Changed());
    }
    auto stages = p.GetDpiStages();
    ASSERT_EQ(stages.size(), 6u);
    for (const auto& s : stages) {
        EXPECT_EQ(s.active, 1);
        EXPECT_EQ(s.dpiX % 50, 0);
    }
    EXPECT_GE(p.GetActiveDpiStage(), 0);
    EXPECT_LT(p.GetActiveDpiStage(), 6);
    EXPECT_EQ(p.GetLightList().size(), 15u);
    EXPECT_NE(p.GetSystemStages(), MouseSystemStages{});
}

TEST(Templates, KeyboardFollowsTheLogicalKeyOrder) {
    TempDir dir;
    CKeyboardProfiledata p;
    ExpectRoundTrip(p, dir, "keyboard.Json");
    auto keys = p.GetKeyList();
    ASSERT_EQ(keys.size(), 170u);
    EXPECT_EQ(EncodeAssignment(keys[0].defaults), 0x200029);   // Esc
    EXPECT_EQ(EncodeAssignment(keys[15].defaults), 0x200048);  // end of the F-key row
    EXPECT_EQ(EncodeAssignment(keys[16].defaults), 0xA01B00);
    EXPECT_EQ(EncodeAssignment(keys[84].defaults), 0x200200);   // left Shift
    EXPECT_EQ(EncodeAssignment(keys[110].defaults), 0xA00100);  // Fn
    EXPECT_EQ(EncodeAssignment(keys[124].defaults), 0xD0A205);
    EXPECT_EQ(EncodeAssignment(keys[125].defaults), 0x208000);
    EXPECT_EQ(EncodeAssignment(keys[169].defaults), 0x200000);
    EXPECT_EQ(p.GetCustomLightColors(p.GetCustomLightGroup(), 170).size(), 170u);
    EXPECT_EQ(p.GetCustomLightColors(9, 170)[169].alpha, 255);
    EXPECT_EQ(p.GetLightList().size(), 170u);
}

TEST(Templates, MousePadAndHeadsetSaveTheirChanges) {
    TempDir dir;
    CBasicProfiledata pad;
    ExpectRoundTrip(pad, dir, "MousePad.Json");
    EXPECT_EQ(pad.GetLightList().size(), 15u);
    LightInfo li = pad.GetLightInfo();
    li.mode = 3;
    pad.SetLightInfo(li);
    EXPECT_EQ(pad.Save(), SaveResult::Written);

    CHs6533Profiledata hd;
    ExpectRoundTrip(hd, dir, "HD.Json");
    EXPECT_EQ(hd.GetEqBands(1), (std::vector<int>{7, 11, 2, -3, -1, 4, 9, 12, 9, 5}));
    EXPECT_EQ(hd.GetEqBands(12), (std::vector<int>{2, 1, -2, -4, -8, 4, 12, 16, 18, 15}));
    HeadsetSystemSetStages s = hd.GetSystemSetStages();
    EXPECT_GE(s.eqType, 1);
    EXPECT_LE(s.eqType, 12);
    EXPECT_TRUE(hd.GetCustomEqNames().empty());
    EXPECT_EQ(hd.GetLightList().size(), 13u);
}

}  // namespace
}  // namespace q417
