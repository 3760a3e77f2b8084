#pragma once
// The registry of our own control classes: layout files name them by class, and the loader
// asks here before falling back to Qt's widgets.
#include <QHash>
#include <QString>
#include <QWidget>
#include <functional>

namespace q417::ui {

class CControlFactory {
public:
    using Create = std::function<QWidget*(QWidget* parent)>;

    static CControlFactory& Instance();

    void RegistControl(const QString& className, Create create);
    // Null when the class is not registered (class names are compared case-insensitively).
    QWidget* CreateControl(const QString& className, QWidget* parent) const;
    bool Has(const QString& className) const;
    QStringList ClassNames() const;

private:
    QHash<QString, Create> creators_;
    QStringList order_;
};

// Registers a control class T (constructible from a parent widget) under `name`.
template <class T>
void RegisterControlClass(const QString& name) {
    CControlFactory::Instance().RegistControl(name, [](QWidget* parent) { return new T(parent); });
}

}  // namespace q417::ui
