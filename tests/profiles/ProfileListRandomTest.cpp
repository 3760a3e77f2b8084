// Long random sequences of list operations by two objects sharing one device folder (so that one
// of them often works from a stale copy). After every step the files on disk must agree with each
// other and with a small model of the expected list.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "ProfileListTestUtil.h"
#include "profiles/CProfileList.h"

namespace q417 {
namespace {

using listtest::JsonFilesIn;
using listtest::ParseFile;
using R = ProfileListResult;

struct ModelEntry {
    std::string name;
    std::string id;
};

struct Model {
    std::vector<ModelEntry> entries;
    int select = 0;

    bool Taken(const std::string& name, int except = -1) const {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (static_cast<int>(i) != except && CProfileList::SameName(entries[i].name, name)) {
                return true;
            }
        }
        return false;
    }
    int IndexOf(const std::string& id) const {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].id == id) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

// The list as it is on disk, after checking that list file and documents agree.
Model CheckDisk(const std::string& folder, std::string* problem) {
    Model m;
    Json::Value file = ParseFile(folder + "ProfileList.ini");
    const Json::Value& items = file["profilelist"];
    if (!items.isArray() || items.empty() || items.size() > kMaxProfiles) {
        *problem = "list size out of 1..50";
        return m;
    }
    std::set<std::string> ids;
    for (const Json::Value& item : items) {
        ModelEntry e{item["profilename"].asString(), item["profileUUID"].asString()};
        if (item["profileislink"] != Json::Value(0) || item["profilelinkmame"] != Json::Value("")) {
            *problem = "link members of " + e.id;
        }
        Json::Value doc = ParseFile(folder + e.id + ".Json");
        if (!doc.isObject() || doc["profileUUID"].asString() != e.id ||
            doc["profilename"].asString() != e.name || doc["TemplateMark"].isNull()) {
            *problem = "document of " + e.id + " does not match its entry";
        }
        if (m.Taken(e.name)) {
            *problem = "duplicate name " + e.name;
        }
        ids.insert(e.id);
        m.entries.push_back(e);
    }
    std::vector<std::string> docs = JsonFilesIn(folder);
    if (docs.size() != ids.size()) {
        *problem = "documents without an entry: " + std::to_string(docs.size()) + " files, " +
                   std::to_string(ids.size()) + " entries";
    }
    const Json::Value& select = file["profileselect"];
    if (!select.isInt() || select.asInt() < 0 || select.asInt() >= static_cast<int>(items.size())) {
        *problem = "selection out of range";
    }
    m.select = select.isInt() ? select.asInt() : -1;
    return m;
}

std::string FirstFreeProfileName(const Model& m) {
    for (int k = 1;; ++k) {
        std::string name = "Profile" + std::to_string(k);
        if (!m.Taken(name)) {
            return name;
        }
    }
}

TEST(ProfileListRandom, LongSequencesKeepListAndDocumentsInAgreement) {
    std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "";
    listtest::ListFixtureFolders folders(base);
    CProfileList lists[2];
    for (CProfileList& l : lists) {
        folders.Bind(l);
        ASSERT_EQ(l.Initialise(), R::Done);
    }
    // Import sources whose titles collide with each other and with generated names.
    std::vector<std::pair<std::string, std::string>> imports;  // path, title
    for (const char* title : {"abc", "ABC", "Profile2", "Game copy", "Éte"}) {
        std::string path = folders.root.path() + title + ".json";
        Json::Value doc = listtest::SmallTemplate();
        doc["profilename"] = "inside";
        doc["profileUUID"] = "inside";
        listtest::WriteJson(path, doc);
        imports.emplace_back(path, title);
    }
    const std::vector<std::string> renames = {"Game", "game",   "Game copy", "Profile1", "profile3",
                                              "  ",   "abc(1)", "Éte",       "éTE",      "x"};

    std::mt19937 rng(20261209);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    std::string problem;
    Model m = CheckDisk(folders.device, &problem);
    ASSERT_TRUE(problem.empty()) << problem;

    for (int step = 0; step < 1500; ++step) {
        CProfileList& l = lists[pick(2)];
        // The target: the object's own selection or an entry of its (possibly stale) copy.
        std::string target = l.GetCurrentId();
        if (pick(2) == 0 && l.GetCount() > 0) {
            target = l.Entries()[static_cast<std::size_t>(pick(l.GetCount()))].id;
        }
        const std::string selectedId = m.entries[static_cast<std::size_t>(m.select)].id;
        int t = m.IndexOf(target);
        int op = pick(100);
        std::string what;
        R got = R::Done;
        R want = R::Done;
        Model next = m;
        if (op < 25) {
            what = "add";
            got = l.AddProfile();
            if (m.entries.size() >= kMaxProfiles) {
                want = R::ListFull;
            } else {
                next.entries.push_back({FirstFreeProfileName(m), ""});
            }
        } else if (op < 40) {
            what = "copy";
            got = l.CopyProfile(target, nullptr);
            if (m.entries.size() >= kMaxProfiles) {
                want = R::ListFull;
            } else if (t < 0) {
                want = R::NoSelection;
            } else {
                std::string name = m.entries[static_cast<std::size_t>(t)].name + " copy";
                while (m.Taken(name)) {
                    name += " copy";
                }
                next.entries.push_back({name, ""});
            }
        } else if (op < 62) {
            what = "delete";
            got = l.DeleteProfile(target);
            if (t < 0) {
                want = R::NoSelection;
            } else if (m.entries.size() <= 1) {
                want = R::LastEntry;
            } else {
                next.entries.erase(next.entries.begin() + t);
                if (t == m.select) {
                    next.select = m.select == 0 ? 0 : m.select - 1;
                } else if (t < m.select) {
                    next.select = m.select - 1;
                }
            }
        } else if (op < 77) {
            std::string name = renames[static_cast<std::size_t>(pick(renames.size()))];
            what = "rename to '" + name + "'";
            got = l.RenameProfile(target, name);
            if (CProfileList::IsBlank(name)) {
                want = R::NameBlank;
            } else if (t < 0) {
                want = R::NoSelection;
            } else if (m.Taken(name, t)) {
                want = R::NameTaken;
            } else {
                next.entries[static_cast<std::size_t>(t)].name = name;
            }
        } else if (op < 87) {
            const auto& [path, title] = imports[static_cast<std::size_t>(pick(imports.size()))];
            what = "import " + title;
            got = l.ImportProfile(path);
            if (m.entries.size() >= kMaxProfiles) {
                want = R::ListFull;
            } else {
                std::string name = title;
                for (int k = 1; m.Taken(name); ++k) {
                    name += "(" + std::to_string(k) + ")";
                }
                next.entries.push_back({name, ""});
            }
        } else if (op < 97) {
            int index = pick(static_cast<int>(m.entries.size()) + 2) - 1;  // -1 .. count
            what = "select " + std::to_string(index);
            got = l.Select(index);
            if (index < 0 || index >= static_cast<int>(m.entries.size())) {
                want = R::NoSelection;
            } else {
                next.select = index;
            }
        } else {
            what = "reload";
            got = l.Reload();
        }
        ASSERT_EQ(got, want) << "step " << step << ": " << what;

        Model disk = CheckDisk(folders.device, &problem);
        ASSERT_TRUE(problem.empty()) << "step " << step << ": " << what << ": " << problem;
        ASSERT_EQ(disk.entries.size(), next.entries.size()) << "step " << step << ": " << what;
        for (std::size_t i = 0; i < disk.entries.size(); ++i) {
            ASSERT_EQ(disk.entries[i].name, next.entries[i].name)
                << "step " << step << ": " << what;
            if (!next.entries[i].id.empty()) {
                ASSERT_EQ(disk.entries[i].id, next.entries[i].id)
                    << "step " << step << ": " << what;
            }
        }
        ASSERT_EQ(disk.select, next.select) << "step " << step << ": " << what;
        // Only select and delete move the selection off its profile.
        if (what.rfind("select", 0) != 0 && what != "delete") {
            ASSERT_EQ(disk.entries[static_cast<std::size_t>(disk.select)].id, selectedId);
        }
        // The object that acted holds what is on disk.
        ASSERT_EQ(l.GetCount(), static_cast<int>(disk.entries.size()))
            << "step " << step << ": " << what;
        ASSERT_EQ(l.GetCurSel(), disk.select) << "step " << step << ": " << what;
        m = disk;
    }
}

}  // namespace
}  // namespace q417
