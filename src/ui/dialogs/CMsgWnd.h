#pragma once
// The message box used for confirmations and notices everywhere: a title, a text and either
// one button ("confirm_btn") or two ("confirm_btn" and "cancel_btn"), run modally.
#include <QString>

#include "ui/dialogs/CDialogBase.h"

namespace q417::ui {

// Text placement flags of the message text (the classic draw-text values callers pass).
namespace msgtext {
inline constexpr int kLeft = 0x00;
inline constexpr int kCenter = 0x01;
inline constexpr int kRight = 0x02;
inline constexpr int kTop = 0x00;
inline constexpr int kVCenter = 0x04;
inline constexpr int kBottom = 0x08;
inline constexpr int kWordBreak = 0x10;
inline constexpr int kSingleLine = 0x20;
// What most callers want: centred, wrapped.
inline constexpr int kDefault = kCenter | kVCenter | kWordBreak;
}  // namespace msgtext

class CMsgWnd : public CDialogBase {
    Q_OBJECT
public:
    explicit CMsgWnd(QWidget* owner = nullptr);

    // Builds the "XML_MSG" layout; false when the skin lacks it.
    bool Build();
    // Title and text are shown as given (already translated); an empty one keeps the layout's.
    void SetTitle(const QString& title);
    void SetText(const QString& text, int textFlag);
    // 0: only "confirm_btn"; anything else: "confirm_btn" and "cancel_btn".
    void SetButtons(int buttons);
    // A scale outside the valid set becomes 96 (traced).
    void SetMessageDpi(int dpi);

    void Notify(TNotifyUI& msg) override;
};

// Shows a message box modally; titleKey and textKey are language keys (a text that is no key is
// shown as given). 1 only when "confirm_btn" closed it, 0 otherwise.
int ShowMessage(QWidget* owner, const QString& titleKey, const QString& textKey, int dpi,
                int textFlag = msgtext::kDefault, int buttons = 0);

// A notice whose text is already formatted (a message text with its number filled in): one
// button, the default title.
void ShowMessageText(QWidget* owner, const QString& text, int dpi);

}  // namespace q417::ui
