#pragma once
// Follows the screen a top-level widget is on: raises changed() when the window moves to
// another screen and when the geometry of its screen changes (a new resolution), so that what
// depends on the monitor (the display scale) can be worked out again.
#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QScreen;
class QWidget;
class QWindow;

namespace q417::ui {

class CScreenFollower : public QObject {
    Q_OBJECT
public:
    // window: a top-level widget; it is watched from the moment it has a native window.
    explicit CScreenFollower(QWidget* window);
    ~CScreenFollower() override;

    // The screen being followed (null until the widget has a native window).
    QScreen* Screen() const;

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Attach();
    void FollowScreen(QScreen* screen);

    QPointer<QWidget> widget_;
    QPointer<QWindow> window_;
    QPointer<QScreen> screen_;
    QMetaObject::Connection screenChanged_;
    QMetaObject::Connection geometryChanged_;
};

}  // namespace q417::ui
