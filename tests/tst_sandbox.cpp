#include "DemoData.h"
#include "HttpClient.h"
#include "LumbraCore/Json.h"
#include "Sandbox.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;
using Headers = QList<QPair<QByteArray, QByteArray>>;

class SandboxTest : public QObject {
    Q_OBJECT

    std::unique_ptr<sandbox::Sandbox> m_server;
    QString m_base;
    Headers m_auth;

    QString api(const QString& path) const
    {
        return m_base + u"/index.php/apps/news/api/v1-3"_s + path;
    }
    HttpResult get(const QString& path) { return httpSend("GET", api(path), m_auth); }
    HttpResult post(const QString& path, const QByteArray& body = {})
    {
        Headers headers = m_auth;
        if (!body.isEmpty()) headers.append(qMakePair("Content-Type"_ba, "application/json"_ba));
        return httpSend("POST", api(path), headers, body);
    }
    QList<qint64> itemIds(const QString& query, const QString& path = u"/items"_s)
    {
        const HttpResult reply = get(path + u'?' + query);
        if (reply.status != 200) qFatal("items failed: %d", reply.status);
        QList<qint64> ids;
        for (const Item& item : Json::decode<ItemsResponse>(reply.body).items)
            ids.append(item.id);
        return ids;
    }
    std::optional<qint64> unreadCount(qint64 feedId)
    {
        for (const Feed& feed : Json::decode<FeedsResponse>(get(u"/feeds"_s).body).feeds)
            if (feed.id == feedId) return feed.unreadCount;
        return std::nullopt;
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<sandbox::Sandbox>();
        m_server->start();
        m_base = QString::fromStdString(m_server->baseUrl());
        m_auth = {{"Authorization",
                   basicAuth(u"demo"_s, QString::fromStdString(m_server->appPassword()))}};
    }
    void cleanup()
    {
        httpManager().clearConnectionCache(); // lets the server's threads end at once
        m_server.reset();
    }

    void itemQueries_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<qint64>>("expected");
        // Demo items 1-18; read: 3 4 7 10 13 16 18; starred: 2 7 17; feed 1 = 1-4.
        QTest::newRow("all, paged below offset")
            << u"type=3&id=0&getRead=true&batchSize=2&offset=6"_s << QList<qint64>{5, 4};
        QTest::newRow("oldest first above offset")
            << u"type=3&id=0&getRead=true&batchSize=3&offset=15&oldestFirst=true"_s
            << QList<qint64>{16, 17, 18};
        QTest::newRow("feed, unread only")
            << u"type=0&id=1&getRead=false&batchSize=-1"_s << QList<qint64>{2, 1};
        QTest::newRow("folder") << u"type=1&id=1&getRead=true&batchSize=-1"_s
                                << QList<qint64>{7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("root folder is empty") << u"type=1&id=0&batchSize=-1"_s << QList<qint64>{};
        QTest::newRow("starred") << u"type=2&id=0&getRead=true&batchSize=-1"_s
                                 << QList<qint64>{17, 7, 2};
        QTest::newRow("batch size 0 is everything")
            << u"type=0&id=6&getRead=true&batchSize=0"_s << QList<qint64>{18, 17};
    }

    void itemQueries()
    {
        QFETCH(QString, query);
        QFETCH(QList<qint64>, expected);
        QCOMPARE(itemIds(query), expected);
    }

    void repliesAreEscapedLikePhp()
    {
        const HttpResult reply = get(u"/items?type=3&id=0&getRead=true&batchSize=-1"_s);
        QCOMPARE(reply.contentType, "application/json; charset=utf-8"_ba);
        QVERIFY(reply.body.contains("\\u003Cp\\u003E"));
        QVERIFY(reply.body.contains("https:\\/\\/"));
        QVERIFY(reply.body.contains("\\u6771")); // 東
        for (const char* key : {"\"guidHash\"", "\"fingerprint\"", "\"enclosureLink\"", "\"rtl\""})
            QVERIFY(reply.body.contains(key));
        QVERIFY(get(u"/feeds"_s).body.contains("\"newestItemId\":18"));
    }

    void itemActionsKeepCountsConsistent()
    {
        QCOMPARE(unreadCount(1), std::optional<qint64>(2));
        QCOMPARE(post(u"/items/1/read"_s).body, "[]"_ba);
        QCOMPARE(unreadCount(1), std::optional<qint64>(1));
        QCOMPARE(post(u"/items/1/read"_s).status, 200); // repeating is accepted
        QCOMPARE(post(u"/items/3/unread"_s).status, 200);
        QCOMPARE(unreadCount(1), std::optional<qint64>(2));
        QCOMPARE(post(u"/items/1/star"_s).status, 200);
        QVERIFY(get(u"/feeds"_s).body.startsWith("{\"starredCount\":4,"));
        QCOMPARE(post(u"/items/1/unstar"_s).status, 200);
        QVERIFY(get(u"/feeds"_s).body.startsWith("{\"starredCount\":3,"));
        const HttpResult missing = post(u"/items/999/read"_s);
        QCOMPARE(missing.status, 404);
        QVERIFY(missing.body.startsWith("{\"message\":"));
    }

    void markAllReadStopsAtNewestItemId()
    {
        const HttpResult feed = post(u"/feeds/1/read"_s, R"({"newestItemId":1})"_ba);
        QCOMPARE(feed.status, 200);
        QCOMPARE(feed.body, "null"_ba);
        QCOMPARE(m_server->store().itemState(1)->unread, false);
        QCOMPARE(m_server->store().itemState(2)->unread, true);

        QCOMPARE(post(u"/folders/2/read"_s, R"({"newestItemId":11})"_ba).status, 200);
        QCOMPARE(m_server->store().itemState(9)->unread, false);
        QCOMPARE(m_server->store().itemState(11)->unread, false);
        QCOMPARE(m_server->store().itemState(12)->unread, true);

        QCOMPARE(post(u"/items/read"_s, R"({"newestItemId":14})"_ba).status, 200);
        QCOMPARE(itemIds(u"type=3&id=0&getRead=false&batchSize=-1"_s), (QList<qint64>{17, 15}));

        QCOMPARE(post(u"/feeds/99/read"_s, R"({"newestItemId":1})"_ba).status, 500);
        QCOMPARE(post(u"/folders/1/read"_s).status, 500); // no newestItemId
    }

    void refusesWhatTheRealServerRefuses_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("authorised");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no credentials") << "GET"_ba << u"/feeds"_s << false << 401
                                        << R"({"message":"CORS requires basic auth"})"_ba;
        QTest::newRow("wrong method") << "DELETE"_ba << u"/feeds"_s << true << 405 << ""_ba;
        QTest::newRow("unknown endpoint") << "GET"_ba << u"/doesnotexist"_s << true << 405 << ""_ba;
        QTest::newRow("starred unread-only")
            << "GET"_ba << u"/items?type=2&id=0&getRead=false"_s << true << 400 << QByteArray();
    }

    void refusesWhatTheRealServerRefuses()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(bool, authorised);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        const HttpResult reply = httpSend(method, api(path), authorised ? m_auth : Headers{});
        QCOMPARE(reply.status, status);
        if (!body.isNull()) QCOMPARE(reply.body, body);
    }

    // Two calls each, the second on what the first left: as the captured server answers.
    void subscriptionsChangeAsOnTheRealServer_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<qint64>("feed");
        QTest::addColumn<std::optional<qint64>>("folderAfter"); // of `feed`, when listed
        QTest::addColumn<bool>("feedListed");
        QTest::newRow("move into a folder that never was")
            << "POST"_ba << u"/feeds/1/move"_s << R"({"folderId": 999})"_ba << QList{200, 200}
            << qint64(1) << std::optional<qint64>(999) << true;
        QTest::newRow("move to the top level")
            << "POST"_ba << u"/feeds/3/move"_s << R"({"folderId":null})"_ba << QList{200, 200}
            << qint64(3) << std::optional<qint64>() << true;
        QTest::newRow("move an unknown feed")
            << "POST"_ba << u"/feeds/77/move"_s << R"({"folderId":1})"_ba << QList{404, 404}
            << qint64(1) << std::optional<qint64>(1) << true;
        QTest::newRow("delete a feed")
            << "DELETE"_ba << u"/feeds/2"_s << QByteArray() << QList{200, 404} << qint64(2)
            << std::optional<qint64>() << false;
        QTest::newRow("delete its folder, the feed stays")
            << "DELETE"_ba << u"/folders/1"_s << QByteArray() << QList{200, 404} << qint64(1)
            << std::optional<qint64>(1) << true;
    }

    void subscriptionsChangeAsOnTheRealServer()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QList<int>, statuses);
        QFETCH(qint64, feed);
        QFETCH(std::optional<qint64>, folderAfter);
        QFETCH(bool, feedListed);
        const qint64 unreadBefore = unreadCount(feed).value_or(0);
        Headers headers = m_auth;
        if (!body.isEmpty()) headers.append(qMakePair("Content-Type"_ba, "application/json"_ba));
        for (const int status : statuses) {
            const HttpResult reply = httpSend(method, api(path), headers, body);
            QCOMPARE(reply.status, status);
            if (status == 200) QCOMPARE(reply.body, "[]"_ba);
            if (status == 404) QVERIFY(reply.body.startsWith("{\"message\":\"Did expect one"));
        }
        const QList<Feed> feeds = Json::decode<FeedsResponse>(get(u"/feeds"_s).body).feeds;
        const auto listed =
            std::find_if(feeds.cbegin(), feeds.cend(), [&](const Feed& f) { return f.id == feed; });
        QCOMPARE(listed != feeds.cend(), feedListed);
        const QString items = u"type=0&id=%1&batchSize=-1"_s.arg(feed);
        if (!feedListed) {
            // Its items stay in the lists, as on the real server: a client must drop them.
            QVERIFY(!itemIds(items).isEmpty());
            return;
        }
        QCOMPARE(listed->folderId, folderAfter);
        QCOMPARE(listed->unreadCount.value_or(0), unreadBefore);
        QVERIFY(!itemIds(items).isEmpty());
    }

    // Making folders and feeds, and renaming them: each call twice, as the captured server
    // answers (names in use and empty names make new folders; an address subscribed is 409).
    void managementAnswersAsTheRealServer_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // "{base}" is the sandbox's address
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QList<QByteArray>>("starts"); // of each answer
        const QByteArray folder = "{\"folders\":[{\"id\":";
        QTest::newRow("folder, twice the same name")
            << "POST"_ba << u"/folders"_s << "{\"name\":\"Reading list\"}"_ba << QList{200, 200}
            << QList<QByteArray>{
                   folder + "4,\"name\":\"Reading list\",\"opened\":true,\"feeds\":[]}]}",
                   folder + "5,\"name\":\"Reading list\",\"opened\":true,\"feeds\":[]}]}"};
        QTest::newRow("folder without a name")
            << "POST"_ba << u"/folders"_s << "{\"name\":\"\"}"_ba << QList{200, 200}
            << QList<QByteArray>{folder + "4,\"name\":\"\"", folder + "5,\"name\":\"\""};
        QTest::newRow("rename a folder") << "PUT"_ba << u"/folders/3"_s << "{\"name\":\"Later\"}"_ba
                                         << QList{200, 200} << QList{"[]"_ba, "[]"_ba};
        QTest::newRow("rename an unknown folder")
            << "PUT"_ba << u"/folders/999"_s << "{\"name\":\"x\"}"_ba << QList{404, 404}
            << QList{"{\"message\":\"Did expect one"_ba, "{\"message\":\"Did expect one"_ba};
        QTest::newRow("subscribe, then again")
            << "POST"_ba << u"/feeds"_s
            << "{\"url\":\"{base}\\/subscribable\\/release-log.xml\",\"folderId\":3}"_ba
            << QList{200, 409}
            << QList{"{\"feeds\":[{\"id\":8,\"url\":\"http:\\/\\/127.0.0.1:"_ba,
                     "{\"message\":\"Feed with this URL exists\"}"_ba};
        // A site's page (154): its first feed, subscribed without asking; then 409 for it.
        QTest::newRow("subscribe to a site's page, absolute links")
            << "POST"_ba << u"/feeds"_s
            << "{\"url\":\"{base}\\/subscribable\\/\",\"folderId\":null}"_ba << QList{200, 409}
            << QList{"{\"feeds\":[{\"id\":8,\"url\":\"{base}\\/subscribable\\/field-notes.xml\""_ba,
                     "{\"message\":\"Feed with this URL exists\"}"_ba};
        // Its first link relative (155): the page was read, the link is not.
        QTest::newRow("subscribe to a site's page, a relative first link")
            << "POST"_ba << u"/feeds"_s
            << "{\"url\":\"{base}\\/subscribable\\/relative\\/\",\"folderId\":null}"_ba
            << QList{404, 404}
            << QList{"{\"message\":\"cURL error 6: Could not resolve host: .. (see "_ba,
                     "{\"message\":\"cURL error 6: "_ba};
        // The address in other case (156): checked as sent, kept in lower case, so each
        // makes another feed listed with the same address.
        QTest::newRow("subscribe in capitals, twice")
            << "POST"_ba << u"/feeds"_s
            << "{\"url\":\"{BASE}\\/subscribable\\/release-log.xml\",\"folderId\":null}"_ba
            << QList{200, 200}
            << QList{
                   "{\"feeds\":[{\"id\":8,\"url\":\"{base}\\/subscribable\\/release-log.xml\""_ba,
                   "{\"feeds\":[{\"id\":9,\"url\":\"{base}\\/subscribable\\/release-log.xml\""_ba};
        QTest::newRow("subscribe to a page")
            << "POST"_ba << u"/feeds"_s << "{\"url\":\"{base}\\/\",\"folderId\":0}"_ba
            << QList{404, 404}
            << QList{"{\"message\":\"No parser can handle this stream\"}"_ba,
                     "{\"message\":\"No parser can handle this stream\"}"_ba};
        QTest::newRow("subscribe out of reach")
            << "POST"_ba << u"/feeds"_s << "{\"url\":\"http:\\/\\/127.0.0.1:9\\/feed.xml\"}"_ba
            << QList{404, 404}
            << QList{"{\"message\":\"cURL error 7: Failed to connect to 127.0.0.1 port 9 "_ba,
                     "{\"message\":\"cURL error 7: "_ba};
        QTest::newRow("rename a feed")
            << "POST"_ba << u"/feeds/1/rename"_s << "{\"feedTitle\":\"Code\"}"_ba << QList{200, 200}
            << QList{"[]"_ba, "[]"_ba};
        QTest::newRow("rename by PUT")
            << "PUT"_ba << u"/feeds/1/rename"_s << "{\"feedTitle\":\"Code\"}"_ba << QList{405, 405}
            << QList{""_ba, ""_ba};
    }

    void managementAnswersAsTheRealServer()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QList<int>, statuses);
        QFETCH(QList<QByteArray>, starts);
        const QByteArray base = m_base.toUtf8().replace("/", "\\/");
        body.replace("{base}", base).replace("{BASE}", base.toUpper());
        for (QByteArray& start : starts)
            start.replace("{base}", base);
        Headers headers = m_auth;
        headers.append(qMakePair("Content-Type"_ba, "application/json"_ba));
        for (qsizetype call = 0; call < statuses.size(); ++call) {
            const HttpResult reply = httpSend(method, api(path), headers, body);
            QCOMPARE(reply.status, statuses[call]);
            QVERIFY2(reply.body.startsWith(starts[call]), reply.body.constData());
        }
    }

    void wrongPasswordAndRevocation()
    {
        const Headers wrong{{"Authorization", basicAuth(u"demo"_s, u"nope"_s)}};
        const HttpResult denied = httpSend("GET", api(u"/feeds"_s), wrong);
        QCOMPARE(denied.status, 401);
        QCOMPARE(denied.body, R"({"message":""})"_ba);

        const QString revoke = m_base + u"/ocs/v2.php/core/apppassword"_s;
        QCOMPARE(httpSend("DELETE", revoke, m_auth).status, 412);
        QCOMPARE(get(u"/feeds"_s).status, 200);
        Headers ocs = m_auth;
        ocs.append(qMakePair("OCS-APIRequest"_ba, "true"_ba));
        const HttpResult revoked = httpSend("DELETE", revoke, ocs);
        QCOMPARE(revoked.status, 200);
        QVERIFY(revoked.body.contains("\"statuscode\":200"));
        QCOMPARE(get(u"/feeds"_s).status, 401);
    }

    // (The client's side of the flow is tst_loginflow's; the page and its form, the Orca
    // table's, whose browser presses "Grant access".) What only a raw client can send:
    void loginPollsAnswerAsTheRealServer()
    {
        const HttpResult start = httpSend("POST", m_base + u"/index.php/login/v2"_s, {}, ""_ba);
        const QByteArray token = start.body.mid(start.body.indexOf("\"token\":\"") + 9, 128);
        const auto poll = [&](const QByteArray& token) {
            return httpSend("POST", m_base + u"/index.php/login/v2/poll"_s,
                            {{"Content-Type", "application/x-www-form-urlencoded"}},
                            "token=" + token);
        };
        const HttpResult pending = poll(token);
        QCOMPARE(pending.status, 404);
        QCOMPARE(pending.body, "[]"_ba);
        QCOMPARE(httpSend("GET", m_base + u"/index.php/login/v2/poll"_s).status, 405);
        QCOMPARE(poll("unknown").status, 404);
    }

    // Items changed at or after a time, in every state: reading or starring one moves it.
    void changesSinceATime()
    {
        QTest::qWait(1100); // past the second the demo items were stamped in
        QCOMPARE(post(u"/items/5/star"_s).status, 200);
        QCOMPARE(post(u"/items/6/read"_s).status, 200);
        const QByteArray everything = get(u"/items/updated?lastModified=0&type=3&id=0"_s).body;
        const QList<Item> all = Json::decode<ItemsResponse>(everything).items;
        QCOMPARE(all.size(), 18); // since the beginning: everything, read ones too
        qint64 since = 0;
        qint64 latest = 0;
        for (const QJsonValue item : QJsonDocument::fromJson(everything)[u"items"_s].toArray()) {
            if (item[u"id"_s].toInteger() == 5) since = item[u"lastModified"_s].toInteger();
            latest = std::max(latest, item[u"lastModified"_s].toInteger());
        }
        QVERIFY(since > 0);
        const auto feedOf = [&all](qint64 id) {
            return std::find_if(all.cbegin(), all.cend(),
                                [id](const Item& i) { return i.id == id; })
                ->feedId;
        };
        const auto updated = [this](qint64 from, const QString& filter) {
            return itemIds(u"lastModified="_s + QString::number(from) + filter,
                           u"/items/updated"_s);
        };
        QCOMPARE(updated(since, u"&type=3&id=0"_s), (QList<qint64>{6, 5}));
        const QList<qint64> inFeed =
            feedOf(6) == feedOf(5) ? QList<qint64>{6, 5} : QList<qint64>{5};
        QCOMPARE(updated(since, u"&type=0&id="_s + QString::number(feedOf(5))), inFeed);
        QCOMPARE(updated(since, u"&type=2&id=0"_s), QList<qint64>{5});
        QCOMPARE(updated(latest + 1, u"&type=3&id=0"_s), QList<qint64>{});
    }
};

QTEST_GUILESS_MAIN(SandboxTest)
#include "tst_sandbox.moc"
