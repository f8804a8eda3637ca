#include "LumbraCore/Arrivals.h"

#include <QHash>
#include <algorithm>
#include <limits>

void addArrivals(QList<FeedArrival>& arrivals, const QList<FeedArrival>& more)
{
    if (!more.isEmpty()) {
        QHash<qint64, qsizetype> index;
        for (qsizetype i = 0; i < arrivals.size(); ++i)
            index.insert(arrivals[i].feedId, i);
        for (const FeedArrival& arrival : more) {
            const auto same = index.constFind(arrival.feedId);
            if (same == index.cend()) {
                index.insert(arrival.feedId, arrivals.size());
                arrivals.append(arrival);
                continue;
            }
            FeedArrival& known = arrivals[*same];
            known.count =
                std::min(known.count, std::numeric_limits<qint64>::max() - arrival.count) +
                arrival.count;
            known.title = arrival.title;
        }
    }
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const FeedArrival& a, const FeedArrival& b) { return a.count > b.count; });
}
