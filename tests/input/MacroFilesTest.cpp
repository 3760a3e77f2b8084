// The ".mac" event files and the library file: tolerant reading, what is written, the import check.
#include <gtest/gtest.h>

#include <string>

#include "input/MacroFiles.h"
#include "profiles/ProfileTestUtil.h"

namespace q417 {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

std::string EventsDocument(const std::string& events) {
    return R"({"MacroName":"m","Guid":"g","Version":64,"Events":[)" + events + "]}";
}

TEST(MacroEventFile, ReadsMistypedMembersAsAbsent) {
    auto file = ParseMacroEventFile(
        EventsDocument(R"({"Action":"down","Type":10,"Button":4,"Delay":"120"},)"
                       R"({"Action":"up","Type":"ten","Button":[1],"Delay":{}},)"
                       R"(7, "text", null,)"
                       R"({"Action":"down","Type":1,"Button":1,"Delay":0},)"
                       R"({"Action":"up","Type":1,"Button":1,"Delay":"70000"},)"
                       R"({"Action":"up","Type":5,"Button":3,"Delay":"-5"})"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name, "m");
    EXPECT_EQ(file->guid, "g");
    EXPECT_EQ(file->version, 64);
    // Elements that are no objects are left out; the rest keep their order.
    ASSERT_EQ(file->events.size(), 5u);
    EXPECT_EQ(file->events[0], (MacroEvent{true, 10, 4, 120}));
    EXPECT_EQ(file->events[1], (MacroEvent{false, 0, 0, 0}));
    EXPECT_EQ(file->events[2], (MacroEvent{true, 1, 1, 0}));
    // Clamped to the 16-bit range, never cut to 4464.
    EXPECT_EQ(file->events[3].delay, 65535);
    EXPECT_EQ(file->events[4].delay, 0);
}

TEST(MacroEventFile, DocumentsThatAreNoEventFiles) {
    EXPECT_FALSE(ParseMacroEventFile(""));
    EXPECT_FALSE(ParseMacroEventFile("{\"Events\": ["));
    EXPECT_FALSE(ParseMacroEventFile("[1,2]"));
    EXPECT_FALSE(ParseMacroEventFile(std::string(100000, '[')));  // jsoncpp's depth limit: no throw
    auto noEvents = ParseMacroEventFile(R"({"MacroName":5,"Events":{"a":1},"Version":"64"})");
    ASSERT_TRUE(noEvents);
    EXPECT_TRUE(noEvents->events.empty());
    EXPECT_EQ(noEvents->name, "");
    EXPECT_EQ(noEvents->version, 0);
}

TEST(MacroEventFile, WritesDelaysAsStringsAndReadsBack) {
    TempDir dir;
    MacroEventFile file;
    file.name = "Jump é";
    file.guid = "2024_03_05_14_07_09_123";
    file.events = {{true, 10, 4, 120}, {false, 10, 4, 65535}, {true, 4, 200, 0}};
    ASSERT_TRUE(WriteMacroEventFile(dir / "a.mac", file));
    Json::Value root = test::Parse(ReadText(dir / "a.mac"));
    EXPECT_EQ(root["Version"].asInt(), 64);
    EXPECT_EQ(root["MacroName"].asString(), "Jump é");
    ASSERT_TRUE(root["Events"][0]["Delay"].isString());
    EXPECT_EQ(root["Events"][1]["Delay"].asString(), "65535");
    EXPECT_EQ(root["Events"][0]["Action"].asString(), "down");
    EXPECT_EQ(root["Events"][2]["Type"].asInt(), 4);

    EventFileState state = EventFileState::Unreadable;
    auto back = ReadMacroEventFile(dir / "a.mac", &state);
    EXPECT_EQ(state, EventFileState::Ok);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->events, file.events);

    auto missing = ReadMacroEventFile(dir / "none.mac", &state);
    EXPECT_EQ(state, EventFileState::Missing);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->events.empty());

    WriteText(dir / "bad.mac", "{ not json");
    EXPECT_FALSE(ReadMacroEventFile(dir / "bad.mac", &state));
    EXPECT_EQ(state, EventFileState::Unreadable);
}

TEST(MacroEventFile, ImportCheck) {
    auto events = [](std::size_t n, const std::string& one) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) {
            s += (i ? "," : "") + one;
        }
        return EventsDocument(s);
    };
    const std::string ev = R"({"Action":"down","Type":1,"Button":1,"Delay":"1"})";
    EXPECT_EQ(CheckMacroFile(events(0, ev)), MacroFileCheck::Ok);
    EXPECT_EQ(CheckMacroFile(events(4000, ev)), MacroFileCheck::Ok);
    EXPECT_EQ(CheckMacroFile(events(4001, ev)), MacroFileCheck::TooManyEvents);
    EXPECT_EQ(CheckMacroFile(EventsDocument(ev + ",3")), MacroFileCheck::BadEvent);
    EXPECT_EQ(CheckMacroFile(R"({"MacroName":"x"})"), MacroFileCheck::NoEventArray);
    EXPECT_EQ(CheckMacroFile(R"({"Events":{}})"), MacroFileCheck::NoEventArray);
    EXPECT_EQ(CheckMacroFile("[]"), MacroFileCheck::NotObject);
    EXPECT_EQ(CheckMacroFile("Jump"), MacroFileCheck::NotJson);
    std::string big = EventsDocument("") + std::string(kMaxMacroFileBytes, ' ');
    EXPECT_EQ(CheckMacroFile(big), MacroFileCheck::TooLarge);
}

TEST(MacroLibraryFile, EntriesKeepTheirPlacesAndUnsafeIdentifiersAreDropped) {
    TempDir dir;
    WriteText(dir / "macro.config", R"({"MacroInfo":[
        {"MacroName":"a","Guid":"2024_01_01_00_00_00_001"},
        {"MacroName":"up","Guid":"../../victim"},
        "not an object",
        {"MacroName":"b","Guid":"x/y"},
        {"MacroName":7,"Guid":".."},
        {"MacroName":"c","Guid":5}
    ], "Other": true})");
    LibraryFileState state = LibraryFileState::Missing;
    auto entries = ReadMacroLibraryFile(dir / "macro.config", &state);
    EXPECT_EQ(state, LibraryFileState::Ok);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 6u);
    EXPECT_EQ((*entries)[0].id, "2024_01_01_00_00_00_001");
    for (std::size_t i = 1; i < 6; ++i) {
        EXPECT_EQ((*entries)[i].id, "") << i;
    }
    EXPECT_EQ((*entries)[1].name, "up");
    EXPECT_EQ((*entries)[2].name, "");
    EXPECT_EQ((*entries)[5].name, "c");
    EXPECT_EQ(ReadMacroNames(dir / "macro.config"),
              (std::vector<std::string>{"a", "up", "", "b", "", "c"}));
}

TEST(MacroLibraryFile, MissingIsEmptyUnreadableIsNot) {
    TempDir dir;
    LibraryFileState state = LibraryFileState::Ok;
    auto missing = ReadMacroLibraryFile(dir / "macro.config", &state);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->empty());
    EXPECT_EQ(state, LibraryFileState::Missing);
    for (const char* text : {"{ broken", "[1]", R"({"MacroInfo": {"a": 1}})", "\"s\""}) {
        WriteText(dir / "macro.config", text);
        EXPECT_FALSE(ReadMacroLibraryFile(dir / "macro.config", &state)) << text;
        EXPECT_EQ(state, LibraryFileState::Unreadable) << text;
        EXPECT_TRUE(ReadMacroNames(dir / "macro.config").empty());
    }
    EXPECT_EQ(MacroLibraryFileName(2), "macro.config");
    EXPECT_EQ(MacroLibraryFileName(9), "macro.config");
    EXPECT_EQ(MacroLibraryFileName(3), "zyrel_macro.config");
    EXPECT_EQ(MacroLibraryFileName(7), "zyrel_macro.config");
}

}  // namespace
}  // namespace q417
