#include "ui/dialogs/CMsgWnd.h"

#include <QAbstractButton>
#include <QLabel>

#include "ui/framework/CResourceManager.h"
#include "ui/framework/DpiScale.h"

namespace q417::ui {

namespace {

Qt::Alignment AlignmentOf(int textFlag) {
    Qt::Alignment align = Qt::AlignLeft;
    if (textFlag & msgtext::kCenter) {
        align = Qt::AlignHCenter;
    } else if (textFlag & msgtext::kRight) {
        align = Qt::AlignRight;
    }
    if (textFlag & msgtext::kVCenter) {
        align |= Qt::AlignVCenter;
    } else if (textFlag & msgtext::kBottom) {
        align |= Qt::AlignBottom;
    } else {
        align |= Qt::AlignTop;
    }
    return align;
}

}  // namespace

CMsgWnd::CMsgWnd(QWidget* owner) : CDialogBase(owner) {
    setObjectName("msgwnd");
    setWindowTitle("msgwnd");
}

bool CMsgWnd::Build() {
    if (!Create("XML_MSG")) {
        return false;
    }
    if (auto* caption = FindControl<QWidget>("msg_caption")) {
        SetCaptionControl(caption);
    }
    // Our look has no minimise or maximise for a message box.
    for (const char* name : {"minbtn", "maxbtn", "restorebtn"}) {
        if (auto* button = FindControl<QWidget>(name)) {
            button->hide();
        }
    }
    return true;
}

void CMsgWnd::SetTitle(const QString& title) {
    if (title.isEmpty()) {
        return;
    }
    if (auto* label = FindControl<QLabel>("MessageTitle")) {
        label->setProperty("textid", QVariant());
        label->setText(title);
    }
    setWindowTitle(title);
}

void CMsgWnd::SetText(const QString& text, int textFlag) {
    auto* label = FindControl<QLabel>("MessageText");
    if (!label) {
        return;
    }
    label->setAlignment(AlignmentOf(textFlag));
    label->setWordWrap(!(textFlag & msgtext::kSingleLine));
    if (!text.isEmpty()) {
        label->setProperty("textid", QVariant());
        label->setText(text);
    }
}

void CMsgWnd::SetButtons(int buttons) {
    if (auto* cancel = FindControl<QWidget>("cancel_btn")) {
        cancel->setVisible(buttons != 0);
    }
    if (auto* confirm = FindControl<QWidget>("confirm_btn")) {
        confirm->setVisible(true);
        confirm->setFocus();
    }
}

void CMsgWnd::SetMessageDpi(int dpi) {
    SetDpi(ValidDpi(dpi, "MSG_WND DPI SET ERROR"));
}

void CMsgWnd::Notify(TNotifyUI& msg) {
    if (HandleWindowButton(msg) || !msg.Is(notify::kClick)) {
        return;
    }
    if (NameIs(msg, "confirm_btn")) {
        Finish(1);
    } else if (NameIs(msg, "cancel_btn")) {
        Finish(0);
    }
}

int ShowMessage(QWidget* owner, const QString& titleKey, const QString& textKey, int dpi,
                int textFlag, int buttons) {
    const auto& texts = CResourceManager::GetInstance();
    CMsgWnd wnd(owner);
    if (!wnd.Build()) {
        return 0;
    }
    wnd.SetTitle(titleKey.isEmpty() ? QString() : texts.Text(titleKey));
    wnd.SetText(textKey.isEmpty() ? QString() : texts.Text(textKey), textFlag);
    wnd.SetButtons(buttons);
    wnd.SetMessageDpi(dpi);
    wnd.AttachToOwner();
    wnd.CentreOnOwner();
    return wnd.ShowModal() == 1 ? 1 : 0;
}

void ShowMessageText(QWidget* owner, const QString& text, int dpi) {
    CMsgWnd wnd(owner);
    if (!wnd.Build()) {
        return;
    }
    wnd.SetText(text, msgtext::kDefault);
    wnd.SetButtons(0);
    wnd.SetMessageDpi(dpi);
    wnd.AttachToOwner();
    wnd.CentreOnOwner();
    wnd.ShowModal();
}

}  // namespace q417::ui
