// CJsonFile: bounded reads, tolerant parsing, atomic writes, time-stamp identifiers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <set>

#include "ProfileTestUtil.h"
#include "profiles/CJsonFile.h"

namespace q417 {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

// "<year>_MM_DD_hh_mm_ss_mmm": digits, with the fixed field widths after the year.
bool HasTimeStampShape(const std::string& id) {
    const std::size_t year = id.find('_');
    if (year == std::string::npos || year == 0 || id.size() != year + 19) {
        return false;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        const bool separator = i == year || (i > year && (i - year) % 3 == 0 && i < year + 16);
        if (separator ? id[i] != '_' : !std::isdigit(static_cast<unsigned char>(id[i]))) {
            return false;
        }
    }
    return true;
}

TEST(JsonFileRead, OversizedAndMissingFilesReadAsEmpty) {
    TempDir dir;
    std::string big = dir / "big.Json";
    ASSERT_EQ(::truncate((WriteText(big, "{}"), big.c_str()), 16 * 1024 * 1024 + 1), 0);
    EXPECT_EQ(CJsonFile::readjsonFile(big), "");
    EXPECT_TRUE(CJsonFile::ReadDocument(big).isNull());
    EXPECT_EQ(CJsonFile::readjsonFile(dir / "none.Json"), "");

    std::string ok = dir / "ok.Json";
    WriteText(ok, "{\"a\":1}");
    EXPECT_EQ(CJsonFile::readjsonFile(ok), "{\"a\":1}");
}

TEST(JsonFileRead, ToleratesCommentsCrLfAndByteOrderMark) {
    TempDir dir;
    std::string p = dir / "doc.Json";
    WriteText(p, "\xEF\xBB\xBF{\r\n // note\r\n \"a\" : 5, /* b */ \"s\" : \"\xC3\xA9\"\r\n}\r\n");
    CJsonFile::DocumentState state{};
    Json::Value v = CJsonFile::ReadDocument(p, state);
    EXPECT_EQ(state, CJsonFile::DocumentState::Ok);
    EXPECT_EQ(v["a"].asInt(), 5);
    EXPECT_EQ(v["s"].asString(), "\xC3\xA9");
}

TEST(JsonFileRead, DistinguishesMissingFromUnreadable) {
    TempDir dir;
    CJsonFile::DocumentState state{};
    EXPECT_TRUE(CJsonFile::ReadDocument(dir / "none.Json", state).isNull());
    EXPECT_EQ(state, CJsonFile::DocumentState::Missing);

    WriteText(dir / "empty.Json", "");
    CJsonFile::ReadDocument(dir / "empty.Json", state);
    EXPECT_EQ(state, CJsonFile::DocumentState::Missing);

    WriteText(dir / "bad.Json", "{\"a\": ");
    EXPECT_TRUE(CJsonFile::ReadDocument(dir / "bad.Json", state).isNull());
    EXPECT_EQ(state, CJsonFile::DocumentState::Unreadable);

    // Nesting beyond the parser's limit is an unreadable file, not an exception.
    WriteText(dir / "deep.Json", std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_TRUE(CJsonFile::ReadDocument(dir / "deep.Json", state).isNull());
    EXPECT_EQ(state, CJsonFile::DocumentState::Unreadable);
}

TEST(JsonFileWrite, WritesStyledTextWithLfAndRoundTrips) {
    TempDir dir;
    Json::Value v;
    v["b"] = 2;
    v["a"]["x"] = "y";
    ASSERT_TRUE(CJsonFile::WriteDocument(dir / "out.Json", v));
    std::string text = ReadText(dir / "out.Json");
    EXPECT_EQ(text, v.toStyledString() + "\n");
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(CJsonFile::ReadDocument(dir / "out.Json"), v);
}

TEST(JsonFileWrite, FailedWriteIsReportedAndKeepsTheOldFile) {
    TempDir dir;
    // A directory in the way: fails for root too.
    ASSERT_EQ(::mkdir((dir / "taken.Json").c_str(), 0700), 0);
    EXPECT_FALSE(CJsonFile::WriteDocument(dir / "taken.Json", Json::Value(1)));

    // A file-size limit makes the write itself fail; the old text must survive.
    std::string p = dir / "old.Json";
    WriteText(p, "{\"old\":1}");
    Json::Value big;
    big["text"] = std::string(100000, 'x');
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool written = CJsonFile::WriteDocument(p, big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadText(p), "{\"old\":1}");
}

TEST(JsonFileNames, FileTitleAndKeepAside) {
    EXPECT_EQ(CJsonFile::FileTitle("/a/b/2024_01_02.Json"), "2024_01_02");
    EXPECT_EQ(CJsonFile::FileTitle("name"), "name");
    EXPECT_EQ(CJsonFile::FileTitle("/a.b/c"), "c");

    TempDir dir;
    WriteText(dir / "p.Json", "garbage");
    std::string aside = CJsonFile::KeepAside(dir / "p.Json");
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(aside.rfind(dir / "p.Json.unreadable-", 0), 0u);
    EXPECT_EQ(ReadText(aside), "garbage");
    EXPECT_FALSE(std::filesystem::exists(dir / "p.Json"));
}

TEST(TimeStampId, FormatPadsEverythingButTheYear) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(CJsonFile::FormatTimeStampId(t, 42), "2024_03_07_09_05_07_042");
    t.tm_year = 999 - 1900;
    EXPECT_EQ(CJsonFile::FormatTimeStampId(t, 999), "999_03_07_09_05_07_999");
}

TEST(TimeStampId, CallsInTheSameMillisecondStayDistinct) {
    std::set<std::string> ids;
    for (int i = 0; i < 2000; ++i) {
        std::string id = CJsonFile::MakeTimeStampId();
        EXPECT_TRUE(HasTimeStampShape(id)) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 2000u);
}

TEST(TimeStampId, SkipsNamesAlreadyUsedInTheFolder) {
    TempDir dir;
    // Occupy the names of the next 300 ms after the last identifier handed out, as another
    // process would have.
    std::string last = CJsonFile::MakeTimeStampId();
    std::tm t{};
    int ms = 0;
    ASSERT_EQ(std::sscanf(last.c_str(), "%d_%d_%d_%d_%d_%d_%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
                          &t.tm_hour, &t.tm_min, &t.tm_sec, &ms),
              7);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    auto base =
        std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(ms);
    std::set<std::string> taken;
    for (int k = 1; k <= 300; ++k) {
        auto count = std::chrono::duration_cast<std::chrono::milliseconds>(
                         (base + std::chrono::milliseconds(k)).time_since_epoch())
                         .count();
        std::time_t secs = static_cast<std::time_t>(count / 1000);
        std::tm local{};
        localtime_r(&secs, &local);
        std::string id = CJsonFile::FormatTimeStampId(local, static_cast<int>(count % 1000));
        WriteText(dir / (id + ".Json"), "{}");
        taken.insert(id);
    }
    ASSERT_EQ(taken.size(), 300u);
    for (int i = 0; i < 3; ++i) {
        std::string id = CJsonFile::MakeTimeStampId(dir.path());
        EXPECT_FALSE(std::filesystem::exists(dir / (id + ".Json"))) << id;
        EXPECT_EQ(taken.count(id), 0u) << id;
        WriteText(dir / (id + ".Json"), "{}");
    }
}

}  // namespace
}  // namespace q417
