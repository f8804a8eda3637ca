#include "Reader/Organiser.h"

#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/Lifetime.h"
#include "Reader/Session.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"

#include <QHash>
#include <QSet>
#include <QUrl>

Organiser::Organiser(Session& session, Subscriptions& subscriptions, Timeline& timeline,
                     QObject* parent)
    : QObject(parent), m_session(session), m_subscriptions(subscriptions), m_timeline(timeline),
      m_changes(m_lifetime, [&session](const Failure& failure) {
          session.setMessage(Notice{Notice::Kind::changeRefused, {}, failure});
      })
{
}

Organiser::~Organiser() = default;

void Organiser::setAdding(bool adding)
{
    if (adding == m_adding) return;
    m_adding = adding;
    Q_EMIT addingChanged();
}

// Whatever the server answered, the lists are asked for again: one asked for while the
// change was under way was not used.
std::function<void()> Organiser::thenRefresh(std::function<void()> step)
{
    return [this, step = std::move(step)] {
        if (step) step();
        m_session.refreshAfterChange();
    };
}

void Organiser::send(ServerChanges::Call call, std::function<void()> undo)
{
    if (!m_session.account()) return;
    m_changes.send(m_session.api(), std::move(call), thenRefresh(std::move(undo)), thenRefresh({}));
}

void Organiser::addFeed(const QString& address, std::optional<qint64> folderId)
{
    subscribe(address.trimmed(), folderId, true);
}

void Organiser::addFoundFeed(const QUrl& feed, std::optional<qint64> folderId)
{
    subscribe(feed.toString(QUrl::FullyEncoded), folderId, false);
}

QCoro::Task<> Organiser::subscribe(QString address, std::optional<qint64> folderId, bool read)
{
    const QUrl url(address, QUrl::StrictMode);
    Failure refused;
    refused.request = address;
    // Only web addresses go to the server, which would fetch whatever it is given.
    if (!isWebAddress(url)) {
        refused.kind = Failure::Kind::invalidAddress;
        Q_EMIT addFailed(address, refused);
        co_return;
    }
    // The server checks for the address as sent, and would subscribe HTTP://Host/feed again.
    if (const std::optional<Feed> known = m_subscriptions.feedAt(url)) {
        refused.kind = Failure::Kind::alreadySubscribed;
        refused.detail = known->title;
        Q_EMIT addFailed(address, refused);
        co_return;
    }
    if (!m_session.account()) co_return;
    const BusyWhile busy(m_lifetime, this, &Organiser::setAdding, m_addingTasks);
    if (read) {
        // The server would subscribe a page's first feed without asking, or fail on a
        // relative link: the page's feeds are offered here instead.
        QCoro::Task<QList<FoundFeed>> looking = feedsNamedAt(url);
        const QList<FoundFeed> found = co_await guarded(m_lifetime, std::move(looking));
        if (!found.isEmpty()) {
            Q_EMIT feedsFound(address, found);
            co_return;
        }
    }
    QCoro::Task<Feed> adding = m_session.api().addFeed(address, folderId, m_lifetime.token());
    try {
        const Feed feed = co_await guarded(m_lifetime, std::move(adding));
        m_subscriptions.putFeed(feed);
        m_timeline.selectNewSource(Source::feed(feed.id));
        m_session.setMessage(Notice{Notice::Kind::subscribed, feed.title});
        Q_EMIT added(feed.id);
        m_session.refreshAfterChange();
    } catch (const LumbraError& error) {
        Q_EMIT addFailed(address, Failure::of(error));
    }
}

QCoro::Task<QList<FoundFeed>> Organiser::feedsNamedAt(QUrl address)
{
    QCoro::Task<QByteArray> reading =
        fetch(m_session.http(), address, 4 * discoveryReadLimit, m_lifetime.token());
    QByteArray page;
    try {
        page = co_await guarded(m_lifetime, std::move(reading));
    } catch (const LumbraError&) {
        co_return {}; // unread here, it is the server's to judge
    }
    if (looksLikeFeed(page)) co_return {};
    co_return alternateFeeds(page, address);
}

void Organiser::renameFeed(qint64 id, const QString& title)
{
    const std::optional<Feed> before = m_subscriptions.feed(id);
    if (!before || title.trimmed().isEmpty() || title == before->title) return;
    Feed renamed = *before;
    renamed.title = title.trimmed();
    m_subscriptions.putFeed(renamed);
    send([id, title = renamed.title](
             const NewsAPI& api, std::stop_token stop) { return api.renameFeed(id, title, stop); },
         [this, before = *before] { m_subscriptions.putFeed(before); });
}

void Organiser::moveFeed(qint64 id, std::optional<qint64> folderId)
{
    const std::optional<Feed> before = m_subscriptions.feed(id);
    if (!before || before->folderId == folderId) return;
    Feed moved = *before;
    moved.folderId = folderId;
    m_subscriptions.putFeed(moved);
    send([id, folderId](const NewsAPI& api,
                        std::stop_token stop) { return api.moveFeed(id, folderId, stop); },
         [this, before = *before] { m_subscriptions.putFeed(before); });
}

void Organiser::unsubscribe(qint64 id)
{
    const std::optional<Feed> removed = m_subscriptions.removeFeed(id);
    if (!removed) return;
    if (m_timeline.source() == Source::feed(id)) m_timeline.selectSource(Source::allUnread());
    m_timeline.dropFeeds({id});
    m_session.setMessage(Notice{Notice::Kind::unsubscribed, removed->title});
    send([id](const NewsAPI& api, std::stop_token stop) { return api.deleteFeed(id, stop); },
         [this, feed = *removed] { m_subscriptions.putFeed(feed); });
}

void Organiser::createFolder(const QString& name)
{
    if (name.trimmed().isEmpty()) return;
    // The server would make a second folder of a name in use; the user meant the first.
    if (const std::optional<Folder> existing = m_subscriptions.folderNamed(name)) {
        m_timeline.selectSource(Source::folder(existing->id));
        return;
    }
    makeFolder(name.trimmed());
}

QCoro::Task<> Organiser::makeFolder(QString name)
{
    if (!m_session.account()) co_return;
    QCoro::Task<Folder> making = m_session.api().createFolder(name, m_lifetime.token());
    try {
        const Folder folder = co_await guarded(m_lifetime, std::move(making));
        m_subscriptions.putFolder(folder);
        // Chosen, as a new feed is: the user sees (and hears) where it went.
        m_timeline.selectNewSource(Source::folder(folder.id));
        m_session.refreshAfterChange();
    } catch (const LumbraError& error) {
        m_session.setMessage(Notice{Notice::Kind::changeRefused, {}, Failure::of(error)});
    }
}

void Organiser::renameFolder(qint64 id, const QString& name)
{
    const auto found =
        std::find_if(m_subscriptions.folders().cbegin(), m_subscriptions.folders().cend(),
                     [id](const Folder& folder) { return folder.id == id; });
    if (found == m_subscriptions.folders().cend() || name.trimmed().isEmpty() ||
        name.trimmed() == found->name)
        return;
    const Folder before = *found;
    Folder renamed = before;
    renamed.name = name.trimmed();
    m_subscriptions.putFolder(renamed);
    send([id, name = renamed.name](
             const NewsAPI& api, std::stop_token stop) { return api.renameFolder(id, name, stop); },
         [this, before] { m_subscriptions.putFolder(before); });
}

void Organiser::deleteFolder(qint64 id, bool keepFeeds)
{
    const std::optional<Folder> removed = m_subscriptions.removeFolder(id);
    if (!removed) return;
    QList<Feed> feeds;
    for (const Feed& feed : m_subscriptions.feeds())
        if (feed.folderId == id) feeds << feed;
    for (Feed feed : std::as_const(feeds)) {
        if (keepFeeds) {
            feed.folderId.reset();
            m_subscriptions.putFeed(feed);
        } else {
            m_subscriptions.removeFeed(feed.id);
        }
    }
    if (m_timeline.source() == Source::folder(id)) m_timeline.selectSource(Source::allUnread());
    if (!keepFeeds) {
        QSet<qint64> gone;
        for (const Feed& feed : std::as_const(feeds))
            gone.insert(feed.id);
        m_timeline.dropFeeds(gone);
    }
    if (!m_session.account()) return;
    // The folder goes first: were it refused, its feeds are as they were. Then each feed
    // is moved or unsubscribed, as the server would otherwise list it under the old id.
    QList<ServerChanges::Call> then;
    for (const Feed& feed : std::as_const(feeds))
        then << ServerChanges::Call(
            [id = feed.id, keepFeeds](const NewsAPI& api, std::stop_token stop) {
                return keepFeeds ? api.moveFeed(id, std::nullopt, stop) : api.deleteFeed(id, stop);
            });
    m_changes.send(
        m_session.api(),
        [id](const NewsAPI& api, std::stop_token stop) { return api.deleteFolder(id, stop); },
        thenRefresh([this, folder = *removed, feeds] {
            m_subscriptions.putFolder(folder);
            for (const Feed& feed : feeds)
                m_subscriptions.putFeed(feed);
        }),
        [this, then, feeds] {
            if (then.isEmpty()) m_session.refreshAfterChange();
            for (qsizetype i = 0; i < then.size(); ++i)
                m_changes.send(m_session.api(), then[i], thenRefresh([this, feed = feeds[i]] {
                                   m_subscriptions.putFeed(feed);
                               }),
                               thenRefresh({}));
        });
}

void Organiser::setImporting(bool importing)
{
    if (importing == m_importing) return;
    m_importing = importing;
    Q_EMIT importingChanged();
}

void Organiser::importFeeds(Opml::List list)
{
    if (!m_importing) importAll(std::move(list));
}

namespace {
// Folders a user takes for the same: the same words in any case.
QString folderKey(const QString& name)
{
    return name.simplified().toCaseFolded();
}
} // namespace

QCoro::Task<> Organiser::importAll(Opml::List list)
{
    if (!m_session.account()) co_return;
    const BusyWhile busy(m_lifetime, this, &Organiser::setImporting, m_importTasks);
    const std::stop_token stop = m_lifetime.token();
    m_importStop = std::stop_source();
    QSet<QString> subscribed;
    for (const Feed& feed : m_subscriptions.feeds())
        if (feed.url) subscribed.insert(comparableFeedAddress(QUrl(*feed.url)));
    QHash<QString, qint64> folders;
    for (const Folder& folder : m_subscriptions.folders())
        folders.insert(folderKey(folder.name), folder.id);
    ImportReport report;
    const int total = int(list.emptyFolders.size() + list.entries.size());
    for (int done = 0; done < total; ++done) {
        Q_EMIT importProgress(done, total);
        if (m_importStop.stop_requested()) {
            report.stopped = true;
            break;
        }
        // The list's empty folders first, then its feeds.
        const bool folderOnly = done < list.emptyFolders.size();
        const Opml::Entry entry = folderOnly
                                      ? Opml::Entry{{}, {}, {}, list.emptyFolders[done], false}
                                      : list.entries[done - list.emptyFolders.size()];
        const QUrl url(entry.xmlUrl, QUrl::StrictMode);
        if (!folderOnly && !isWebAddress(url)) {
            report.skipped << entry.xmlUrl; // the server would fetch whatever it is given
            continue;
        }
        if (!folderOnly && subscribed.contains(comparableFeedAddress(url))) {
            ++report.alreadyThere;
            continue;
        }
        try {
            std::optional<qint64> folder;
            if (!entry.folder.isEmpty()) {
                if (!folders.contains(folderKey(entry.folder))) {
                    QCoro::Task<Folder> making = m_session.api().createFolder(entry.folder, stop);
                    const Folder made = co_await guarded(m_lifetime, std::move(making));
                    m_subscriptions.putFolder(made);
                    folders.insert(folderKey(made.name), made.id);
                    ++report.foldersMade;
                }
                folder = folders.value(folderKey(entry.folder));
            }
            if (folderOnly) continue;
            QCoro::Task<Feed> adding = m_session.api().addFeed(entry.xmlUrl, folder, stop);
            Feed feed = co_await guarded(m_lifetime, std::move(adding));
            subscribed.insert(comparableFeedAddress(url));
            ++report.added;
            report.flattened += entry.flattened;
            m_subscriptions.putFeed(feed);
            // The list's title is the user's own (a rename in the reader it came from); the
            // server names a feed after what the feed says.
            const QString title = entry.title.simplified();
            if (title.isEmpty() || title == feed.title) continue;
            QCoro::Task<> renaming = m_session.api().renameFeed(feed.id, title, stop);
            co_await guarded(m_lifetime, std::move(renaming));
            feed.title = title;
            m_subscriptions.putFeed(feed);
            ++report.renamed;
        } catch (const LumbraError& error) {
            const Failure failure = Failure::of(error);
            if (failure.kind == Failure::Kind::newsStatus && failure.status == 409)
                ++report.alreadyThere;
            else
                report.failed.append({folderOnly ? entry.folder : entry.xmlUrl, failure});
        }
    }
    if (!report.stopped) Q_EMIT importProgress(total, total);
    Q_EMIT imported(report);
    m_session.refreshAfterChange();
}
