#include "Await.h"
#include "ConnectProxy.h"
#include "ReaderFixture.h"

#include "LumbraCore/Text.h"

#include <QNetworkProxyFactory>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QList<qint64> ids(const QList<Item>& items)
{
    QList<qint64> result;
    for (const Item& item : items)
        result << item.id;
    return result;
}

// What a server's administrator reads with openssl from `pem`: the certificate's SHA-256
// fingerprint, and that of its public key, both as "AB:CD:…".
QString openssl(const std::string& pem, const char* pipeline)
{
    QProcess shell;
    shell.start(u"sh"_s, {u"-c"_s, QString::fromLatin1(pipeline)});
    shell.write(QByteArray::fromStdString(pem));
    shell.closeWriteChannel();
    shell.waitForFinished();
    QByteArray out = shell.readAllStandardOutput().trimmed();
    out = out.mid(out.indexOf('=') + 1); // "sha256 Fingerprint=AB:CD:…"
    if (!out.contains(':')) out = QByteArray::fromHex(out.left(64)).toHex(':'); // dgst -r
    return QString::fromLatin1(out.toUpper());
}
QString fingerprintOf(const std::string& pem)
{
    return openssl(pem, "openssl x509 -noout -fingerprint -sha256");
}
QString publicKeyOf(const std::string& pem)
{
    return openssl(pem, "openssl x509 -noout -pubkey | openssl pkey -pubin -outform DER | "
                        "openssl dgst -sha256 -r");
}

} // namespace

class ReaderTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<ReaderFixture>(); }
    void cleanup() { f.reset(); }

    void startsEmptyAndLoggedOut()
    {
        await(f->reader->start());
        QCOMPARE(f->sandbox.manager.sent, 0);
        QVERIFY(!f->reader->session().account());
        QCOMPARE(f->reader->session().login(), LoginState::idle());
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::allUnread()));
        QVERIFY(f->sandbox.requests().empty());
        f->reader->session().refresh(); // nothing to refresh without an account
        QVERIFY(!f->reader->session().refreshing());
    }

    void storedAccountRefreshesAtOnce()
    {
        f->accounts.stored = f->sandbox.account();
        QSignalSpy items(&f->reader->timeline(), &Timeline::itemsChanged);
        await(f->reader->start());
        QVERIFY(f->reader->session().refreshing());
        QTRY_VERIFY(!f->reader->session().refreshing());

        const QStringList targets = f->targets();
        QCOMPARE(targets.size(), 3);
        QCOMPARE(QSet<QString>(targets.begin(), targets.begin() + 2),
                 (QSet<QString>{QString::fromStdString(news + "/folders"),
                                QString::fromStdString(news + "/feeds")}));
        QCOMPARE(targets[2],
                 QString::fromStdString(news) + u"/items?type=3&id=0&getRead=false&batchSize=-1"_s);

        QStringList folders;
        for (const Folder& folder : f->reader->subscriptions().folders())
            folders << folder.name;
        QCOMPARE(folders, (QStringList{u"Empty Folder"_s, u"Tech & Science"_s, u"World"_s}));
        QCOMPARE(f->reader->subscriptions().feeds().first().title, u"Daily Links"_s);
        QCOMPARE(f->reader->subscriptions().starredCount(), 3);
        QCOMPARE(items.count(), 1);
        QCOMPARE(ids(f->reader->timeline().items()).first(), 14); // newest first
        QCOMPARE(ids(f->reader->timeline().items()).last(),
                 11); // the future-dated one waits at the end
        QVERIFY(!errorText(*f->reader));
    }

    void sortsNamesLikeAFileBrowser()
    {
        sandbox::Options options;
        options.demo = false;
        ReaderFixture custom(options);
        for (auto [id, title] :
             {std::pair{1, "Feed 10"}, {2, "feed 2"}, {3, "Feed 1"}, {4, "apple"}})
            custom.sandbox.server->store().addFeed({id, "u", title, {}, {}, {}, 0});
        custom.accounts.stored = custom.sandbox.account();
        await(custom.reader->start());
        QTRY_VERIFY(!custom.reader->session().refreshing());
        QStringList titles;
        for (const Feed& feed : custom.reader->subscriptions().feeds())
            titles << feed.title;
        QCOMPARE(titles, (QStringList{u"apple"_s, u"Feed 1"_s, u"feed 2"_s, u"Feed 10"_s}));
        QCOMPARE(custom.reader->subscriptions().starredCount(), 0);
    }

    void secondRefreshDuringOneSendsNothing()
    {
        QVERIFY(f->startLoggedIn());
        f->sandbox.server->setFault("folders", {0, 300, {}, -1});
        QSignalSpy refreshing(&f->reader->session(), &Session::refreshingChanged);
        f->reader->session().refresh();
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QCOMPARE(f->count(news + "/folders"), 1);
        QCOMPARE(refreshing.count(), 2); // true, then false: no spurious notifications
    }

    void foldersSucceedFeedsFail()
    {
        QVERIFY(f->startLoggedIn());
        const QList<Feed> feeds = f->reader->subscriptions().feeds();
        const QList<Item> items = f->reader->timeline().items();
        f->sandbox.server->store().addFolder({9, "Aaa new"});
        f->sandbox.server->setFault("feeds", {500, 0, {}, -1});
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QCOMPARE(errorText(*f->reader),
                 std::optional(u"The server ran into an error of its own."_s));
        QCOMPARE(f->reader->subscriptions().folders().first().name, u"Aaa new"_s);
        QCOMPARE(f->reader->subscriptions().feeds(), feeds);
        QCOMPARE(f->reader->timeline().items(), items);
        QCOMPARE(f->count(news + "/items"), 0);

        f->sandbox.server->clearFaults();
        f->reader->session().setMessage(quoteAdded(u"kept"_s));
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QVERIFY(!errorText(*f->reader));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to kept"_s));
    }

    void foldersFailLeavesFoldersAndCancelsFeeds()
    {
        QVERIFY(f->startLoggedIn());
        const QList<Folder> folders = f->reader->subscriptions().folders();
        f->sandbox.server->setFault("folders", {401, 0, {}, -1});
        // Feeds would come after ten minutes: the refresh ends only if it cancels them.
        f->sandbox.server->setFault("feeds", {0, 600'000, {}, -1});
        f->reader->session().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!f->reader->session().refreshing(), 60'000);
        QVERIFY(errorText(*f->reader)->startsWith(u"The server refused Lumbra's app password"_s));
        QVERIFY(f->reader->session().passwordRefused());
        QCOMPARE(f->reader->subscriptions().folders(), folders);

        // Logging in again takes the refusal away, and says so: the panel and its button go.
        QSignalSpy told(&f->reader->session(), &Session::errorChanged);
        f->reader->session().logInAgain();
        QVERIFY(!f->reader->session().passwordRefused());
        QVERIFY(!errorText(*f->reader));
        QCOMPARE(told.count(), 1);
    }

    void newsNotInstalledNamesTheServer()
    {
        QVERIFY(f->startLoggedIn());
        f->sandbox.server->setNewsInstalled(false);
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QCOMPARE(errorText(*f->reader), std::optional(u"Nextcloud News is not installed on "_s +
                                                      f->sandbox.account().server + u'.'));
    }

    // A server dripping its item list holds a refresh until the pace check ends it; a
    // refresh asked for a minute later takes its place instead of waiting.
    void aHangingRefreshGivesWayToTheNext()
    {
        QVERIFY(f->startLoggedIn());
        sandbox::Fault drip;
        drip.body = sandbox::Fault::Body::drip;
        drip.dripMs = 1000;
        drip.times = 1;
        f->sandbox.server->setFault("items-updated", drip);
        f->sandbox.server->clearRequests();
        f->reader->session().refresh();
        QTRY_COMPARE(f->count(news + "/items/updated"), 1);
        QVERIFY(f->reader->session().refreshing());
        f->reader->session().refresh(); // soon after: the running one may yet end well
        QCOMPARE(f->count(news + "/folders"), 1);

        f->clock.ahead += Session::supersedeAfter;
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QCOMPARE(f->count(news + "/folders"), 2);
        QCOMPARE(f->count(news + "/items/updated"), 2);
        QVERIFY(!f->reader->timeline().loadingItems());
        QVERIFY(!f->reader->timeline().items().isEmpty());
        QCOMPARE(said(*f->reader), std::nullopt); // the replaced one is not a failure
        QCOMPARE(errorText(*f->reader), std::nullopt);
    }

    void staleLoadIsDropped()
    {
        QVERIFY(f->startLoggedIn());
        f->sandbox.server->setFault("items", {0, 300, {}, 1});
        f->reader->timeline().selectSource(Source::feed(1));
        QVERIFY(f->reader->timeline().loadingItems());
        QVERIFY(f->reader->timeline().items().isEmpty()); // emptied at once
        f->reader->timeline().selectSource(Source::feed(3));
        QTRY_COMPARE(ids(f->reader->timeline().items()), (QList<qint64>{8, 9, 11}));
        QTRY_VERIFY(f->sandbox.manager.idle()); // the late feed 1 list arrives and is dropped
        QCOMPARE(ids(f->reader->timeline().items()), (QList<qint64>{8, 9, 11}));
        QVERIFY(!f->reader->timeline().loadingItems());
    }

    void readItemsStayInUnreadOnlySources_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<bool>("kept");
        QTest::newRow("all unread") << Source::allUnread() << true;
        QTest::newRow("feed") << Source::feed(1) << true;
        QTest::newRow("all") << Source::all() << false;
        QTest::newRow("starred") << Source::starred() << false;
    }

    void readItemsStayInUnreadOnlySources()
    {
        QFETCH(Source, source);
        QFETCH(bool, kept);
        QVERIFY(f->startLoggedIn());
        f->reader->timeline().selectSource(source);
        QTRY_VERIFY(!f->reader->timeline().loadingItems() &&
                    !f->reader->timeline().items().isEmpty());
        // Item 2 is unread and starred; elsewhere it is read and unstarred, then gone.
        QVERIFY(ids(f->reader->timeline().items()).contains(2));
        f->reader->timeline().updateItem(2, false, std::nullopt);
        f->sandbox.server->store().setUnread(2, false);
        f->sandbox.server->store().setStarred(2, false);
        // An item still unread here but gone from the reply is dropped everywhere.
        f->sandbox.server->store().setUnread(1, false);
        f->sandbox.server->store().setStarred(1, true);
        await(f->reader->timeline().load());
        QCOMPARE(ids(f->reader->timeline().items()).contains(2), kept || source == Source::all());
        if (source != Source::all() && source != Source::starred())
            QVERIFY(!ids(f->reader->timeline().items()).contains(1));
    }

    // What a full reload of the shown source would list now: articles kept as read here
    // show the server's flags, and leave with their feed.
    QList<Item> fullReload(const QList<Item>& shown)
    {
        const Source source = *f->reader->timeline().source();
        const NewsAPI api(f->sandbox.account(), f->sandbox.session());
        QHash<qint64, Item> onServer;
        for (const Item& item : await(api.items(Source::all())).items)
            onServer.insert(item.id, item);
        QList<Item> kept;
        for (const Item& item : shown)
            if (!item.unread && onServer.contains(item.id)) kept << onServer.value(item.id);
        return newestFirst(ItemMerge::withLocallyRead(await(api.items(source)).items, kept, source,
                                                      f->reader->subscriptions().reach(source)),
                           f->clock.now());
    }

    // Brings the shown source up to date by a refresh; true when it asked only for changes.
    bool refreshed()
    {
        f->sandbox.server->clearRequests();
        f->reader->session().refresh();
        [&] { QTRY_VERIFY(!f->reader->session().refreshing()); }();
        const int full = f->count(news + "/items?");
        const int changes = f->count(news + "/items/updated?");
        return full == 0 && changes == 1;
    }

    // Each script changes things on the server (or here) after a source was loaded; a
    // refresh then asks only for what changed and must list what a full reload would.
    void refreshListsWhatAFullReloadWould_data()
    {
        QTest::addColumn<QString>("script");
        for (const char* script :
             {"nothing", "new articles", "read elsewhere", "unread elsewhere", "starred elsewhere",
              "unstarred elsewhere", "read here", "read here, starred elsewhere", "all at once",
              "a lying answer", "one future date", "feed deleted elsewhere",
              "feed moved out of the folder", "feed moved into the folder",
              "folder deleted elsewhere", "read here, its feed deleted elsewhere"})
            QTest::newRow(script) << QString::fromLatin1(script);
    }

    void refreshListsWhatAFullReloadWould()
    {
        QFETCH(QString, script);
        const auto run = [&](sandbox::NewsStore& store) {
            const bool all = script == u"all at once"_s;
            if (all || script == u"new articles"_s) {
                const qint64 now = f->clock.now();
                store.addItem({.id = 100,
                               .feedId = 1,
                               .guid = "new-100",
                               .url = "https://feed1.example/100",
                               .title = "Fresh",
                               .pubDate = now - 5,
                               .body = "<p>New</p>"},
                              now);
                store.addItem({.id = 101,
                               .feedId = 2,
                               .guid = "new-101",
                               .title = "Fresh and starred",
                               .pubDate = now - 9,
                               .starred = true},
                              now);
            }
            if (all || script == u"read elsewhere"_s)
                for (const qint64 id : {1, 2, 5})
                    store.setUnread(id, false);
            if (all || script == u"unread elsewhere"_s)
                for (const qint64 id : {3, 7})
                    store.setUnread(id, true);
            if (all || script == u"starred elsewhere"_s)
                for (const qint64 id : {1, 3})
                    store.setStarred(id, true);
            if (all || script == u"unstarred elsewhere"_s)
                for (const qint64 id : {2, 7})
                    store.setStarred(id, false);
            if (all || script.startsWith(u"read here"_s)) {
                const auto item = std::find_if(
                    f->reader->timeline().items().cbegin(), f->reader->timeline().items().cend(),
                    [](const Item& i) { return i.id == 6 || (i.id == 2 && i.unread); });
                if (item != f->reader->timeline().items().cend()) {
                    const Item read = *item;
                    f->reader->marker().toggleRead(read);
                    QTRY_COMPARE(f->count(news + "/items/" + std::to_string(read.id) + "/read"), 1);
                    if (script.endsWith(u"its feed deleted elsewhere"_s))
                        QVERIFY(store.deleteFeed(read.feedId));
                }
            }
            if (all || script == u"read here, starred elsewhere"_s) store.setStarred(6, true);
            if (script == u"feed deleted elsewhere"_s) QVERIFY(store.deleteFeed(2));
            if (script == u"feed moved out of the folder"_s) QVERIFY(store.moveFeed(1, {}));
            if (script == u"feed moved into the folder"_s) QVERIFY(store.moveFeed(3, 1));
            if (script == u"folder deleted elsewhere"_s) QVERIFY(store.deleteFolder(1));
            if (script == u"one future date"_s) {
                const qint64 later = f->clock.now() + 7200;
                for (const qint64 id : {103, 102})
                    store.addItem({.id = id,
                                   .feedId = 1,
                                   .guid = "later-" + std::to_string(id),
                                   .title = "Later",
                                   .pubDate = later},
                                  f->clock.now());
            }
            if (script == u"a lying answer"_s) {
                // Items of a feed not in the account, a negative id and a repeat.
                const auto item = [](qint64 id, qint64 feed) {
                    return "{\"id\":" + std::to_string(id) + ",\"feedId\":" + std::to_string(feed) +
                           ",\"title\":\"Lie\",\"unread\":true,\"starred\":true}";
                };
                sandbox::Fault lie;
                lie.body = sandbox::Fault::Body::given;
                lie.given = "{\"items\":[" + item(900, 99) + "," + item(-4, 1) + "," +
                            item(901, 99) + "," + item(900, 99) + "]}";
                f->sandbox.server->setFault("items-updated", lie);
            }
        };
        for (const Source& source : {Source::allUnread(), Source::all(), Source::starred(),
                                     Source::feed(1), Source::folder(1)}) {
            f = std::make_unique<ReaderFixture>();
            QVERIFY(f->startLoggedIn());
            f->reader->timeline().selectSource(source);
            QTRY_VERIFY(!f->reader->timeline().loadingItems() &&
                        !f->reader->timeline().items().isEmpty());
            f->sandbox.server->clearRequests();
            run(f->sandbox.server->store());
            const QList<Item> shown = f->reader->timeline().items();
            // Feeds that left or moved may take a full load; nothing else does.
            const bool onlyChanges = refreshed();
            if (!script.contains(u"feed"_s) && !script.contains(u"folder"_s)) QVERIFY(onlyChanges);
            QCOMPARE(ids(f->reader->timeline().items()), ids(fullReload(shown)));
            QCOMPARE(f->reader->timeline().items(), fullReload(shown));
        }
    }

    void aFullReloadComesWhenChangesAreNotEnough_data()
    {
        QTest::addColumn<QString>("reason");
        QTest::newRow("an hour later") << u"hour"_s;
        QTest::newRow("asking for changes fails") << u"fails"_s;
        QTest::newRow("another source and back") << u"source"_s;
    }

    void aFullReloadComesWhenChangesAreNotEnough()
    {
        QFETCH(QString, reason);
        QVERIFY(f->startLoggedIn());
        QVERIFY(refreshed()); // changes only, to begin with
        f->sandbox.server->store().setUnread(1, false);
        f->sandbox.server->store().setUnread(3, true);
        // Read here, so kept in the list; starred elsewhere.
        f->reader->timeline().select(6);
        QTRY_COMPARE(f->count(news + "/items/6/read"), 1);
        f->sandbox.server->store().setStarred(6, true);
        const QList<Item> shown = f->reader->timeline().items();
        f->sandbox.server->clearRequests();
        if (reason == u"source"_s) {
            f->reader->timeline().selectSource(Source::starred());
            f->reader->timeline().selectSource(Source::allUnread());
            QTRY_VERIFY(!f->reader->timeline().loadingItems() &&
                        !f->reader->timeline().items().isEmpty());
            QCOMPARE(f->count(news + "/items?type=3"), 1);
        } else {
            if (reason == u"hour"_s) f->clock.ahead = ItemMerge::ItemsMark::fullReloadEvery;
            if (reason == u"fails"_s) f->sandbox.server->setFault("items-updated", {500, 0, {}, 1});
            QVERIFY(!refreshed());
            QCOMPARE(f->count(news + "/items?"), 1);
            // Without the changes, the full list cannot tell item 6's star; the next
            // refresh asks for them again.
            if (reason == u"fails"_s) QVERIFY(refreshed());
        }
        QCOMPARE(f->reader->timeline().items(),
                 fullReload(reason == u"source"_s ? QList<Item>{} : shown));
        QCOMPARE(said(*f->reader), std::nullopt);
    }

    void certificatesAreTrustedAsShownAndOnlySo_data()
    {
        QTest::addColumn<QString>("next"); // what the server shows after a restart
        QTest::addColumn<bool>("read");
        QTest::newRow("the same certificate") << u"same"_s << true;
        QTest::newRow("a new key") << u"new key"_s << false;
        QTest::newRow("the same key, expired") << u"expired"_s << false;
        QTest::newRow("the same key, for another name") << u"other name"_s << false;
    }

    // A self-signed server is read once the user trusted what they were shown, across
    // restarts, until its certificate is not that one; nothing else is trusted with it.
    void certificatesAreTrustedAsShownAndOnlySo()
    {
        QFETCH(QString, next);
        QFETCH(bool, read);
        sandbox::Options options;
        options.https = true;
        f = std::make_unique<ReaderFixture>(options);
        Session& session = f->reader->session();
        await(f->reader->start());
        const QString server = QString::fromStdString(f->sandbox.server->baseUrl());
        session.startLogin(server);
        QTRY_COMPARE(session.login().kind(), LoginState::Kind::failed);
        QVERIFY(session.login().failure()->failure.certificateMayBeTrusted());
        const CertificateInfo met = *session.login().failure()->failure.certificate;
        const std::string pem = f->sandbox.server->certificate()->pem();
        QCOMPARE(met.fingerprint, fingerprintOf(pem));
        QCOMPARE(met.publicKey, publicKeyOf(pem));
        QCOMPARE(met.origin, server);
        QVERIFY(loginText(*f->reader).contains(u"nobody vouches for its certificate"_s));

        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        session.trustCertificate(met);
        QTRY_VERIFY(session.account());
        QTRY_VERIFY(!f->reader->timeline().items().isEmpty());

        // Lumbra starts again, and the server with whatever certificate it has now.
        const auto served = f->sandbox.server->certificate();
        auto certificate = std::make_shared<const sandbox::SelfSignedCertificate>(
            next == u"same"_s      ? *served
            : next == u"new key"_s ? sandbox::SelfSignedCertificate::generate("127.0.0.1")
                                   : sandbox::SelfSignedCertificate::generate(
                                         next == u"expired"_s ? "127.0.0.1" : "127.0.0.2",
                                         next == u"expired"_s, served.get()));
        const int port = f->sandbox.server->port();
        const std::string password = session.account()->appPassword.toStdString();
        f->accounts.stored = session.account();
        f->restart();
        f->sandbox.manager.clearConnectionCache();
        options.certificate = certificate;
        f->sandbox.server = std::make_unique<sandbox::Sandbox>(options);
        f->sandbox.server->addAppPassword(password);
        f->sandbox.server->start(port);
        Session& again = f->reader->session();
        await(f->reader->start());
        QTRY_VERIFY(!again.refreshing());
        QCOMPARE(again.error().has_value(), !read);
        if (read) {
            QTRY_VERIFY(!f->reader->timeline().items().isEmpty());
        } else {
            const Failure& refused = again.error()->failure;
            QVERIFY(refused.certificate);
            QCOMPARE(refused.certificate->trustable, next == u"new key"_s);
            if (next == u"new key"_s) {
                QCOMPARE(refused.certificate->pinned, std::optional(met.publicKey));
                QVERIFY(errorText(*f->reader)->contains(u"not the one you trusted"_s));
            } else {
                QCOMPARE(refused.certificate->pinned, std::nullopt);
                // Said in words, the handshake's own under Details.
                const auto problem = next == u"expired"_s ? CertificateProblem::expired
                                                          : CertificateProblem::otherName;
                QCOMPARE(refused.certificate->problems,
                         (QList{problem, CertificateProblem::unvouched}));
                QVERIFY2(errorText(*f->reader)
                             ->contains(next == u"expired"_s ? u"its certificate expired on"_s
                                                             : u"made for another server"_s),
                         qPrintable(*errorText(*f->reader)));
                QVERIFY(!Wording::details(refused).isEmpty());
            }
        }

        // The same certificate at another server is not trusted with it; logging out
        // forgets what was trusted, connections already made included.
        options.certificate = f->sandbox.server->certificate();
        SandboxFixture elsewhere(options);
        const auto asksAbout = [&](const std::string& address) {
            again.startLogin(QString::fromStdString(address));
            return QTest::qWaitFor([&] {
                return again.login().kind() == LoginState::Kind::failed &&
                       again.login().failure()->failure.certificate;
            });
        };
        QVERIFY(asksAbout(elsewhere.server->baseUrl()));
        again.logOut();
        QCOMPARE(f->files.settings.certificatePins(), (QMap<QString, QString>()));
        QVERIFY(asksAbout(f->sandbox.server->baseUrl()));
    }

    void requestsGoThroughTheDesktopsProxy_data()
    {
        QTest::addColumn<bool>("wantsPassword");
        QTest::newRow("a proxy that tunnels") << false;
        QTest::newRow("a proxy that wants a password") << true;
    }

    // With https_proxy set, as a desktop sets it, Lumbra's requests to the server go through
    // the proxy (as the app has Qt read the system's settings).
    void requestsGoThroughTheDesktopsProxy()
    {
        QFETCH(bool, wantsPassword);
        ConnectProxy proxy(wantsPassword);
        qputenv("https_proxy", proxy.address().toUtf8());
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        const auto restore = qScopeGuard([] {
            qunsetenv("https_proxy");
            QNetworkProxyFactory::setUseSystemConfiguration(false);
        });
        // A server by name: Qt never sends a loopback address through a proxy.
        sandbox::Options options;
        options.https = true;
        options.certificate = std::make_shared<const sandbox::SelfSignedCertificate>(
            sandbox::SelfSignedCertificate::generate("nextcloud.proxied.test"));
        f = std::make_unique<ReaderFixture>(options);
        const QString server =
            u"https://nextcloud.proxied.test:%1"_s.arg(f->sandbox.server->port());
        f->files.settings.setCertificatePins({{server, publicKeyOf(options.certificate->pem())}});
        f->restart();
        Account account = f->sandbox.account();
        account.server = server;
        f->accounts.stored = account;
        await(f->reader->start());
        if (wantsPassword) {
            QTRY_VERIFY(errorText(*f->reader));
            QVERIFY2(
                errorText(*f->reader)->contains(u"the proxy asks for a user name and password"_s),
                qPrintable(*errorText(*f->reader)));
            QVERIFY(f->sandbox.requests().empty());
        } else {
            QTRY_VERIFY(!f->reader->timeline().items().isEmpty());
            QVERIFY(proxy.tunnels > 0);
        }
    }
};

QTEST_GUILESS_MAIN(ReaderTest)
#include "tst_reader.moc"
