// The single-program guard: lock file plus local socket.
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

namespace larderly {

namespace {
constexpr const char* kRaiseRequest = "raise";
constexpr const char* kHolder = "larderly";
} // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), folder_(dataFolder), lock_(dataFolder.toStdString()) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::AcceptRequests);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName(const QString& dataFolder) {
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty()) canonical = QDir::cleanPath(QDir(dataFolder).absolutePath());
    const QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex();
    return "larderly-" + QString::fromLatin1(hash.left(24));
}

SingleInstance::Start SingleInstance::TakeOver() {
    blockedBy_.clear();
    // The lock file is made first, so that the folder exists for the name's canonical path.
    const bool first = lock_.TryLock(kHolder);
    const QString name = ServerName(folder_);
    if (first) {
        // A socket left by a program that ended without closing it would refuse the name.
        QLocalServer::removeServer(name);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        server_.listen(name);
        return Start::First;
    }
    // A read-only folder or a folder in the lock file's place: nobody holds it.
    if (!lock_.Problem().empty()) {
        blockedBy_ = QString::fromStdString(lock_.Problem());
        return Start::Unusable;
    }
    // The running program may be between taking the lock and listening: a few tries.
    QElapsedTimer clock;
    clock.start();
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(1000)) {
            socket.write(QByteArray(kRaiseRequest) + "\n");
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(1000);
            return Start::Forwarded;
        }
        // The holder ended meanwhile: the folder is free again.
        if (lock_.TryLock(kHolder)) {
            QLocalServer::removeServer(name);
            server_.setSocketOptions(QLocalServer::UserAccessOption);
            server_.listen(name);
            return Start::First;
        }
        QThread::msleep(100);
    } while (clock.elapsed() < 3000);
    blockedBy_ = QString::fromStdString(InstanceLock::Holder(folder_.toStdString()));
    if (blockedBy_.isEmpty()) blockedBy_ = "another program";
    return Start::Blocked;
}

void SingleInstance::SetRaiseHandler(std::function<void()> handler) {
    onRaise_ = std::move(handler);
    if (raisePending_ && onRaise_) {
        raisePending_ = false;
        onRaise_();
    }
}

void SingleInstance::Raise() {
    if (onRaise_)
        onRaise_();
    else
        raisePending_ = true;
}

void SingleInstance::AcceptRequests() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto readLines = [this, socket] {
            while (socket->canReadLine())
                if (socket->readLine().trimmed() == kRaiseRequest) Raise();
        };
        connect(socket, &QLocalSocket::readyRead, this, readLines);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // What came with the connection is read now: its readyRead may be past.
        readLines();
    }
}

void BringToFront(QWidget& window) {
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace larderly
