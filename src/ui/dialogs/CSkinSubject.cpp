#include "ui/dialogs/CSkinSubject.h"

#include <algorithm>

namespace q417::ui {

CSkinSubject& CSkinSubject::Instance() {
    static CSkinSubject subject;
    return subject;
}

void CSkinSubject::AddReceiver(QObject* owner, Receiver receiver) {
    if (!owner || !receiver) {
        return;
    }
    DropDead();
    const bool firstForOwner = std::none_of(entries_.begin(), entries_.end(),
                                            [owner](const Entry& e) { return e.owner == owner; });
    entries_.push_back({owner, std::move(receiver)});
    if (firstForOwner) {
        QObject::connect(owner, &QObject::destroyed,
                         [owner] { CSkinSubject::Instance().RemoveReceivers(owner); });
    }
}

void CSkinSubject::RemoveReceivers(QObject* owner) {
    // During destruction the QPointer is already null, so dead entries go too.
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [owner](const Entry& e) { return !e.owner || e.owner == owner; }),
                   entries_.end());
}

void CSkinSubject::DropDead() {
    entries_.erase(
        std::remove_if(entries_.begin(), entries_.end(), [](const Entry& e) { return !e.owner; }),
        entries_.end());
}

void CSkinSubject::Broadcast(const SkinChangedParam& param) {
    // A copy: a receiver may add or remove receivers while it runs.
    const std::vector<Entry> snapshot = entries_;
    for (const Entry& e : snapshot) {
        if (e.owner) {
            e.receiver(param);
        }
    }
}

int CSkinSubject::ReceiverCount() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [](const Entry& e) { return !e.owner.isNull(); }));
}

}  // namespace q417::ui
