#pragma once

#include "LumbraCore/Records.h"

#include <QList>
#include <QString>
#include <optional>

// Unread articles that came to one feed between two lists of the feeds.
struct FeedArrival {
    qint64 feedId = 0;
    QString title;
    qint64 count = 0;

    friend bool operator==(const FeedArrival&, const FeedArrival&) = default;
};

// Adds `more` to `arrivals`, feed by feed, and orders them most first.
void addArrivals(QList<FeedArrival>& arrivals, const QList<FeedArrival>& more);

// What `listed` (the server's new list) holds unread beyond what `shownCount` gives for a
// feed id (the list as the user saw it, with local changes), by feed, most first. Feeds
// not shown before or without a count do not count: they were just subscribed, here or
// elsewhere, and their old articles are not news.
template <typename ShownCount>
QList<FeedArrival> arrivalsBetween(const ShownCount& shownCount, const QList<Feed>& listed)
{
    QList<FeedArrival> arrivals;
    for (const Feed& feed : listed) {
        const std::optional<qint64> was = shownCount(feed.id);
        // A count the server lowered (articles read elsewhere) is no arrival.
        if (was && feed.unreadCount && *was >= 0 && *feed.unreadCount > *was)
            arrivals.append({feed.id, feed.title, *feed.unreadCount - *was});
    }
    addArrivals(arrivals, {});
    return arrivals;
}
