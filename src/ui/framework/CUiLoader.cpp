#include "ui/framework/CUiLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include "platform/Folders.h"
#include "platform/Trace.h"
#include "ui/framework/CControlFactory.h"
#include "ui/framework/CNotifyBridge.h"

namespace q417::ui {

namespace {
QString& RootStorage() {
    static QString root;
    return root;
}
bool& IndexLoaded() {
    static bool loaded = false;
    return loaded;
}
// Layout ids are matched without regard to case and to the separator style.
QString IndexKey(const QString& id) {
    return QString(id).replace('\\', '/').toLower();
}
}  // namespace

CUiLoader::CUiLoader(QObject* parent) : QUiLoader(parent) {}

QWidget* CUiLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
    if (QWidget* own = CControlFactory::Instance().CreateControl(className, parent)) {
        own->setObjectName(name);
        return own;
    }
    return QUiLoader::createWidget(className, parent, name);
}

void CUiLoader::SetResourceRoot(const QString& root) {
    // An empty root goes back to the application's resource root.
    RootStorage() = root.isEmpty() || root.endsWith('/') ? root : root + '/';
    QDir::setSearchPaths("skin", {ResourceRoot()});
    IndexLoaded() = false;
    Index().clear();
}

QString CUiLoader::ResourceRoot() {
    if (RootStorage().isEmpty()) {
        RootStorage() = QString::fromStdString(q417::ResourceRoot());
        // Style sheets name their pictures "skin:…".
        QDir::setSearchPaths("skin", {RootStorage()});
    }
    return RootStorage();
}

QHash<QString, QString>& CUiLoader::Index() {
    static QHash<QString, QString> index;
    return index;
}

void CUiLoader::LoadIndex() {
    if (IndexLoaded()) {
        return;
    }
    IndexLoaded() = true;
    QFile file(ResourceRoot() + "res.xml");
    if (!file.open(QIODevice::ReadOnly)) {
        Trace("skin: res.xml missing in " + ResourceRoot().toStdString());
        return;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Layout") {
            const auto attrs = xml.attributes();
            const QString id = attrs.value("id").toString();
            const QString target = attrs.value("file").toString();
            if (!id.isEmpty() && !target.isEmpty()) {
                Index().insert(IndexKey(id), target);
            }
        }
    }
    if (xml.hasError()) {
        Trace("skin: res.xml: " + xml.errorString().toStdString());
    }
}

QString CUiLoader::ResolveLayout(const QString& idOrFile) {
    LoadIndex();
    QString relative = Index().value(IndexKey(idOrFile));
    if (relative.isEmpty()) {
        relative = QString(idOrFile).replace('\\', '/');
    }
    // Layout names never leave the skin folder.
    const QString cleaned = QDir::cleanPath(relative);
    if (cleaned.startsWith("..") || QDir::isAbsolutePath(cleaned)) {
        return {};
    }
    const QString path = ResourceRoot() + cleaned;
    return QFileInfo::exists(path) ? path : QString();
}

QString CUiLoader::ResourcePath(const QString& relative) {
    return ResourceRoot() + QDir::cleanPath(QString(relative).replace('\\', '/'));
}

QWidget* CUiLoader::Build(const QString& idOrFile, QWidget* parent) {
    const QString path = ResolveLayout(idOrFile);
    if (path.isEmpty()) {
        Trace("skin: no layout " + idOrFile.toStdString());
        return nullptr;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Trace("skin: cannot read " + path.toStdString());
        return nullptr;
    }
    CUiLoader loader;
    loader.setWorkingDirectory(QFileInfo(path).dir());
    QWidget* root = loader.load(&file, parent);
    if (!root) {
        Trace("skin: " + path.toStdString() + ": " + loader.errorString().toStdString());
        return nullptr;
    }
    CNotifyBridge::Attach(root);
    return root;
}

}  // namespace q417::ui
