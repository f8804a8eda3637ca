#include "Reader/Sync.h"

#include "LumbraCore/NameOrder.h"
#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/Worker.h"

#include <QSet>
#include <QUrl>

namespace Sync {

namespace {

// Sorts `fetched` and hands back `made(sorted)`, or none when it equals `shown`.
template <typename T, typename Result, typename Name, typename Make>
QCoro::Task<std::optional<Result>> orderedUnlessSame(QList<T> fetched, QList<T> shown, Name name,
                                                     Make made)
{
    const auto order = [name, made](QList<T> list, QList<T> current) -> std::optional<Result> {
        NameOrder().sort(list, name);
        if (list == current) return std::nullopt;
        return made(std::move(list));
    };
    const qsizetype size = std::max(fetched.size(), shown.size());
    QCoro::Task<std::optional<Result>> ordering = onWorkerWhenLarge(
        size, InlineBelow::sortedNames,
        [order, fetched = std::move(fetched), shown = std::move(shown)]() mutable {
            return order(std::move(fetched), std::move(shown));
        });
    co_return co_await std::move(ordering);
}

} // namespace

void loadCollationInBackground()
{
    // ICU keeps what a collator loads for every later one.
    inBackground([] { NameOrder(); });
}

FeedList indexed(QList<Feed> feeds)
{
    FeedList list{std::move(feeds), {}};
    list.index.reserve(list.feeds.size());
    for (qsizetype i = 0; i < list.feeds.size(); ++i)
        list.index.insert(list.feeds[i].id, i);
    return list;
}

QCoro::Task<std::optional<QList<Folder>>> orderedIfChanged(QList<Folder> fetched,
                                                           QList<Folder> shown)
{
    return orderedUnlessSame<Folder, QList<Folder>>(
        std::move(fetched), std::move(shown), [](const Folder& folder) { return folder.name; },
        [](QList<Folder> list) { return list; });
}

QCoro::Task<std::optional<FeedList>> orderedIfChanged(QList<Feed> fetched, QList<Feed> shown)
{
    return orderedUnlessSame<Feed, FeedList>(
        std::move(fetched), std::move(shown), [](const Feed& feed) { return feed.title; },
        &indexed);
}

bool listedIn(const Item& item, const Source& source)
{
    const SourceKind& kind = sourceKind(source);
    if (kind.scope == SourceKind::Scope::starred && !item.starred) return false;
    return kind.listsRead || item.unread;
}

QList<Item> withChanges(QList<Item> shown, const QList<Item>& changed, const Source& source,
                        const QSet<qint64>& reach)
{
    const bool keepsLocallyRead = sourceKind(source).keepsLocallyRead;
    QHash<qint64, qsizetype> at;
    at.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        at.insert(shown[i].id, i);
    QSet<qint64> leaving;
    for (const Item& item : changed) {
        if (item.id <= 0 || !reach.contains(item.feedId)) continue;
        const auto found = at.constFind(item.id);
        if (listedIn(item, source)) {
            leaving.remove(item.id);
            if (found != at.cend()) {
                shown[*found] = item;
            } else {
                at.insert(item.id, shown.size());
                shown.append(item);
            }
        } else if (found != at.cend()) {
            // Read here and kept: it still takes the server's other flags.
            if (keepsLocallyRead && !shown[*found].unread)
                shown[*found] = item;
            else
                leaving.insert(item.id);
        }
    }
    if (!leaving.isEmpty())
        shown.removeIf([&](const Item& item) { return leaving.contains(item.id); });
    return shown;
}

QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source,
                            const QSet<qint64>& reach)
{
    if (!sourceKind(source).keepsLocallyRead) return fetched;
    QSet<qint64> ids;
    ids.reserve(fetched.size());
    for (const Item& item : std::as_const(fetched))
        ids.insert(item.id);
    for (const Item& item : shown)
        if (!item.unread && !ids.contains(item.id) && reach.contains(item.feedId))
            fetched.append(item);
    return fetched;
}

} // namespace Sync
