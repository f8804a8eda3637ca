#pragma once

#include "LumbraCore/Records.h"

#include <QHash>
#include <QList>
#include <optional>
#include <qcoro/qcorotask.h>

// Folders and feeds in the order the sources list them: by name, in the user's language,
// numbers by value.
namespace SourceOrder {

// Feeds with their places: feed id → index in the list.
struct FeedList {
    QList<Feed> feeds;
    QHash<qint64, qsizetype> index;
};
FeedList indexed(QList<Feed> feeds);

// Loads the locale's collation data on a worker: the first sort of a refresh would
// otherwise read it from disk on the window's thread.
void loadCollationInBackground();

// Fetched folders and feeds in the order the sidebar lists them (by name, numbers by
// value), or none when they equal what is `shown`. Long lists are ordered, compared and,
// when unchanged, freed on a worker thread, so the window never waits for them.
QCoro::Task<std::optional<QList<Folder>>> orderedIfChanged(QList<Folder> fetched,
                                                           QList<Folder> shown);
QCoro::Task<std::optional<FeedList>> orderedIfChanged(QList<Feed> fetched, QList<Feed> shown);

} // namespace SourceOrder
