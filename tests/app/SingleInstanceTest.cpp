// One program per data folder: a second guard on the same folder is refused and the first
// one receives the request to raise its window; another folder is independent.
#include "app/SingleInstance.h"
#include "workspace/GuiFixture.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace larderly {
namespace {

TEST(SingleInstanceTest, SecondStartIsRefusedAndRaisesTheFirst) {
    test::App();
    QTemporaryDir dir, other;
    SingleInstance first(dir.path());
    int raised = 0;
    first.SetRaiseHandler([&] { ++raised; });
    ASSERT_TRUE(first.TakeOver());

    SingleInstance second(dir.path());
    EXPECT_FALSE(second.TakeOver());
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised == 1; }, 3000));

    SingleInstance elsewhere(other.path());
    EXPECT_TRUE(elsewhere.TakeOver());
    EXPECT_NE(SingleInstance::ServerName(dir.path()), SingleInstance::ServerName(other.path()));
}

} // namespace
} // namespace larderly
