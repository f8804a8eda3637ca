#pragma once

#include <QByteArray>
#include <QTimer>
#include <ctime>

// A plain article body of about `bytes` bytes: headings, paragraphs, links and images.
inline QByteArray plainArticle(qsizetype bytes)
{
    QByteArray body;
    for (int part = 1; body.size() < bytes; ++part) {
        body += "<h2>Part " + QByteArray::number(part) + "</h2>";
        for (int p = 0; p < 8; ++p)
            body += "<p>The path climbs past the old mill and the river turns below it; "
                    "<a href=\"https://example.org/" +
                    QByteArray::number(p) +
                    "\">a heron</a> stands in the shallows <img src=\"https://example.org/h.jpg\" "
                    "alt=\"a heron\"> while the light comes up over the hills.</p>";
    }
    return body;
}

// The longest stretch of the window thread's own time between two turns of its event loop
// since `reset`: the window answers within 100 ms when that stays below it.
class WindowHeld {
public:
    WindowHeld()
    {
        QObject::connect(&m_ticks, &QTimer::timeout, [this] {
            const qint64 now = threadMilliseconds();
            longest = std::max(longest, now - m_last);
            m_last = now;
        });
        m_ticks.start(5);
    }
    void reset()
    {
        longest = 0;
        m_last = threadMilliseconds();
    }
    qint64 longest = 0;

private:
    static qint64 threadMilliseconds()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    }
    QTimer m_ticks;
    qint64 m_last = threadMilliseconds();
};
