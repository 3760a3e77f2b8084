#include "platform/LanguageList.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace q417 {
namespace {

TEST(LanguageListTest, KeepsGoodEntriesInOrderAndDropsUnsafeOnes) {
    const auto entries = ParseLanguageList(R"({"Language": [
        {"Language_name": "English", "Language_file": "lan_en.xml", "Language_ID": 1033},
        {"Language_name": "Bad id text", "Language_file": "x.xml", "Language_ID": "2052"},
        {"Language_name": "Negative", "Language_file": "x.xml", "Language_ID": -1},
        {"Language_name": "Too big", "Language_file": "x.xml", "Language_ID": 65536},
        {"Language_name": "Fraction", "Language_file": "x.xml", "Language_ID": 1.5},
        {"Language_name": 7, "Language_file": "x.xml", "Language_ID": 3},
        {"Language_name": "No file", "Language_ID": 4},
        {"Language_name": "Escapes", "Language_file": "../../etc/passwd", "Language_ID": 5},
        {"Language_name": "Sub folder", "Language_file": "a/b.xml", "Language_ID": 6},
        "not an object",
        {"Language_name": "Chinese", "Language_file": "lan_cn.xml", "Language_ID": 2052},
        {"Language_name": "Edge", "Language_file": "e.xml", "Language_ID": 65535}
    ]})");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "English");
    EXPECT_EQ(entries[0].file, "lan_en.xml");
    EXPECT_EQ(entries[0].id, 1033);
    EXPECT_EQ(entries[1].name, "Chinese");
    EXPECT_EQ(entries[1].id, 2052);
    EXPECT_EQ(entries[2].id, 65535);
}

TEST(LanguageListTest, BrokenDocumentsGiveAnEmptyList) {
    EXPECT_TRUE(ParseLanguageList("").empty());
    EXPECT_TRUE(ParseLanguageList("{ not json").empty());
    EXPECT_TRUE(ParseLanguageList(R"({"Language": {"a": 1}})").empty());
    EXPECT_TRUE(ParseLanguageList(R"([1, 2, 3])").empty());
    // Deep nesting makes jsoncpp throw internally; it must come back as "unreadable".
    EXPECT_TRUE(ParseLanguageList(std::string(100000, '[')).empty());
    EXPECT_TRUE(ReadLanguageList("/nonexistent/q417/Language.config").empty());
}

TEST(LanguageListTest, ReadsTheFileWithAByteOrderMark) {
    std::string pattern = (std::filesystem::temp_directory_path() / "q417-lang-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::string path = pattern + "/Language.config";
    std::ofstream(path)
        << "\xEF\xBB\xBF"
        << R"({"Language":[{"Language_name":"English","Language_file":"lan_en.xml","Language_ID":0}]})";
    const auto entries = ReadLanguageList(path);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].id, 0);
    std::filesystem::remove_all(pattern);
}

TEST(LanguageListTest, SavedIndexIsTheFirstMatchOrZero) {
    const std::vector<LanguageEntry> entries{
        {"English", "lan_en.xml", 1033}, {"Chinese", "lan_cn.xml", 2052}, {"Again", "x.xml", 2052}};
    EXPECT_EQ(SavedLanguageIndex(entries, 2052), 1u);
    EXPECT_EQ(SavedLanguageIndex(entries, 1033), 0u);
    EXPECT_EQ(SavedLanguageIndex(entries, 7), 0u);
    EXPECT_EQ(SavedLanguageIndex(entries, std::nullopt), 0u);
    EXPECT_EQ(SavedLanguageIndex({}, 2052), 0u);
}

}  // namespace
}  // namespace q417
