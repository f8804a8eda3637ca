#include "FeedIcons.h"

#include <QNetworkReply>
#include <QPixmap>

FeedIcons::FeedIcons(QNetworkAccessManager& network, QObject* parent)
    : QObject(parent), m_network(network)
{
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
    if (!url.isValid() || url.isRelative()) return placeholder();
    if (const auto it = m_icons.constFind(url); it != m_icons.cend()) return *it;
    load(url);
    return placeholder();
}

void FeedIcons::load(const QUrl& url)
{
    if (m_requested.contains(url)) return;
    m_requested.insert(url);
    QNetworkReply* reply = m_network.get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] {
        reply->deleteLater();
        QPixmap pixmap;
        if (reply->error() == QNetworkReply::NoError && pixmap.loadFromData(reply->readAll())) {
            m_icons.insert(url, QIcon(pixmap));
            Q_EMIT iconLoaded();
        }
    });
}
