#include "CancellableSleep.h"

#include "NetworkErrors.h"

#include <QPointer>
#include <QTimer>
#include <qcoro/qcorosignal.h>

QCoro::Task<> sleepFor(std::chrono::milliseconds duration, std::stop_token stop)
{
    if (stop.stop_requested()) throw CancelledError();
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // On cancellation the timer fires at once, from the event loop.
    std::stop_callback onStop(stop, [target = QPointer<QTimer>(&timer)] {
        QMetaObject::invokeMethod(
            target,
            [target] {
                if (target) target->start(0);
            },
            Qt::QueuedConnection);
    });
    timer.start(duration);
    co_await qCoro(&timer, &QTimer::timeout);
    if (stop.stop_requested()) throw CancelledError();
}
