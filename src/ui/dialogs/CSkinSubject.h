#pragma once
// The process-wide skin subject: windows that follow the skin register a receiver, and the skin
// frame broadcasts the chosen background (a colour or an image) to all of them.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

namespace q417::ui {

struct SkinChangedParam {
    bool useColor = false;
    quint32 backgroundColor = 0;  // 0xAARRGGBB
    QString backgroundImage;      // relative to the skin folder, or an absolute path

    bool operator==(const SkinChangedParam&) const = default;
};

class CSkinSubject {
public:
    using Receiver = std::function<void(const SkinChangedParam&)>;

    // Created on first use; lives on the UI thread.
    static CSkinSubject& Instance();

    // The receiver is dropped when owner is destroyed (a null owner is refused).
    void AddReceiver(QObject* owner, Receiver receiver);
    void RemoveReceivers(QObject* owner);
    // Hands param to every receiver, in registration order. Receivers may register or go away
    // meanwhile: those added during a broadcast wait for the next one.
    void Broadcast(const SkinChangedParam& param);
    int ReceiverCount() const;

private:
    struct Entry {
        QPointer<QObject> owner;
        Receiver receiver;
    };
    void DropDead();
    std::vector<Entry> entries_;
};

}  // namespace q417::ui
