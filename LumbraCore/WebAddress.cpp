#include "LumbraCore/WebAddress.h"

#include "LumbraCore/Records.h"

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
}

bool isMailAddress(const QUrl& url)
{
    return url.isValid() && url.scheme().toLower() == QLatin1StringView("mailto");
}

QString comparableFeedAddress(const QUrl& url)
{
    QUrl normal = url;
    normal.setScheme(url.scheme().toLower());
    normal.setHost(url.host().toLower());
    const int standard = normal.scheme() == QLatin1StringView("https") ? 443
                         : normal.scheme() == QLatin1StringView("http") ? 80
                                                                        : -1;
    if (normal.port() == standard) normal.setPort(-1);
    return normal.toString(QUrl::FullyEncoded);
}

std::optional<QUrl> articleUrl(const Item& item)
{
    if (!item.url) return std::nullopt;
    const QUrl url(*item.url, QUrl::StrictMode);
    if (!isWebAddress(url)) return std::nullopt;
    return url;
}
