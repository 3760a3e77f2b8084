#include "ui/dialogs/CSkinFrame.h"

#include <QAbstractButton>
#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QPointer>
#include <QScreen>
#include <QStackedWidget>
#include <algorithm>

#include "platform/Trace.h"
#include "ui/dialogs/CSkinSubject.h"
#include "ui/dialogs/SkinSettings.h"
#include "ui/framework/CResourceManager.h"
#include "ui/framework/DpiScale.h"
#include "ui/framework/Silent.h"

namespace q417::ui {

namespace {

CSkinFrame::OpenFileHook& FileHook() {
    static CSkinFrame::OpenFileHook hook;
    return hook;
}

QString AskForImage(QWidget* parent) {
    return QFileDialog::getOpenFileName(
        parent, CResourceManager::GetInstance().Text("skin_custom_dialog_title"), QDir::homePath(),
        QStringLiteral("PNG images (*.png);;All files (*)"));
}

bool StartsWith(const QString& name, const char* prefix) {
    return name.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

}  // namespace

CSkinFrame::CSkinFrame(QWidget* parent)
    : CWindowBase(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint) {
    setObjectName("skinframe");
    setWindowTitle("skinframe");
    setAttribute(Qt::WA_DeleteOnClose);
}

void CSkinFrame::SetOpenFileHook(OpenFileHook hook) {
    FileHook() = std::move(hook);
}

bool CSkinFrame::Build() {
    if (built_) {
        return true;
    }
    if (!Create("skin.xml")) {
        return false;
    }
    built_ = true;
    const auto buttons = Root()->findChildren<QAbstractButton*>();
    for (QAbstractButton* b : buttons) {
        const QString name = b->objectName();
        if (StartsWith(name, "skin_image_btn")) {
            const QString file = ResolveSkinImage(b->property("bkimage").toString());
            if (!file.isEmpty()) {
                b->setIcon(QIcon(file));
            }
        } else if (StartsWith(name, "skin_color_btn")) {
            const QColor colour(b->property("bkcolor").toString());
            if (colour.isValid()) {
                b->setStyleSheet(
                    QStringLiteral("QPushButton { background-color: %1; }").arg(colour.name()));
            }
        }
    }
    ShowPage(0);
    return true;
}

void CSkinFrame::OpenAt(QWidget* button) {
    if (!Build()) {
        return;
    }
    if (button) {
        if (auto* window = dynamic_cast<CWindowBase*>(button->window())) {
            SetDpi(window->Dpi());
        } else {
            SetDpi(Dpi());
        }
        const QPoint corner = button->mapToGlobal(QPoint(button->width(), button->height()));
        QPoint topLeft(corner.x() - width(), corner.y());
        // Keep the whole frame on the button's screen.
        if (const QScreen* screen = button->screen()) {
            const QRect area = screen->availableGeometry();
            topLeft.setX(std::clamp(topLeft.x(), area.left(),
                                    std::max(area.left(), area.right() - width() + 1)));
            topLeft.setY(std::clamp(topLeft.y(), area.top(),
                                    std::max(area.top(), area.bottom() - height() + 1)));
        }
        move(topLeft);
    } else {
        SetDpi(Dpi());
    }
    show();
    raise();
    setFocus(Qt::PopupFocusReason);
}

void CSkinFrame::ShowPage(int page) {
    if (auto* tab = FindControl<QStackedWidget>("skin_tab")) {
        tab->setCurrentIndex(page);
    }
    SilentSetChecked(FindControl<QAbstractButton>("skin_image"), page == 0);
    SilentSetChecked(FindControl<QAbstractButton>("skin_color"), page == 1);
}

void CSkinFrame::ChooseImage(const QString& image, bool isDefault) {
    CSkinSubject::Instance().Broadcast({false, 0, image});
    SaveSkinChoice({false, 0, image}, isDefault);
}

void CSkinFrame::ChooseCustomImage() {
    QPointer<CSkinFrame> self(this);
    // The popup steps aside for the file dialog (it would otherwise close under it).
    hide();
    const QString path = FileHook() ? FileHook()(parentWidget()) : AskForImage(parentWidget());
    if (!self) {
        return;
    }
    if (!path.isEmpty()) {
        if (QImageReader(path).canRead()) {
            ChooseImage(QDir::cleanPath(QFileInfo(path).absoluteFilePath()), false);
        } else {
            // A file that is no image would leave the window without a background.
            Trace("skin: custom background is not a readable image");
        }
    }
    close();
}

void CSkinFrame::Notify(TNotifyUI& msg) {
    if (!msg.Is(notify::kClick)) {
        return;
    }
    const QString name = msg.SenderName();
    if (name.compare("skin_image", Qt::CaseInsensitive) == 0) {
        ShowPage(0);
    } else if (name.compare("skin_color", Qt::CaseInsensitive) == 0) {
        ShowPage(1);
    } else if (name.compare("skin_reset", Qt::CaseInsensitive) == 0) {
        ChooseImage(kDefaultSkinImage, true);
    } else if (name.compare("skin_Custom", Qt::CaseInsensitive) == 0) {
        ChooseCustomImage();
    } else if (StartsWith(name, "skin_image_btn") && msg.pSender) {
        const QString image = msg.pSender->property("bkimage").toString();
        if (!ResolveSkinImage(image).isEmpty()) {
            ChooseImage(image, false);
        }
    } else if (StartsWith(name, "skin_color_btn") && msg.pSender) {
        const QColor colour(msg.pSender->property("bkcolor").toString());
        if (colour.isValid()) {
            const SkinChangedParam param{true, colour.rgb() | 0xFF000000u, QString()};
            CSkinSubject::Instance().Broadcast(param);
            SaveSkinChoice(param);
        }
    }
}

bool CSkinFrame::event(QEvent* e) {
    // Losing the focus to another window closes the frame.
    if (e->type() == QEvent::WindowDeactivate && isVisible()) {
        close();
    }
    return CWindowBase::event(e);
}

}  // namespace q417::ui
