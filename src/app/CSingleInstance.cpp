#include "app/CSingleInstance.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include "platform/Trace.h"

namespace q417::ui {
namespace {

// A client that connects but never says anything is dropped after this.
constexpr int kClientBoundMs = 2000;

}  // namespace

CSingleInstance::CSingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {
    if (!folder_.endsWith('/')) {
        folder_ += '/';
    }
}

CSingleInstance::~CSingleInstance() {
    if (server_) {
        server_->close();  // removes the socket file
    }
}

QString CSingleInstance::InstanceName() {
    return QStringLiteral("q417-%1").arg(::getuid());
}

QString CSingleInstance::RuntimeFolder() {
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    return folder.endsWith('/') ? folder : folder + '/';
}

QString CSingleInstance::LockPath() const {
    return folder_ + InstanceName() + ".lock";
}

QString CSingleInstance::SocketPath() const {
    return folder_ + InstanceName() + ".socket";
}

CSingleInstance::Role CSingleInstance::Claim(std::chrono::milliseconds handOverBound) {
    lock_ = std::make_unique<QLockFile>(LockPath());
    // Age alone never makes the lock stale (an instance may run for weeks); a lock whose
    // process is gone is stale, and tryLock removes it.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        Listen();
        return Role::First;
    }
    if (lock_->error() != QLockFile::LockFailedError) {
        // No lock can be made here (permissions, a full disk): go on as the only instance.
        Trace("single instance: cannot create " + LockPath().toStdString());
        lock_.reset();
        Listen();
        return Role::First;
    }
    acknowledged_ = SendActivation(handOverBound);
    if (!acknowledged_) {
        Trace("single instance: the running instance did not acknowledge the activation");
    }
    return Role::HandedOver;
}

void CSingleInstance::Listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file here is a leftover of a killed instance.
    QLocalServer::removeServer(SocketPath());
    if (!server_->listen(SocketPath())) {
        Trace("single instance: cannot listen on " + SocketPath().toStdString() + ": " +
              server_->errorString().toStdString());
        return;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        QTimer::singleShot(kClientBoundMs, client, [client] { client->abort(); });
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            if (!client->canReadLine()) {
                if (client->bytesAvailable() > 64) {
                    client->abort();  // not one of ours
                }
                return;
            }
            const QByteArray line = client->readLine(64);
            if (line == kActivateRequest) {
                client->write(kAck);
                client->flush();
                client->disconnectFromServer();
                emit activationRequested();
            } else {
                client->abort();
            }
        });
    }
}

bool CSingleInstance::SendActivation(std::chrono::milliseconds bound) {
    // The running instance may be starting right now and not listen yet: retry until the bound.
    QDeadlineTimer deadline(bound.count());
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(kActivateRequest);
            socket.flush();
            QByteArray reply;
            while (!reply.contains('\n') && !deadline.hasExpired() &&
                   socket.state() == QLocalSocket::ConnectedState) {
                if (socket.waitForReadyRead(
                        static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
                    reply += socket.readAll();
                }
            }
            reply += socket.readAll();
            return reply.startsWith(kAck);
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace q417::ui
