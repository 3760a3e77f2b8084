#include "app/FontLoader.h"

#include <QFile>
#include <QFontDatabase>

#include "platform/Folders.h"

namespace q417::ui {

const QStringList& CFontLoader::FontFiles() {
    static const QStringList files{"Simplified_Chinese.ttf",   "Halvex-Regular.otf",
                                   "NotoSansThai-Regular.ttf", "NotoSansCJKtc-Regular.otf",
                                   "MiSans-Normal.ttf",        "MiSans-Demibold.ttf",
                                   "MiSans-Semibold.ttf",      "MiSans-Light.ttf"};
    return files;
}

CFontLoader::~CFontLoader() {
    for (auto it = ids_.rbegin(); it != ids_.rend(); ++it) {
        QFontDatabase::removeApplicationFont(*it);
    }
}

QStringList CFontLoader::DefaultFolders() {
    QStringList folders{QString::fromStdString(ProgramFolder()) + "Font/"};
    const QString data = QString::fromStdString(DataFolder()) + "Font/";
    if (!folders.contains(data)) {
        folders << data;
    }
    return folders;
}

int CFontLoader::Load(const QStringList& fontFolders) {
    int loaded = 0;
    for (const QString& file : FontFiles()) {
        for (const QString& folder : fontFolders) {
            const QString path = folder + file;
            if (!QFile::exists(path)) {
                continue;
            }
            const int id = QFontDatabase::addApplicationFont(path);
            if (id >= 0) {
                ids_.push_back(id);
                ++loaded;
                break;
            }
        }
    }
    return loaded;
}

QString CFontLoader::UiFontFamily() {
    const QStringList families = QFontDatabase::families();
    for (const QString& wanted : {QStringLiteral("MiSans Normal"), QStringLiteral("MiSans")}) {
        if (families.contains(wanted)) {
            return wanted;
        }
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

}  // namespace q417::ui
