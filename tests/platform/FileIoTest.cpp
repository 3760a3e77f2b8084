#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/FileIo.h"
#include "platform/Trace.h"

namespace fs = std::filesystem;

namespace q417 {
namespace {

class FileIoTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("q417-fileio-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

TEST_F(FileIoTest, AtomicWriteReplacesContentAndLeavesNoTemporaryFiles) {
    std::string path = Path("doc.Json");
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second, longer"));
    FileReadResult r = ReadWholeFile(path);
    ASSERT_EQ(r.status, ReadStatus::Ok);
    EXPECT_EQ(r.data, "second, longer");
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(FileIoTest, FailedWriteKeepsOldFileAndSaysWhy) {
    // A directory in the target's place makes the rename fail, even for root.
    std::string path = Path("blocked");
    fs::create_directories(path);
    fs::path inner = fs::path(path) / "keep";
    std::ofstream(inner) << "x";
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path, "new", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::exists(inner));

    // A missing folder fails at creation of the temporary file.
    EXPECT_FALSE(WriteFileAtomically(Path("no/such/folder/file"), "x", &error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
}

TEST_F(FileIoTest, ReadDistinguishesMissingTooLargeAndDirectories) {
    EXPECT_EQ(ReadWholeFile(Path("absent")).status, ReadStatus::Missing);
    std::string big = Path("big");
    ASSERT_TRUE(WriteFileAtomically(big, std::string(100, 'a')));
    EXPECT_EQ(ReadWholeFile(big, 99).status, ReadStatus::TooLarge);
    EXPECT_EQ(ReadWholeFile(big, 100).status, ReadStatus::Ok);
    EXPECT_EQ(ReadWholeFile(dir_.string()).status, ReadStatus::Error);
    EXPECT_TRUE(FileExists(big));
    EXPECT_FALSE(FileExists(dir_.string()));
}

TEST(BareFileName, RefusesAnythingThatCouldLeaveItsFolder) {
    EXPECT_TRUE(IsBareFileName("2026_01_02_03_04_05_006"));
    EXPECT_TRUE(IsBareFileName("Profile 1.Json"));
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "x..y", "/etc/passwd"}) {
        EXPECT_FALSE(IsBareFileName(bad)) << bad;
    }
    EXPECT_FALSE(IsBareFileName(std::string_view("a\0b", 3)));
}

TEST(TraceFormat, HexLineUsesWiderGapsBetweenTheFirstFourGroups) {
    unsigned char bytes[32];
    for (int i = 0; i < 32; ++i) {
        bytes[i] = static_cast<unsigned char>(i);
    }
    EXPECT_EQ(FormatTraceHexLine(bytes),
              "00 01 02 03   04 05 06 07   08 09 0a 0b   0c 0d 0e 0f  10 11 12 13  14 15 16 17  "
              "18 19 1a 1b  1c 1d 1e 1f");
}

TEST(TraceSink, CapturesLinesWhileInstalled) {
    std::string captured;
    SetTraceSink([&](std::string_view line) { captured += std::string(line) + "|"; });
    EXPECT_TRUE(TraceEnabled());
    Trace("one");
    Trace("two");
    SetTraceSink({});
    Trace("three");
    EXPECT_EQ(captured, "one|two|");
}

}  // namespace
}  // namespace q417
