#pragma once
// The skin choice remembered in the user data folder's "main.ini", section "SKINIMAGE":
//   FLAGS = "1": IMAGE holds the chosen image (skin-relative or absolute)
//   FLAGS = "0": the default background (IMAGE = "common/background.png")
//   FLAGS = "2": COLOR holds the chosen background colour ("#RRGGBB")
// Values go through QSettings, so paths with ';', '=', '[' or line breaks come back intact.
#include <QString>
#include <optional>

#include "ui/dialogs/CSkinSubject.h"

namespace q417::ui {

inline const QString kDefaultSkinImage = QStringLiteral("common/background.png");

QString MainIniPath();

// Records the choice; isDefault marks the reset to the default image. False when the file
// could not be written.
bool SaveSkinChoice(const SkinChangedParam& param, bool isDefault = false);

// The remembered choice; nothing when main.ini is missing or unreadable, names no valid choice,
// or names an image that does not exist or lies outside the skin folder (relative paths).
std::optional<SkinChangedParam> ReadSavedSkin();

// The file an image of a SkinChangedParam names: a relative path inside the skin folder, or an
// absolute path as given. Empty when a relative path leaves the skin folder.
QString ResolveSkinImage(const QString& image);

}  // namespace q417::ui
