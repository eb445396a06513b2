#include "shell/wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessaro {
namespace {

TEST(WaitSeconds, WaitsAndRunsEvents)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    QElapsedTimer t;
    t.start();
    WaitSeconds(0.1);
    const qint64 ms = t.elapsed();
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(fired);  // the timer ran during the wait
    t.restart();
    WaitSeconds(0);
    EXPECT_LT(t.elapsed(), 100);
}

}  // namespace
}  // namespace tessaro
