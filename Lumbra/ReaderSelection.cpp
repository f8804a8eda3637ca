// Choosing sources and items, and the values the views derive from the state.

#include "Reader.h"

#include <algorithm>

namespace {

qsizetype indexOf(const QList<Item>& items, const std::optional<qint64>& id)
{
    if (!id) return -1;
    const auto it = std::find_if(items.cbegin(), items.cend(),
                                 [&](const Item& item) { return item.id == *id; });
    return it == items.cend() ? -1 : it - items.cbegin();
}

} // namespace

void Reader::selectSource(std::optional<Source> source)
{
    if (m_source == source) return;
    assign(m_source, std::move(source), &Reader::sourceChanged);
    setItems({});
    setSelectedId(std::nullopt);
    loadItems();
}

void Reader::select(std::optional<qint64> id)
{
    const std::optional<qint64> previous = m_selectedId;
    setSelectedId(id);
    if (id && id != previous) markSelectedRead(*id);
}

void Reader::markSelectedRead(qint64 id)
{
    const qsizetype index = indexOf(m_items, id);
    // Items outside the list (a linked one) are not marked read by selecting them.
    if (index < 0 || !m_items[index].unread) return;
    const Item item = m_items[index];
    updateItem(item.id, false, std::nullopt);
    adjustUnread(item.feedId, -1);
    sendChange(
        [id](const NewsAPI& api, std::stop_token stop) { return api.setRead(id, true, stop); },
        [this, item] {
            updateItem(item.id, true, std::nullopt);
            adjustUnread(item.feedId, +1);
        });
}

void Reader::moveSelection(int step)
{
    if (m_items.isEmpty()) return;
    const qsizetype index = indexOf(m_items, m_selectedId);
    const qsizetype target = index < 0 ? 0 : index + step;
    if (target < 0 || target >= m_items.size()) return;
    select(m_items[target].id);
}

void Reader::selectNext()
{
    moveSelection(+1);
}

void Reader::selectPrevious()
{
    moveSelection(-1);
}

void Reader::selectNextUnread()
{
    const qsizetype start = indexOf(m_items, m_selectedId) + 1; // 0 without a selection
    for (qsizetype i = start; i < m_items.size(); ++i) {
        if (m_items[i].unread) {
            select(m_items[i].id);
            return;
        }
    }
}

std::optional<Item> Reader::selectedItem() const
{
    if (!m_selectedId) return std::nullopt;
    const qsizetype index = indexOf(m_items, m_selectedId);
    if (index >= 0) return m_items[index];
    if (m_linked && m_linked->id == *m_selectedId) return m_linked;
    return std::nullopt;
}

std::optional<Feed> Reader::feed(qint64 id) const
{
    for (const Feed& feed : m_feeds)
        if (feed.id == id) return feed;
    return std::nullopt;
}

QString Reader::title(const Source& source) const
{
    switch (source.kind()) {
    case Source::Kind::allUnread:
        return QStringLiteral("All Unread");
    case Source::Kind::all:
        return QStringLiteral("All Articles");
    case Source::Kind::starred:
        return QStringLiteral("Starred");
    case Source::Kind::folder:
        for (const Folder& folder : m_folders)
            if (folder.id == source.id()) return folder.name;
        return QStringLiteral("Folder");
    case Source::Kind::feed:
        if (const auto found = feed(source.id())) return found->title;
        return QStringLiteral("Feed");
    }
    return QString();
}

qint64 Reader::count(const Source& source) const
{
    qint64 sum = 0;
    switch (source.kind()) {
    case Source::Kind::starred:
        return m_starredCount;
    case Source::Kind::feed:
        if (const auto found = feed(source.id())) return found->unreadCount.value_or(0);
        return 0;
    case Source::Kind::folder:
        for (const Feed& feed : m_feeds)
            if (feed.folderId == source.id()) sum += feed.unreadCount.value_or(0);
        return sum;
    case Source::Kind::allUnread:
    case Source::Kind::all:
        for (const Feed& feed : m_feeds)
            sum += feed.unreadCount.value_or(0);
        return sum;
    }
    return 0;
}
