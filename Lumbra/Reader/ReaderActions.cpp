// Changes to items: applied here first, sent in the background, undone when refused.

#include "Reader/Reader.h"

#include "LumbraCore/ItemLink.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/ServerChanges.h"

#include <QPointer>
#include <algorithm>
#include <limits>

void Reader::updateItem(qint64 id, std::optional<bool> unread, std::optional<bool> starred)
{
    const auto apply = [&](Item& item) {
        if (unread) item.unread = *unread;
        if (starred) item.starred = *starred;
    };
    if (m_linked && m_linked->id == id) {
        Item linked = *m_linked;
        apply(linked);
        assign(m_linked, std::optional<Item>(linked), &Reader::linkedChanged);
    }
    const auto it = std::find_if(m_items.cbegin(), m_items.cend(),
                                 [id](const Item& item) { return item.id == id; });
    if (it == m_items.cend()) return;
    updateItemAt(it - m_items.cbegin(), unread, starred);
}

void Reader::updateItemAt(qsizetype index, std::optional<bool> unread, std::optional<bool> starred)
{
    Item changed = m_items[index];
    if (unread) changed.unread = *unread;
    if (starred) changed.starred = *starred;
    if (changed == m_items[index]) return;
    if (changed.unread != m_items[index].unread && rowOfItem(index) >= 0)
        m_shownUnread += changed.unread ? 1 : -1;
    if (m_linked && m_linked->id == changed.id)
        assign(m_linked, std::optional<Item>(changed), &Reader::linkedChanged);
    m_items[index] = std::move(changed);
    Q_EMIT itemChanged(index);
}

void Reader::adjustUnread(qint64 feedId, qint64 delta)
{
    adjustUnread(QHash<qint64, qint64>{{feedId, delta}});
}

void Reader::adjustUnread(const QHash<qint64, qint64>& deltas)
{
    // One new list for all of them: every new list is a rebuild for the views.
    QList<Feed> feeds = m_feeds;
    bool changed = false;
    for (auto delta = deltas.cbegin(); delta != deltas.cend(); ++delta) {
        const auto at = m_feedIndex.constFind(delta.key());
        if (at == m_feedIndex.cend()) continue;
        Feed& feed = feeds[*at];
        qint64 count = feed.unreadCount.value_or(0);
        if (__builtin_add_overflow(count, delta.value(), &count))
            count = std::numeric_limits<qint64>::max();
        feed.unreadCount = std::max<qint64>(0, count);
        changed = true;
    }
    if (changed) setFeeds(std::move(feeds));
}

namespace {
// How the unread counts of their feeds move when these items are marked read or unread.
QHash<qint64, qint64> unreadDeltas(const QList<Item>& items, qint64 each)
{
    QHash<qint64, qint64> deltas;
    for (const Item& item : items)
        deltas[item.feedId] += each;
    return deltas;
}
} // namespace

void Reader::setRead(const Item& item, bool read)
{
    updateItem(item.id, !read, std::nullopt);
    adjustUnread(item.feedId, read ? -1 : +1);
    if (!m_account) return; // the local change stays; there is nobody to tell
    m_changes->send(
        api(),
        [id = item.id, read](const NewsAPI& api, std::stop_token stop) {
            return api.setRead(id, read, stop);
        },
        [this, item, read] {
            updateItem(item.id, read, std::nullopt);
            adjustUnread(item.feedId, read ? +1 : -1);
        });
}

void Reader::toggleRead(const Item& item)
{
    setRead(item, item.unread);
}

void Reader::toggleStarred(const Item& item)
{
    const bool star = !item.starred;
    updateItem(item.id, std::nullopt, star);
    setStarredCount(m_starredCount + (star ? 1 : -1));
    if (!m_account) return;
    m_changes->send(
        api(),
        [id = item.id, star](const NewsAPI& api, std::stop_token stop) {
            return api.setStarred(id, star, stop);
        },
        [this, item, star] {
            updateItem(item.id, std::nullopt, !star);
            setStarredCount(m_starredCount + (star ? -1 : 1));
        });
}

void Reader::markShownRead()
{
    QList<Item> unread;
    for (qsizetype row = 0; row < shownCount(); ++row) {
        const qsizetype index = m_matches ? (*m_matches)[row] : row;
        if (!m_items[index].unread) continue;
        unread << m_items[index];
        updateItemAt(index, false, std::nullopt); // by place: a look-up by id per item is slow
    }
    adjustUnread(unreadDeltas(unread, -1));
    if (!m_account) return;
    // A request names a bounded number of items; each batch is undone on its own.
    constexpr qsizetype batch = 1000;
    for (qsizetype from = 0; from < unread.size(); from += batch) {
        const QList<Item> part = unread.mid(from, batch);
        QList<qint64> ids;
        for (const Item& item : part)
            ids << item.id;
        m_changes->send(
            api(),
            [ids](const NewsAPI& api, std::stop_token stop) {
                return api.setRead(ids, true, stop);
            },
            [this, part] {
                for (const Item& item : part)
                    updateItem(item.id, true, std::nullopt);
                adjustUnread(unreadDeltas(part, +1));
            });
    }
}

void Reader::markAllRead()
{
    if (!m_source || m_items.isEmpty()) return;
    // With a search, only what is shown: the user sees nothing of the rest.
    if (searching()) {
        markShownRead();
        return;
    }
    const Source source = *m_source;
    qint64 newest = m_items.first().id;
    QList<Item> unread;
    for (const Item& item : std::as_const(m_items)) {
        newest = std::max(newest, item.id);
        if (item.unread) unread.append(item);
    }
    // The server has no "mark read" for the starred list; each of its items is marked read
    // on its own, so the list never shows as read what the server keeps unread.
    if (sourceKind(source).markAllReadPath.isEmpty()) {
        for (const Item& item : std::as_const(unread))
            setRead(item, true);
        return;
    }
    for (qsizetype index = 0; index < m_items.size(); ++index)
        if (m_items[index].unread) updateItemAt(index, false, std::nullopt);
    adjustUnread(unreadDeltas(unread, -1));
    if (!m_account) return;
    m_changes->send(
        api(),
        [source, newest](const NewsAPI& api, std::stop_token stop) {
            return api.markAllRead(source, newest, stop);
        },
        [this, unread] {
            for (const Item& item : unread)
                updateItem(item.id, true, std::nullopt);
            adjustUnread(unreadDeltas(unread, +1));
        });
}

std::optional<QUrl> Reader::articleUrl(const Item& item)
{
    if (!item.url) return std::nullopt;
    const QUrl url(*item.url, QUrl::StrictMode);
    if (!isWebAddress(url)) return std::nullopt;
    return url;
}

void Reader::openInBrowser(const Item& item)
{
    if (item.url) openUrl(QUrl(*item.url, QUrl::StrictMode));
}

void Reader::openUrl(const QUrl& url)
{
    if (isWebAddress(url) || isMailAddress(url)) {
        m_env.browser->open(url);
        return;
    }
    QString shown = url.toDisplayString();
    if (shown.size() > 120) shown = shown.left(119) + u'\u2026';
    setMessage(QStringLiteral("Lumbra opens only web and mail addresses, so \u201C") + shown +
               QStringLiteral("\u201D was not opened."));
}

QCoro::Task<> Reader::openLink(LumbraLink link)
{
    QPointer<Reader> self(this);
    std::optional<Item> item;
    if (m_account) {
        const NewsAPI client = api();
        try {
            item = co_await client.item(link.itemId(), m_lifetime.get_token());
        } catch (const LumbraError&) {
            // Falls back like an item the server no longer has.
        }
        if (!self) co_return;
    }
    if (item) {
        assign(m_linked, item, &Reader::linkedChanged);
        select(item->id);
        co_return;
    }
    if (link.url())
        openUrl(*link.url());
    else
        setMessage(QStringLiteral("Can't find that article in News any more."));
}
