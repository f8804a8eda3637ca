#include "Await.h"
#include "Heartbeat.h"
#include "LumbraCore/ItemLink.h"
#include "ReaderFixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using Body = sandbox::Fault::Body;

struct Drill {
    QString name;
    sandbox::Fault fault;
    QString text; // what the failure reads as: "" when the fault does not make the call fail
};

// The faults every server call is drilled with. The time-out waits longer than the
// shortened request time-out of these tests.
QList<Drill> drills(bool decodesBody)
{
    const QString decoding = u"The data couldn't be read"_s;
    return {
        {u"500"_s, {500, 0, Body::normal, -1}, u"HTTP 500"_s},
        {u"401"_s, {401, 0, Body::normal, -1}, u"HTTP 401"_s},
        {u"time-out"_s, {0, 1500, Body::normal, -1}, u"timed out"_s},
        {u"truncated"_s, {0, 0, Body::truncated, -1}, decodesBody ? decoding : QString()},
        {u"malformed"_s, {0, 0, Body::malformed, -1}, decodesBody ? decoding : QString()},
        {u"dropped"_s, {0, 0, Body::drop, -1}, u"closed"_s},
    };
}

} // namespace

// Every server call the Reader makes, failing in every way a server or network can: the
// window keeps responding, the state is the documented one, and a later call recovers.
class FaultDrillsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

    void startLoggedIn()
    {
        f = std::make_unique<ReaderFixture>(sandbox::Options{}, ReaderFixture::fastTiming(),
                                            std::chrono::milliseconds(500));
        QVERIFY(f->startLoggedIn());
    }
    void fault(const char* route, const sandbox::Fault& fault)
    {
        f->sandbox.server->setFault(route, fault);
    }

private Q_SLOTS:
    void cleanup() { f.reset(); }

    void refreshFailures_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<QString>("text");
        for (const char* route : {"folders", "feeds"})
            for (const Drill& drill : drills(true))
                QTest::addRow("%s %s", route, qPrintable(drill.name))
                    << QString::fromLatin1(route) << drill.fault << drill.text;
    }

    void refreshFailures()
    {
        QFETCH(QString, route);
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, text);
        startLoggedIn();
        const QList<Feed> feeds = f->reader->subscriptions().feeds();
        const QList<Item> items = f->reader->timeline().items();
        Heartbeat heartbeat;
        this->fault(route.toLatin1().constData(), fault);
        f->reader->session().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!f->reader->session().refreshing(), 10000);
        QVERIFY(heartbeat.longestBusyStretch() < 300);
        QVERIFY2(errorText(*f->reader) && errorText(*f->reader)->contains(text),
                 qPrintable(errorText(*f->reader).value_or(u"(none)"_s)));
        QCOMPARE(f->reader->subscriptions().feeds(), feeds);
        QCOMPARE(f->reader->timeline().items(), items);

        f->sandbox.server->clearFaults();
        f->reader->session().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!f->reader->session().refreshing(), 10000);
        QVERIFY(!errorText(*f->reader));
    }

    void itemLoadFailures_data()
    {
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<QString>("text");
        for (const Drill& drill : drills(true))
            QTest::newRow(qPrintable(drill.name)) << drill.fault << drill.text;
    }

    void itemLoadFailures()
    {
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, text);
        startLoggedIn();
        const QList<Item> items = f->reader->timeline().items();
        Heartbeat heartbeat;
        // Asking for the changes fails, and so does the full list asked for then.
        this->fault("items-updated", fault);
        this->fault("items", fault);
        await(f->reader->timeline().load());
        QVERIFY(heartbeat.longestBusyStretch() < 300);
        QVERIFY(said(*f->reader)->startsWith(u"Couldn't load articles: "_s));
        QVERIFY2(said(*f->reader)->contains(text), qPrintable(*said(*f->reader)));
        QCOMPARE(f->reader->timeline().items(), items);
        QVERIFY(!f->reader->timeline().loadingItems());

        f->sandbox.server->clearFaults();
        f->reader->timeline().selectSource(Source::all());
        QTRY_VERIFY_WITH_TIMEOUT(f->reader->timeline().items().size() == 18, 10000);
    }

    void itemLinkFailures_data() { itemLoadFailures_data(); }

    void itemLinkFailures()
    {
        QFETCH(sandbox::Fault, fault);
        startLoggedIn();
        this->fault("items", fault);
        const QUrl article(u"https://example.org/a"_s);
        await(f->reader->openLink(LumbraLink(3, article)));
        QCOMPARE(f->browser.opened, QList<QUrl>{article});
        await(f->reader->openLink(LumbraLink(3, std::nullopt)));
        QCOMPARE(said(*f->reader), std::optional(u"Can't find that article in News any more."_s));
        f->sandbox.server->clearFaults();
        await(f->reader->openLink(LumbraLink(3, std::nullopt)));
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(3));
    }

    void changeFailures_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<QString>("text");
        for (const char* action : {"read", "select", "unread", "star", "unstar", "mark all"})
            for (const Drill& drill : drills(false))
                QTest::addRow("%s %s", action, qPrintable(drill.name))
                    << QString::fromLatin1(action) << drill.fault << drill.text;
    }

    void changeFailures()
    {
        QFETCH(QString, action);
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, text);
        startLoggedIn();
        f->reader->timeline().selectSource(Source::all());
        QTRY_VERIFY(f->reader->timeline().items().size() == 18);
        const QList<Item> items = f->reader->timeline().items();
        const QList<Feed> feeds = f->reader->subscriptions().feeds();
        const qint64 starred = f->reader->subscriptions().starredCount();
        const auto find = [&](qint64 id) {
            return *std::find_if(items.cbegin(), items.cend(),
                                 [&](const Item& i) { return i.id == id; });
        };
        const QMap<QString, std::pair<const char*, std::function<void()>>> actions{
            {u"read"_s, {"item-read", [&] { f->reader->marker().toggleRead(find(5)); }}},
            {u"select"_s,
             {"item-read",
              [&] {
                  f->reader->timeline().select(std::nullopt); // chosen anew each time
                  f->reader->timeline().select(5);
              }}},
            {u"unread"_s, {"item-unread", [&] { f->reader->marker().toggleRead(find(3)); }}},
            {u"star"_s, {"item-star", [&] { f->reader->marker().toggleStarred(find(5)); }}},
            {u"unstar"_s, {"item-unstar", [&] { f->reader->marker().toggleStarred(find(7)); }}},
            {u"mark all"_s, {"items-read", [&] { f->reader->marker().markAllRead(); }}},
        };
        const auto& [route, act] = actions.value(action);
        const size_t before = f->sandbox.requests().size();
        Heartbeat heartbeat;
        this->fault(route, fault);
        act();
        QVERIFY(f->reader->timeline().items() != items ||
                f->reader->subscriptions().starredCount() != starred); // at once
        if (text.isEmpty()) { // the server accepted it; its reply's body does not matter
            QTRY_VERIFY_WITH_TIMEOUT(f->sandbox.requests().size() > before, 10000);
            QTest::qWait(300); // a refusal would be told by now
            QVERIFY(heartbeat.longestBusyStretch() < 300);
            QVERIFY(!said(*f->reader));
            QVERIFY(f->reader->timeline().items() != items ||
                    f->reader->subscriptions().starredCount() != starred);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(said(*f->reader), 10000);
        QVERIFY(heartbeat.longestBusyStretch() < 300);
        QVERIFY2(said(*f->reader) &&
                     said(*f->reader)->startsWith(u"Couldn't reach Nextcloud: "_s) &&
                     said(*f->reader)->contains(text),
                 qPrintable(said(*f->reader).value_or(u"(none)"_s)));
        QCOMPARE(f->reader->timeline().items(), items);
        QCOMPARE(f->reader->subscriptions().feeds(), feeds);
        QCOMPARE(f->reader->subscriptions().starredCount(), starred);

        f->sandbox.server->clearFaults();
        f->reader->session().setMessage(std::nullopt);
        act();
        QTest::qWait(300);
        QVERIFY(!said(*f->reader));
        QVERIFY(f->reader->timeline().items() != items ||
                f->reader->subscriptions().starredCount() != starred);
    }

    void loginFailures_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<QString>("text");
        for (const Drill& drill : drills(true))
            QTest::addRow("start %s", qPrintable(drill.name))
                << u"login-start"_s << drill.fault << drill.text;
        for (const Drill& drill : drills(true))
            QTest::addRow("poll %s", qPrintable(drill.name))
                << u"login-poll"_s << drill.fault << QString();
    }

    void loginFailures()
    {
        QFETCH(QString, route);
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, text);
        f = std::make_unique<ReaderFixture>(sandbox::Options{}, ReaderFixture::fastTiming(),
                                            std::chrono::milliseconds(500));
        await(f->reader->start());
        Heartbeat heartbeat;
        f->sandbox.server->setFault(route.toStdString(), fault);
        f->reader->session().startLogin(f->sandbox.account().server);
        if (!text.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(
                f->reader->session().login().kind() == LoginState::Kind::failed, 10000);
            QVERIFY2(loginText(*f->reader).contains(text), qPrintable(loginText(*f->reader)));
        } else {
            // Failed polls count as pending: the attempt goes on.
            QTRY_VERIFY_WITH_TIMEOUT(f->count("/index.php/login/v2/poll") >= 2, 10000);
            QCOMPARE(f->reader->session().login(), LoginState::waiting());
        }
        QVERIFY(heartbeat.longestBusyStretch() < 300);
        QVERIFY(!f->reader->session().account());

        f->sandbox.server->clearFaults();
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        if (!f->browser.opened.isEmpty())
            f->sandbox.server->grant(f->browser.opened.last().toString().toStdString());
        else
            f->reader->session().startLogin(f->sandbox.account().server);
        QTRY_VERIFY_WITH_TIMEOUT(f->reader->session().account(), 10000);
    }

    void revokeFailures_data() { itemLoadFailures_data(); }

    void revokeFailures()
    {
        QFETCH(sandbox::Fault, fault);
        startLoggedIn();
        Heartbeat heartbeat;
        this->fault("revoke", fault);
        f->reader->session().logOut();
        QVERIFY(!f->reader->session().account());
        QTest::qWait(fault.delayMs + 300);
        QVERIFY(heartbeat.longestBusyStretch() < 300);
        QVERIFY(!said(*f->reader));
        QCOMPARE(f->reader->session().login(), LoginState::idle());
    }
};

QTEST_GUILESS_MAIN(FaultDrillsTest)
#include "tst_fault_drills.moc"
