#pragma once

// Test helper: while it lives, notes the longest stretch the window's thread spent busy
// without returning to its event loop, and the largest resident memory of the process,
// sampled every 10 ms. Busy is the thread's own CPU time between two turns of the loop:
// a machine busy with other work delays the turns but does not make the stretch longer.

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <ctime>
#include <unistd.h>

class Heartbeat {
public:
    Heartbeat()
    {
        m_lastBusy = threadMilliseconds();
        m_baseline = residentBytes();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 busy = threadMilliseconds();
            m_longest = std::max(m_longest, busy - m_lastBusy);
            m_lastBusy = busy;
            m_peak = std::max(m_peak, residentBytes());
        });
        m_timer.start(10);
    }
    // In milliseconds of the thread's CPU time.
    qint64 longestBusyStretch() const { return m_longest; }
    // The most the process held above what it held when the heartbeat started.
    qint64 peakGrowth() const { return std::max<qint64>(0, m_peak - m_baseline); }

    static qint64 threadMilliseconds()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    }

    static qint64 residentBytes()
    {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly)) return 0;
        const QList<QByteArray> fields = statm.readAll().split(' ');
        return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
    }

private:
    QTimer m_timer;
    qint64 m_lastBusy = 0;
    qint64 m_longest = 0;
    qint64 m_baseline = 0;
    qint64 m_peak = 0;
};
