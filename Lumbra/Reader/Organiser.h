#pragma once

#include "LumbraCore/FeedDiscovery.h"
#include "LumbraCore/Opml.h"
#include "LumbraCore/Records.h"
#include "Reader/Notice.h"
#include "Reader/ServerChanges.h"

#include <QObject>
#include <optional>
#include <stop_token>

class Session;

// How an import went.
struct ImportReport {
    int added = 0;
    int alreadyThere = 0;
    // Feeds given the list's title, where the server named them otherwise.
    int renamed = 0;
    // Folders made: those the list names and the account had not, empty ones too.
    int foldersMade = 0;
    // Feeds nested deeper than one folder in the list, put into their outermost one.
    int flattened = 0;
    // Addresses that are no web address, never sent to the server.
    QStringList skipped = {};
    // The feeds (by address) and folders (by name) the server did not take, and why.
    QList<std::pair<QString, Failure>> failed = {};
    // Stopped by the user before the list's end.
    bool stopped = false;
};
class Subscriptions;
class Timeline;

// Changes what the user subscribes to. Renames, moves and removals show at once, the server
// is told in the background, and each is undone when the server refuses; a new feed or
// folder shows once the server has made it (it gives the id). After each change the
// sources are refreshed, so that the lists match the server's.
class Organiser final : public QObject {
    Q_OBJECT

public:
    Organiser(Session& session, Subscriptions& subscriptions, Timeline& timeline,
              QObject* parent = nullptr);
    ~Organiser() override;
    Q_DISABLE_COPY_MOVE(Organiser)

    // Subscribes to what `address` (http or https only) names, in `folderId` (none: the top
    // level), and selects it. The address is read here first, without credentials: a feed
    // is subscribed as it is; a web page that names feeds offers them (feedsFound) and only
    // the one chosen (addFoundFeed) goes to the server; anything else goes to the server as
    // typed, whose fetcher has the last word. An address subscribed already is never sent.
    void addFeed(const QString& address, std::optional<qint64> folderId);
    void addFoundFeed(const QUrl& feed, std::optional<qint64> folderId);
    bool adding() const { return m_adding; }
    void renameFeed(qint64 id, const QString& title);
    void moveFeed(qint64 id, std::optional<qint64> folderId);
    void unsubscribe(qint64 id);
    // Makes a folder; one of that name in any case is chosen instead.
    void createFolder(const QString& name);
    void renameFolder(qint64 id, const QString& name);
    // The server would leave the folder's feeds listed under its old id: they are moved to
    // the top level first when `keepFeeds`, else unsubscribed.
    void deleteFolder(qint64 id, bool keepFeeds);
    // Subscribes to every feed of a list that is not subscribed yet, one after another,
    // into the folders it names (one of the same name in any case is reused, others are
    // made, empty ones too), and gives each the list's title.
    void importFeeds(Opml::List list);
    bool importing() const { return m_importing; }
    // Ends the import after the feed being added.
    void stopImport() { m_importStop.request_stop(); }

Q_SIGNALS:
    void addingChanged();
    void added(qint64 feedId);
    // `address` as the user gave it.
    void addFailed(const QString& address, const Failure& failure);
    // `address` is a web page, not a feed, and names these feeds as its own.
    void feedsFound(const QString& address, const QList<FoundFeed>& feeds);
    void importingChanged();
    void importProgress(int done, int total);
    void imported(const ImportReport& report);

private:
    QCoro::Task<> subscribe(QString address, std::optional<qint64> folderId, bool read);
    // The feeds the page at `address` names; none when it is a feed itself, names none or
    // cannot be read here.
    QCoro::Task<QList<FoundFeed>> feedsNamedAt(QUrl address);
    QCoro::Task<> makeFolder(QString name);
    void setAdding(bool adding);
    void setImporting(bool importing);
    QCoro::Task<> importAll(Opml::List list);
    void send(ServerChanges::Call call, std::function<void()> undo);
    std::function<void()> thenRefresh(std::function<void()> step);

    Session& m_session;
    Subscriptions& m_subscriptions;
    Timeline& m_timeline;
    ServerChanges m_changes;
    bool m_adding = false;
    int m_addingTasks = 0;
    bool m_importing = false;
    std::stop_source m_importStop;
    int m_importTasks = 0;
    Lifetime m_lifetime; // last: it ends first
};
