#include "ui/dialogs/CAboutWnd.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>

#include "ui/framework/CResourceManager.h"
#include "ui/framework/DpiScale.h"

namespace q417::ui {

CAboutWnd::CAboutWnd(QWidget* owner) : CDialogBase(owner) {
    setObjectName("AboutWnd");
    setWindowTitle("AboutWnd");
}

bool CAboutWnd::Build() {
    if (!Create("AboutWnd.xml")) {
        return false;
    }
    if (auto* caption = FindControl<QWidget>("about_caption")) {
        SetCaptionControl(caption);
    }
    for (const char* name : {"minbtn", "maxbtn", "restorebtn"}) {
        if (auto* button = FindControl<QWidget>(name)) {
            button->hide();
        }
    }
    FillVersion();
    return true;
}

QString CAboutWnd::VersionText() {
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) {
        version = QStringLiteral("-");
    }
    const QString format = CResourceManager::GetInstance().Text("software_rev_text");
    // A language file without the placeholder still shows the number.
    return format.contains("%1") ? format.arg(version) : format + ' ' + version;
}

void CAboutWnd::FillVersion() {
    if (auto* label = FindControl<QLabel>("software_ver_label")) {
        label->setText(VersionText());
    }
}

void CAboutWnd::Notify(TNotifyUI& msg) {
    if (msg.Is(notify::kWindowInit)) {
        // The language may have changed since the window was built.
        FillVersion();
        return;
    }
    if (HandleWindowButton(msg)) {
        return;
    }
    if (msg.Is(notify::kClick) && NameIs(msg, "about_ok_btn")) {
        Finish(1);
    }
}

void ShowAbout(QWidget* owner, int dpi) {
    // One about window at a time: the tray menu stays usable while it is open, and a second
    // request brings the open one to the front.
    static QPointer<CAboutWnd> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    CAboutWnd wnd(owner);
    if (!wnd.Build()) {
        return;
    }
    open = &wnd;
    wnd.SetDpi(ValidDpi(dpi, "ABOUT_WND DPI SET ERROR"));
    wnd.AttachToOwner();
    wnd.CentreOnOwner();
    wnd.ShowModal();
}

}  // namespace q417::ui
