#pragma once
// Language-keyed texts. A language file of the skin lists <Text id="key">wording</Text>; a
// control shows a text by carrying its key in the dynamic property "textid" (and "tooltipid"
// for its tool tip, "itemids" — keys joined by ';' — for the items of a combo box). Reloading
// re-applies every key of a tree, so a language switch changes visible texts at once.
#include <QHash>
#include <QString>
#include <QWidget>

namespace q417::ui {

class CResourceManager {
public:
    static CResourceManager& GetInstance();

    // Loads a language file of the resource root ("lan_en.xml"); false (texts unchanged) when
    // it cannot be read or parsed.
    bool LoadLanguage(const QString& fileName);
    void SetLanguage(const QString& name) { language_ = name; }
    QString GetLanguage() const { return language_; }
    QString LanguageFile() const { return file_; }

    // The wording of a key; the key itself when the language has none (so a missing text is
    // visible rather than blank).
    QString Text(const QString& key) const;
    bool HasText(const QString& key) const { return texts_.contains(key); }
    // Applies the keys of root's tree (root included).
    void ReloadText(QWidget* root) const;
    // Every top-level window of the application.
    void ReloadAllText() const;

    // Sets a control's text key and shows its wording.
    void SetTextId(QWidget* control, const QString& key) const;

private:
    void ApplyTo(QWidget* w) const;

    QHash<QString, QString> texts_;
    QString language_;
    QString file_;
};

}  // namespace q417::ui
