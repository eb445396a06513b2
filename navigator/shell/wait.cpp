#include "wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <ctime>

namespace tessaro {

void WaitSeconds(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 limitNs = seconds > 0 ? static_cast<qint64>(seconds * 1e9) : 0;
    // Sleep in the event loop rather than spinning: a timer ends each round.
    while (clock.nsecsElapsed() <= limitNs) {
        const qint64 leftMs = (limitNs - clock.nsecsElapsed()) / 1000000 + 1;
        if (QCoreApplication::instance() == nullptr) {
            struct timespec ts{static_cast<time_t>(leftMs / 1000), static_cast<long>((leftMs % 1000) * 1000000)};
            nanosleep(&ts, nullptr);
            continue;
        }
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(leftMs), Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

}  // namespace tessaro
