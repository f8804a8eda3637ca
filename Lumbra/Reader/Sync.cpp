#include "Reader/Sync.h"

#include "LumbraCore/NameOrder.h"
#include "LumbraCore/SourceKinds.h"

#include <QSet>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace Sync {

namespace {

// Up to this many names sort in well under a millisecond; a thread hop costs more.
constexpr qsizetype inlineSort = 500;

template <typename T, typename Name> QCoro::Task<QList<T>> sortedByName(QList<T> list, Name name)
{
    const auto sort = [name](QList<T> unsorted) {
        NameOrder().sort(unsorted, name);
        return unsorted;
    };
    if (list.size() <= inlineSort) co_return sort(std::move(list));
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
    QFuture<QList<T>> future = QtConcurrent::run(sort, std::move(list));
    co_return co_await future;
}

} // namespace

QCoro::Task<QList<Folder>> ordered(QList<Folder> folders)
{
    return sortedByName(std::move(folders), [](const Folder& folder) { return folder.name; });
}

QCoro::Task<QList<Feed>> ordered(QList<Feed> feeds)
{
    return sortedByName(std::move(feeds), [](const Feed& feed) { return feed.title; });
}

QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source)
{
    if (!sourceKind(source).keepsLocallyRead) return fetched;
    QSet<qint64> ids;
    ids.reserve(fetched.size());
    for (const Item& item : std::as_const(fetched))
        ids.insert(item.id);
    for (const Item& item : shown)
        if (!item.unread && !ids.contains(item.id)) fetched.append(item);
    return fetched;
}

QString refreshError(std::exception_ptr failure, const QString& server)
{
    try {
        std::rethrow_exception(failure);
    } catch (const NewsError& news) {
        if (news.kind() == NewsError::Kind::notInstalled)
            return QStringLiteral("Nextcloud News is not installed on ") + server + u'.';
        return news.description();
    } catch (const LumbraError& other) {
        return other.description();
    }
    return QString();
}

} // namespace Sync
