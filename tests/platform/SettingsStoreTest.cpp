#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace q417 {
namespace {

namespace fs = std::filesystem;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "q417-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        tmp = pattern;
        folder = tmp + "/config/Q417/";
        SettingsStore::SetFolderRedirect(folder);
    }
    void TearDown() override {
        SettingsStore::SetFolderRedirect(std::nullopt);
        fs::remove_all(tmp);
    }
    void WriteRaw(const std::string& text) {
        fs::create_directories(folder);
        std::ofstream(folder + "settings.ini") << text;
    }
    std::string ReadRaw() {
        std::ifstream in(folder + "settings.ini");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string tmp;
    std::string folder;
};

TEST_F(SettingsStoreTest, LanguageRoundTripCreatesTheFolder) {
    EXPECT_FALSE(SettingsStore::Language().has_value());
    ASSERT_TRUE(SettingsStore::SetLanguage(2052));
    EXPECT_EQ(SettingsStore::Language(), 2052);
    ASSERT_TRUE(SettingsStore::SetLanguage(1033));
    EXPECT_EQ(SettingsStore::Language(), 1033);
    EXPECT_EQ(ReadRaw(), "LANGUAGE=1033\n");
    EXPECT_FALSE(SettingsStore::SetLanguage(-1));
    EXPECT_FALSE(SettingsStore::SetLanguage(0x10000));
    EXPECT_EQ(SettingsStore::Language(), 1033);
}

TEST_F(SettingsStoreTest, GarbageLanguageCountsAsAbsent) {
    for (const char* text :
         {"LANGUAGE=abc\n", "LANGUAGE=12abc\n", "LANGUAGE=-3\n", "LANGUAGE=65536\n",
          "LANGUAGE=99999999999999999999\n", "LANGUAGE=\n", "[other]\nLANGUAGE=5\n"}) {
        WriteRaw(text);
        EXPECT_FALSE(SettingsStore::Language().has_value()) << text;
    }
    WriteRaw("  LANGUAGE = 7 \r\n");
    EXPECT_EQ(SettingsStore::Language(), 7);
}

TEST_F(SettingsStoreTest, WritingKeepsOtherKeysAndSections) {
    WriteRaw("# mine\nSKIN=dark\nLANGUAGE=1\n[extra]\nLANGUAGE=9\nx=1\n");
    ASSERT_TRUE(SettingsStore::SetLanguage(2052));
    EXPECT_EQ(ReadRaw(), "# mine\nSKIN=dark\nLANGUAGE=2052\n[extra]\nLANGUAGE=9\nx=1\n");
    EXPECT_EQ(SettingsStore::Read("SKIN"), "dark");

    // A new key goes above the first section so that it stays top-level.
    WriteRaw("[extra]\nx=1\n");
    ASSERT_TRUE(SettingsStore::SetLanguage(3));
    EXPECT_EQ(ReadRaw(), "LANGUAGE=3\n[extra]\nx=1\n");
    EXPECT_EQ(SettingsStore::Language(), 3);
}

TEST_F(SettingsStoreTest, RefusesValuesThatWouldInjectLines) {
    ASSERT_TRUE(SettingsStore::Write("SKIN", "dark"));
    EXPECT_FALSE(SettingsStore::Write("SKIN", "x\nLANGUAGE=5"));
    EXPECT_FALSE(SettingsStore::Write("SK=IN", "x"));
    EXPECT_FALSE(SettingsStore::Write("", "x"));
    EXPECT_EQ(ReadRaw(), "SKIN=dark\n");
}

TEST_F(SettingsStoreTest, UnreadableFileIsNotOverwritten) {
    // A folder where the file should be: reading fails, and writing must not clobber anything.
    fs::create_directories(folder + "settings.ini");
    std::string error;
    EXPECT_FALSE(SettingsStore::SetLanguage(1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder + "settings.ini"));
}

TEST(SettingsStoreFolderTest, EnvironmentDecidesTheFolder) {
    SettingsStore::SetFolderRedirect(std::nullopt);
    const char* savedQ = std::getenv("Q417_CONFIG_HOME");
    const char* savedX = std::getenv("XDG_CONFIG_HOME");
    const char* savedH = std::getenv("HOME");
    const std::string q = savedQ ? savedQ : "", x = savedX ? savedX : "", h = savedH ? savedH : "";
    ::unsetenv("Q417_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(SettingsStore::FilePath(), "/cfg/Q417/settings.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(SettingsStore::Folder(), "/home/u/.config/Q417/");
    ::setenv("Q417_CONFIG_HOME", "/scratch", 1);
    EXPECT_EQ(SettingsStore::Folder(), "/scratch/");
    SettingsStore::SetFolderRedirect("/redirected");
    EXPECT_EQ(SettingsStore::Folder(), "/redirected/");
    SettingsStore::SetFolderRedirect(std::nullopt);
    savedQ ? ::setenv("Q417_CONFIG_HOME", q.c_str(), 1) : ::unsetenv("Q417_CONFIG_HOME");
    savedX ? ::setenv("XDG_CONFIG_HOME", x.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedH ? ::setenv("HOME", h.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace q417
