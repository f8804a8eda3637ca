#pragma once

#include <QHash>
#include <QList>
#include <QUrl>

// How often links from other programs may open the browser: each address at most once a
// minute, and no more than a few in a short while, so that a program calling Lumbra in a
// loop cannot open a browser window per call.
class BrowserBursts final {
public:
    static constexpr qint64 repeatAfter = 60; // seconds
    static constexpr qint64 burstSpan = 10;   // seconds
    static constexpr qsizetype burstSize = 3;

    // Whether `url` may open now (seconds on any clock); counts it when it may.
    bool allows(const QUrl& url, qint64 now);

private:
    QHash<QUrl, qint64> m_opened; // address → when it last opened
    QList<qint64> m_recent;       // when the last few opened, oldest first
};
