#pragma once
// The recoil editor as a model: the four guns' working files in the device folder, their factory
// copies in the template folder, the selected gun and shot, and the operations on them. Nothing is
// cached: every display reads the working file again and every change rewrites it. Nothing here
// talks to the mouse (RecoilBlock.h writes the sequences).
#include <string>

#include "input/RecoilSequence.h"

namespace q417 {

enum class RecoilFileResult {
    Ok,
    NoPath,         // an empty path: nothing done
    BadGun,         // gun outside 0-3
    SourceMissing,  // the file to copy does not exist
    SourceInvalid,  // the file to copy cannot be read or is not a sequence document
    WriteFailed,    // the target could not be written; it is unchanged
};
const char* RecoilFileResultText(RecoilFileResult result);

class RecoilGuns {
public:
    // Folders end with a separator ("/"); one is added when missing.
    void SetDeviceFolder(std::string folder);
    void SetTemplateFolder(std::string folder);
    const std::string& DeviceFolder() const { return deviceFolder_; }

    std::string WorkingPath(int gun) const;
    std::string FactoryPath(int gun) const;

    // Makes sure every gun has a working file: one that is missing or does not parse is replaced
    // by the factory copy (an unparsable one is first kept aside). Returns the number of guns whose
    // working file is usable afterwards.
    int PrepareGuns();

    int SelectedGun() const { return gun_; }
    int SelectedShot() const { return shot_; }
    // Clamped to 0-3; the selected shot stays.
    void SelectGun(int gun);
    // Clamped to 0-29; returns the shot to show (of the selected gun).
    RecoilShot SelectBullet(int shot);
    RecoilShot PrevBullet() { return SelectBullet(shot_ - 1); }
    RecoilShot NextBullet() { return SelectBullet(shot_ + 1); }

    // Shot of a gun's working file; zeros and "up" directions when it is missing or unreadable.
    RecoilShot ShowBullet(int gun, int shot) const;
    // Stores the shot's six events into the gun's working file (other shots and other members stay;
    // a short array grows, with null events in between). A working file that does not parse is
    // kept aside and a new one started. False when the gun or shot is out of range or the write
    // failed (the old file is then unchanged).
    bool SaveBullet(int gun, int shot, const RecoilShot& value);

    // Replaces a gun's working file by its factory copy, byte for byte. Without a usable factory
    // copy the working file is left as it is.
    RecoilFileResult ResetGun(int gun);
    // Copies a sequence file over the selected gun's working file. Only a JSON object whose
    // "Events" is an array is accepted; events beyond the 30 shots are dropped.
    RecoilFileResult ImportGun(const std::string& path);
    // Copies the selected gun's working file to path.
    RecoilFileResult ExportGun(const std::string& path) const;

    // The four guns' events for the device block (a missing or unreadable file has none).
    RecoilSet ReadAll() const;

private:
    std::string deviceFolder_;
    std::string templateFolder_;
    int gun_ = 0;
    int shot_ = 0;
};

}  // namespace q417
