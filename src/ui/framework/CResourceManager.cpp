#include "ui/framework/CResourceManager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QXmlStreamReader>

#include "platform/Trace.h"
#include "ui/framework/CUiLoader.h"

namespace q417::ui {

CResourceManager& CResourceManager::GetInstance() {
    static CResourceManager manager;
    return manager;
}

bool CResourceManager::LoadLanguage(const QString& fileName) {
    // Language files are plain names inside the skin folder.
    if (fileName.isEmpty() || fileName.contains('/') || fileName.contains('\\') ||
        fileName.startsWith('.')) {
        Trace("language: refused file name " + fileName.toStdString());
        return false;
    }
    QFile file(CUiLoader::ResourcePath(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        Trace("language: cannot read " + fileName.toStdString());
        return false;
    }
    QHash<QString, QString> texts;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Text") {
            const QString id = xml.attributes().value("id").toString();
            const QString wording = xml.readElementText();
            if (!id.isEmpty()) {
                texts.insert(id, wording);
            }
        }
    }
    if (xml.hasError()) {
        Trace("language: " + fileName.toStdString() + ": " + xml.errorString().toStdString());
        return false;
    }
    texts_ = std::move(texts);
    file_ = fileName;
    return true;
}

QString CResourceManager::Text(const QString& key) const {
    return texts_.value(key, key);
}

void CResourceManager::SetTextId(QWidget* control, const QString& key) const {
    if (control) {
        control->setProperty("textid", key);
        ApplyTo(control);
    }
}

void CResourceManager::ApplyTo(QWidget* w) const {
    const QString textId = w->property("textid").toString();
    if (!textId.isEmpty()) {
        const QString text = Text(textId);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            button->setText(text);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            edit->setPlaceholderText(text);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            group->setTitle(text);
        } else if (w->isWindow()) {
            w->setWindowTitle(text);
        }
    }
    const QString tipId = w->property("tooltipid").toString();
    if (!tipId.isEmpty()) {
        w->setToolTip(Text(tipId));
    }
    const QString itemIds = w->property("itemids").toString();
    if (!itemIds.isEmpty()) {
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            const QStringList keys = itemIds.split(';', Qt::SkipEmptyParts);
            for (int i = 0; i < keys.size() && i < combo->count(); ++i) {
                combo->setItemText(i, Text(keys[i].trimmed()));
            }
        }
    }
}

void CResourceManager::ReloadText(QWidget* root) const {
    if (!root) {
        return;
    }
    ApplyTo(root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        ApplyTo(w);
    }
}

void CResourceManager::ReloadAllText() const {
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        ReloadText(w);
    }
}

}  // namespace q417::ui
