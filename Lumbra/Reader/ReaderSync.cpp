// Refreshing folders and feeds, and loading the items of the current source.

#include "Reader/Reader.h"

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/Text.h"
#include "Reader/Background.h"
#include "Reader/Sync.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

void Reader::refresh()
{
    if (!m_account || m_refreshing) return;
    setRefreshing(true);
    refreshTask(api());
}

void Reader::refreshFailed(std::exception_ptr failure)
{
    const Sync::RefreshError error =
        Sync::refreshError(failure, m_account ? m_account->server : QStringLiteral("the server"));
    setError(error.text, error.passwordRefused);
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
    QCoro::Task<Sync::Settled<QList<Folder>>> foldersRequest = Sync::settle(api.folders(lifetime));
    QCoro::Task<Sync::Settled<FeedsResponse>> feedsRequest =
        Sync::settle(api.feeds(feedsStop.get_token()));
    const auto stale = [&] { return !self || self->m_account != api.account(); };

    Sync::Settled<QList<Folder>> folders = co_await std::move(foldersRequest);
    if (folders.failure || stale()) {
        feedsStop.request_stop();
        co_await std::move(feedsRequest);
        if (!self) co_return;
        if (folders.failure && !stale()) refreshFailed(folders.failure);
        setRefreshing(false);
        co_return;
    }
    std::optional<QList<Folder>> sortedFolders =
        co_await Sync::orderedIfChanged(std::move(*folders.value), m_folders);
    if (stale()) {
        feedsStop.request_stop();
        co_await std::move(feedsRequest);
        if (self) setRefreshing(false);
        co_return;
    }
    if (sortedFolders) replaceFolders(std::move(*sortedFolders));

    Sync::Settled<FeedsResponse> feeds = co_await std::move(feedsRequest);
    if (stale() || feeds.failure) {
        if (self && feeds.failure && !stale()) refreshFailed(feeds.failure);
        if (self) setRefreshing(false);
        co_return;
    }
    std::optional<Sync::FeedList> sortedFeeds =
        co_await Sync::orderedIfChanged(std::move(feeds.value->feeds), m_feeds);
    if (stale()) {
        if (self) setRefreshing(false);
        co_return;
    }
    if (sortedFeeds) replaceFeeds(std::move(*sortedFeeds));
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
    if (co_await loadChanges(client, source)) {
        if (self) setLoadingItems(false);
        co_return;
    }
    if (!self) co_return;

    ItemList list;
    // Told as the bytes arrive; only a change of a thousandth reaches the views.
    const auto progress = [self](qint64 received, qint64 total) {
        if (self && total > 0)
            self->setLoadingPermille(int(std::min(received, total) * 1000 / total));
    };
    try {
        list = co_await client.items(source, m_lifetime.get_token(), progress);
    } catch (const LumbraError& failure) {
        if (!self) co_return;
        setLoadingPermille(-1);
        if (m_account == client.account())
            setMessage(QStringLiteral("Couldn't load articles: ") + failure.description());
        setLoadingItems(false);
        co_return;
    }
    if (!self) co_return;
    setLoadingPermille(-1);
    if (m_source != source || m_account != client.account()) {
        setLoadingItems(false);
        co_return;
    }
    const qint64 now = m_env.clock->now();
    m_itemsMark.reset();
    if (list.serverTime)
        m_itemsMark = Sync::ItemsMark{source, client.account(),
                                      *list.serverTime - Sync::ItemsMark::margin, now};
    // Named, not a temporary of the co_await: GCC 12 mishandles those.
    std::function<QList<Item>(const QList<Item>&)> build = [fetched = std::move(list.items), source,
                                                            now](const QList<Item>& shown) {
        return newestFirst(Sync::withLocallyRead(fetched, shown, source), now);
    };
    co_await showBuilt(source, client.account(), std::move(build));
    if (self) setLoadingItems(false);
}

QCoro::Task<bool> Reader::loadChanges(const NewsAPI& client, Source source)
{
    const qint64 now = m_env.clock->now();
    if (!m_itemsMark || !m_itemsMark->allowsChangesOnly(source, client.account(), now))
        co_return false;
    QPointer<Reader> self(this);
    const qint64 since = m_itemsMark->since;
    ItemList changes;
    try {
        changes = co_await client.changedItems(source, since, m_lifetime.get_token());
    } catch (const LumbraError&) {
        if (self) m_itemsMark.reset();
        co_return false; // a full load follows, and reports what fails there
    }
    if (!self) co_return true;
    // The list moved on meanwhile (another source, another account): nothing to bring up.
    if (m_source != source || m_account != client.account()) co_return true;
    if (!m_itemsMark || m_itemsMark->source != source) co_return false;
    if (changes.serverTime)
        m_itemsMark->since =
            std::max(m_itemsMark->since, *changes.serverTime - Sync::ItemsMark::margin);
    if (changes.items.isEmpty()) co_return true;
    std::function<QList<Item>(const QList<Item>&)> build = [changed = std::move(changes.items),
                                                            source, now](const QList<Item>& shown) {
        return newestFirst(Sync::withChanges(shown, changed, source), now);
    };
    co_await showBuilt(source, client.account(), std::move(build));
    co_return true;
}

QCoro::Task<> Reader::showBuilt(Source source, Account account,
                                std::function<QList<Item>(const QList<Item>&)> build)
{
    QPointer<Reader> self(this);
    const QList<Item> shown = m_items;
    // Built and compared with what is shown on a worker: for a long list both take longer
    // than a frame. Equal lists come back as none.
    const auto buildAndCompare = [build](const QList<Item>& from) -> std::optional<QList<Item>> {
        QList<Item> built = build(from);
        if (built == from) {
            releaseInBackground(std::move(built));
            return std::nullopt;
        }
        return built;
    };
    QFuture<std::optional<QList<Item>>> building = QtConcurrent::run(buildAndCompare, shown);
    std::optional<QList<Item>> built = co_await building;
    if (!self || m_source != source || m_account != account) co_return;
    // An article changed here while the list was built: build again from what is shown now.
    if (!m_items.isSharedWith(shown)) built = buildAndCompare(m_items);
    if (built) replaceItems(std::move(*built));
}
