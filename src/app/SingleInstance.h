// One running program per data folder. The first start takes a lock file in the folder and
// listens on a local socket named after the folder; a later start finds the lock taken,
// asks the running one to bring its window forward and ends.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace larderly {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only program on the folder (the lock is ours and we listen);
    // false when another one runs: it has been asked to raise its window.
    bool TakeOver();
    // Called in the first instance when a later start asks for the window.
    void SetRaiseHandler(std::function<void()> handler) { onRaise_ = std::move(handler); }

    static QString ServerName(const QString& dataFolder);

private:
    void ReadRequest();

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    std::function<void()> onRaise_;
};

} // namespace larderly
