#include "ui/framework/CControlFactory.h"

namespace q417::ui {

CControlFactory& CControlFactory::Instance() {
    static CControlFactory factory;
    return factory;
}

void CControlFactory::RegistControl(const QString& className, Create create) {
    const QString key = className.toLower();
    if (!creators_.contains(key)) {
        order_.append(className);
    }
    creators_.insert(key, std::move(create));
}

QWidget* CControlFactory::CreateControl(const QString& className, QWidget* parent) const {
    const auto it = creators_.constFind(className.toLower());
    return it == creators_.constEnd() ? nullptr : (*it)(parent);
}

bool CControlFactory::Has(const QString& className) const {
    return creators_.contains(className.toLower());
}

QStringList CControlFactory::ClassNames() const {
    return order_;
}

}  // namespace q417::ui
