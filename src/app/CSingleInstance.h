#pragma once
// One running q417 per user. The first start holds a lock file in the user's runtime folder and
// listens on a local socket beside it; a later start finds the lock taken, connects, sends
// "activate", waits (bounded) for the "ok" and ends. A lock or socket left behind by a killed
// instance is recognised as stale (its process is gone) and replaced.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

namespace q417::ui {

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        First,      // this process is the running instance (or no lock could be made at all)
        HandedOver  // another instance runs; the activation was sent (or could not be)
    };
    static constexpr std::chrono::milliseconds kHandOverBound{3000};
    static constexpr const char* kActivateRequest = "activate\n";
    static constexpr const char* kAck = "ok\n";

    // folder: where the lock and the socket live (default: RuntimeFolder()).
    explicit CSingleInstance(QString folder = RuntimeFolder(), QObject* parent = nullptr);
    ~CSingleInstance() override;

    // Decides the role. As First the socket listens from here on and each activation another
    // start sends raises activationRequested().
    Role Claim(std::chrono::milliseconds handOverBound = kHandOverBound);
    // Whether a HandedOver start had its activation acknowledged.
    bool Acknowledged() const { return acknowledged_; }

    QString LockPath() const;
    QString SocketPath() const;

    // $XDG_RUNTIME_DIR, else Qt's runtime location, else the temporary folder; with a '/'.
    static QString RuntimeFolder();
    // "q417-<uid>": one instance per user.
    static QString InstanceName();

signals:
    void activationRequested();

private:
    void Listen();
    void OnNewConnection();
    bool SendActivation(std::chrono::milliseconds bound);

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool acknowledged_ = false;
};

}  // namespace q417::ui
