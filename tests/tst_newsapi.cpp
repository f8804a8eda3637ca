#include "Await.h"
#include "LumbraCore/Json.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/internal/Http.h"
#include "SandboxFixture.h"

#include <QLoggingCategory>
#include <QTest>
#include <QTimer>
#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;
using Operation = std::function<QCoro::Task<>(const NewsAPI&)>;
Q_DECLARE_METATYPE(Operation)

namespace {

const QByteArray apiBase = "/index.php/apps/news/api/v1-3";

// A table row's call to the API.
#define CALL(call) Operation([](const NewsAPI& a) -> QCoro::Task<> { co_await a.call; })

// Runs an operation to its end; returns the description of what it threw, "" on success.
template <typename Task> QString outcome(Task&& task)
{
    try {
        await(std::forward<Task>(task));
        return QString();
    } catch (const LumbraError& e) {
        return e.description();
    }
}

} // namespace

class NewsAPITest : public QObject {
    Q_OBJECT

    std::unique_ptr<SandboxFixture> m_sandbox;
    NewsAPI api() const { return NewsAPI(m_sandbox->account(), m_sandbox->session()); }

private Q_SLOTS:
    void init() { m_sandbox = std::make_unique<SandboxFixture>(); }
    void cleanup() { m_sandbox.reset(); }

    // A refresh asks for changes since the server's own clock, read from its Date header.
    void serverTimeIsReadFromTheDateHeader_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<std::optional<qint64>>("seconds");
        QTest::newRow("HTTP date")
            << "Sun, 06 Dec 2026 23:39:49 GMT"_ba << std::optional<qint64>(1796600389);
        QTest::newRow("numeric zone")
            << "Sun, 06 Dec 2026 23:39:49 +0000"_ba << std::optional<qint64>(1796600389);
        QTest::newRow("none") << QByteArray() << std::optional<qint64>();
        QTest::newRow("not a date") << "yesterday"_ba << std::optional<qint64>();
        QTest::newRow("hour 25") << "Sun, 06 Dec 2026 25:39:49 GMT"_ba << std::optional<qint64>();
    }

    void serverTimeIsReadFromTheDateHeader()
    {
        QFETCH(QByteArray, header);
        QFETCH(std::optional<qint64>, seconds);
        QCOMPARE(Http::httpDate(header), seconds);
    }

    void itemListsCarryTheServerTime()
    {
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        const ItemList full = await(api().items(Source::all()));
        const ItemList changes = await(api().changedItems(Source::starred(), before - 5));
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        for (const ItemList& list : {full, changes}) {
            QVERIFY(list.serverTime);
            QVERIFY(*list.serverTime >= before && *list.serverTime <= after);
        }
        QCOMPARE(full.items.size(), 18);
    }

    void itemsQuery_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("query");
        QTest::newRow("all unread")
            << Source::allUnread() << u"type=3&id=0&getRead=false&batchSize=-1"_s;
        QTest::newRow("all") << Source::all() << u"type=3&id=0&getRead=true&batchSize=-1"_s;
        QTest::newRow("starred") << Source::starred() << u"type=2&id=0&getRead=true&batchSize=-1"_s;
        QTest::newRow("folder") << Source::folder(7) << u"type=1&id=7&getRead=false&batchSize=-1"_s;
        QTest::newRow("feed") << Source::feed(-12) << u"type=0&id=-12&getRead=false&batchSize=-1"_s;
    }

    void itemsQuery()
    {
        QFETCH(Source, source);
        QFETCH(QString, query);
        QCOMPARE(::itemsQuery(source), query);
    }

    void diagnosticsAreSilentUntilSwitchedOnAndHoldNoSecret()
    {
        static QStringList logged;
        logged.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext& context, const QString& text) {
                if (QByteArray(context.category).startsWith("lumbra.")) logged << text;
            });
        const Account account = m_sandbox->account();
        QVERIFY(!outcome(api().items(Source::starred())).size());
        QVERIFY(logged.isEmpty());

        QLoggingCategory::setFilterRules(u"lumbra.*=true"_s);
        QVERIFY(!outcome(api().items(Source::starred())).size());
        QVERIFY(!outcome(api().setStarred(9999, true)).isEmpty()); // refused: 404
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous);

        QCOMPARE(logged.size(), 2);
        QVERIFY2(logged[0].contains(u"/items"_s), qPrintable(logged[0]));
        QVERIFY2(logged[1].contains(u"404"_s), qPrintable(logged[1]));
        for (const QString& line : std::as_const(logged)) {
            QVERIFY2(!line.contains(account.appPassword), qPrintable(line));
            QVERIFY2(!line.contains(QString::fromLatin1(basicAuthorization(account))),
                     qPrintable(line));
            QVERIFY2(!line.contains(u"getRead"_s), qPrintable(line)); // no query
        }
    }

    void sendsExactRequests_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");
        auto row = [](const char* name, Operation op, const char* method, const char* target,
                      QByteArray body = {}) {
            QTest::newRow(name) << op << QByteArray(method) << apiBase + target << body;
        };
        // clang-format off
        row("folders", CALL(folders()), "GET", "/folders");
        row("feeds", CALL(feeds()), "GET", "/feeds");
        row("items", CALL(items(Source::folder(1))), "GET", "/items?type=1&id=1&getRead=false&batchSize=-1");
        row("item", CALL(item(10)), "GET", "/items?type=3&id=0&getRead=true&batchSize=2&offset=11");
        row("read", CALL(setRead(5, true)), "POST", "/items/5/read");
        row("unread", CALL(setRead(5, false)), "POST", "/items/5/unread");
        row("star", CALL(setStarred(5, true)), "POST", "/items/5/star");
        row("unstar", CALL(setStarred(5, false)), "POST", "/items/5/unstar");
        row("mark feed read", CALL(markAllRead(Source::feed(1), 345)), "POST", "/feeds/1/read", R"({"newestItemId":345})");
        row("mark folder read", CALL(markAllRead(Source::folder(2), 9)), "POST", "/folders/2/read", R"({"newestItemId":9})");
        row("mark all read", CALL(markAllRead(Source::all(), 1234)), "POST", "/items/read", R"({"newestItemId":1234})");
        row("mark all unread read", CALL(markAllRead(Source::allUnread(), -3)), "POST", "/items/read", R"({"newestItemId":-3})");
        // clang-format on
    }

    void sendsExactRequests()
    {
        QFETCH(Operation, operation);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);
        // Three trailing slashes leave exactly one before "index.php".
        Account account = m_sandbox->account();
        account.server += u"///"_s;
        QCOMPARE(outcome(operation(NewsAPI(account, m_sandbox->session()))), QString());

        const auto log = m_sandbox->requests();
        QCOMPARE(log.size(), size_t(1));
        const sandbox::LoggedRequest& request = log.front();
        QCOMPARE(QByteArray::fromStdString(request.method), method);
        QCOMPARE(QByteArray::fromStdString(request.target), target);
        QCOMPARE(QByteArray::fromStdString(request.body), body);
        QCOMPARE(QByteArray::fromStdString(request.header("Authorization")),
                 basicAuthorization(account));
        QCOMPARE(request.header("Accept"), "application/json");
        QCOMPARE(request.hasHeader("Content-Type"), !body.isEmpty());
        if (!body.isEmpty()) QCOMPARE(request.header("Content-Type"), "application/json");
    }

    void authorizationKeepsColonsInTheLoginName()
    {
        const Account account{m_sandbox->account().server, u"a:b"_s, u"pässword"_s};
        QCOMPARE(basicAuthorization(account),
                 "Basic " + QByteArray("a:b:p\xc3\xa4ssword").toBase64());
    }

    void itemReturnsNoneWhenOnlyNeighboursCome()
    {
        sandbox::Options options;
        options.demo = false;
        SandboxFixture sparse(options);
        for (qint64 id : {8, 9})
            sparse.server->store().addItem({.id = id, .feedId = 1, .guid = "g"}, 0);
        const NewsAPI client(sparse.account(), sparse.session());
        QCOMPARE(await(client.item(10)), std::optional<Item>());
        QCOMPARE(sparse.requests().front().target,
                 std::string(apiBase) + "/items?type=3&id=0&getRead=true&batchSize=2&offset=11");
        QCOMPARE(await(client.item(9))->id, 9);
    }

    void markAllReadForStarredSendsNothing()
    {
        QCOMPARE(outcome(api().markAllRead(Source::starred(), 99)), QString());
        QVERIFY(m_sandbox->requests().empty());
    }

    void failures_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("route");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("newsInstalled");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, Operation op, const char* route, int status,
                            bool newsInstalled, const QString& text) {
            QTest::newRow(name) << op << QString::fromLatin1(route) << status << newsInstalled
                                << text;
        };
        // clang-format off
        row("no News app, GET", CALL(folders()), "", 0, false, u"Nextcloud News is not installed on this server."_s);
        row("no News app, POST", CALL(setRead(5, true)), "", 0, false, u"News API /items/5/read: HTTP 404"_s);
        row("401", CALL(feeds()), "feeds", 401, true, u"News API /feeds: HTTP 401"_s);
        row("item list named without query", CALL(items(Source::all())), "items", 500, true, u"News API /items: HTTP 500"_s);
        row("one item named without query", CALL(item(3)), "items", 503, true, u"News API /items: HTTP 503"_s);
        row("204 is a failure", CALL(setStarred(5, true)), "item-star", 204, true, u"News API /items/5/star: HTTP 204"_s);
        row("unknown feed", CALL(markAllRead(Source::feed(12), 1)), "", 0, true, u"News API /feeds/12/read: HTTP 500"_s);
        // clang-format on
    }

    void failures()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, route);
        QFETCH(int, status);
        QFETCH(bool, newsInstalled);
        QFETCH(QString, text);
        m_sandbox->server->setNewsInstalled(newsInstalled);
        if (status) m_sandbox->server->setFault(route.toStdString(), {status, 0, {}, -1});
        QCOMPARE(outcome(operation(api())), text);
    }

    void largeRepliesArriveWhole_data()
    {
        QTest::addColumn<int>("folders");
        QTest::addColumn<int>("body");
        const int normal = int(sandbox::Fault::Body::normal);
        // About 35 bytes a folder: joined at the end, around the switch to joining on a
        // worker as the reply arrives, and well past it.
        QTest::newRow("small") << 0 << normal;
        QTest::newRow("about 1 MB") << 30'000 << normal;
        QTest::newRow("4 MB") << 120'000 << normal;
        QTest::newRow("4 MB, connection dropped halfway")
            << 120'000 << int(sandbox::Fault::Body::drop);
    }

    void largeRepliesArriveWhole()
    {
        QFETCH(int, folders);
        QFETCH(int, body);
        sandbox::Options options;
        options.generatedFolders = size_t(folders);
        m_sandbox = std::make_unique<SandboxFixture>(options);
        m_sandbox->server->setFault("folders", {0, 0, sandbox::Fault::Body(body), -1});
        QNetworkRequest request(QUrl(QString::fromStdString(m_sandbox->server->baseUrl()) +
                                     QString::fromLatin1(apiBase) + u"/folders"_s));
        request.setRawHeader("Authorization", basicAuthorization(m_sandbox->account()));
        if (sandbox::Fault::Body(body) == sandbox::Fault::Body::drop) {
            QVERIFY_THROWS_EXCEPTION(NetworkError, await(Http::send(m_sandbox->session(), request,
                                                                    "GET", std::nullopt, {})));
            return;
        }
        const Http::Reply reply =
            await(Http::send(m_sandbox->session(), request, "GET", std::nullopt, {}));
        const QByteArray sent = QByteArray::fromStdString(m_sandbox->server->store().foldersJson());
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body.size(), sent.size());
        QVERIFY(reply.body == sent);
        // The decoder reads a few bytes past the end.
        QVERIFY(reply.body.capacity() >= reply.body.size() + Json::padding);
    }

    void nothingListensOnThePort()
    {
        const Account account{u"http://127.0.0.1:"_s +
                                  QString::number(SandboxFixture::closedPort()),
                              u"demo"_s, u"x"_s};
        try {
            await(NewsAPI(account, m_sandbox->session()).feeds());
            QFAIL("no failure");
        } catch (const NetworkError& e) {
            QCOMPARE(e.code(), QNetworkReply::ConnectionRefusedError);
        }
    }

    void cancellingAbortsTheRequest()
    {
        // The server would answer after ten minutes; only the abort can end the request.
        m_sandbox->server->setFault("folders", {0, 600'000, {}, -1});
        std::stop_source stop;
        QTimer::singleShot(100, [&] { stop.request_stop(); });
        QVERIFY_THROWS_EXCEPTION(CancelledError, await(api().folders(stop.get_token())));
        // Already cancelled: nothing is sent.
        m_sandbox->server->clearRequests();
        QVERIFY_THROWS_EXCEPTION(CancelledError, await(api().feeds(stop.get_token())));
        QVERIFY(m_sandbox->requests().empty());
    }

    void untrustedCertificateIsRefused()
    {
        sandbox::Options options;
        options.https = true;
        SandboxFixture secure(options);
        try {
            await(NewsAPI(secure.account(), secure.session()).folders());
            QFAIL("an untrusted certificate was accepted");
        } catch (const NetworkError& e) {
            QCOMPARE(e.code(), QNetworkReply::SslHandshakeFailedError);
        }
        QVERIFY(secure.requests().empty());
    }

    void invalidAddressSendsNothing_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("scheme only") << u"https://"_s;
        QTest::newRow("blank in host") << u"https://exa mple.org"_s;
        QTest::newRow("ftp") << u"ftp://x"_s;
        QTest::newRow("no scheme") << u"cloud.example.org"_s;
    }

    void invalidAddressSendsNothing()
    {
        QFETCH(QString, server);
        const NewsAPI client(Account{server, u"demo"_s, u"x"_s}, m_sandbox->session());
        try {
            await(client.folders());
            QFAIL("no failure");
        } catch (const InvalidAddressError& e) {
            QVERIFY(e.description().contains(server));
            QVERIFY(e.description().contains(u"not a valid server address"_s));
        }
    }
};

QTEST_GUILESS_MAIN(NewsAPITest)
#include "tst_newsapi.moc"
