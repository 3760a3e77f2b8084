#pragma once
// Builds a control tree from a Qt Designer layout file of the skin. Our own control classes
// come from the control factory; everything else is Qt's. Layouts are named either by their
// file (relative to the resource root) or by an identifier listed in the skin's "res.xml"
// (<Layout id="XML_MAIN" file="main.ui"/>), which also maps the layout paths other code uses
// ("XML\CustomControlXML\MpDevicePower.xml") to files.
#include <QHash>
#include <QString>
#include <QUiLoader>
#include <QWidget>

namespace q417::ui {

class CUiLoader : public QUiLoader {
    Q_OBJECT
public:
    explicit CUiLoader(QObject* parent = nullptr);

    QWidget* createWidget(const QString& className, QWidget* parent = nullptr,
                          const QString& name = QString()) override;

    // The skin folder (ends with '/'); by default the application's resource root. Changing it
    // drops the loaded index.
    static void SetResourceRoot(const QString& root);
    static QString ResourceRoot();

    // The file a layout identifier or path names; empty when it cannot be found.
    static QString ResolveLayout(const QString& idOrFile);
    // A skin file (image, style sheet) as an absolute path.
    static QString ResourcePath(const QString& relative);

    // Builds the layout; null (and a trace line) when the file is missing or does not parse.
    static QWidget* Build(const QString& idOrFile, QWidget* parent);

private:
    static QHash<QString, QString>& Index();
    static void LoadIndex();
};

}  // namespace q417::ui
