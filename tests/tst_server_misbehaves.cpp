#include "Await.h"
#include "Heartbeat.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/internal/Http.h"
#include "LumbraCore/internal/Inflater.h"
#include "ReaderFixture.h"
#include "Views/FeedIcons.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

using Body = sandbox::Fault::Body;
constexpr qint64 MB = 1 << 20;

// The longest the window's thread may compute at a stretch, and memory the allocator may
// hold on top. Under the sanitizers a growing buffer is copied rather than remapped and
// freed memory stays in quarantine, so only a hang counts there.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 longestBusy = 1000;
constexpr qint64 quarantine = 256 * MB;
#else
constexpr qint64 longestBusy = 100;
constexpr qint64 quarantine = 0;
#endif

// What the user does while the server misbehaves.
enum class Action {
    refresh,
    loadItems,
    openLink,
    read,
    select,
    unread,
    star,
    unstar,
    markAll,
    logIn,
    logOut
};

bool isChange(Action action)
{
    return action >= Action::read && action <= Action::markAll;
}

// Short limits, so endless and dripping replies end soon.
void shortLimits(HttpSession& session)
{
    session.timeout = std::chrono::milliseconds(1000);
    session.deadline = std::chrono::milliseconds(2000);
    // Item lists end by their pace, long before their deadline.
    session.listDeadline = std::chrono::milliseconds(60'000);
    session.listPaceWindow = std::chrono::milliseconds(1000);
    session.listLimit = 64 * MB;
}

sandbox::Fault hostile(Body body, int dripMs = 1000, int depth = 100000)
{
    sandbox::Fault fault;
    fault.body = body;
    fault.dripMs = dripMs;
    fault.depth = depth;
    return fault;
}

// The ways any server call can fail. `decodes` says whether the call reads the reply's body,
// so that a damaged body fails it. The time-out waits past the request time-out, once.
struct Drill {
    const char* name;
    sandbox::Fault fault;
    QString text;
};
QList<Drill> drills(bool decodes)
{
    const QString decoding = decodes ? u"The data couldn't be read"_s : QString();
    return {
        {"500", {500, 0, Body::normal, -1}, u"error of its own"_s},
        {"401", {401, 0, Body::normal, -1}, u"refused Lumbra's app password"_s},
        {"time-out", {0, 1500, Body::normal, 1}, u"timed out"_s},
        {"truncated", {0, 0, Body::truncated, -1}, decoding},
        {"malformed", {0, 0, Body::malformed, -1}, decoding},
        {"dropped", {0, 0, Body::drop, -1}, u"closed"_s},
    };
}

// The sandbox's item list, its body taken by `sink` as the News client's would be.
Http::Reply itemListInto(Http::BodySink& sink, SandboxFixture& sandbox, HttpSession session)
{
    QNetworkRequest request(QUrl(QString::fromStdString(sandbox.server->baseUrl()) +
                                 u"/index.php/apps/news/api/v1-3/items?type=3&id=0"_s));
    request.setRawHeader("Authorization", basicAuthorization(sandbox.account()));
    Http::Limits limits;
    limits.bytes = session.listLimit;
    limits.itemList = true;
    limits.sink = &sink;
    return await(Http::send(session, request, "GET", std::nullopt, {}, std::move(limits)));
}

} // namespace

Q_DECLARE_METATYPE(Action)

// Every server call the Reader makes, with the server (or whatever sits between) failing as
// a broken network or an attacker would, over real HTTP: the window keeps responding, the
// memory stays bounded, the user is told in words, the state is as before the call, the
// password goes nowhere else, and once the server behaves the next call works.
class ServerMisbehavesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

    // Does `action`; returns what the user is told of it.
    QString act(Action action)
    {
        Reader& reader = *f->reader;
        const auto item = [&](qint64 id) {
            for (const Item& each : reader.timeline().items())
                if (each.id == id) return each;
            return Item{};
        };
        switch (action) {
        case Action::refresh:
            reader.session().refresh();
            if (!QTest::qWaitFor([&] { return !reader.session().refreshing(); }, 15000))
                return u"(never ended)"_s;
            return errorText(reader).value_or(QString());
        case Action::loadItems:
            await(reader.timeline().load());
            return said(reader).value_or(QString());
        case Action::openLink: {
            const QUrl article(u"https://example.org/a"_s);
            await(reader.openLink(LumbraLink(3, article)));
            if (f->browser.opened != QList<QUrl>{article}) return u"(not opened)"_s;
            await(reader.openLink(LumbraLink(3, std::nullopt)));
            return said(reader).value_or(QString());
        }
        case Action::read:
            reader.marker().toggleRead(item(5));
            break;
        case Action::select:
            reader.timeline().select(std::nullopt); // chosen anew each time
            reader.timeline().select(5);
            break;
        case Action::unread:
            reader.marker().toggleRead(item(3));
            break;
        case Action::star:
            reader.marker().toggleStarred(item(5));
            break;
        case Action::unstar:
            reader.marker().toggleStarred(item(7));
            break;
        case Action::markAll:
            reader.marker().markAllRead();
            break;
        case Action::logIn:
            reader.session().startLogin(f->sandbox.account().server);
            // Ends, or goes on polling past failed polls.
            if (!QTest::qWaitFor(
                    [&] {
                        return reader.session().login() != LoginState::waiting() ||
                               f->count("/index.php/login/v2/poll") >= 2;
                    },
                    15000))
                return u"(never ended)"_s;
            return loginText(reader);
        case Action::logOut:
            reader.session().logOut();
            return said(reader).value_or(QString());
        }
        return said(reader).value_or(QString());
    }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void serverMisbehaves_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("text");  // in what the user is told; "" when nothing failed
        QTest::addColumn<qint64>("memory"); // the most the process may grow, in bytes

        // `only` names the drills to run, all when empty.
        const auto drill = [](const char* route, Action action, const char* name, bool decodes,
                              const std::function<QString(const QString&)>& told = {},
                              const QStringList& only = {}) {
            for (Drill each : drills(decodes)) {
                if (!only.isEmpty() && !only.contains(QString::fromLatin1(each.name))) continue;
                if (action == Action::openLink) each.fault.times = -1; // both lookups fail
                QTest::addRow("%s %s", name, each.name)
                    << QString::fromLatin1(route) << each.fault << action
                    << (told ? told(each.text) : each.text) << 32 * MB;
            }
        };
        drill("folders", Action::refresh, "refresh, folders", true);
        drill("feeds", Action::refresh, "refresh, feeds", true);
        drill("items", Action::loadItems, "items", true);
        drill("items", Action::openLink, "link to an article", true,
              [](const QString&) { return u"Can't find that article in News any more."_s; });
        // A change the server answered was refused; one that never got an answer was not
        // delivered.
        const auto change = [](const QString& text) {
            if (text.isEmpty()) return text; // nothing failed
            // The drills the server answered: 500 and 401.
            const bool answered = text == u"error of its own"_s || text.contains(u"password"_s);
            return answered ? u"Nextcloud refused the change: "_s : u"Couldn't reach Nextcloud: "_s;
        };
        // Every way a change can fail, once; then each change's own undo, once.
        drill("item-read", Action::read, "read", false, change);
        const QStringList refused{u"500"_s};
        drill("item-read", Action::select, "select", false, change, refused);
        drill("item-unread", Action::unread, "unread", false, change, refused);
        drill("item-star", Action::star, "star", false, change, refused);
        drill("item-unstar", Action::unstar, "unstar", false, change, refused);
        drill("items-read", Action::markAll, "mark all", false, change, refused);
        drill("login-start", Action::logIn, "login start", true);
        // A failed poll counts as a pending one: the login goes on.
        drill("login-poll", Action::logIn, "login poll", true,
              [](const QString&) { return QString(); });
        drill("revoke", Action::logOut, "revocation", true,
              [](const QString&) { return QString(); });

        const auto row = [](const char* name, const char* route, const sandbox::Fault& fault,
                            Action action, const QString& text, qint64 memory) {
            QTest::newRow(name) << QString::fromLatin1(route) << fault << action << text << memory;
        };
        row("lying length, folders", "folders", hostile(Body::lyingLength), Action::refresh,
            u"closed"_s, 32 * MB);
        row("lying length, items", "items", hostile(Body::lyingLength), Action::loadItems,
            u"Couldn't load articles"_s, 32 * MB);
        row("endless items", "items", hostile(Body::endless), Action::loadItems,
            u"The server's reply is larger than 64 MB."_s, 300 * MB);
        row("endless answer to a read", "item-read", hostile(Body::endless), Action::read,
            u"The server's reply is larger than 16 MB."_s, 100 * MB);
        row("compressed, feeds", "feeds", hostile(Body::gzip), Action::refresh, QString(), 32 * MB);
        row("compressed, items", "items", hostile(Body::gzip), Action::loadItems, QString(),
            32 * MB);
        // Bounded by what the body inflates to, not by what arrives.
        row("compressed bomb, items", "items", hostile(Body::bomb), Action::loadItems,
            u"The server's reply is larger than 64 MB."_s, 300 * MB);
        row("compressed bomb, answer to a read", "item-read", hostile(Body::bomb), Action::read,
            u"The server's reply is larger than 16 MB."_s, 100 * MB);
        row("dripping folders", "folders", hostile(Body::drip, 300), Action::refresh,
            u"timed out"_s, 32 * MB);
        row("dripping items", "items", hostile(Body::drip, 300), Action::loadItems, u"timed out"_s,
            32 * MB);
        row("deep nesting, feeds", "feeds", hostile(Body::deep), Action::refresh,
            u"nested deeper than 256 levels"_s, 32 * MB);
        row("deep nesting, items", "items", hostile(Body::deep, 0, 1'000'000), Action::loadItems,
            u"nested deeper than 256 levels"_s, 64 * MB);
        row("nesting within the limit", "items", hostile(Body::deep, 0, 200), Action::loadItems,
            QString(), 32 * MB);
        sandbox::Fault hugeItem;
        hugeItem.body = Body::given;
        hugeItem.given = "{\"items\":[{\"id\":1,\"feedId\":1,\"title\":\"Huge\",\"body\":\"" +
                         std::string(40 * MB, 'x') + "\",\"unread\":true,\"starred\":false}]}";
        // Loads, with the item held a few times over at most (the reply, the item, its
        // search text), never on the window's thread.
        row("one item of 40 MB", "items", hugeItem, Action::loadItems, QString(), 200 * MB);
        row("redirect elsewhere, folders", "folders", hostile(Body::redirect), Action::refresh,
            u"127.0.0.2"_s, 32 * MB);
        row("redirect elsewhere, items", "items", hostile(Body::redirect), Action::loadItems,
            u"127.0.0.2"_s, 32 * MB);
        row("redirect elsewhere, revocation", "revoke", hostile(Body::redirect), Action::logOut,
            QString(), 32 * MB);
        row("redirect elsewhere, login", "login-start", hostile(Body::redirect), Action::logIn,
            u"127.0.0.2"_s, 32 * MB);
    }

    void serverMisbehaves()
    {
        QFETCH(QString, route);
        QFETCH(sandbox::Fault, fault);
        QFETCH(Action, action);
        QFETCH(QString, text);
        QFETCH(qint64, memory);
        // The login must not run out of polls while the test looks on, however slow the machine.
        ReaderTiming timing = ReaderFixture::fastTiming();
        timing.maxPolls = std::numeric_limits<int>::max();
        f = std::make_unique<ReaderFixture>(sandbox::Options{}, timing, requestTimeout,
                                            shortLimits);
        Reader& reader = *f->reader;
        if (action == Action::logIn) {
            await(reader.start());
        } else {
            QVERIFY(f->startLoggedIn());
        }
        if (isChange(action)) {
            reader.timeline().selectSource(Source::all());
            QTRY_COMPARE(reader.timeline().items().size(), 18);
        }
        const QList<Item> items = reader.timeline().items();
        const QList<Feed> feeds = reader.subscriptions().feeds();
        const qint64 starred = reader.subscriptions().starredCount();
        const auto changed = [&] {
            return reader.timeline().items() != items ||
                   reader.subscriptions().starredCount() != starred;
        };

        f->sandbox.server->setFault(route.toStdString(), fault);
        if (action == Action::loadItems) f->sandbox.server->setFault("items-updated", fault);
        Heartbeat heartbeat; // after the faults: a 40 MB one takes a while to copy
        const size_t before = f->sandbox.requests().size();
        QString heard = act(action);
        if (isChange(action)) {
            QVERIFY(changed()); // at once, before the server answers
            if (text.isEmpty()) {
                // The change has its answer, and it was no refusal.
                QTRY_VERIFY_WITH_TIMEOUT(f->sandbox.manager.idle(), 10000);
                QVERIFY(!said(reader));
                QVERIFY(changed());
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(said(reader), 10000);
            }
            heard = said(reader).value_or(QString());
        } else if (action == Action::logIn && text.isEmpty()) {
            QCOMPARE(reader.session().login(), LoginState::waiting());
        } else if (action == Action::logOut) {
            QVERIFY(!reader.session().account());
            QTRY_VERIFY_WITH_TIMEOUT(f->sandbox.requests().size() > before, 10000);
            // The revocation goes on in the background, and ends without a word.
            QTRY_VERIFY_WITH_TIMEOUT(f->sandbox.manager.idle(), 10000);
            QCOMPARE(reader.session().login(), LoginState::idle());
        }
        QVERIFY2(text.isEmpty() ? heard.isEmpty() : heard.contains(text), qPrintable(heard));
        QVERIFY2(heartbeat.longestBusyStretch() < longestBusy,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));
        QVERIFY2(heartbeat.peakGrowth() < memory + quarantine,
                 qPrintable(u"grew by %1 MB"_s.arg(heartbeat.peakGrowth() / MB)));
        for (const auto& request : f->sandbox.server->elsewhereRequests())
            QVERIFY2(!request.hasHeader("authorization"), request.target.c_str());
        if (!text.isEmpty() && action != Action::logIn && action != Action::openLink) {
            QCOMPARE(reader.timeline().items(), items); // untouched, or undone
            QCOMPARE(reader.subscriptions().feeds(), feeds);
            QCOMPARE(reader.subscriptions().starredCount(), starred);
            QVERIFY(!reader.timeline().loadingItems());
        }

        // Once the server behaves, the same call works.
        f->sandbox.server->clearFaults();
        reader.session().setMessage(std::nullopt);
        switch (action) {
        case Action::logIn:
            QVERIFY(!reader.session().account());
            f->browser.onOpen = [this](const QUrl& url) {
                f->sandbox.server->grant(url.toString().toStdString());
            };
            if (!f->browser.opened.isEmpty())
                f->sandbox.server->grant(f->browser.opened.last().toString().toStdString());
            else
                reader.session().startLogin(f->sandbox.account().server);
            QTRY_VERIFY_WITH_TIMEOUT(reader.session().account(), 10000);
            break;
        case Action::logOut:
            break;
        case Action::openLink:
            await(reader.openLink(LumbraLink(3, std::nullopt)));
            QCOMPARE(reader.timeline().selectedId(), std::optional<qint64>(3));
            break;
        case Action::loadItems:
            reader.timeline().selectSource(Source::all());
            QTRY_VERIFY_WITH_TIMEOUT(reader.timeline().items().size() == 18, 10000);
            break;
        default:
            if (isChange(action) && !text.isEmpty()) {
                act(action);
                QTRY_VERIFY_WITH_TIMEOUT(f->sandbox.manager.idle(), 10000);
                QVERIFY(!said(reader));
                QVERIFY(changed());
            }
            reader.session().refresh();
            QTRY_VERIFY_WITH_TIMEOUT(!reader.session().refreshing(), 15000);
            QVERIFY2(!errorText(reader), qPrintable(errorText(reader).value_or(QString())));
        }
    }

    void redirectsStayOnTheServer_data()
    {
        QTest::addColumn<QUrl>("from");
        QTest::addColumn<QUrl>("to");
        QTest::addColumn<bool>("followed");
        const auto row = [](const char* name, const char* from, const char* to, bool followed) {
            QTest::newRow(name) << QUrl(QString::fromLatin1(from)) << QUrl(QString::fromLatin1(to))
                                << followed;
        };
        row("same place", "https://c.example/a", "https://c.example/b", true);
        row("host in other case", "https://c.example/a", "https://C.Example/b", true);
        row("upgrade to https", "http://c.example/a", "https://c.example/a", true);
        row("upgrade on own port", "http://c.example:8080/a", "https://c.example:8080/a", true);
        row("downgrade", "https://c.example/a", "http://c.example/a", false);
        row("other host", "https://c.example/a", "https://evil.example/a", false);
        row("sub-domain", "https://c.example/a", "https://x.c.example/a", false);
        row("other port", "https://c.example/a", "https://c.example:8443/a", false);
        row("other scheme", "https://c.example/a", "ftp://c.example/a", false);
    }

    void redirectsStayOnTheServer()
    {
        QFETCH(QUrl, from);
        QFETCH(QUrl, to);
        QFETCH(bool, followed);
        QCOMPARE(Http::sameOrigin(from, to), followed);
    }

    // Favicons are fetched within limits and decoded off the window's thread, and only when
    // the picture is small; a favicon not on the web is not even asked for.
    void faviconsAreSmallPicturesOrNothing_data()
    {
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<bool>("shown");
        const auto png = [](int side) {
            QImage picture(side, side, QImage::Format_Grayscale8);
            picture.fill(0);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG", 0); // most compressed
            sandbox::Fault fault;
            fault.body = Body::given;
            fault.given = bytes.toStdString();
            return fault;
        };
        QTest::newRow("a 64 × 64 icon") << png(64) << true;
        // 9 KB that decode for a tenth of a second into 36 MB.
        QTest::newRow("a picture of 3000 × 3000") << png(3000) << false;
        // Just within what Qt itself would decode.
        QTest::newRow("a picture of 5000 × 5000") << png(5000) << false;
        sandbox::Fault garbage;
        garbage.body = Body::given;
        garbage.given = std::string("GIF89a\x01\x00\x01\x00garbage", 17);
        QTest::newRow("not a picture") << garbage << false;
        QTest::newRow("endless") << hostile(Body::endless) << false;
    }

    void faviconsAreSmallPicturesOrNothing()
    {
        QFETCH(sandbox::Fault, fault);
        QFETCH(bool, shown);
        SandboxFixture sandbox;
        sandbox.server->setFault("favicon", fault);
        HttpSession session = sandbox.session();
        shortLimits(session);
        FeedIcons icons(session);
        QSignalSpy loaded(&icons, &FeedIcons::iconLoaded);
        Heartbeat heartbeat;
        const QString base = QString::fromStdString(sandbox.server->baseUrl());
        icons.icon(u"file:///etc/passwd"_s);
        icons.icon(base + u"/favicons/x.png"_s);
        if (shown) {
            QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 15000);
        } else {
            const auto asked = [&] {
                for (const sandbox::LoggedRequest& request : sandbox.server->requests())
                    if (request.target.starts_with("/favicons/")) return true;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(asked(), 15000);
            QTest::qWait(1500); // past the endless one's deadline
            QCOMPARE(loaded.count(), 0);
        }
        QVERIFY2(heartbeat.longestBusyStretch() < longestBusy,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));
        QVERIFY2(heartbeat.peakGrowth() < 64 * MB + quarantine,
                 qPrintable(u"memory grew %1 MB"_s.arg(heartbeat.peakGrowth() / MB)));

        sandbox.server->clearFaults();
        icons.icon(base + u"/favicons/y.png"_s);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), shown ? 2 : 1, 15000);
    }

    // A list held back while its taker catches up is not a server too slow to be real.
    void aSinkCatchingUpIsNoSlowServer()
    {
        sandbox::Options large; // more than Qt holds for a reply not read on
        large.generatedItems = 2000;
        SandboxFixture sandbox(large);
        HttpSession session = sandbox.session();
        shortLimits(session);                                // a second's pace window
        session.timeout = std::chrono::milliseconds(10'000); // Qt's own wait for bytes
        struct Busy final : Http::BodySink {
            void write(QByteArray piece) override { bytes += piece.size(); }
            void inflate(std::unique_ptr<Inflater>, qint64) override {}
            // Behind for three pace windows, then caught up.
            qint64 backlog() const override { return busy.elapsed() < 3000 ? qint64(1) << 40 : 0; }
            bool failed() const override { return false; }
            QElapsedTimer busy;
            qint64 bytes = 0;
        } sink;
        sink.busy.start();
        const Http::Reply reply = itemListInto(sink, sandbox, session);
        QCOMPARE(reply.status, 200);
        QVERIFY(sink.bytes > 0);
    }

    // A body that can no longer be read is not fetched to the size limit.
    void aFailedSinkEndsTheReply()
    {
        SandboxFixture sandbox;
        sandbox.server->setFault("items", hostile(Body::endless));
        HttpSession session = sandbox.session();
        shortLimits(session);
        struct Refusing final : Http::BodySink {
            void write(QByteArray piece) override { bytes += piece.size(); }
            void inflate(std::unique_ptr<Inflater>, qint64) override {}
            qint64 backlog() const override { return 0; }
            bool failed() const override { return bytes > 0; }
            qint64 bytes = 0;
        } sink;
        const Http::Reply reply = itemListInto(sink, sandbox, session);
        QCOMPARE(reply.status, 200);
        QVERIFY(reply.body.isEmpty());
        QVERIFY2(sink.bytes < 4 * MB, qPrintable(QString::number(sink.bytes)));
    }

    void extremeNumbersAreSafe()
    {
        // Under the sanitizers, any signed overflow here fails the test.
        f = std::make_unique<ReaderFixture>();
        QVERIFY(f->startLoggedIn());
        const qint64 largest = std::numeric_limits<qint64>::max();
        await(
            f->reader->openLink(*LumbraLink::parse(QUrl(u"tavo://lumbra/item/%1"_s.arg(largest)))));
        QCOMPARE(said(*f->reader), std::optional(u"Can't find that article in News any more."_s));
        const auto offsets = f->targets().filter(u"offset="_s);
        QVERIFY(!offsets.isEmpty());
        QVERIFY2(offsets.last().endsWith(u"offset=0"_s), qPrintable(offsets.last()));

        // A starred count the server set at the largest, starred once more and undone.
        Subscriptions counts;
        counts.setStarredCount(largest);
        counts.adjustStarred(1);
        QCOMPARE(counts.starredCount(), largest);
        counts.adjustStarred(std::numeric_limits<qint64>::min());
        QCOMPARE(counts.starredCount(), 0);

        const qint64 now = 1'700'000'000;
        QVERIFY(!relativeDate(std::numeric_limits<qint64>::min(), now).isEmpty());
        QVERIFY(!relativeDate(largest, now).isEmpty());
        QVERIFY(!relativeDate(now, std::numeric_limits<qint64>::min()).isEmpty());
    }
};

QTEST_MAIN(ServerMisbehavesTest)
#include "tst_server_misbehaves.moc"
