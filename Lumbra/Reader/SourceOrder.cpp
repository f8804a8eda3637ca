#include "Reader/SourceOrder.h"

#include "LumbraCore/NameOrder.h"
#include "LumbraCore/Worker.h"

namespace SourceOrder {

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

} // namespace SourceOrder
