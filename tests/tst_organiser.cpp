#include "Await.h"
#include "ReaderFixture.h"
#include "Views/Wording.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// Subscriptions changed through the Reader against the sandbox: feeds added, renamed,
// moved and dropped, folders made and deleted, lists imported from other readers.
class OrganiserTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

private Q_SLOTS:
    void init()
    {
        f = std::make_unique<ReaderFixture>();
        QVERIFY(f->startLoggedIn());
    }
    void cleanup() { f.reset(); }

    // A list from another reader: its folders made (empty ones too) or reused in any case,
    // its titles kept, what is subscribed or no web address skipped, a dead feed reported
    // with the server's reason.
    void aListFromAnotherReaderImports()
    {
        const QString base = f->sandbox.account().server;
        Opml::List list;
        list.entries = {
            {u"My notes"_s, base + u"/subscribable/field-notes.xml"_s, {}, u"Reading"_s, true},
            {u"Planet Code"_s, u"https://code.example/feed.xml"_s, {}, u"Tech & Science"_s},
            {u"Dead"_s, u"http://127.0.0.1:9/feed.xml"_s, {}, {}},
            {u"Release Log"_s, base + u"/subscribable/release-log.xml"_s, {}, u"world"_s},
            {u"Field Notes again"_s, base.toUpper() + u"/subscribable/field-notes.xml"_s, {}, {}}};
        for (const QString& address :
             {u"javascript:alert(1)"_s, u"file:///etc/passwd"_s, u"data:,x"_s,
              u"gopher://example.org/"_s, u"/feed.xml"_s, u"example.org/feed.xml"_s})
            list.entries << Opml::Entry{u"Not a feed"_s, address, {}, {}};
        list.emptyFolders = {u"Later"_s, u"EMPTY FOLDER"_s};
        Organiser& organiser = f->reader->organiser();
        QSignalSpy progress(&organiser, &Organiser::importProgress);
        QSignalSpy imported(&organiser, &Organiser::imported);
        organiser.importFeeds(list);
        QVERIFY(organiser.importing());
        QTRY_COMPARE(imported.count(), 1);
        QVERIFY(!organiser.importing());
        const auto report = imported.first().at(0).value<ImportReport>();
        QCOMPARE(report.added, 2);
        QCOMPARE(report.alreadyThere, 2);
        QCOMPARE(report.failed.size(), 1);
        QCOMPARE(report.failed.first().first, u"http://127.0.0.1:9/feed.xml"_s);
        QCOMPARE(report.skipped.size(), 6);
        QCOMPARE(report.renamed, 1);
        QCOMPARE(report.foldersMade, 2); // Reading and Later; Empty Folder is there
        QCOMPARE(report.flattened, 1);
        QCOMPARE(progress.last(), (QList<QVariant>{13, 13}));
        QCOMPARE(f->posted(news + "/feeds"), 3); // none of what is no web address
        QTRY_VERIFY(!f->reader->session().refreshing());
        const auto folderOf = [this](const QString& title) -> std::optional<QString> {
            for (const Feed& feed : f->reader->subscriptions().feeds())
                if (feed.title == title)
                    for (const Folder& folder : f->reader->subscriptions().folders())
                        if (feed.folderId == folder.id) return folder.name;
            return std::nullopt;
        };
        QCOMPARE(folderOf(u"My notes"_s), std::optional(u"Reading"_s));  // the list's title
        QCOMPARE(folderOf(u"Release Log"_s), std::optional(u"World"_s)); // reused, not made
        QCOMPARE(f->reader->subscriptions().folders().size(), 5);
        QVERIFY(f->reader->subscriptions().folderNamed(u"later"_s));

        // Stopped, it ends after the feed being added, and says so.
        f->sandbox.server->clearRequests();
        organiser.importFeeds({{{u"One"_s, u"http://127.0.0.1:9/one.xml"_s, {}, {}},
                                {u"Two"_s, u"http://127.0.0.1:9/two.xml"_s, {}, {}}},
                               {}});
        organiser.stopImport();
        QTRY_COMPARE(imported.count(), 2);
        const auto stopped = imported.last().at(0).value<ImportReport>();
        QVERIFY(stopped.stopped);
        QCOMPARE(stopped.failed.size(), 1);
        const auto requests = f->sandbox.requests();
        QCOMPARE(std::count_if(requests.cbegin(), requests.cend(),
                               [](const auto& r) { return r.method == "POST"; }),
                 1);
    }

    void subscribing_data()
    {
        QTest::addColumn<QString>("address"); // "{base}" is the sandbox's address
        QTest::addColumn<QString>("told");    // empty: added
        QTest::addColumn<bool>("sent");       // whether the server was asked
        QTest::newRow("a feed, into a folder")
            << u"{base}/subscribable/field-notes.xml"_s << QString() << true;
        QTest::newRow("already subscribed")
            << u"{base}/subscribable/release-log.xml"_s
            << u"Already subscribed as \u201CRelease Log\u201D."_s << false;
        // The server would take it for another feed and subscribe it twice.
        QTest::newRow("already subscribed, in capitals")
            << u"{BASE}/subscribable/release-log.xml"_s
            << u"Already subscribed as \u201CRelease Log\u201D."_s << false;
        QTest::newRow("a page that names no feed")
            << u"{base}/"_s << u"No feed at that address."_s << true;
        QTest::newRow("out of reach, here and for the server")
            << u"http://127.0.0.1:9/feed.xml"_s
            << u"The server could not reach http://127.0.0.1:9/feed.xml."_s << true;
        QTest::newRow("a file") << u"file:///etc/passwd"_s
                                << u"Only web addresses (http:// or https://) can be subscribed."_s
                                << false;
        QTest::newRow("no address")
            << u"  "_s << u"Only web addresses (http:// or https://) can be subscribed."_s << false;
    }

    // A site's address: Lumbra reads the page and offers the feeds it names, resolved
    // against it, and sends the server only the one chosen (the server would subscribe the
    // first without asking, or fail on a relative link). The site learns no credentials.
    void aSitesAddressOffersItsFeeds_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QStringList>("offered"); // "title|kind|address"
        QTest::newRow("absolute links")
            << u"/subscribable/"_s
            << QStringList{u"Field Notes|RSS|/subscribable/field-notes.xml"_s,
                           u"Release Log|RSS|/subscribable/release-log.xml"_s};
        QTest::newRow("a relative first link, a root-relative repeat")
            << u"/subscribable/relative/"_s
            << QStringList{u"Field Notes (RSS)|RSS|/subscribable/field-notes.xml"_s,
                           u"Releases \u2014 Atom|Atom|/subscribable/release-log.xml"_s};
    }

    void aSitesAddressOffersItsFeeds()
    {
        QFETCH(QString, site);
        QFETCH(QStringList, offered);
        const QString base = f->sandbox.account().server;
        Organiser& organiser = f->reader->organiser();
        QSignalSpy found(&organiser, &Organiser::feedsFound);
        organiser.addFeed(base + site, std::nullopt);
        QTRY_COMPARE(found.count(), 1);
        QTRY_VERIFY(!organiser.adding());
        QCOMPARE(found.first().at(0).toString(), base + site);
        QStringList named;
        for (const FoundFeed& feed : found.first().at(1).value<QList<FoundFeed>>())
            named << feed.title + u'|' + feed.kind + u'|' + feed.url.toString().remove(base);
        QCOMPARE(named, offered);
        const auto requests = f->sandbox.requests();
        QCOMPARE(requests.size(), size_t(1)); // the page, and nothing to the server
        QVERIFY(!requests.front().hasHeader("authorization") &&
                !requests.front().hasHeader("cookie"));

        QSignalSpy added(&organiser, &Organiser::added);
        organiser.addFoundFeed(QUrl(base + u"/subscribable/release-log.xml"_s), 2);
        QTRY_COMPARE(added.count(), 1);
        QCOMPARE(f->posted(news + "/feeds"), 1);
        QCOMPARE(f->reader->subscriptions().feed(added.first().at(0).toLongLong())->url,
                 std::optional(base + u"/subscribable/release-log.xml"_s));
    }

    void subscribing()
    {
        QFETCH(QString, address);
        QFETCH(QString, told);
        QFETCH(bool, sent);
        const QString base = f->sandbox.account().server;
        address.replace(u"{base}"_s, base).replace(u"{BASE}"_s, base.toUpper());
        Organiser& organiser = f->reader->organiser();
        organiser.addFeed(base + u"/subscribable/release-log.xml"_s, std::nullopt);
        QTRY_VERIFY(!organiser.adding());
        QSignalSpy added(&organiser, &Organiser::added);
        QSignalSpy failed(&organiser, &Organiser::addFailed);
        f->sandbox.server->clearRequests();
        const qsizetype feeds = f->reader->subscriptions().feeds().size();
        f->reader->timeline().search().setQuery(u"geneva"_s); // nothing of the new feed's
        organiser.addFeed(address, 1);
        QTRY_VERIFY(!organiser.adding() && added.count() + failed.count() == 1);
        if (!told.isEmpty()) {
            QCOMPARE(Wording::subscribeFailure(failed.first().at(0).toString(),
                                               failed.first().at(1).value<Failure>()),
                     told);
            QCOMPARE(f->reader->subscriptions().feeds().size(), feeds);
            QCOMPARE(f->posted(news + "/feeds"), sent ? 1 : 0);
            return;
        }
        const qint64 id = added.first().at(0).toLongLong();
        const std::optional<Feed> feed = f->reader->subscriptions().feed(id);
        QVERIFY(feed);
        QCOMPARE(feed->title, u"Field Notes"_s);
        QCOMPARE(feed->folderId, std::optional<qint64>(1));
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::feed(id)));
        QCOMPARE(said(*f->reader), std::optional(u"Subscribed to \u201CField Notes\u201D"_s));
        QTRY_COMPARE(f->reader->timeline().items().size(), 2);    // its articles
        QCOMPARE(f->reader->timeline().search().shownCount(), 2); // unsearched
        QTRY_COMPARE(f->reader->subscriptions().count(Source::feed(id)), 2);
    }

    // Each change shows at once, reaches the server, and is undone when the server refuses.
    void organising_data()
    {
        using Change = std::function<void(Organiser&)>;
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("route");             // to refuse it on
        QTest::addColumn<QStringList>("folders");       // the folder names after
        QTest::addColumn<QStringList>("feedsOfWorld");  // the feeds in World (folder 2) after
        QTest::addColumn<QStringList>("topLevelFeeds"); // the feeds in no folder after
        const QStringList folders{u"Empty Folder"_s, u"Tech & Science"_s, u"World"_s};
        const QStringList world{u"World Report"_s, u"\u65E5\u672C\u8A9E\u30CB\u30E5\u30FC\u30B9"_s};
        const QStringList top{u"Daily Links"_s, u"Just Added"_s, u"Photo Walks"_s};
        QTest::newRow("rename a feed")
            << Change([](Organiser& o) { o.renameFeed(3, u"A Report"_s); }) << u"feed-rename"_s
            << folders << QStringList{u"A Report"_s, world[1]} << top;
        QTest::newRow("move a feed to the top level")
            << Change([](Organiser& o) { o.moveFeed(3, std::nullopt); }) << u"feed-move"_s
            << folders << QStringList{world[1]}
            << QStringList{u"Daily Links"_s, u"Just Added"_s, u"Photo Walks"_s, u"World Report"_s};
        QTest::newRow("move a feed into a folder")
            << Change([](Organiser& o) { o.moveFeed(5, 2); }) << u"feed-move"_s << folders
            << QStringList{u"Daily Links"_s, u"World Report"_s, world[1]}
            << QStringList{u"Just Added"_s, u"Photo Walks"_s};
        QTest::newRow("unsubscribe")
            << Change([](Organiser& o) { o.unsubscribe(5); }) << u"feed-delete"_s << folders
            << world << QStringList{u"Just Added"_s, u"Photo Walks"_s};
        QTest::newRow("rename a folder")
            << Change([](Organiser& o) { o.renameFolder(2, u"Abroad"_s); }) << u"folder-rename"_s
            << QStringList{u"Abroad"_s, u"Empty Folder"_s, u"Tech & Science"_s} << world << top;
        QTest::newRow("delete a folder, keeping its feeds")
            << Change([](Organiser& o) { o.deleteFolder(2, true); }) << u"folder-delete"_s
            << QStringList{u"Empty Folder"_s, u"Tech & Science"_s} << QStringList{}
            << QStringList{u"Daily Links"_s, u"Just Added"_s, u"Photo Walks"_s, u"World Report"_s,
                           world[1]};
        QTest::newRow("delete a folder with its feeds")
            << Change([](Organiser& o) { o.deleteFolder(2, false); }) << u"folder-delete"_s
            << QStringList{u"Empty Folder"_s, u"Tech & Science"_s} << QStringList{} << top;
    }

    void organising()
    {
        QFETCH(std::function<void(Organiser&)>, change);
        QFETCH(QString, route);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, feedsOfWorld);
        QFETCH(QStringList, topLevelFeeds);
        Subscriptions& subscriptions = f->reader->subscriptions();
        const auto shown = [&] {
            QStringList names;
            for (const Folder& folder : subscriptions.folders())
                names << folder.name;
            QStringList world, top;
            for (const Feed& feed : subscriptions.feeds()) {
                if (feed.folderId == 2 && names.contains(u"World"_s)) world << feed.title;
                if (feed.folderId == 2 && names.contains(u"Abroad"_s)) world << feed.title;
                if (!feed.folderId) top << feed.title;
            }
            return QList<QStringList>{names, world, top};
        };
        const QList<QStringList> before = shown();
        const QList<QStringList> after{folders, feedsOfWorld, topLevelFeeds};

        // Refused: shown at once, then undone with a message.
        f->sandbox.server->setFault(route.toStdString(), {500, 0, {}, 1});
        change(f->reader->organiser());
        QCOMPARE(shown(), after);
        QTRY_VERIFY2(
            said(*f->reader).value_or(QString()).startsWith(u"Nextcloud refused the change: "_s),
            qPrintable(said(*f->reader).value_or(QString())));
        QTRY_COMPARE(shown(), before);

        // Accepted: shown at once, and so it stays, though a refresh asked for the lists
        // before the change and gets them after it.
        f->reader->session().setMessage(std::nullopt);
        sandbox::Fault late;
        late.times = 1;
        late.lateMs = 1500;
        f->sandbox.server->setFault("folders", late);
        f->sandbox.server->setFault("feeds", late);
        const std::string feedsPath = "/index.php/apps/news/api/v1-3/feeds";
        const int asked = f->count(feedsPath);
        QTRY_VERIFY(!f->reader->session().refreshing());
        QSignalSpy refreshing(&f->reader->session(), &Session::refreshingChanged);
        f->reader->session().refresh();
        QTRY_VERIFY(f->count(feedsPath) > asked);
        change(f->reader->organiser());
        QCOMPARE(shown(), after);
        QList<QList<QStringList>> seen;
        const auto look = [&] { seen << shown(); };
        const QMetaObject::Connection feeds =
            connect(&subscriptions, &Subscriptions::feedsChanged, look);
        const QMetaObject::Connection names =
            connect(&subscriptions, &Subscriptions::foldersChanged, look);
        QTRY_VERIFY(refreshing.count() >= 4 && !f->reader->session().refreshing());
        disconnect(feeds);
        disconnect(names);
        for (const QList<QStringList>& each : std::as_const(seen))
            QCOMPARE(each, after);
        const QString told = said(*f->reader).value_or(QString());
        QVERIFY2(told.isEmpty() || told.startsWith(u"Unsubscribed from \u201C"_s),
                 qPrintable(told));
    }

    void aNewFolderAppearsOnceTheServerMadeIt()
    {
        f->reader->timeline().search().setQuery(u"geneva"_s);
        f->reader->organiser().createFolder(u"  Reading list "_s);
        const auto made = [this] {
            const QList<Folder>& folders = f->reader->subscriptions().folders();
            return std::find_if(folders.cbegin(), folders.cend(), [](const Folder& folder) {
                return folder.name == u"Reading list"_s;
            });
        };
        QTRY_VERIFY(made() != f->reader->subscriptions().folders().cend());
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::folder(made()->id)));
        QVERIFY(!f->reader->timeline().search().searching());
        f->sandbox.server->setFault("folder-create", {500, 0, {}, 1});
        f->reader->organiser().createFolder(u"Later"_s);
        QTRY_VERIFY(said(*f->reader));
        QCOMPARE(f->reader->subscriptions().folders().size(), 4);

        // A name in use, in any case: the server would make a second; that folder is chosen.
        f->sandbox.server->clearRequests();
        f->reader->organiser().createFolder(u"tech  &  SCIENCE"_s);
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::folder(1)));
        QCOMPARE(f->posted(news + "/folders"), 0);
    }

    // Unsubscribing, or deleting a folder with its feeds, takes their articles out of every
    // list at once, counts too; the server still lists them, and a refresh leaves them out.
    void unsubscribedArticlesLeaveTheLists_data()
    {
        using Change = std::function<void(Organiser&)>;
        QTest::addColumn<Change>("change");
        QTest::addColumn<QList<qint64>>("gone"); // feeds whose articles go
        QTest::newRow("unsubscribe")
            << Change([](Organiser& o) { o.unsubscribe(1); }) << QList<qint64>{1};
        QTest::newRow("delete a folder with its feeds")
            << Change([](Organiser& o) { o.deleteFolder(1, false); }) << QList<qint64>{1, 2};
        QTest::newRow("delete a folder, keeping its feeds")
            << Change([](Organiser& o) { o.deleteFolder(1, true); }) << QList<qint64>{};
    }

    void unsubscribedArticlesLeaveTheLists()
    {
        QFETCH(std::function<void(Organiser&)>, change);
        QFETCH(QList<qint64>, gone);
        Timeline& timeline = f->reader->timeline();
        const auto listed = [&] {
            QSet<qint64> feeds;
            qsizetype unread = 0;
            for (const Item& item : timeline.items()) {
                feeds.insert(item.feedId);
                unread += item.unread;
            }
            return std::pair{feeds, unread};
        };
        QVERIFY(listed().first.contains(1));
        change(f->reader->organiser());
        const auto check = [&] {
            const auto [feeds, unread] = listed();
            for (const qint64 feed : gone)
                QVERIFY2(!feeds.contains(feed), qPrintable(QString::number(feed)));
            QCOMPARE(unread, f->reader->subscriptions().count(Source::allUnread()));
            QCOMPARE(feeds.contains(1), gone.isEmpty());
        };
        check();
        QTRY_VERIFY(!f->reader->session().refreshing());
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing() && !timeline.loadingItems());
        check();
    }
};

QTEST_GUILESS_MAIN(OrganiserTest)
#include "tst_organiser.moc"
