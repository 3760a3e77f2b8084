#pragma once
// The about window: the product, its version and a short description.
#include "ui/dialogs/CDialogBase.h"

namespace q417::ui {

class CAboutWnd : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutWnd(QWidget* owner = nullptr);

    // Builds "AboutWnd.xml"; false when the skin lacks it.
    bool Build();
    // The version line: the language's "software_rev_text" with the program version for %1.
    static QString VersionText();

    void Notify(TNotifyUI& msg) override;

private:
    void FillVersion();
};

// Opens the about window, modal; while one is open it is raised instead.
void ShowAbout(QWidget* owner, int dpi);

}  // namespace q417::ui
