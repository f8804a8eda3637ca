#pragma once

#include "LumbraCore/HttpSession.h"
#include "Reader/Lifetime.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <optional>
#include <stop_token>

// Favicons of feeds, loaded in the background through the app's network session and kept
// in memory while the app runs. Only http and https icons of at most 1 MiB are loaded, and
// decoded on a worker only when the picture takes at most 4 MB; failures leave the
// placeholder.
class FeedIcons final : public QObject {
    Q_OBJECT

public:
    explicit FeedIcons(HttpSession session, QObject* parent = nullptr);
    ~FeedIcons() override;

    // The favicon of `faviconLink` when loaded, the placeholder until then (or for good
    // when there is none or it cannot be loaded).
    QIcon icon(const std::optional<QString>& faviconLink);
    static QIcon placeholder();

Q_SIGNALS:
    void iconLoaded();

private:
    QCoro::Task<> load(QUrl url);

    HttpSession m_session;
    QHash<QUrl, QIcon> m_icons;
    QSet<QUrl> m_requested;
    Lifetime m_lifetime; // last: it ends first
};
