#pragma once

#include "LumbraCore/Records.h"
#include "Reader/SourceOrder.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <optional>

// The user's News folders and feeds with their unread counts, and the starred count, as
// the server last listed them and as local changes moved the counts since.
class Subscriptions final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    Q_DISABLE_COPY_MOVE(Subscriptions)

    const QList<Folder>& folders() const { return m_folders; }
    const QList<Feed>& feeds() const { return m_feeds; }
    qint64 starredCount() const { return m_starredCount; }

    std::optional<Feed> feed(qint64 id) const;
    // The feed subscribed at `address`, as the server would take it for the same one or the
    // user would (scheme and host in any case, the default port written or not).
    std::optional<Feed> feedAt(const QUrl& address) const;
    // The folder a user would take for one named `name`: the same words in any case.
    std::optional<Folder> folderNamed(const QString& name) const;
    // The folder's or feed's name as the server gives it; none for trays and for sources
    // the server no longer lists.
    std::optional<QString> name(const Source& source) const;
    // Unread items of the source (starred items for Starred), never overflowing.
    qint64 count(const Source& source) const;
    // The ids of the feeds whose articles the source lists.
    QSet<qint64> reach(const Source& source) const;

    // New lists from the server, already known to differ from the shown ones.
    void replaceFolders(QList<Folder> folders);
    void replaceFeeds(SourceOrder::FeedList feeds);
    void setStarredCount(qint64 count);
    // Moves feeds' unread counts (feed id → delta), never below 0, as one new list.
    void adjustUnread(const QHash<qint64, qint64>& deltas);
    void adjustUnread(qint64 feedId, qint64 delta) { adjustUnread({{feedId, delta}}); }
    // Moves the starred count the same way.
    void adjustStarred(qint64 delta);
    // Changes made here before the server confirms them: a feed or folder added or
    // replaced (by id), or taken away. The lists stay in the sidebar's order.
    void putFeed(const Feed& feed);
    std::optional<Feed> removeFeed(qint64 id);
    void putFolder(const Folder& folder);
    std::optional<Folder> removeFolder(qint64 id);
    void clear();
    // Counts the changes above: lists the server sent before the latest one may lack it.
    quint64 edits() const { return m_edits; }

Q_SIGNALS:
    void foldersChanged();
    void feedsChanged();
    void starredCountChanged();

private:
    void setFeeds(QList<Feed> feeds);

    QList<Folder> m_folders;
    QList<Feed> m_feeds;
    QHash<qint64, qsizetype> m_feedIndex; // feed id → its index in m_feeds
    qint64 m_starredCount = 0;
    quint64 m_edits = 0;
};
