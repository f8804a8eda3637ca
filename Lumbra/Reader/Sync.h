#pragma once

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/Records.h"

#include <QHash>
#include <QList>
#include <QString>
#include <exception>
#include <optional>
#include <qcoro/qcorotask.h>

// The rules for bringing the server's lists into the Reader.
namespace Sync {

// A finished request: its value or what it threw.
template <typename T> struct Settled {
    std::optional<T> value;
    std::exception_ptr failure;
};

// Awaits `task` and keeps what it threw instead of rethrowing it.
template <typename T> QCoro::Task<Settled<T>> settle(QCoro::Task<T> task)
{
    Settled<T> result;
    try {
        result.value = co_await std::move(task);
    } catch (const LumbraError&) {
        result.failure = std::current_exception();
    }
    co_return result;
}

// Feeds with their places: feed id → index in the list.
struct FeedList {
    QList<Feed> feeds;
    QHash<qint64, qsizetype> index;
};
FeedList indexed(QList<Feed> feeds);

// Fetched folders and feeds in the order the sidebar lists them (by name, numbers by
// value), or none when they equal what is `shown`. Long lists are ordered, compared and,
// when unchanged, freed on a worker thread, so the window never waits for them.
QCoro::Task<std::optional<QList<Folder>>> orderedIfChanged(QList<Folder> fetched,
                                                           QList<Folder> shown);
QCoro::Task<std::optional<FeedList>> orderedIfChanged(QList<Feed> fetched, QList<Feed> shown);

// The list to show after fetching `fetched` for `source` while `shown` was listed: items
// read here stay in unread-only sources until the source changes.
QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source);

// What the sources column says when a refresh of `server` failed with `failure`.
struct RefreshError {
    QString text;
    bool passwordRefused = false; // the server answered 401: logging in again helps
};
RefreshError refreshError(std::exception_ptr failure, const QString& server);

} // namespace Sync
