#pragma once
// Qt's own messages that tell a user nothing: platform plugins announce on every run what they
// do not implement (the offscreen one, used for pictures, lacks size hints and stacking). Only
// these known messages are dropped; every other message, warnings above all, still reaches
// stderr through the handler that was there before. With Q417_TRACE=1 nothing is dropped.
#include <QString>
#include <QtGlobal>

namespace q417::ui {

// True for a message known to be harmless (and only for those).
bool IsHarmlessQtMessage(QtMsgType type, const char* category, const QString& message);

// Installs the filter for the process; call once, before the QApplication is made.
void InstallQuietQtMessages();

}  // namespace q417::ui
