#include "Reader/Marker.h"

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/SourceKinds.h"
#include "Reader/Session.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"

#include <algorithm>

namespace {
QSet<qint64> idsOf(const QList<Item>& items)
{
    QSet<qint64> ids;
    ids.reserve(items.size());
    for (const Item& item : items)
        ids.insert(item.id);
    return ids;
}

// How the unread counts of their feeds move when these items are marked read or unread.
QHash<qint64, qint64> unreadDeltas(const QList<Item>& items, qint64 each)
{
    QHash<qint64, qint64> deltas;
    for (const Item& item : items)
        deltas[item.feedId] += each;
    return deltas;
}
} // namespace

Marker::Marker(Session& session, Subscriptions& subscriptions, Timeline& timeline, QObject* parent)
    : QObject(parent), m_session(session), m_subscriptions(subscriptions), m_timeline(timeline),
      m_changes(m_lifetime, [&session](const Failure& failure) {
          session.setMessage(Notice{Notice::Kind::changeRefused, {}, failure});
      })
{
}

Marker::~Marker() = default;

void Marker::send(ServerChanges::Call call, std::function<void()> undo)
{
    // Without an account the local change stays; there is nobody to tell.
    if (m_session.account()) m_changes.send(m_session.api(), std::move(call), std::move(undo));
}

void Marker::setRead(Item item, bool read)
{
    m_timeline.updateItem(item.id, !read, std::nullopt);
    m_subscriptions.adjustUnread(item.feedId, read ? -1 : +1);
    send([id = item.id, read](const NewsAPI& api,
                              std::stop_token stop) { return api.setRead(id, read, stop); },
         [this, item, read] {
             m_timeline.updateItem(item.id, read, std::nullopt);
             m_subscriptions.adjustUnread(item.feedId, read ? +1 : -1);
         });
}

void Marker::markChosenRead(qsizetype index)
{
    const Item item = m_timeline.items()[index]; // a copy: marking it changes the list
    if (item.unread) setRead(item, true);
}

void Marker::toggleRead(Item item)
{
    setRead(item, item.unread);
}

void Marker::toggleStarred(Item item)
{
    const bool star = !item.starred;
    m_timeline.updateItem(item.id, std::nullopt, star);
    m_subscriptions.adjustStarred(star ? 1 : -1);
    send([id = item.id, star](const NewsAPI& api,
                              std::stop_token stop) { return api.setStarred(id, star, stop); },
         [this, item, star] {
             m_timeline.updateItem(item.id, std::nullopt, !star);
             m_subscriptions.adjustStarred(star ? -1 : 1);
         });
}

void Marker::markShownRead()
{
    QList<Item> unread;
    for (qsizetype row = 0; row < m_timeline.search().shownCount(); ++row) {
        const qsizetype index = m_timeline.search().indexOfRow(row);
        if (!m_timeline.items()[index].unread) continue;
        unread << m_timeline.items()[index];
        m_timeline.updateItemAt(index, false, std::nullopt);
    }
    m_subscriptions.adjustUnread(unreadDeltas(unread, -1));
    // A request names a bounded number of items; each batch is undone on its own.
    constexpr qsizetype batch = 1000;
    for (qsizetype from = 0; from < unread.size(); from += batch) {
        const QList<Item> part = unread.mid(from, batch);
        QList<qint64> ids;
        for (const Item& item : part)
            ids << item.id;
        send([ids](const NewsAPI& api,
                   std::stop_token stop) { return api.setRead(ids, true, stop); },
             [this, part] {
                 m_timeline.updateItems(idsOf(part), true, std::nullopt);
                 m_subscriptions.adjustUnread(unreadDeltas(part, +1));
             });
    }
}

void Marker::markAllRead()
{
    const QList<Item>& items = m_timeline.items();
    if (!m_timeline.source() || items.isEmpty()) return;
    const Source source = *m_timeline.source();
    // With a search, only what is shown: the user sees nothing of the rest. The server has
    // no "mark read" for the starred list: its items are named, so the list never shows as
    // read what the server keeps unread.
    if (m_timeline.search().searching() || sourceKind(source).markAllReadPath.isEmpty()) {
        markShownRead();
        return;
    }
    qint64 newest = items.first().id;
    QList<Item> unread;
    for (const Item& item : items) {
        newest = std::max(newest, item.id);
        if (item.unread) unread.append(item);
    }
    for (qsizetype index = 0; index < items.size(); ++index)
        if (items[index].unread) m_timeline.updateItemAt(index, false, std::nullopt);
    m_subscriptions.adjustUnread(unreadDeltas(unread, -1));
    send([source, newest](const NewsAPI& api,
                          std::stop_token stop) { return api.markAllRead(source, newest, stop); },
         [this, unread] {
             m_timeline.updateItems(idsOf(unread), true, std::nullopt);
             m_subscriptions.adjustUnread(unreadDeltas(unread, +1));
         });
}
