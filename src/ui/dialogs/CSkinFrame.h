#pragma once
// The skin frame: a small popup under the skin button offering background images and colours,
// the default background and an image of the user's own. Each choice is broadcast through the
// skin subject and remembered in main.ini. The frame closes itself when it loses the focus and
// deletes itself when closed (hold it in a QPointer).
#include <QString>
#include <functional>

#include "ui/framework/CWindowBase.h"

namespace q417::ui {

class CSkinFrame : public CWindowBase {
    Q_OBJECT
public:
    explicit CSkinFrame(QWidget* parent = nullptr);

    // Builds "skin.xml"; false when the skin lacks it. OpenAt builds on first use.
    bool Build();
    // Shows the frame with its top-right corner at the button's bottom-right corner (screen
    // coordinates), at the scale of the button's window.
    void OpenAt(QWidget* button);

    // The file chooser of "skin_Custom": returns the chosen path, empty on cancel. Tests replace
    // it; an empty function restores the file dialog.
    using OpenFileHook = std::function<QString(QWidget* parent)>;
    static void SetOpenFileHook(OpenFileHook hook);

    void Notify(TNotifyUI& msg) override;

protected:
    bool event(QEvent* event) override;

private:
    void ShowPage(int page);
    void ChooseImage(const QString& image, bool isDefault);
    void ChooseCustomImage();
    bool built_ = false;
};

}  // namespace q417::ui
