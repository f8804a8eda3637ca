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
    // The feeds the server did not take: the address, and why.
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

    // Subscribes to the feed at `address` (http or https only) in `folderId` (none: the top
    // level) and selects it. The server fetches it first, which may take a while.
    void addFeed(const QString& address, std::optional<qint64> folderId);
    bool adding() const { return m_adding; }
    void renameFeed(qint64 id, const QString& title);
    void moveFeed(qint64 id, std::optional<qint64> folderId);
    void unsubscribe(qint64 id);
    void createFolder(const QString& name);
    void renameFolder(qint64 id, const QString& name);
    // The server would leave the folder's feeds listed under its old id: they are moved to
    // the top level first when `keepFeeds`, else unsubscribed.
    void deleteFolder(qint64 id, bool keepFeeds);
    // Subscribes to every feed of a list that is not subscribed yet, one after another,
    // into the folders it names (one of the same name is reused, others are made).
    void importFeeds(QList<Opml::Entry> entries);
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
    QCoro::Task<> subscribe(QString address, std::optional<qint64> folderId);
    // The feeds the page at `address` names; none when it names none or cannot be read.
    QCoro::Task<QList<FoundFeed>> discover(QUrl address);
    QCoro::Task<> makeFolder(QString name);
    void setAdding(bool adding);
    void setImporting(bool importing);
    QCoro::Task<> importAll(QList<Opml::Entry> entries);
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
