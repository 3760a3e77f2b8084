#pragma once
// The application's own fonts, registered for this process only. Files that are missing or
// unreadable are skipped silently; the fonts go again, in reverse order, when the loader goes.
#include <QString>
#include <QStringList>
#include <vector>

namespace q417::ui {

class CFontLoader {
public:
    // The font files, relative to a "Font" folder, in loading order.
    static const QStringList& FontFiles();

    CFontLoader() = default;
    ~CFontLoader();
    CFontLoader(const CFontLoader&) = delete;
    CFontLoader& operator=(const CFontLoader&) = delete;

    // Loads every file from the first folder (ending in '/') that holds it. Returns how many
    // were registered.
    int Load(const QStringList& fontFolders);
    // The program's "Font/" folder, then the data folder's (a build tree keeps them there).
    static QStringList DefaultFolders();
    int LoadedCount() const { return static_cast<int>(ids_.size()); }
    // Qt's ids of the registered fonts, in loading order.
    const std::vector<int>& Ids() const { return ids_; }

    // The UI font face: "MiSans Normal" when it is available, the system's sans font otherwise.
    static QString UiFontFamily();

private:
    std::vector<int> ids_;
};

}  // namespace q417::ui
