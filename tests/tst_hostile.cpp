#include "Await.h"
#include "Heartbeat.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/internal/Http.h"
#include "ReaderFixture.h"
#include "Views/FeedIcons.h"

#include <QBuffer>
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
enum class Action { refresh, loadItems, markRead, logOut, logIn };

// The time limits and list limit of these tests, so endless and dripping replies end soon.
void shortLimits(HttpSession& session)
{
    session.timeout = std::chrono::milliseconds(1500);
    session.deadline = std::chrono::milliseconds(2000);
    session.listDeadline = std::chrono::milliseconds(2500);
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

} // namespace

Q_DECLARE_METATYPE(Action)

// A server (or whatever sits between it and Lumbra) answering as an attacker would, over
// real HTTP: the Reader survives, says what happened, keeps its memory and never stalls
// the event loop, and sends the password nowhere else.
class HostileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void hostileServer_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("text");  // in the error, message or login text; "" for none
        QTest::addColumn<qint64>("memory"); // the most the process may grow, in bytes

        QTest::newRow("lying length, folders") << u"folders"_s << hostile(Body::lyingLength)
                                               << Action::refresh << u"closed"_s << 32 * MB;
        QTest::newRow("lying length, items")
            << u"items"_s << hostile(Body::lyingLength) << Action::loadItems
            << u"Couldn't load articles"_s << 32 * MB;
        QTest::newRow("endless items") << u"items"_s << hostile(Body::endless) << Action::loadItems
                                       << u"The server's reply is larger than 64 MB."_s << 300 * MB;
        QTest::newRow("endless answer to a read")
            << u"item-read"_s << hostile(Body::endless) << Action::markRead
            << u"The server's reply is larger than 16 MB."_s << 100 * MB;
        QTest::newRow("dripping folders") << u"folders"_s << hostile(Body::drip, 300)
                                          << Action::refresh << u"timed out"_s << 32 * MB;
        QTest::newRow("dripping items") << u"items"_s << hostile(Body::drip, 300)
                                        << Action::loadItems << u"timed out"_s << 32 * MB;
        QTest::newRow("deep nesting, feeds") << u"feeds"_s << hostile(Body::deep) << Action::refresh
                                             << u"nested deeper than 256 levels"_s << 32 * MB;
        QTest::newRow("deep nesting, items")
            << u"items"_s << hostile(Body::deep, 0, 1'000'000) << Action::loadItems
            << u"nested deeper than 256 levels"_s << 64 * MB;
        QTest::newRow("nesting within the limit") << u"items"_s << hostile(Body::deep, 0, 200)
                                                  << Action::loadItems << QString() << 32 * MB;
        sandbox::Fault hugeItem;
        hugeItem.body = Body::given;
        hugeItem.given = "{\"items\":[{\"id\":1,\"feedId\":1,\"title\":\"Huge\",\"body\":\"" +
                         std::string(40 * MB, 'x') + "\",\"unread\":true,\"starred\":false}]}";
        // Loads, with the item held a few times over at most (the reply, the item, its
        // search text), never on the window's thread.
        QTest::newRow("one item of 40 MB")
            << u"items"_s << hugeItem << Action::loadItems << QString() << 200 * MB;
        QTest::newRow("redirect elsewhere, folders")
            << u"folders"_s << hostile(Body::redirect) << Action::refresh << u"127.0.0.2"_s
            << 32 * MB;
        QTest::newRow("redirect elsewhere, read") << u"items"_s << hostile(Body::redirect)
                                                  << Action::loadItems << u"127.0.0.2"_s << 32 * MB;
        QTest::newRow("redirect elsewhere, revocation")
            << u"revoke"_s << hostile(Body::redirect) << Action::logOut << QString() << 32 * MB;
        QTest::newRow("redirect elsewhere, login") << u"login-start"_s << hostile(Body::redirect)
                                                   << Action::logIn << u"127.0.0.2"_s << 32 * MB;
    }

    void hostileServer()
    {
        QFETCH(QString, route);
        QFETCH(sandbox::Fault, fault);
        QFETCH(Action, action);
        QFETCH(QString, text);
        QFETCH(qint64, memory);
        f = std::make_unique<ReaderFixture>(sandbox::Options{}, ReaderFixture::fastTiming(),
                                            requestTimeout, shortLimits);
        QVERIFY(f->startLoggedIn());
        f->sandbox.server->setFault(route.toStdString(), fault);

        Heartbeat heartbeat;
        Reader& reader = *f->reader;
        QString heard;
        switch (action) {
        case Action::refresh:
            reader.session().refresh();
            QTRY_VERIFY_WITH_TIMEOUT(!reader.session().refreshing(), 15000);
            heard = errorText(reader).value_or(QString());
            break;
        case Action::loadItems:
            reader.timeline().selectSource(Source::all());
            QTRY_VERIFY_WITH_TIMEOUT(!reader.timeline().loadingItems(), 15000);
            heard = said(reader).value_or(QString());
            break;
        case Action::markRead: {
            const Item first = reader.timeline().items().first();
            reader.marker().toggleRead(first);
            QTRY_VERIFY_WITH_TIMEOUT(said(reader), 15000);
            heard = *said(reader);
            QVERIFY(reader.timeline().items().first().unread); // undone
            break;
        }
        case Action::logOut:
            reader.session().logOut();
            QTest::qWait(500); // the revocation goes on in the background
            break;
        case Action::logIn:
            reader.session().startLogin(f->sandbox.account().server);
            QTRY_VERIFY_WITH_TIMEOUT(reader.session().login().kind() != LoginState::Kind::waiting,
                                     15000);
            heard = loginText(reader);
            break;
        }
        QVERIFY2(text.isEmpty() ? heard.isEmpty() : heard.contains(text), qPrintable(heard));
        QVERIFY2(heartbeat.longestBusyStretch() < longestBusy,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));
        QVERIFY2(heartbeat.peakGrowth() < memory + quarantine,
                 qPrintable(u"grew by %1 MB"_s.arg(heartbeat.peakGrowth() / MB)));
        for (const auto& request : f->sandbox.server->elsewhereRequests())
            QVERIFY2(!request.hasHeader("authorization"), request.target.c_str());

        // Whatever happened, the next refresh runs and works.
        f->sandbox.server->clearFaults();
        if (reader.session().account()) {
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

    void endlessFaviconIsCapped()
    {
        SandboxFixture sandbox;
        sandbox.server->setFault("favicon", hostile(Body::endless));
        HttpSession session = sandbox.session();
        shortLimits(session);
        FeedIcons icons(session);
        QSignalSpy loaded(&icons, &FeedIcons::iconLoaded);
        Heartbeat heartbeat;
        const QString endless =
            QString::fromStdString(sandbox.server->baseUrl()) + u"/favicons/x.png"_s;
        icons.icon(endless);
        icons.icon(u"file:///etc/passwd"_s); // not even asked for
        QTest::qWait(1500);
        QCOMPARE(loaded.count(), 0);
        QVERIFY(heartbeat.peakGrowth() < 64 * MB + quarantine);
        QVERIFY(heartbeat.longestBusyStretch() < longestBusy);

        sandbox.server->clearFaults();
        icons.icon(QString::fromStdString(sandbox.server->baseUrl()) + u"/favicons/y.png"_s);
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 15000);
    }

    // Favicons are decoded off the window's thread, and only when the picture is small.
    void faviconsAreSmallPicturesOrNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("shown");
        const auto png = [](int side) {
            QImage picture(side, side, QImage::Format_Grayscale8);
            picture.fill(0);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG", 0); // most compressed
            return bytes;
        };
        QTest::newRow("a 64 × 64 icon") << png(64) << true;
        // 9 KB that decode for a tenth of a second into 36 MB.
        QTest::newRow("a picture of 3000 × 3000") << png(3000) << false;
        // Just within what Qt itself would decode.
        QTest::newRow("a picture of 5000 × 5000") << png(5000) << false;
        QTest::newRow("not a picture") << QByteArray("GIF89a\x01\x00\x01\x00garbage") << false;
    }

    void faviconsAreSmallPicturesOrNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, shown);
        SandboxFixture sandbox;
        sandbox::Fault fault;
        fault.body = Body::given;
        fault.given = bytes.toStdString();
        sandbox.server->setFault("favicon", fault);
        FeedIcons icons(sandbox.session());
        QSignalSpy loaded(&icons, &FeedIcons::iconLoaded);
        Heartbeat heartbeat;
        icons.icon(QString::fromStdString(sandbox.server->baseUrl()) + u"/favicons/x.png"_s);
        if (shown) {
            QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 15000);
        } else {
            const auto asked = [&] {
                for (const sandbox::LoggedRequest& request : sandbox.server->requests())
                    if (request.target.starts_with("/favicons/")) return true;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(asked(), 15000);
            QTest::qWait(1000);
            QCOMPARE(loaded.count(), 0);
        }
        QVERIFY2(heartbeat.longestBusyStretch() < longestBusy,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));
        QVERIFY2(heartbeat.peakGrowth() < 32 * MB + quarantine,
                 qPrintable(u"memory grew %1 MB"_s.arg(heartbeat.peakGrowth() / MB)));
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
            qint64 backlog() const override { return 0; }
            bool failed() const override { return bytes > 0; }
            qint64 bytes = 0;
        } sink;
        QNetworkRequest request(QUrl(QString::fromStdString(sandbox.server->baseUrl()) +
                                     u"/index.php/apps/news/api/v1-3/items?type=3&id=0"_s));
        request.setRawHeader("Authorization", basicAuthorization(sandbox.account()));
        Http::Limits limits;
        limits.bytes = session.listLimit;
        limits.itemList = true;
        limits.sink = &sink;
        const Http::Reply reply =
            await(Http::send(session, request, "GET", std::nullopt, {}, std::move(limits)));
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

        const qint64 now = 1'700'000'000;
        QVERIFY(!relativeDate(std::numeric_limits<qint64>::min(), now).isEmpty());
        QVERIFY(!relativeDate(largest, now).isEmpty());
        QVERIFY(!relativeDate(now, std::numeric_limits<qint64>::min()).isEmpty());
    }
};

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
