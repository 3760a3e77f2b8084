#include "profiles/CJsonFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "platform/FileIo.h"
#include "platform/Trace.h"

namespace q417 {
namespace {

using Clock = std::chrono::system_clock;

// The last time stamp handed out in this process, so that two calls within one millisecond still
// produce two different identifiers.
std::mutex g_stampMutex;
Clock::time_point g_lastStamp{};

std::string FormatTimePoint(Clock::time_point tp) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(tp.time_since_epoch());
    std::time_t secs = static_cast<std::time_t>(ms.count() / 1000);
    int millis = static_cast<int>(ms.count() % 1000);
    if (millis < 0) {
        millis += 1000;
        --secs;
    }
    std::tm local{};
    localtime_r(&secs, &local);
    return CJsonFile::FormatTimeStampId(local, millis);
}

// Next stamp: now, or one millisecond past the last one handed out when the clock has not moved on.
Clock::time_point NextStamp() {
    std::lock_guard lock(g_stampMutex);
    auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(Clock::now());
    if (now <= g_lastStamp) {
        now = std::chrono::time_point_cast<std::chrono::milliseconds>(g_lastStamp +
                                                                      std::chrono::milliseconds(1));
    }
    g_lastStamp = now;
    return now;
}

void ReserveStamp(Clock::time_point tp) {
    std::lock_guard lock(g_stampMutex);
    if (tp > g_lastStamp) {
        g_lastStamp = tp;
    }
}

}  // namespace

std::string CJsonFile::readjsonFile(const std::string& path) {
    FileReadResult r = ReadWholeFile(path, kMaxDocumentBytes);
    int code = r.status == ReadStatus::Ok ? 0 : (errno != 0 ? errno : -1);
    if (TraceEnabled()) {
        char line[96];
        std::snprintf(line, sizeof line, "readjsonFile 错误吗：：%d\n", code);
        Trace(line);
        if (r.status != ReadStatus::Ok && r.status != ReadStatus::Missing) {
            Trace(r.error);
        }
    }
    if (r.status != ReadStatus::Ok) {
        return {};
    }
    return std::move(r.data);
}

Json::Value CJsonFile::ReadDocument(const std::string& path) {
    DocumentState state;
    return ReadDocument(path, state);
}

Json::Value CJsonFile::ReadDocument(const std::string& path, DocumentState& state) {
    FileReadResult r = ReadWholeFile(path, kMaxDocumentBytes);
    if (TraceEnabled()) {
        char line[96];
        std::snprintf(line, sizeof line, "readjsonFile 错误吗：：%d\n",
                      r.status == ReadStatus::Ok ? 0 : (errno != 0 ? errno : -1));
        Trace(line);
    }
    if (r.status == ReadStatus::Missing || (r.status == ReadStatus::Ok && r.data.empty())) {
        state = DocumentState::Missing;
        Trace(path);
        return Json::Value();
    }
    if (r.status != ReadStatus::Ok) {
        state = DocumentState::Unreadable;
        Trace(r.error);
        return Json::Value();
    }
    std::string_view text = r.data;
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Json::CharReaderBuilder builder;
    builder["allowComments"] = true;
    builder["collectComments"] = true;
    Json::Value root;
    std::string errors;
    bool ok = false;
    try {
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ok = reader->parse(text.data(), text.data() + text.size(), &root, &errors);
    } catch (const std::exception& e) {
        // jsoncpp throws when nesting exceeds its stack limit; that is just an unreadable file.
        errors = e.what();
        ok = false;
    }
    if (!ok) {
        state = DocumentState::Unreadable;
        Trace("cannot parse " + path + ": " + errors);
        return Json::Value();
    }
    state = DocumentState::Ok;
    return root;
}

bool CJsonFile::WriteDocument(const std::string& path, const Json::Value& value) {
    std::string text;
    try {
        text = value.toStyledString();
    } catch (const std::exception& e) {
        Trace("cannot format " + path + ": " + e.what());
        return false;
    }
    text.push_back('\n');
    std::string error;
    if (!WriteFileAtomically(path, text, &error)) {
        Trace("WriteDocument failed: " + error);
        return false;
    }
    return true;
}

std::string CJsonFile::KeepAside(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Trace("cannot keep " + path + " aside: not a regular file");
        return {};
    }
    std::string aside = path + ".unreadable-" + MakeTimeStampId();
    while (FileExists(aside)) {
        aside = path + ".unreadable-" + MakeTimeStampId();
    }
    if (std::rename(path.c_str(), aside.c_str()) != 0) {
        Trace("cannot keep " + path + " aside: " + std::strerror(errno));
        return {};
    }
    Trace("unreadable document kept as " + aside);
    return aside;
}

std::string CJsonFile::CopyAside(const std::string& path, std::string_view tag) {
    FileReadResult r = ReadWholeFile(path, kMaxDocumentBytes);
    if (r.status != ReadStatus::Ok) {
        Trace("cannot copy " + path + " aside: " + r.error);
        return {};
    }
    const std::string base = path + "." + std::string(tag) + "-";
    std::string copy = base + MakeTimeStampId();
    while (FileExists(copy)) {
        copy = base + MakeTimeStampId();
    }
    std::string error;
    if (!WriteFileAtomically(copy, r.data, &error)) {
        Trace("cannot copy " + path + " aside: " + error);
        return {};
    }
    Trace("old " + path + " kept as " + copy);
    return copy;
}

std::string CJsonFile::FileTitle(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot != 0) {
        name.erase(dot);
    }
    return name;
}

std::string CJsonFile::FormatTimeStampId(const std::tm& local, int milliseconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d_%02d_%02d_%02d_%02d_%02d_%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  milliseconds);
    return buf;
}

std::string CJsonFile::MakeTimeStampId() {
    return FormatTimePoint(NextStamp());
}

std::string CJsonFile::MakeTimeStampId(const std::string& folder) {
    Clock::time_point tp = NextStamp();
    std::string id = FormatTimePoint(tp);
    // Another process (or an older document) may already use the name: move on a millisecond.
    for (int i = 0; i < 100000 && FileExists(folder + id + ".Json"); ++i) {
        tp += std::chrono::milliseconds(1);
        id = FormatTimePoint(tp);
    }
    ReserveStamp(tp);
    return id;
}

}  // namespace q417
