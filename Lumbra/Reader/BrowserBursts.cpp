#include "Reader/BrowserBursts.h"

bool BrowserBursts::allows(const QUrl& url, qint64 now)
{
    m_recent.removeIf([now](qint64 at) { return now - at >= burstSpan || at > now; });
    m_opened.removeIf([now](const auto& entry) {
        return now - entry.value() >= repeatAfter || entry.value() > now;
    });
    if (m_opened.contains(url) || m_recent.size() >= burstSize) return false;
    m_opened.insert(url, now);
    m_recent.append(now);
    return true;
}
