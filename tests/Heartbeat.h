#pragma once

// Test helper: while it lives, notes the longest pause of the event loop and the largest
// resident memory of the process, sampled every 10 ms.

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <unistd.h>

class Heartbeat {
public:
    Heartbeat()
    {
        m_clock.start();
        m_baseline = residentBytes();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
            m_peak = std::max(m_peak, residentBytes());
        });
        m_timer.start(10);
    }
    qint64 longestPause() const { return m_longest; }
    // The most the process held above what it held when the heartbeat started.
    qint64 peakGrowth() const { return std::max<qint64>(0, m_peak - m_baseline); }

    static qint64 residentBytes()
    {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly)) return 0;
        const QList<QByteArray> fields = statm.readAll().split(' ');
        return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
    qint64 m_baseline = 0;
    qint64 m_peak = 0;
};
