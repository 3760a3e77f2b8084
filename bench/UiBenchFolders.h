#pragma once
// Shared by the desktop application's benches: the offscreen platform and scratch data and
// settings folders, so that a bench run never touches the user's profiles or language choice.
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Folders.h"
#include "platform/SettingsStore.h"

namespace q417::bench {

// Create before the QApplication; the folders go when the object does.
class UiBenchFolders {
public:
    UiBenchFolders() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        FolderRedirects redirects;
        redirects.userData = scratch_.path().toStdString() + "/data/";
        SetFolderRedirects(redirects);
        SettingsStore::SetFolderRedirect(scratch_.path().toStdString() + "/config/");
    }
    ~UiBenchFolders() {
        SettingsStore::SetFolderRedirect(std::nullopt);
        SetFolderRedirects({});
    }
    UiBenchFolders(const UiBenchFolders&) = delete;
    UiBenchFolders& operator=(const UiBenchFolders&) = delete;

private:
    QTemporaryDir scratch_;
};

}  // namespace q417::bench
