// q417ctl script FILE: command lines run one after another in this process, so that they share
// one running device manager (and, with --demo, one emulated bus).
#include <json/json.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliCommands.h"

namespace q417::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// A script file is text typed by a person; anything this large is not one.
constexpr std::size_t kMaxScriptBytes = 1 << 20;

// Splits a line into words as a shell would for simple cases: blanks separate words, "..." and
// '...' keep blanks inside a word (a profile name with spaces), and a backslash inside double
// quotes escapes the next character. A '#' at the start of a word begins a comment. nullopt for
// an unterminated quote.
std::optional<std::vector<std::string>> SplitLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        if (c == '#' && !inWord) {
            break;
        }
        if (c == '"' || c == '\'') {
            const char quote = c;
            std::size_t j = i + 1;
            for (; j < line.size() && line[j] != quote; ++j) {
                if (quote == '"' && line[j] == '\\' && j + 1 < line.size()) {
                    ++j;
                }
                word += line[j];
            }
            if (j >= line.size()) {
                return std::nullopt;
            }
            inWord = true;
            i = j;
            continue;
        }
        word += c;
        inWord = true;
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

int RunSleep(const CliContext& ctx, const std::vector<std::string>& words) {
    long long ms = -1;
    if (words.size() == 2) {
        const std::string& a = words[1];
        auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), ms);
        if (ec != std::errc() || end != a.data() + a.size()) {
            ms = -1;
        }
    }
    if (ms < 0 || ms > 24LL * 3600 * 1000) {
        return ctx.Fail("usage: sleep MS", kExitUsage);
    }
    // The event loop and the devices run on their own threads meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (ctx.json) {
        Json::Value doc(Json::objectValue);
        doc["ok"] = true;
        doc["command"] = "sleep";
        doc["ms"] = Json::Int64(ms);
        ctx.PrintJson(doc);
    }
    return 0;
}

}  // namespace

int RunScript(CliContext& ctx, CliArgs args) {
    if (args.size() != 1) {
        return ctx.Fail("usage: script FILE", kExitUsage);
    }
    const std::string& path = args[0];
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return ctx.Fail("script: cannot read " + path, kExitFailed);
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (text.str().size() > kMaxScriptBytes) {
        return ctx.Fail("script: " + path + " is larger than 1 MiB", kExitFailed);
    }
    std::istringstream lines(text.str());
    std::string line;
    int lineNumber = 0;
    int failed = 0;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::optional<std::vector<std::string>> words = SplitLine(line);
        int code = 0;
        if (!words) {
            code = ctx.Fail("unterminated quote", kExitUsage);
        } else if (words->empty()) {
            continue;
        } else if ((*words)[0] == "sleep") {
            code = RunSleep(ctx, *words);
        } else if ((*words)[0] == "script") {
            code = ctx.Fail("a script cannot run another script", kExitUsage);
        } else {
            code = RunCommandLine(ctx, *words);
        }
        ctx.out->flush();
        if (code != 0) {
            ++failed;
            *ctx.err << "q417ctl: " << path << ':' << lineNumber << ": failed with exit code "
                     << code << '\n';
        }
    }
    return failed == 0 ? 0 : kExitFailed;
}

}  // namespace q417::cli
