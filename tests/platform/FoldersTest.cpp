#include "platform/Folders.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace q417 {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and restores them afterwards; also clears any
// programmatic redirect.
class FoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "q417-folders-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        tmp = pattern + "/";
        for (const char* name : {"Q417_DATA_HOME", "Q417_DEFAULT_DATA", "Q417_CACHE_HOME",
                                 "XDG_DATA_HOME", "XDG_CACHE_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            saved[name] = v != nullptr ? std::optional<std::string>(v) : std::nullopt;
            ::unsetenv(name);
        }
        ::setenv("HOME", (tmp + "home").c_str(), 1);
        SetFolderRedirects({});
    }
    void TearDown() override {
        SetFolderRedirects({});
        for (const auto& [name, value] : saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ec;
        fs::remove_all(tmp, ec);
    }
    static unsigned ModeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }

    std::string tmp;
    std::map<std::string, std::optional<std::string>> saved;
};

TEST_F(FoldersTest, UserDataFollowsXdgAndRedirects) {
    // HOME fallback, created on demand.
    EXPECT_EQ(UserDataFolder(), tmp + "home/.local/share/Q417/");
    EXPECT_TRUE(fs::is_directory(tmp + "home/.local/share/Q417"));

    ::setenv("XDG_DATA_HOME", (tmp + "xdg").c_str(), 1);
    EXPECT_EQ(UserDataFolder(), tmp + "xdg/Q417/");
    // A relative XDG value is ignored.
    ::setenv("XDG_DATA_HOME", "relative/share", 1);
    EXPECT_EQ(UserDataFolder(), tmp + "home/.local/share/Q417/");

    // The test redirect names the folder itself and gains its trailing '/'.
    ::setenv("Q417_DATA_HOME", (tmp + "redir/deep").c_str(), 1);
    EXPECT_EQ(UserDataFolder(), tmp + "redir/deep/");
    EXPECT_TRUE(fs::is_directory(tmp + "redir/deep"));

    // A programmatic redirect wins over the environment.
    FolderRedirects redirects;
    redirects.userData = tmp + "prog/";
    SetFolderRedirects(redirects);
    EXPECT_EQ(UserDataFolder(), tmp + "prog/");
}

TEST_F(FoldersTest, DeviceFolderCreatesBothLevelsAndRefusesPaths) {
    ::setenv("Q417_DATA_HOME", (tmp + "data").c_str(), 1);
    EXPECT_EQ(DeviceFolder("MousePad"), tmp + "data/MousePad/");
    EXPECT_TRUE(fs::is_directory(tmp + "data/MousePad"));
    EXPECT_EQ(DeviceFolder("../escape"), "");
    EXPECT_EQ(DeviceFolder("a/b"), "");
    EXPECT_EQ(DeviceFolder(""), "");
    EXPECT_FALSE(fs::exists(tmp + "escape"));
}

TEST_F(FoldersTest, DefaultDataIsNeverCreatedAndCanBeRedirected) {
    // A build tree reads the source data folder.
    std::string def = DefaultDataFolder();
    EXPECT_EQ(def, std::string(Q417_SOURCE_DATA_DIR) + "DefaultData/");
    EXPECT_EQ(DataFolder(), std::string(Q417_SOURCE_DATA_DIR));
    EXPECT_EQ(ResourceRoot(), std::string(Q417_SOURCE_DATA_DIR) + "skin/");

    ::setenv("Q417_DEFAULT_DATA", (tmp + "defaults").c_str(), 1);
    EXPECT_EQ(DefaultDataFolder(), tmp + "defaults/");
    EXPECT_FALSE(fs::exists(tmp + "defaults"));
    // Naming the folder that holds "DefaultData" works as well.
    fs::create_directories(tmp + "defaults/DefaultData");
    EXPECT_EQ(DefaultDataFolder(), tmp + "defaults/DefaultData/");
}

TEST_F(FoldersTest, BuildTreeFindsItsDataThroughTheMarkerOnly) {
    // The installed place is looked at first, then the marker's folder; a build tree has no
    // share/q417 beside it, so the marker wins here.
    const std::vector<std::string> candidates = DataFolderCandidates();
    ASSERT_EQ(candidates.size(), 2u);
    const fs::path exeParent = fs::path(ProgramFolder()).parent_path().parent_path();
    EXPECT_EQ(candidates[0], exeParent.string() + "/share/q417/");
    EXPECT_EQ(candidates[1], std::string(Q417_SOURCE_DATA_DIR));
    EXPECT_EQ(MissingDataMessage(true), "");
}

TEST_F(FoldersTest, MissingDataNamesTheFoldersSearched) {
    ::setenv("Q417_DEFAULT_DATA", (tmp + "nowhere").c_str(), 1);
    const std::string message = MissingDataMessage(false);
    EXPECT_NE(message.find(tmp + "nowhere/"), std::string::npos) << message;
    EXPECT_NE(message.find("Q417_DEFAULT_DATA"), std::string::npos) << message;
    ::unsetenv("Q417_DEFAULT_DATA");
    // Only the skin missing: the templates are there, the resource root is not.
    fs::create_directories(tmp + "defaults/DefaultData");
    ::setenv("Q417_DEFAULT_DATA", (tmp + "defaults").c_str(), 1);
    EXPECT_EQ(MissingDataMessage(false), "");
}

TEST_F(FoldersTest, UpdateFolderIsPrivate) {
    ::setenv("XDG_CACHE_HOME", (tmp + "cache").c_str(), 1);
    std::string folder = UpdateDownloadFolder();
    EXPECT_EQ(folder, tmp + "cache/Q417/UpdateData/");
    EXPECT_EQ(ModeOf(folder), 0700u);

    // One made earlier with looser rights is tightened.
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(UpdateDownloadFolder(), folder);
    EXPECT_EQ(ModeOf(folder), 0700u);

    ::unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(UpdateDownloadFolder(), tmp + "home/.cache/Q417/UpdateData/");
    ::setenv("Q417_CACHE_HOME", (tmp + "c2").c_str(), 1);
    EXPECT_EQ(UpdateDownloadFolder(), tmp + "c2/UpdateData/");
}

TEST_F(FoldersTest, ProgramFolderHoldsThisExecutable) {
    std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fs::exists(folder + "platform_tests"));
}

TEST(FolderHelpers, MakeFoldersFailsWhenAFileIsInTheWay) {
    std::string pattern = (fs::temp_directory_path() / "q417-mk-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    EXPECT_TRUE(MakeFolders(pattern + "/x/y/"));
    std::FILE* f = std::fopen((pattern + "/file").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FALSE(MakeFolders(pattern + "/file/sub"));
    fs::remove_all(pattern);
}

}  // namespace
}  // namespace q417
