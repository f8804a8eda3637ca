// Refreshing folders and feeds, and loading the items of the current source.

#include "Reader.h"
#include "Text.h"

#include "NameOrder.h"
#include <QPointer>
#include <QSet>
#include <algorithm>

void Reader::refresh()
{
    if (!m_account || m_refreshing) return;
    setRefreshing(true);
    refreshTask(api());
}

namespace {

// A finished request: its value or what it threw.
template <typename T> struct Settled {
    std::optional<T> value;
    std::exception_ptr failure;
};

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

} // namespace

void Reader::refreshFailed(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const NewsError& news) {
        if (news.kind() == NewsError::Kind::notInstalled)
            setError(QStringLiteral("Nextcloud News is not installed on ") +
                     (m_account ? m_account->server : QStringLiteral("the server")) + u'.');
        else
            setError(news.description());
    } catch (const LumbraError& other) {
        setError(other.description());
    }
    setRefreshing(false);
}

// Results that arrive after the account changed (a logout, another login) belong to an
// account no longer shown, so they are dropped.
QCoro::Task<> Reader::refreshTask(NewsAPI api)
{
    QPointer<Reader> self(this);
    const std::stop_token lifetime = m_lifetime.get_token();
    std::stop_source feedsStop;
    std::stop_callback feedsEndWithUs(lifetime, [&feedsStop] { feedsStop.request_stop(); });
    // Both requests start at once: tasks run eagerly.
    QCoro::Task<Settled<QList<Folder>>> foldersRequest = settle(api.folders(lifetime));
    QCoro::Task<Settled<FeedsResponse>> feedsRequest = settle(api.feeds(feedsStop.get_token()));
    const auto stale = [&] { return !self || self->m_account != api.account(); };

    Settled<QList<Folder>> folders = co_await std::move(foldersRequest);
    if (folders.failure || stale()) {
        feedsStop.request_stop();
        co_await std::move(feedsRequest);
        if (!self) co_return;
        if (folders.failure && !stale()) refreshFailed(folders.failure);
        setRefreshing(false);
        co_return;
    }
    const NameOrder order;
    order.sort(*folders.value, [](const Folder& f) { return f.name; });
    setFolders(std::move(*folders.value));

    Settled<FeedsResponse> feeds = co_await std::move(feedsRequest);
    if (stale() || feeds.failure) {
        if (self && feeds.failure && !stale()) refreshFailed(feeds.failure);
        if (self) setRefreshing(false);
        co_return;
    }
    order.sort(feeds.value->feeds, [](const Feed& f) { return f.title; });
    setFeeds(std::move(feeds.value->feeds));
    setStarredCount(feeds.value->starredCount.value_or(0));
    setError(std::nullopt);

    co_await loadItems();
    if (self) setRefreshing(false);
}

QCoro::Task<> Reader::loadItems()
{
    if (!m_account || !m_source) co_return;
    QPointer<Reader> self(this);
    const NewsAPI client = api();
    const Source source = *m_source;
    setLoadingItems(true);

    QList<Item> list;
    try {
        list = co_await client.items(source, m_lifetime.get_token());
    } catch (const LumbraError& failure) {
        if (!self) co_return;
        if (m_account == client.account())
            setMessage(QStringLiteral("Couldn't load articles: ") + failure.description());
        setLoadingItems(false);
        co_return;
    }
    if (!self) co_return;

    // Items read while an unread-only source was shown stay until the source changes.
    if (source != Source::all() && source != Source::starred()) {
        QSet<qint64> fetched;
        fetched.reserve(list.size());
        for (const Item& item : list)
            fetched.insert(item.id);
        for (const Item& item : std::as_const(m_items))
            if (!item.unread && !fetched.contains(item.id)) list.append(item);
    }
    if (m_source != source || m_account != client.account()) {
        setLoadingItems(false);
        co_return;
    }
    setItems(newestFirst(list, m_env.clock->now()));
    setLoadingItems(false);
}
