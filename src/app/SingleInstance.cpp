#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace larderly {

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), folder_(dataFolder) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::ReadRequest);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName(const QString& dataFolder) {
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty()) canonical = QDir::cleanPath(QDir(dataFolder).absolutePath());
    QByteArray hash =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    return "larderly-" + QString::fromLatin1(hash.left(16));
}

bool SingleInstance::TakeOver() {
    const QString name = ServerName(folder_);
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath("larderly.lock"));
    // A lock of a crashed program (its process gone) is taken over by tryLock.
    if (lock_->tryLock(100)) {
        QLocalServer::removeServer(name); // a socket a crashed program left
        server_.listen(name);
        return true;
    }
    lock_.reset();
    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(2000)) {
        socket.write("raise\n");
        socket.waitForBytesWritten(2000);
        socket.disconnectFromServer();
    }
    return false;
}

void SingleInstance::ReadRequest() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine())
                if (socket->readLine().trimmed() == "raise" && onRaise_) onRaise_();
        });
    }
}

} // namespace larderly
