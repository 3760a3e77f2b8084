#include "app/QuietMessages.h"

#include <QMessageLogContext>
#include <cstring>

#include "platform/Trace.h"

namespace q417::ui {

namespace {

struct KnownMessage {
    const char* category;  // the message's logging category
    const char* text;      // the message exactly, or its start when it ends in '*'
};

// Window-manager features a platform plugin lacks; nothing here changes what the user sees.
constexpr KnownMessage kHarmless[] = {
    {"default", "This plugin does not support propagateSizeHints()"},
    {"default", "This plugin does not support raise()"},
    {"default", "This plugin does not support lower()"},
    {"qt.qpa.wayland", "Wayland does not support QWindow::requestActivate()"},
    // A desktop session whose session manager speaks no protocol Qt knows.
    {"default", "Qt: Session management error:*"},
};

QtMessageHandler previous = nullptr;

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (IsHarmlessQtMessage(type, context.category, message)) {
        return;
    }
    if (previous) {
        previous(type, context, message);
    }
}

}  // namespace

bool IsHarmlessQtMessage(QtMsgType type, const char* category, const QString& message) {
    if (type != QtWarningMsg && type != QtInfoMsg && type != QtDebugMsg) {
        return false;
    }
    const char* cat = category ? category : "default";
    for (const KnownMessage& known : kHarmless) {
        if (std::strcmp(cat, known.category) != 0) {
            continue;
        }
        const QLatin1String text(known.text);
        if (text.endsWith('*') ? message.startsWith(text.chopped(1)) : message == text) {
            return true;
        }
    }
    return false;
}

void InstallQuietQtMessages() {
    if (TraceEnabled()) {
        return;
    }
    previous = qInstallMessageHandler(Filter);
}

}  // namespace q417::ui
