#include "ui/dialogs/SkinSettings.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "platform/Folders.h"
#include "platform/Trace.h"
#include "ui/framework/CUiLoader.h"

namespace q417::ui {

namespace {
constexpr const char* kSection = "SKINIMAGE";
constexpr const char* kFlags = "FLAGS";
constexpr const char* kImage = "IMAGE";
constexpr const char* kColour = "COLOR";
}  // namespace

QString MainIniPath() {
    return QString::fromStdString(UserDataFolder()) + "main.ini";
}

bool SaveSkinChoice(const SkinChangedParam& param, bool isDefault) {
    // QSettings writes through a temporary file and a rename.
    QSettings ini(MainIniPath(), QSettings::IniFormat);
    ini.beginGroup(kSection);
    if (param.useColor) {
        ini.setValue(kFlags, QStringLiteral("2"));
        ini.setValue(kColour, QColor::fromRgb(param.backgroundColor).name(QColor::HexRgb));
    } else {
        ini.setValue(kFlags, isDefault ? QStringLiteral("0") : QStringLiteral("1"));
        ini.setValue(kImage, param.backgroundImage);
    }
    ini.endGroup();
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        Trace("skin: main.ini not written");
        return false;
    }
    return true;
}

QString ResolveSkinImage(const QString& image) {
    if (image.isEmpty()) {
        return {};
    }
    if (QDir::isAbsolutePath(image)) {
        return QDir::cleanPath(image);
    }
    const QString cleaned = QDir::cleanPath(QString(image).replace('\\', '/'));
    if (cleaned == ".." || cleaned.startsWith("../") || QDir::isAbsolutePath(cleaned)) {
        return {};
    }
    return CUiLoader::ResourcePath(cleaned);
}

std::optional<SkinChangedParam> ReadSavedSkin() {
    const QString path = MainIniPath();
    if (!QFileInfo(path).isFile()) {
        return std::nullopt;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        Trace("skin: main.ini unreadable");
        return std::nullopt;
    }
    ini.beginGroup(kSection);
    const QString flags = ini.value(kFlags).toString().trimmed();
    SkinChangedParam param;
    if (flags == "2") {
        const QColor colour(ini.value(kColour).toString().trimmed());
        if (!colour.isValid()) {
            return std::nullopt;
        }
        param.useColor = true;
        param.backgroundColor = colour.rgb() | 0xFF000000u;
        return param;
    }
    if (flags != "0" && flags != "1") {
        return std::nullopt;
    }
    param.backgroundImage = ini.value(kImage).toString();
    if (param.backgroundImage.isEmpty() && flags == "0") {
        param.backgroundImage = kDefaultSkinImage;
    }
    const QString file = ResolveSkinImage(param.backgroundImage);
    if (file.isEmpty() || !QFileInfo(file).isFile()) {
        Trace("skin: saved image refused or missing");
        return std::nullopt;
    }
    return param;
}

}  // namespace q417::ui
