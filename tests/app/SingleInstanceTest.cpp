// One program per data folder: the first start wins, a second one on the same folder asks
// the first to bring its window forward and ends, another folder is independent, and a lock
// or socket left by a program that ended is taken over. The last test does it with the
// program itself.
#include "app/SingleInstance.h"
#include "RunCommand.h"
#include "platform/InstanceLock.h"
#include "workspace/GuiFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace larderly {
namespace {

using Start = SingleInstance::Start;

TEST(SingleInstanceTest, SecondStartRaisesTheFirstWindowAndEnds) {
    test::App();
    QTemporaryDir dir, other;
    const QString data = dir.path() + "/data";
    QWidget window;
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());

    SingleInstance first(data);
    ASSERT_EQ(first.TakeOver(), Start::First);
    EXPECT_TRUE(QFile::exists(data + "/larderly.lock"));
    EXPECT_EQ(InstanceLock::Holder(data.toStdString()),
              "larderly (process " + std::to_string(QCoreApplication::applicationPid()) + ")");
    // A request that comes before the window exists waits for it.
    SingleInstance second(data);
    EXPECT_EQ(second.TakeOver(), Start::Forwarded);
    QTest::qWait(200);
    first.SetRaiseHandler([&window] { BringToFront(window); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 3000));

    window.showMinimized();
    SingleInstance third(data + "/"); // the same folder, written another way
    EXPECT_EQ(third.TakeOver(), Start::Forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 3000));

    SingleInstance elsewhere(other.path() + "/data");
    EXPECT_EQ(elsewhere.TakeOver(), Start::First);
    EXPECT_NE(SingleInstance::ServerName(data), SingleInstance::ServerName(other.path() + "/data"));
}

TEST(SingleInstanceTest, LockAndSocketOfAnEndedProgramAreTakenOver) {
    test::App();
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    QDir().mkpath(data);
    // What a crashed program leaves: the lock file with its process id, and its socket.
    {
        QFile lock(data + "/larderly.lock");
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("larderly\n999999\n");
    }
    {
        QFile socket(QDir::tempPath() + "/" + SingleInstance::ServerName(data));
        ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(InstanceLock::Holder(data.toStdString()), "") << "nobody holds it";
    SingleInstance first(data);
    ASSERT_EQ(first.TakeOver(), Start::First);
    int raised = 0;
    first.SetRaiseHandler([&] { ++raised; });
    SingleInstance second(data);
    EXPECT_EQ(second.TakeOver(), Start::Forwarded);
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 3000)) << "the first one listens";
}

TEST(SingleInstanceTest, AFolderHeldByAnotherProgramIsReported) {
    test::App();
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    InstanceLock restore(data.toStdString());
    ASSERT_TRUE(restore.TryLock("larderly-cli restore"));
    SingleInstance start(data);
    EXPECT_EQ(start.TakeOver(), Start::Blocked);
    EXPECT_EQ(start.BlockedBy().toStdString(),
              "larderly-cli restore (process " +
                  std::to_string(QCoreApplication::applicationPid()) + ")");
    restore.Unlock();
    EXPECT_EQ(start.TakeOver(), Start::First);
}

// A lock file that cannot be opened at all is named as what it is, not as a folder in use
// (as root a read-only folder is writable, so only the folder case runs everywhere).
TEST(SingleInstanceTest, AnUnusableLockFileIsNamedAsWhatItIs) {
    test::App();
    QTemporaryDir dir;
    const QString data = dir.path() + "/data";
    ASSERT_TRUE(QDir().mkpath(data + "/larderly.lock"));
    SingleInstance start(data);
    EXPECT_EQ(start.TakeOver(), Start::Unusable);
    EXPECT_TRUE(start.BlockedBy().contains("larderly.lock is a folder, not a file"))
        << start.BlockedBy().toStdString();
    ASSERT_TRUE(QDir(data).rmdir("larderly.lock"));
    if (geteuid() == 0) return;
    ASSERT_TRUE(QFile::setPermissions(data, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_EQ(start.TakeOver(), Start::Unusable);
    EXPECT_TRUE(start.BlockedBy().contains("is read-only")) << start.BlockedBy().toStdString();
    QFile::setPermissions(data,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(SingleInstanceTest, TheProgramRunsOncePerFolder) {
    test::App();
    test::TempHome home;
    const QString program = QString::fromStdString(testing::BuiltProgram("larderly"));
    auto startProgram = [&](QProcess& p) {
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, {});
        return p.waitForStarted(5000);
    };
    auto holder = [&] { return InstanceLock::Holder(home.Data()); };

    QProcess first;
    ASSERT_TRUE(startProgram(first));
    const std::string firstHolder = "larderly (process " + std::to_string(first.processId()) + ")";
    ASSERT_TRUE(QTest::qWaitFor([&] { return holder() == firstHolder; }, 10000)) << holder();

    QProcess second;
    ASSERT_TRUE(startProgram(second));
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(holder(), firstHolder);

    // The first one is killed as a crash would end it: the next start takes the folder.
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    QProcess third;
    ASSERT_TRUE(startProgram(third));
    const std::string thirdHolder = "larderly (process " + std::to_string(third.processId()) + ")";
    EXPECT_TRUE(QTest::qWaitFor([&] { return holder() == thirdHolder; }, 10000)) << holder();
    third.kill();
    third.waitForFinished(5000);
}

TEST(SingleInstanceTest, HelpAndVersionPrintAndEndWithoutWindowOrDataFolder) {
    test::App();
    QTemporaryDir home;
    // No display to open a window on: the program must not need one for these.
    const std::string env =
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb LARDERLY_HOME='" +
        home.path().toStdString() + "/h' LARDERLY_WINDIR='" + home.path().toStdString() + "/w' ";
    struct Case {
        const char* option;
        const char* says;
    };
    for (const Case& c : {Case{"--help", "Usage: larderly"}, Case{"--version", "larderly 0."}}) {
        const auto r =
            testing::RunCommand(env + testing::BuiltProgram("larderly") + " " + c.option);
        EXPECT_EQ(r.status, 0) << c.option << ": " << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    EXPECT_TRUE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

} // namespace
} // namespace larderly
