// Loading the items of the chosen source and choosing among them.

#include "Reader/Timeline.h"

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/Text.h"
#include "LumbraCore/Worker.h"
#include "Reader/Background.h"
#include "Reader/Lifetime.h"
#include "Reader/Session.h"
#include "Reader/Subscriptions.h"

#include <algorithm>

Timeline::Timeline(Session& session, const Subscriptions& subscriptions, const Clock& clock,
                   QObject* parent)
    : QObject(parent), m_session(session), m_subscriptions(subscriptions), m_clock(clock)
{
}

Timeline::~Timeline() = default;

void Timeline::setLoadingItems(bool loading)
{
    if (loading == m_loadingItems) return;
    m_loadingItems = loading;
    Q_EMIT loadingItemsChanged();
}

void Timeline::setLoadingPermille(int permille)
{
    if (permille == m_loadingPermille) return;
    m_loadingPermille = permille;
    Q_EMIT loadingPermilleChanged();
}

void Timeline::setLoadFailed(bool failed)
{
    if (failed == m_loadFailed) return;
    m_loadFailed = failed;
    Q_EMIT loadFailedChanged();
}

bool Timeline::stillShowing(const Source& source, const Account& account) const
{
    return m_source == source && m_session.account() == account;
}

QCoro::Task<> Timeline::load()
{
    if (!m_session.account() || !m_source) co_return;
    const Account account = *m_session.account();
    const NewsAPI client = m_session.api();
    const Source source = *m_source;
    // A newer load (another source, a refresh that replaced a hanging one) ends this one.
    m_loadStop->request_stop();
    const auto stop = m_loadStop = std::make_shared<std::stop_source>();
    std::stop_callback endsWithUs(m_lifetime.token(), [stop] { stop->request_stop(); });
    const BusyWhile busy(m_lifetime, this, &Timeline::setLoadingItems, m_loads);
    Changes changes = co_await guarded(m_lifetime, loadChanges(source, account, stop->get_token()));
    if (changes.enough) co_return;

    // Told as the bytes arrive; only a change of a thousandth reaches the views.
    const auto progress = whileAlive(m_lifetime, [this](qint64 received, qint64 total) {
        if (total > 0) setLoadingPermille(int(std::min(received, total) * 1000 / total));
    });
    // Made apart from the co_await: it takes a callback (GCC 12, see LumbraCore/Worker.h).
    QCoro::Task<ItemList> loading = client.items(source, stop->get_token(), progress);
    ItemList list;
    try {
        list = co_await guarded(m_lifetime, std::move(loading));
    } catch (const CancelledError&) {
        co_return; // a newer load took its place
    } catch (const LumbraError& failure) {
        setLoadingPermille(-1);
        if (m_session.account() == account)
            m_session.setMessage(Notice{Notice::Kind::articlesNotLoaded, {}, Failure::of(failure)});
        if (stillShowing(source, account)) setLoadFailed(true);
        co_return;
    }
    setLoadingPermille(-1);
    if (!stillShowing(source, account)) co_return;
    setLoadFailed(false);
    const qint64 now = m_clock.now();
    QSet<qint64> reach = m_subscriptions.reach(source);
    m_itemsMark.reset();
    if (list.serverTime && ItemMerge::ItemsMark::believable(*list.serverTime, now)) {
        qint64 since = *list.serverTime - ItemMerge::ItemsMark::margin;
        if (changes.missedSince) since = std::min(since, *changes.missedSince);
        m_itemsMark = ItemMerge::ItemsMark{source, account, since, now, reach};
    }
    // The changes asked for first bring the server's flags to the articles kept as read here.
    Build build = [fetched = std::move(list.items), changed = std::move(changes.items), source, now,
                   reach = std::move(reach)](const QList<Item>& shown) {
        const QList<Item> kept = ItemMerge::withChanges(shown, changed, source, reach);
        return newestFirst(ItemMerge::withLocallyRead(fetched, kept, source, reach), now);
    };
    co_await showBuilt(source, account, std::move(build));
}

QCoro::Task<Timeline::Changes> Timeline::loadChanges(Source source, Account account,
                                                     std::stop_token stop)
{
    const qint64 now = m_clock.now();
    if (!m_itemsMark || !m_itemsMark->covers(source, account)) co_return {};
    const qint64 since = m_itemsMark->since;
    ItemList changes;
    try {
        changes = co_await guarded(m_lifetime, m_session.api().changedItems(source, since, stop));
    } catch (const CancelledError&) {
        co_return {true, {}, {}}; // a newer load took its place
    } catch (const LumbraError&) {
        m_itemsMark.reset();
        co_return {false, {}, since}; // a full load follows, and reports what fails there
    }
    // The list moved on meanwhile (another source, another account): nothing to bring up.
    if (!stillShowing(source, account)) co_return {true, {}, {}};
    if (!m_itemsMark || m_itemsMark->source != source) co_return {};
    if (changes.serverTime && !ItemMerge::ItemsMark::believable(*changes.serverTime, now)) {
        m_itemsMark.reset();
        co_return {}; // a full load follows
    }
    if (changes.serverTime)
        m_itemsMark->since =
            std::max(m_itemsMark->since, *changes.serverTime - ItemMerge::ItemsMark::margin);
    QSet<qint64> reach = m_subscriptions.reach(source);
    if (m_itemsMark->fullDue(now, reach)) co_return {false, std::move(changes.items), {}};
    if (changes.items.isEmpty()) co_return {true, {}, {}};
    Build build = [changed = std::move(changes.items), source, now,
                   reach = std::move(reach)](const QList<Item>& shown) {
        return newestFirst(ItemMerge::withChanges(shown, changed, source, reach), now);
    };
    co_await showBuilt(source, account, std::move(build));
    co_return {true, {}, {}};
}

QCoro::Task<> Timeline::showBuilt(Source source, Account account, Build build)
{
    const QList<Item> shown = m_items;
    // Built and compared with what is shown: for a long list both take longer than a
    // frame. Equal lists come back as none.
    const auto buildAndCompare = [build](const QList<Item>& from) -> std::optional<QList<Item>> {
        QList<Item> built = build(from);
        if (built == from) {
            releaseUnhurried(std::move(built));
            return std::nullopt;
        }
        // A long list's loading leaves pages worth giving back (tens of MB at 100,000
        // items), before its search texts and rows are made.
        if (built.size() >= 10'000) releaseFreedMemory(); // 1-4 ms
        return built;
    };
    QCoro::Task<std::optional<QList<Item>>> building =
        onWorker([buildAndCompare, shown] { return buildAndCompare(shown); });
    std::optional<QList<Item>> built = co_await guarded(m_lifetime, std::move(building));
    if (!stillShowing(source, account)) co_return;
    // An article changed here while the list was built: build again from what is shown now.
    if (!m_items.isSharedWith(shown)) built = buildAndCompare(m_items);
    if (built) replaceItems(std::move(*built));
}

void Timeline::setItems(QList<Item> items)
{
    if (m_items != items) replaceItems(std::move(items));
}

void Timeline::replaceItems(QList<Item> items)
{
    // A refresh that changed only flags (articles read or starred elsewhere) keeps every
    // search text: making them again reads all of them.
    const bool textsKept = TimelineSearch::sameTexts(m_items, items);
    m_onlyFlagsChanged = textsKept;
    releaseUnhurried(std::exchange(m_items, std::move(items)));
    findSelectedIndex();
    if (textsKept)
        m_search.flagsReplaced();
    else
        m_search.listReplaced();
    Q_EMIT itemsChanged();
    if (m_selectedId) Q_EMIT selectedItemChanged();
    if (!textsKept) m_search.prepareTexts();
}

void Timeline::dropFeeds(const QSet<qint64>& feeds)
{
    QList<Item> kept = m_items;
    if (kept.removeIf([&feeds](const Item& item) { return feeds.contains(item.feedId); }) > 0)
        replaceItems(std::move(kept));
}

void Timeline::clear()
{
    m_search.setQuery({});
    setItems({});
    setLoadFailed(false);
    setSelectedId(std::nullopt);
}

// Selection.

void Timeline::setSelectedId(std::optional<qint64> id)
{
    if (id == m_selectedId) return;
    m_selectedId = id;
    findSelectedIndex();
    Q_EMIT selectedIdChanged();
    Q_EMIT selectedItemChanged();
}

void Timeline::setLinked(std::optional<Item> item)
{
    if (item == m_linked) return;
    m_linked = std::move(item);
    Q_EMIT linkedChanged();
    if (m_linked && m_selectedIndex < 0 && m_linked->id == m_selectedId)
        Q_EMIT selectedItemChanged();
}

void Timeline::findSelectedIndex()
{
    m_selectedIndex = -1;
    if (!m_selectedId) return;
    const auto it = std::find_if(m_items.cbegin(), m_items.cend(),
                                 [id = *m_selectedId](const Item& item) { return item.id == id; });
    if (it != m_items.cend()) m_selectedIndex = it - m_items.cbegin();
}

const Item* Timeline::selectedItem() const
{
    if (m_selectedIndex >= 0) return &m_items[m_selectedIndex];
    if (m_selectedId && m_linked && m_linked->id == *m_selectedId) return &*m_linked;
    return nullptr;
}

void Timeline::selectSource(std::optional<Source> source)
{
    if (m_source == source) return;
    m_source = std::move(source);
    Q_EMIT sourceChanged();
    setItems({});
    setLoadFailed(false);
    m_itemsMark.reset(); // the emptied list needs a full load, even of the source just left
    setSelectedId(std::nullopt);
    load();
}

void Timeline::selectNewSource(const Source& source)
{
    m_search.setQuery({});
    selectSource(source);
}

void Timeline::select(std::optional<qint64> id)
{
    const std::optional<qint64> previous = m_selectedId;
    setSelectedId(id);
    // Items outside the list (a linked one) are not chosen by selecting them.
    if (id && id != previous && m_selectedIndex >= 0) Q_EMIT chosen(m_selectedIndex);
}

void Timeline::selectAgain()
{
    if (m_selectedIndex >= 0) Q_EMIT chosen(m_selectedIndex);
}

void Timeline::showLinked(Item item)
{
    const qint64 id = item.id;
    setLinked(std::move(item));
    select(id);
}

// Steps walk the listed rows: with a search, the matching ones.
void Timeline::moveSelection(int step)
{
    const qsizetype shown = m_search.shownCount();
    if (shown == 0) return;
    const qsizetype row = m_search.rowOfItem(m_selectedIndex);
    const qsizetype target = row < 0 ? 0 : row + step;
    if (target < 0 || target >= shown) return;
    select(m_search.shownItem(target).id);
}

void Timeline::selectNext()
{
    moveSelection(+1);
}

void Timeline::selectPrevious()
{
    moveSelection(-1);
}

void Timeline::selectNextUnread()
{
    const qsizetype start = m_search.rowOfItem(m_selectedIndex) + 1; // 0 without one
    for (qsizetype row = start; row < m_search.shownCount(); ++row) {
        if (m_search.shownItem(row).unread) {
            select(m_search.shownItem(row).id);
            return;
        }
    }
}

// Flags.

void Timeline::updateItem(qint64 id, std::optional<bool> unread, std::optional<bool> starred)
{
    updateItems({id}, unread, starred);
}

void Timeline::updateItems(const QSet<qint64>& ids, std::optional<bool> unread,
                           std::optional<bool> starred)
{
    if (m_linked && ids.contains(m_linked->id)) {
        Item linked = *m_linked;
        if (unread) linked.unread = *unread;
        if (starred) linked.starred = *starred;
        setLinked(std::move(linked));
    }
    for (qsizetype index = 0; index < m_items.size(); ++index)
        if (ids.contains(m_items[index].id)) updateItemAt(index, unread, starred);
}

void Timeline::updateItemAt(qsizetype index, std::optional<bool> unread,
                            std::optional<bool> starred)
{
    Item changed = m_items[index];
    if (unread) changed.unread = *unread;
    if (starred) changed.starred = *starred;
    if (changed == m_items[index]) return;
    if (changed.unread != m_items[index].unread) m_search.unreadChanged(index, changed.unread);
    if (m_linked && m_linked->id == changed.id) setLinked(changed);
    m_items[index] = std::move(changed);
    Q_EMIT itemChanged(index);
    if (index == m_selectedIndex) Q_EMIT selectedItemChanged();
}
