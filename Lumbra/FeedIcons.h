#pragma once

#include <QHash>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <optional>

// Favicons of feeds, loaded in the background and kept in memory while the app runs.
class FeedIcons final : public QObject {
    Q_OBJECT

public:
    explicit FeedIcons(QNetworkAccessManager& network, QObject* parent = nullptr);

    // The favicon of `faviconLink` when loaded, the placeholder until then (or for good
    // when there is none or it cannot be loaded).
    QIcon icon(const std::optional<QString>& faviconLink);
    static QIcon placeholder();

Q_SIGNALS:
    void iconLoaded();

private:
    void load(const QUrl& url);

    QNetworkAccessManager& m_network;
    QHash<QUrl, QIcon> m_icons;
    QSet<QUrl> m_requested;
};
