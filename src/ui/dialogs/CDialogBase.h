#pragma once
// What the small modal windows share: a frameless tool window with the skin's own caption, the
// window buttons ("closebtn", "minbtn", "maxbtn", "restorebtn"), Escape as the close button,
// centring on the owner, and the code the window was closed with (so a test's modal hook can
// click a button and hand back what the window decided).
#include <QPointer>
#include <QString>

#include "ui/framework/CWindowBase.h"

namespace q417::ui {

class CDialogBase : public CWindowBase {
    Q_OBJECT
public:
    explicit CDialogBase(QWidget* owner = nullptr);

    // The code given to the last Finish (0 before any).
    int Result() const { return result_; }
    QWidget* Owner() const { return owner_; }

    // Makes the owner's window the transient parent (stacking) without Qt ownership: the caller's
    // scope owns the dialog, so an owner destroyed during the modal loop cannot free it twice.
    void AttachToOwner();
    // Centres on the owner's window, or on the screen when there is none.
    void CentreOnOwner();

protected:
    // Records the result and closes the window with it.
    void Finish(int code);
    // The window buttons; true when msg was one of them (the click is handled).
    bool HandleWindowButton(const TNotifyUI& msg);
    void keyPressEvent(QKeyEvent* event) override;

    static bool NameIs(const TNotifyUI& msg, const char* name) {
        return msg.SenderName().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    }

private:
    QPointer<QWidget> owner_;
    int result_ = 0;
};

}  // namespace q417::ui
