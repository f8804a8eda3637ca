#include "Reader/CancellableSleep.h"

#include "LumbraCore/NetworkErrors.h"

#include <QPointer>
#include <QTimer>
#include <qcoro/qcorotimer.h>

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
    // Awaited as a timer, not through its timeout signal, whose private-signal tag
    // argument UBSan rightly objects to.
    QTimer* running = &timer;
    co_await running;
    if (stop.stop_requested()) throw CancelledError();
}
