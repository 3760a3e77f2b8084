#include "input/RecoilGuns.h"

#include <algorithm>

#include "platform/FileIo.h"
#include "profiles/CJsonFile.h"

namespace q417 {

namespace {

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

bool ValidGun(int gun) {
    return gun >= 0 && gun < kRecoilGunCount;
}

// The bytes of a sequence file that may be copied over a working file.
RecoilFileResult ReadSequenceBytes(const std::string& path, std::string& bytes,
                                   std::optional<ShootFile>* parsed = nullptr) {
    FileReadResult r = ReadWholeFile(path, kMaxShootFileBytes);
    if (r.status == ReadStatus::Missing) {
        return RecoilFileResult::SourceMissing;
    }
    if (r.status != ReadStatus::Ok) {
        return RecoilFileResult::SourceInvalid;
    }
    std::optional<ShootFile> file = ParseShootFile(r.data);
    const Json::Value* events =
        file ? &static_cast<const Json::Value&>(file->document)["Events"] : nullptr;
    if (events == nullptr || !events->isArray()) {
        return RecoilFileResult::SourceInvalid;
    }
    bytes = std::move(r.data);
    if (parsed != nullptr) {
        *parsed = std::move(file);
    }
    return RecoilFileResult::Ok;
}

}  // namespace

const char* RecoilFileResultText(RecoilFileResult result) {
    switch (result) {
        case RecoilFileResult::Ok:
            return "done";
        case RecoilFileResult::NoPath:
            return "no file chosen";
        case RecoilFileResult::BadGun:
            return "no such gun";
        case RecoilFileResult::SourceMissing:
            return "the file does not exist";
        case RecoilFileResult::SourceInvalid:
            return "the file is not a recoil sequence";
        case RecoilFileResult::WriteFailed:
            return "the file could not be written";
    }
    return "unknown result";
}

void RecoilGuns::SetDeviceFolder(std::string folder) {
    deviceFolder_ = WithSeparator(std::move(folder));
}

void RecoilGuns::SetTemplateFolder(std::string folder) {
    templateFolder_ = WithSeparator(std::move(folder));
}

std::string RecoilGuns::WorkingPath(int gun) const {
    return deviceFolder_ + ShootFileName(gun);
}

std::string RecoilGuns::FactoryPath(int gun) const {
    return templateFolder_ + ShootFileName(gun);
}

int RecoilGuns::PrepareGuns() {
    int usable = 0;
    for (int gun = 0; gun < kRecoilGunCount; ++gun) {
        ShootFileState state = ShootFileState::Ok;
        if (ReadShootFile(WorkingPath(gun), &state)) {
            ++usable;
            continue;
        }
        std::string factory;
        if (ReadSequenceBytes(FactoryPath(gun), factory) != RecoilFileResult::Ok) {
            continue;  // nothing better to put there: the working file stays as it is
        }
        // The user's file is kept before the factory copy replaces it.
        if (state == ShootFileState::Unreadable && CJsonFile::KeepAside(WorkingPath(gun)).empty()) {
            continue;
        }
        if (WriteFileAtomically(WorkingPath(gun), factory)) {
            ++usable;
        }
    }
    return usable;
}

void RecoilGuns::SelectGun(int gun) {
    gun_ = std::clamp(gun, 0, kRecoilGunCount - 1);
}

RecoilShot RecoilGuns::SelectBullet(int shot) {
    shot_ = std::clamp(shot, 0, kRecoilShotCount - 1);
    return ShowBullet(gun_, shot_);
}

RecoilShot RecoilGuns::ShowBullet(int gun, int shot) const {
    if (!ValidGun(gun)) {
        return {};
    }
    std::optional<ShootFile> file = ReadShootFile(WorkingPath(gun));
    if (!file) {
        return {};
    }
    const Json::Value& root = file->document;
    return ShotFromEvents(root["Events"], shot);
}

bool RecoilGuns::SaveBullet(int gun, int shot, const RecoilShot& value) {
    if (!ValidGun(gun) || shot < 0 || shot >= kRecoilShotCount) {
        return false;
    }
    std::string path = WorkingPath(gun);
    ShootFileState state = ShootFileState::Ok;
    std::optional<ShootFile> file = ReadShootFile(path, &state);
    Json::Value document(Json::objectValue);
    if (file) {
        document = std::move(file->document);
    } else if (state == ShootFileState::Unreadable && CJsonFile::KeepAside(path).empty()) {
        return false;  // never write over a file we could neither read nor keep
    }
    Json::Value& events = document["Events"];
    if (!events.isArray()) {
        events = Json::Value(Json::arrayValue);
    }
    std::size_t base = kEventsPerShot * static_cast<std::size_t>(shot);
    if (events.size() < base + kEventsPerShot) {
        events.resize(static_cast<Json::ArrayIndex>(base + kEventsPerShot));
    }
    std::array<MacroEvent, kEventsPerShot> shotEvents = ShotEvents(value);
    for (std::size_t i = 0; i < kEventsPerShot; ++i) {
        events[static_cast<Json::ArrayIndex>(base + i)] =
            MacroEventToJson(shotEvents[i], DelayForm::Integer);
    }
    return WriteShootFile(path, document);
}

RecoilFileResult RecoilGuns::ResetGun(int gun) {
    if (!ValidGun(gun)) {
        return RecoilFileResult::BadGun;
    }
    std::string bytes;
    RecoilFileResult r = ReadSequenceBytes(FactoryPath(gun), bytes);
    if (r != RecoilFileResult::Ok) {
        return r;
    }
    return WriteFileAtomically(WorkingPath(gun), bytes) ? RecoilFileResult::Ok
                                                        : RecoilFileResult::WriteFailed;
}

RecoilFileResult RecoilGuns::ImportGun(const std::string& path) {
    if (path.empty()) {
        return RecoilFileResult::NoPath;
    }
    std::string bytes;
    std::optional<ShootFile> file;
    RecoilFileResult r = ReadSequenceBytes(path, bytes, &file);
    if (r != RecoilFileResult::Ok) {
        return r;
    }
    bool written = false;
    if (file->fileEventCount > kMaxRecoilEvents) {
        // More than 30 shots: the surplus could never be shown or sent.
        file->document["Events"].resize(static_cast<Json::ArrayIndex>(kMaxRecoilEvents));
        written = WriteShootFile(WorkingPath(gun_), file->document);
    } else {
        written = WriteFileAtomically(WorkingPath(gun_), bytes);
    }
    return written ? RecoilFileResult::Ok : RecoilFileResult::WriteFailed;
}

RecoilFileResult RecoilGuns::ExportGun(const std::string& path) const {
    if (path.empty()) {
        return RecoilFileResult::NoPath;
    }
    FileReadResult r = ReadWholeFile(WorkingPath(gun_), kMaxShootFileBytes);
    if (r.status == ReadStatus::Missing) {
        return RecoilFileResult::SourceMissing;
    }
    if (r.status != ReadStatus::Ok) {
        return RecoilFileResult::SourceInvalid;
    }
    return WriteFileAtomically(path, r.data) ? RecoilFileResult::Ok : RecoilFileResult::WriteFailed;
}

RecoilSet RecoilGuns::ReadAll() const {
    RecoilSet set;
    for (int gun = 0; gun < kRecoilGunCount; ++gun) {
        if (std::optional<ShootFile> file = ReadShootFile(WorkingPath(gun))) {
            set[static_cast<std::size_t>(gun)] = std::move(file->events);
        }
    }
    return set;
}

}  // namespace q417
