#include "Reader/Subscriptions.h"

#include "LumbraCore/NameOrder.h"
#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/Background.h"

#include <algorithm>
#include <limits>

std::optional<Feed> Subscriptions::feed(qint64 id) const
{
    const auto it = m_feedIndex.constFind(id);
    if (it == m_feedIndex.cend()) return std::nullopt;
    return m_feeds[*it];
}

std::optional<Feed> Subscriptions::feedAt(const QUrl& address) const
{
    const QString wanted = comparableFeedAddress(address);
    const auto it = std::find_if(m_feeds.cbegin(), m_feeds.cend(), [&wanted](const Feed& feed) {
        return feed.url && comparableFeedAddress(QUrl(*feed.url)) == wanted;
    });
    return it == m_feeds.cend() ? std::nullopt : std::optional(*it);
}

std::optional<Folder> Subscriptions::folderNamed(const QString& name) const
{
    const QString wanted = name.simplified();
    const auto it = std::find_if(m_folders.cbegin(), m_folders.cend(), [&](const Folder& folder) {
        return folder.name.simplified().compare(wanted, Qt::CaseInsensitive) == 0;
    });
    return it == m_folders.cend() ? std::nullopt : std::optional(*it);
}

std::optional<QString> Subscriptions::name(const Source& source) const
{
    if (!sourceKind(source).namedByServer) return std::nullopt;
    if (source.kind() == Source::Kind::folder) {
        for (const Folder& folder : m_folders)
            if (folder.id == source.id()) return folder.name;
    } else if (const auto found = feed(source.id())) {
        return found->title;
    }
    return std::nullopt;
}

namespace {

// A count moved by a local change: never below 0, never past the largest count.
qint64 moved(qint64 count, qint64 delta)
{
    if (__builtin_add_overflow(count, delta, &count))
        count = delta > 0 ? std::numeric_limits<qint64>::max() : 0;
    return std::max<qint64>(0, count);
}

// A feed whose folder the server does not list is still one of everything's.
bool reaches(const Source& source, const Feed& feed)
{
    using Scope = SourceKind::Scope;
    switch (sourceKind(source).scope) {
    case Scope::everything:
    case Scope::starred:
        return true;
    case Scope::folder:
        return feed.folderId == source.id();
    case Scope::feed:
        return feed.id == source.id();
    }
    return false;
}

} // namespace

qint64 Subscriptions::count(const Source& source) const
{
    if (sourceKind(source).scope == SourceKind::Scope::starred) return m_starredCount;
    qint64 sum = 0;
    for (const Feed& feed : m_feeds) {
        // Saturates: a server may send counts whose sum does not fit.
        if (reaches(source, feed) &&
            __builtin_add_overflow(sum, feed.unreadCount.value_or(0), &sum))
            return std::numeric_limits<qint64>::max();
    }
    return sum;
}

QSet<qint64> Subscriptions::reach(const Source& source) const
{
    QSet<qint64> ids;
    for (const Feed& feed : m_feeds)
        if (reaches(source, feed)) ids.insert(feed.id);
    return ids;
}

void Subscriptions::replaceFolders(QList<Folder> folders)
{
    releaseInBackground(std::exchange(m_folders, std::move(folders)));
    Q_EMIT foldersChanged();
}

void Subscriptions::replaceFeeds(SourceOrder::FeedList feeds)
{
    releaseInBackground(std::exchange(m_feeds, std::move(feeds.feeds)));
    releaseInBackground(std::exchange(m_feedIndex, std::move(feeds.index)));
    Q_EMIT feedsChanged();
}

void Subscriptions::setStarredCount(qint64 count)
{
    if (count == m_starredCount) return;
    m_starredCount = count;
    Q_EMIT starredCountChanged();
}

void Subscriptions::setFeeds(QList<Feed> feeds)
{
    if (feeds == m_feeds) return;
    // Rows look their feed up on every paint: by id, not by a walk through the list.
    const bool sameIds = feeds.size() == m_feeds.size() &&
                         std::equal(feeds.cbegin(), feeds.cend(), m_feeds.cbegin(),
                                    [](const Feed& a, const Feed& b) { return a.id == b.id; });
    m_feeds = std::move(feeds);
    if (!sameIds) {
        m_feedIndex.clear();
        m_feedIndex.reserve(m_feeds.size());
        for (qsizetype i = 0; i < m_feeds.size(); ++i)
            m_feedIndex.insert(m_feeds[i].id, i);
    }
    Q_EMIT feedsChanged();
}

void Subscriptions::adjustUnread(const QHash<qint64, qint64>& deltas)
{
    // One new list for all of them: every new list is a rebuild for the views.
    QList<Feed> feeds = m_feeds;
    bool changed = false;
    for (auto delta = deltas.cbegin(); delta != deltas.cend(); ++delta) {
        const auto at = m_feedIndex.constFind(delta.key());
        if (at == m_feedIndex.cend()) continue;
        Feed& feed = feeds[*at];
        feed.unreadCount = moved(feed.unreadCount.value_or(0), delta.value());
        changed = true;
    }
    if (changed) setFeeds(std::move(feeds));
}

void Subscriptions::adjustStarred(qint64 delta)
{
    setStarredCount(moved(m_starredCount, delta));
}

void Subscriptions::clear()
{
    if (!m_folders.isEmpty()) replaceFolders({});
    setFeeds({});
}

void Subscriptions::putFeed(const Feed& feed)
{
    ++m_edits;
    QList<Feed> feeds = m_feeds;
    feeds.removeIf([&](const Feed& each) { return each.id == feed.id; });
    feeds.append(feed);
    NameOrder().sort(feeds, [](const Feed& each) { return each.title; });
    setFeeds(std::move(feeds));
}

std::optional<Feed> Subscriptions::removeFeed(qint64 id)
{
    const std::optional<Feed> removed = feed(id);
    if (!removed) return std::nullopt;
    ++m_edits;
    QList<Feed> feeds = m_feeds;
    feeds.removeIf([&](const Feed& each) { return each.id == id; });
    setFeeds(std::move(feeds));
    return removed;
}

void Subscriptions::putFolder(const Folder& folder)
{
    ++m_edits;
    QList<Folder> folders = m_folders;
    folders.removeIf([&](const Folder& each) { return each.id == folder.id; });
    folders.append(folder);
    NameOrder().sort(folders, [](const Folder& each) { return each.name; });
    m_folders = std::move(folders);
    Q_EMIT foldersChanged();
}

std::optional<Folder> Subscriptions::removeFolder(qint64 id)
{
    const auto found = std::find_if(m_folders.cbegin(), m_folders.cend(),
                                    [id](const Folder& each) { return each.id == id; });
    if (found == m_folders.cend()) return std::nullopt;
    const Folder removed = *found;
    ++m_edits;
    m_folders.erase(found);
    Q_EMIT foldersChanged();
    return removed;
}
