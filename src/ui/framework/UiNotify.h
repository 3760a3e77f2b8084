#pragma once
// Notifications of the window toolkit: every user action on a control reaches the window that
// holds it as one record (a type string, the sending control and two integers), so a window's
// dispatch reads as tables keyed by type and control name. Programmatic changes raise nothing:
// code that sets a control's value does it through the Silent* helpers below.
#include <QPointer>
#include <QString>
#include <QWidget>

namespace q417::ui {

// The notification types in use.
namespace notify {
inline constexpr const char* kClick = "click";
inline constexpr const char* kSelectChanged = "selectchanged";
inline constexpr const char* kItemSelect = "itemselect";
inline constexpr const char* kItemClick = "itemclick";
inline constexpr const char* kItemActivate = "itemactivate";
inline constexpr const char* kWindowInit = "windowinit";
inline constexpr const char* kValueChanged = "valuechanged";
inline constexpr const char* kMoveValueChanged = "movevaluechanged";
inline constexpr const char* kTextChanged = "textchanged";
inline constexpr const char* kSetFocus = "setfocus";
inline constexpr const char* kKillFocus = "killfocus";
inline constexpr const char* kReturn = "return";
inline constexpr const char* kTimer = "timer";
inline constexpr const char* kMenu = "menu";
inline constexpr const char* kDbClick = "dbclick";
inline constexpr const char* kColorChanged = "colorchanged";
inline constexpr const char* kWindowSize = "windowsize";
inline constexpr const char* kClickSelectEnd = "click_select_end";
inline constexpr const char* kMsEnter = "msenter";
inline constexpr const char* kMsLeave = "msleave";
}  // namespace notify

struct TNotifyUI {
    QString sType;
    QPointer<QWidget> pSender;
    int wParam = 0;
    int lParam = 0;

    QString SenderName() const { return pSender ? pSender->objectName() : QString(); }
    bool Is(const char* type) const { return sType == QLatin1String(type); }
};

class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// Delivers a notification from `sender` to the nearest enclosing widget that is an INotifyUI
// (the window that holds the control). Does nothing when there is none.
void SendNotify(QWidget* sender, const QString& type, int wParam = 0, int lParam = 0);

// An observer of every notification delivered (tests, traces). Null clears it.
using NotifyTap = void (*)(const TNotifyUI& msg);
void SetNotifyTap(NotifyTap tap);

}  // namespace q417::ui
