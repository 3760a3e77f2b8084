#pragma once
// Indexed control names: "color_option_12" splits at its last underscore into the prefix with
// the underscore ("color_option_") and the decimal index that follows (12). A name without an
// underscore, or whose tail is not a decimal number, has no index (-1).
#include <QString>

namespace q417::ui {

struct IndexedName {
    QString prefix;
    int index = -1;
};

inline IndexedName SplitIndexedName(const QString& name) {
    const qsizetype at = name.lastIndexOf('_');
    if (at < 0 || at + 1 >= name.size()) {
        return {name, -1};
    }
    bool ok = false;
    const QString tail = name.mid(at + 1);
    const int index = tail.toInt(&ok, 10);
    // Only plain digits: "+1", " 1" or "1e3" are not indexes.
    for (QChar c : tail) {
        if (!c.isDigit()) {
            ok = false;
        }
    }
    if (!ok || index < 0) {
        return {name, -1};
    }
    return {name.left(at + 1), index};
}

}  // namespace q417::ui
