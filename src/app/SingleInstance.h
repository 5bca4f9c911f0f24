// One running program per data folder. The first start takes the folder's lock file
// (platform/InstanceLock.h) and listens on a local socket named after the folder; a later
// start finds the lock taken, asks the running program to bring its window forward and ends.
#pragma once

#include "platform/InstanceLock.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace larderly {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Start {
        First,     // this program is the one on the folder: it holds the lock and listens
        Forwarded, // another program runs on the folder and was asked to raise its window
        Blocked,   // another process holds the folder and does not answer (see BlockedBy)
        Unusable   // the lock file cannot be opened at all (see BlockedBy for why)
    };

    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    Start TakeOver();
    // Who holds the folder when TakeOver gave Blocked ("larderly-cli restore (process 12)"),
    // or, after Unusable, what is wrong with the lock file and what to do.
    const QString& BlockedBy() const { return blockedBy_; }

    // Called in the first program when a later start asks for the window; a request that
    // came before the handler was set is passed on when it is set.
    void SetRaiseHandler(std::function<void()> handler);

    // The local socket's name: a hash of the folder's canonical path.
    static QString ServerName(const QString& dataFolder);

private:
    void AcceptRequests();
    void Raise();

    QString folder_;
    InstanceLock lock_;
    QLocalServer server_;
    QString blockedBy_;
    std::function<void()> onRaise_;
    bool raisePending_ = false;
};

// Brings a window forward: out of the minimised state, shown, raised and activated.
void BringToFront(QWidget& window);

} // namespace larderly
