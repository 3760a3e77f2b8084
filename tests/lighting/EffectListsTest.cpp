// Effect lists from the light files, and the effect index ↔ device code translation.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "lighting/EffectLists.h"
#include "platform/FileIo.h"
#include "profiles/CJsonFile.h"

namespace q417 {
namespace {

EffectLists WithCodes(std::vector<int> codes) {
    EffectLists l;
    l.codes = std::move(codes);
    return l;
}

TEST(EffectCode, MouseFallsBackToIndexZero) {
    const EffectLists l = WithCodes({7, 1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13});
    EXPECT_EQ(EffectCode(l, 3, EffectRange::Mouse), 3);
    EXPECT_EQ(EffectCode(l, 11, EffectRange::Mouse), 12);
    EXPECT_EQ(EffectCode(l, 12, EffectRange::Mouse), 7);  // above 11, though inside the list
    EXPECT_EQ(EffectCode(l, -1, EffectRange::Mouse), 7);

    const EffectLists shortList = WithCodes({4, 9});
    EXPECT_EQ(EffectCode(shortList, 5, EffectRange::Mouse), 4);  // beyond the list
    EXPECT_EQ(EffectCode(EffectLists{}, 0, EffectRange::Mouse), std::nullopt);
}

TEST(EffectCode, KeyboardDirectModesAndRange) {
    const EffectLists l = WithCodes({29, 30, 5});
    EXPECT_EQ(EffectCode(l, 0, EffectRange::Keyboard), 0xFE);
    EXPECT_EQ(EffectCode(l, 1, EffectRange::Keyboard), 0xFE);
    EXPECT_EQ(EffectCode(l, 2, EffectRange::Keyboard), 5);
    EXPECT_EQ(EffectCode(l, 3, EffectRange::Keyboard), std::nullopt);
    EXPECT_EQ(EffectCode(l, -1, EffectRange::Keyboard), std::nullopt);
    EXPECT_EQ(EffectCode(l, 3, EffectRange::Other), 29);
}

TEST(EffectIndex, FirstMatchOrNone) {
    const EffectLists l = WithCodes({3, 5, 3, 300});
    EXPECT_EQ(EffectIndex(l, 3), 0);
    EXPECT_EQ(EffectIndex(l, 5), 1);
    EXPECT_EQ(EffectIndex(l, 9), std::nullopt);
    EXPECT_EQ(EffectIndex(l, 300 & 0xFF), std::nullopt);  // a device byte never matches 300
}

class LightFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "q417-light-XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern + "/";
        lists.names = {"old"};
        lists.visible = {true};
        lists.codes = {42};
        lists.areaNames = {"old area"};
        lists.userEffectNames = {"old user"};
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string Write(const std::string& name, const std::string& text) {
        EXPECT_TRUE(WriteFileAtomically(dir + name, text));
        return dir + name;
    }
    void ExpectUnchanged() const {
        EXPECT_EQ(lists.names, std::vector<std::string>{"old"});
        EXPECT_EQ(lists.codes, std::vector<int>{42});
        EXPECT_EQ(lists.areaNames, std::vector<std::string>{"old area"});
        EXPECT_EQ(lists.userEffectNames, std::vector<std::string>{"old user"});
    }
    std::string dir;
    EffectLists lists;
};

TEST_F(LightFilesTest, MissingUnreadableOrArraylessFilesKeepTheLists) {
    ReloadLightNameLists(lists, 0, dir + "none.json", dir + "none.config");
    ExpectUnchanged();
    const auto bad = Write("bad.json", "{ \"DefaultLightName\": [ [ {");
    ReloadLightNameLists(lists, 0, bad, bad);
    ExpectUnchanged();
    // Arrays present, but not for profile number 1, or of the wrong type.
    const auto other = Write("other.json",
                             R"({"DefaultLightName": [[{"LightName": "x", "value": 1}]],
                                 "AreaLightName": {"0": 1}, "LightInfo": [[], 5]})");
    ReloadLightNameLists(lists, 1, other, other);
    ExpectUnchanged();
    ReloadLightNameLists(lists, -1, other, other);
    ExpectUnchanged();
}

TEST_F(LightFilesTest, PresentArraysReplaceOnlyTheirLists) {
    const auto defaults = Write("default_light.json", R"({"DefaultLightName": [[],
        [{"LightName": "Wave", "visible": true, "value": 0},
         {"LightName": 7, "visible": 1, "value": "x"},
         "not an object",
         {"LightName": "Zwölf", "visible": false, "value": 12}]]})");
    const auto config = Write("zyrel_light.config",
                              R"({"LightInfo": [[], [{"LightName": "Mine", "Guid": "g"}, {}]]})");
    ReloadLightNameLists(lists, 1, defaults, config);
    // Every element keeps its place so index and code stay aligned.
    EXPECT_EQ(lists.names, (std::vector<std::string>{"Wave", "", "", "Zwölf"}));
    EXPECT_EQ(lists.visible, (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(lists.codes, (std::vector<int>{0, 0, 0, 12}));
    EXPECT_EQ(lists.areaNames, std::vector<std::string>{"old area"});  // no "AreaLightName"
    EXPECT_EQ(lists.userEffectNames, (std::vector<std::string>{"Mine", ""}));

    // An empty array is present: it empties the list.
    ReloadLightNameLists(lists, 0, defaults, config);
    EXPECT_TRUE(lists.names.empty());
    EXPECT_TRUE(lists.codes.empty());
    EXPECT_TRUE(lists.userEffectNames.empty());
}

TEST(DefaultLightFile, ListsTheMouseEffectsForEveryProfileNumber) {
    const std::string path = std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/default_light.json";
    CJsonFile::DocumentState state{};
    const Json::Value doc = CJsonFile::ReadDocument(path, state);
    ASSERT_EQ(state, CJsonFile::DocumentState::Ok);
    for (int n = 0; n < 6; ++n) {
        EffectLists l;
        ApplyDefaultLightDocument(l, n, doc);
        ASSERT_EQ(l.codes.size(), 11u) << "profile number " << n;
        for (int i = 0; i < 11; ++i) {
            EXPECT_EQ(l.codes[static_cast<std::size_t>(i)], i);
            EXPECT_FALSE(l.names[static_cast<std::size_t>(i)].empty());
            EXPECT_EQ(EffectIndex(l, i), i);
        }
        EXPECT_FALSE(l.visible[9]);
        EXPECT_TRUE(l.visible[10]);
        EXPECT_FALSE(l.areaNames.empty());
    }
}

}  // namespace
}  // namespace q417
