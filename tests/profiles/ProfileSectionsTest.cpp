// Translation between profile sections and records: key codes, lights, DPI stages, settings,
// colour groups, equaliser tables, user effects.
#include <gtest/gtest.h>

#include "ProfileTestUtil.h"
#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"

namespace q417 {
namespace {

using test::Parse;
using test::TempDir;
using test::WriteText;

// Loads a single-element document holding the given element text.
template <class P>
void LoadElement(P& p, const TempDir& dir, const std::string& element) {
    std::string doc = dir / "p.Json";
    WriteText(doc, "{\"Device\":[" + element + "]}");
    p.SetProfilePath(doc);
    p.LoadProfile(doc);
}

TEST(KeyList, CodeSplitsIntoTypeAndParametersAndWritesBack) {
    TempDir dir;
    CKeyboardProfiledata p;
    LoadElement(p, dir,
                R"({"KeyList":[{"Assignment":1,"DefaultAssignment":2},)"
                R"({"Assignment":7344692,"DefaultAssignment":2097193},{}]})");
    auto keys = p.GetKeyList();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[1].current.keyIndex, 1);
    EXPECT_EQ(keys[1].current.type, 0x70);
    EXPECT_EQ(keys[1].current.param1, 0x12);
    EXPECT_EQ(keys[1].current.param2, 0x34);
    EXPECT_EQ(keys[1].defaults.keyIndex, 1);
    EXPECT_EQ(keys[1].defaults.type, 0x20);
    EXPECT_EQ(keys[1].defaults.param2, 0x29);
    EXPECT_TRUE(keys[1].Changed());
    EXPECT_EQ(EncodeAssignment(keys[2].current), 0);  // missing members read as 0

    keys[0].current = DecodeAssignment(0x147802, 0);
    keys[0].defaults = DecodeAssignment(0x999999, 0);  // defaults are never written
    p.SetKeyList(keys);
    const Json::Value& list = p.Element()["KeyList"];
    EXPECT_EQ(list[0]["Assignment"].asInt(), 0x147802);
    EXPECT_EQ(list[0]["DefaultAssignment"].asInt(), 2);
    EXPECT_EQ(list[1]["Assignment"].asInt(), 7344692);
    EXPECT_EQ(list[1]["DefaultAssignment"].asInt(), 2097193);
    EXPECT_EQ(p.KeyList().size(), 3u);
}

TEST(KeyList, SecondaryElementIsIndependent) {
    TempDir dir;
    std::string other = dir / "other.Json";
    WriteText(other, R"({"Device":[{"KeyList":[{"Assignment":5,"DefaultAssignment":5}]}]})");
    CKeyboardProfiledata p;
    LoadElement(p, dir, R"({"KeyList":[{"Assignment":1}]})");
    p.LoadSecondary(other);
    auto sec = p.GetSecondaryKeyList();
    ASSERT_EQ(sec.size(), 1u);
    sec[0].current = DecodeAssignment(0x200004, 0);
    p.SetSecondaryKeyList(sec);
    ASSERT_EQ(p.SaveSecondary(other), SaveResult::Written);
    EXPECT_EQ(CJsonFile::ReadDocument(other)["Device"][0]["KeyList"][0]["Assignment"].asInt(),
              0x200004);
    EXPECT_EQ(p.GetKeyList()[0].current.param2, 1);
}

TEST(Lights, BooleanReadersAcceptTrueFalseAndNumbersAndWriteIntegers) {
    TempDir dir;
    CKeyboardProfiledata p;
    LoadElement(
        p, dir,
        R"({"LightInfo":{"SelectItem":258,"MultiColor":true,"Fx":1,"Red":300},)"
        R"("AudioLightInfo":{"7ColorFlags":5,"ColorTypeFlags":false,"AudioMode":2},)"
        R"("LightList":[null,{"LEDREGMode":2,"LEDMultiColor":false,"LEDDirection":7,"red":9}]})");
    LightInfo li = p.GetLightInfo();
    EXPECT_EQ(li.mode, 2);  // low 8 bits
    EXPECT_EQ(li.multiColor, 1);
    EXPECT_EQ(li.direction, 1);
    EXPECT_EQ(li.red, 300 & 0xFF);
    AudioLightInfo a = p.GetAudioLightInfo();
    EXPECT_EQ(a.sevenColorFlags, 1);
    EXPECT_EQ(a.colorTypeFlags, 0);
    EXPECT_EQ(a.audioMode, 2);

    auto list = p.GetLightList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], LightInfo{});
    EXPECT_EQ(list[1].present, 1);
    EXPECT_EQ(list[1].mode, 2);
    EXPECT_EQ(list[1].direction, 1);
    EXPECT_EQ(list[1].multiColor, 0);
    EXPECT_EQ(list[1].red, 9);

    li.multiColor = 7;
    p.SetLightInfo(li);
    a.sevenColorFlags = 9;
    p.SetAudioLightInfo(a);
    EXPECT_TRUE(p.Element()["LightInfo"]["MultiColor"].isInt());
    EXPECT_EQ(p.Element()["LightInfo"]["MultiColor"].asInt(), 1);
    EXPECT_EQ(p.Element()["LightInfo"].size(), 11u);
    EXPECT_EQ(p.Element()["AudioLightInfo"]["7ColorFlags"].asInt(), 1);
    EXPECT_EQ(p.Element()["AudioLightInfo"].size(), 9u);
}

TEST(Lights, UserEffectIsReadFromTheDeviceFolderAndNamesAreChecked) {
    TempDir dir;
    CBasicProfiledata p;
    LoadElement(p, dir, R"({"LightInfo":{"SelectItem":1}})");
    WriteText(dir / "zyrel_light.config",
              R"({"LightInfo":[[{"Guid":"../escape"},{"Guid":"fx1"},{"Guid":"a/b"}]]})");
    WriteText(dir / "fx1.light",
              R"({"LEDEffectList":[{"LEDREGMode":1,"red":10,"Time":1500,"Cyle":2},)"
              R"({"LEDREGMode":4,"LEDSpeed":3}]})");
    p.SetLightConfigPath(dir / "zyrel_light.config");
    p.LoadLightConfig(p.GetLightConfigPath());
    p.GetLightInfo();
    auto fx = p.GetCustomLightEffects();
    ASSERT_EQ(fx.size(), 2u);
    EXPECT_EQ(fx[0].mode, 1);
    EXPECT_EQ(fx[0].red, 10);
    EXPECT_EQ(fx[0].time, 1500u);
    EXPECT_EQ(fx[0].cycle, 2u);
    EXPECT_EQ(fx[1].speed, 3);

    for (int mode : {0, 2, 9}) {  // "../escape", "a/b", no such effect
        LightInfo li{};
        li.mode = static_cast<std::uint8_t>(mode);
        p.SetLightInfo(li);
        EXPECT_TRUE(p.GetCustomLightEffects().empty()) << mode;
    }
    // With built-in effects ahead of the user's, mode 13 is user effect 1 and mode 5 none.
    p.SetBuiltinEffectCount(12);
    LightInfo li{};
    li.mode = 13;
    p.SetLightInfo(li);
    EXPECT_EQ(p.GetCustomLightEffects().size(), 2u);
    li.mode = 5;
    p.SetLightInfo(li);
    EXPECT_TRUE(p.GetCustomLightEffects().empty());
}

TEST(MouseSections, DpiStagesMergeIntoTheStoredList) {
    TempDir dir;
    CMouseProfiledata p;
    std::vector<DpiStage> five(5);
    for (std::size_t i = 0; i < five.size(); ++i) {
        five[i].dpiX = static_cast<std::uint16_t>(100 * (i + 1));
    }
    p.SetDpiStages(five);
    LoadElement(p, dir,
                R"({"DPIStages":{"StageActive":2,"StageDPIs":[)"
                R"({"StageActive":1,"StageDPIX":70000,"StageDPIY":800,"StageColorR":255},)"
                R"({"StageXY":1},{"StageDPIX":1600}]}})");
    auto stages = p.GetDpiStages();
    ASSERT_EQ(stages.size(), 5u);
    EXPECT_EQ(stages[0].dpiX, 70000 & 0xFFFF);
    EXPECT_EQ(stages[0].dpiY, 800);
    EXPECT_EQ(stages[0].red, 255);
    EXPECT_EQ(stages[1].xy, 1);
    EXPECT_EQ(stages[2].dpiX, 1600);
    EXPECT_EQ(stages[3].dpiX, 400);
    EXPECT_EQ(stages[4].dpiX, 500);
    EXPECT_EQ(p.GetActiveDpiStage(), 2);

    auto bytes = EncodeDpiStage(stages[0]);
    EXPECT_EQ(DecodeDpiStage(bytes), stages[0]);
    EXPECT_EQ(bytes[2], (70000 & 0xFFFF) & 0xFF);
}

TEST(MouseSections, SystemStagesMapWordsAndHalves) {
    TempDir dir;
    CMouseProfiledata p;
    LoadElement(p, dir,
                R"({"SystemStages":{"DoubleClickTime":500,"MouseSpeed":10,"WheelScorlllinse":3,)"
                R"("ScorllPage":1,"SensorLif":true,"MotionSync":4,"ReportSelectItemUSB":3,)"
                R"("ReportSelectItem24K":5,"sleeptime":70000},"ReportStages":{"StageActive":2}})");
    MouseSystemStages s = p.GetSystemStages();
    EXPECT_EQ(s.words[0], MakeWord(500, 10));
    EXPECT_EQ(s.words[1], MakeWord(0, 1));
    EXPECT_EQ(s.words[2], MakeWord(3, 2));  // high half from "ReportStages"
    EXPECT_EQ(s.words[5], MakeWord(1, 1));  // booleans
    EXPECT_EQ(s.Half(MouseSystemStages::kSleepTime), 70000 & 0xFFFF);
    EXPECT_EQ(s.Half(MouseSystemStages::kReportSelectUsb), 3);
    EXPECT_EQ(s.words[9], 5u);

    s.SetHalf(MouseSystemStages::kReportStageActive, 4);
    s.SetHalf(MouseSystemStages::kAntiShake, 6);
    p.SetSystemStages(s);
    const Json::Value& e = p.Element();
    EXPECT_EQ(e["ReportStages"]["StageActive"].asInt(), 4);
    EXPECT_EQ(e["SystemStages"]["AntiShake"].asInt(), 6);
    EXPECT_EQ(e["SystemStages"].size(), 17u);
    EXPECT_EQ(p.GetSystemStages(), s);

    // Without "SystemStages" every word is 0, "ReportStages" included.
    CMouseProfiledata q;
    LoadElement(q, dir, R"({"ReportStages":{"StageActive":2}})");
    EXPECT_EQ(q.GetSystemStages(), MouseSystemStages{});
}

TEST(KeyboardSections, SettingsWordsAndCustomColourGroups) {
    TempDir dir;
    CKeyboardProfiledata p;
    LoadElement(p, dir,
                R"({"SystemStages":{"Repeat":20,"RepeatDelay":3,"PollingRate":2,"WinFlag":1},)"
                R"("CustomLightMode":{"CustomLightModeGroupIndex":1,"LightColorInfo":[null,)"
                R"([{"Red":1,"Green":2,"Blue":3,"Alpha":4},null]]}})");
    KeyboardSystemStages s = p.GetSystemStages();
    EXPECT_EQ(s.RepeatDelay(), 3);
    EXPECT_EQ(s.Repeat(), 20);
    EXPECT_EQ(s.PollingRate(), 2);
    EXPECT_EQ(s.WinFlag(), 1);

    EXPECT_EQ(p.GetCustomLightGroup(), 1);
    auto colours = p.GetCustomLightColors(1, 3);
    ASSERT_EQ(colours.size(), 3u);
    EXPECT_EQ(colours[0], (RgbaColor{1, 2, 3, 4}));
    EXPECT_EQ(colours[1], RgbaColor{});
    const Json::Value& groups = p.Element()["CustomLightMode"]["LightColorInfo"];
    EXPECT_EQ(groups[1].size(), 3u);  // null and missing keys filled with zero colours
    EXPECT_EQ(groups[1][1], Parse(R"({"Red":0,"Green":0,"Blue":0,"Alpha":0})"));
    EXPECT_EQ(p.GetCustomLightColors(0, 2).size(), 2u);  // a null group is filled too
    EXPECT_EQ(groups[0].size(), 2u);

    // Group numbers from files or the device outside the list never grow the arrays.
    EXPECT_EQ(p.GetCustomLightColors(255, 170).size(), 170u);
    EXPECT_FALSE(p.SetCustomLightColors({RgbaColor{9, 9, 9, 9}}, 255));
    EXPECT_FALSE(p.SetCustomLightGroup(-1));
    EXPECT_EQ(groups.size(), 2u);
    EXPECT_TRUE(p.SetCustomLightGroup(9));
    EXPECT_EQ(p.GetCustomLightGroup(), 9);

    CKeyboardProfiledata q;
    LoadElement(q, dir, R"({"CustomLightMode":{"CustomLightModeGroupIndex":255}})");
    EXPECT_EQ(q.GetCustomLightGroup(), 0);
}

TEST(HeadsetSections, EqualiserTypeMapping) {
    EXPECT_EQ(CHs6533Profiledata::EqIndexForType(0), 1u);
    EXPECT_EQ(CHs6533Profiledata::EqIndexForType(20), 1u);
    EXPECT_EQ(CHs6533Profiledata::EqIndexForType(-3), 1u);
    EXPECT_EQ(CHs6533Profiledata::EqIndexForType(7), 7u);
    EXPECT_EQ(CHs6533Profiledata::EqIndexForType(12), 12u);
    EXPECT_FALSE(CHs6533Profiledata::EqIndexForType(13).has_value());

    TempDir dir;
    CHs6533Profiledata p;
    Json::Value tables(Json::arrayValue);
    for (int t = 0; t < 13; ++t) {
        for (int b = 0; b < 10; ++b) {
            tables[t][b]["value"] = t * 100 + b;
        }
    }
    Json::Value element;
    element["EQHzValueInfo"] = tables;
    LoadElement(p, dir, element.toStyledString());
    EXPECT_EQ(p.GetEqBands(0), p.GetEqBands(20));
    EXPECT_EQ(p.GetEqBands(0)[3], 103);
    EXPECT_EQ(p.GetEqBands(12)[9], 1209);
    EXPECT_TRUE(p.GetEqBands(13).empty());

    CHs6533Profiledata::EqBands values{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    p.SetEqBands(13, values);  // nothing happens for the custom type
    p.SetEqBands(99, values);  // lands in table 1
    EXPECT_EQ(p.GetEqBands(1)[9], 10);
    EXPECT_EQ(p.Element()["EQHzValueInfo"].size(), 13u);
}

TEST(HeadsetSections, MissingTablesFillWithZerosAndPresetsAreBounded) {
    TempDir dir;
    CHs6533Profiledata p;
    LoadElement(p, dir,
                R"({"SystemSetStages":{"EqType":13,"CustomEqSeletIndex":2,"MicMoniterValue":40}})");
    HeadsetSystemSetStages s = p.GetSystemSetStages();
    EXPECT_EQ(s.eqType, 13);
    EXPECT_EQ(s.customEqIndex, 2);
    EXPECT_EQ(s.micMonitorValue, 40);

    EXPECT_EQ(p.GetCustomEqBands(2), std::vector<int>(10, 0));
    const Json::Value& custom = p.Element()["CustomEQHzValueInfo"];
    ASSERT_EQ(custom.size(), 3u);
    EXPECT_EQ(custom[2][9]["value"].asInt(), 0);
    EXPECT_TRUE(custom[0].isNull());

    EXPECT_EQ(p.GetCustomEqBands(255), std::vector<int>(10, 0));
    EXPECT_FALSE(p.SetCustomEqBands(20, {}));
    EXPECT_EQ(custom.size(), 3u);
    EXPECT_TRUE(p.SetCustomEqBands(19, {5, 5, 5, 5, 5, 5, 5, 5, 5, -5}));
    EXPECT_EQ(p.GetCustomEqBands(19)[9], -5);

    p.SetCustomEqNames({"Bass \xE2\x99\xAB", "Voice"});
    EXPECT_EQ(p.GetCustomEqNames(), (std::vector<std::string>{"Bass \xE2\x99\xAB", "Voice"}));
    s.micInValue = 77;
    p.SetSystemSetStages(s);
    EXPECT_EQ(p.GetSystemSetStages(), s);
}

}  // namespace
}  // namespace q417
