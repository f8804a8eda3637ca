#pragma once

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/Records.h"

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

// Folders and feeds in the order the sidebar lists them (by name, numbers by value). Long
// lists are ordered on a worker thread, so the window never waits for them.
QCoro::Task<QList<Folder>> ordered(QList<Folder> folders);
QCoro::Task<QList<Feed>> ordered(QList<Feed> feeds);

// The list to show after fetching `fetched` for `source` while `shown` was listed: items
// read here stay in unread-only sources until the source changes.
QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source);

// What the sources column says when a refresh of `server` failed with `failure`.
QString refreshError(std::exception_ptr failure, const QString& server);

} // namespace Sync
