#include "Views/FeedIcons.h"

#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"

#include <QPixmap>
#include <QPointer>

namespace {
constexpr qint64 iconLimit = qint64(1) << 20;
}

FeedIcons::FeedIcons(HttpSession session, QObject* parent) : QObject(parent), m_session(session) {}

FeedIcons::~FeedIcons()
{
    m_lifetime.request_stop();
}

QIcon FeedIcons::placeholder()
{
    static const QIcon icon =
        QIcon::fromTheme(QStringLiteral("application-rss+xml"),
                         QIcon::fromTheme(QStringLiteral("network-wireless")));
    return icon;
}

QIcon FeedIcons::icon(const std::optional<QString>& faviconLink)
{
    if (!faviconLink) return placeholder();
    const QUrl url(*faviconLink, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() ||
        (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https")))
        return placeholder();
    if (const auto it = m_icons.constFind(url); it != m_icons.cend()) return *it;
    if (!m_requested.contains(url)) {
        m_requested.insert(url);
        // Started from the event loop, not inside the paint that asked: the first request
        // may load the network's TLS libraries, which takes a while.
        QMetaObject::invokeMethod(
            this, [this, url] { load(url); }, Qt::QueuedConnection);
    }
    return placeholder();
}

QCoro::Task<> FeedIcons::load(QUrl url)
{
    const std::stop_token lifetime = m_lifetime.get_token();
    QByteArray data;
    try {
        data = co_await fetch(m_session, url, iconLimit, lifetime);
    } catch (const LumbraError& failure) {
        if (!lifetime.stop_requested())
            qCDebug(lcNetwork).noquote()
                << "icon" << url.toDisplayString() << "failed:" << failure.description();
        co_return;
    }
    if (lifetime.stop_requested()) co_return;
    QPixmap pixmap;
    if (!pixmap.loadFromData(data)) {
        qCDebug(lcNetwork).noquote() << "icon" << url.toDisplayString() << "is not an image";
        co_return;
    }
    m_icons.insert(url, QIcon(pixmap));
    Q_EMIT iconLoaded();
}
