#include "Await.h"
#include "ReaderFixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The browser login through the Reader against the sandbox: granted, given up on,
// cancelled at each step, replaced; and logging out.
class LoginTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

private Q_SLOTS:
    void init() { f = std::make_unique<ReaderFixture>(); }
    void cleanup() { f.reset(); }

    void wholeLogin_data()
    {
        QTest::addColumn<QString>("basePath");
        QTest::addColumn<bool>("prettyUrls");
        QTest::newRow("at the root") << QString() << false;
        QTest::newRow("under /nextcloud") << u"/nextcloud"_s << false;
        QTest::newRow("under /nextcloud, index.php rewritten away") << u"/nextcloud"_s << true;
    }

    void wholeLogin()
    {
        QFETCH(QString, basePath);
        QFETCH(bool, prettyUrls);
        sandbox::Options options;
        options.basePath = basePath.toStdString();
        options.prettyUrls = prettyUrls;
        f = std::make_unique<ReaderFixture>(options);
        await(f->reader->start());
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        QSignalSpy login(&f->reader->session(), &Session::loginChanged);
        f->reader->session().startLogin(u"  "_s + f->sandbox.account().server + u"/"_s);
        QCOMPARE(f->reader->session().login(), LoginState::waiting());
        QTRY_VERIFY(f->reader->session().account());
        QCOMPARE(f->reader->session().login(), LoginState::idle());
        QCOMPARE(login.count(), 2);
        QCOMPARE(f->browser.opened.size(), 1);
        QCOMPARE(f->accounts.stored, f->reader->session().account());
        QCOMPARE(f->activator.count, 1);
        QVERIFY(f->sandbox.server->isValidPassword(
            f->reader->session().account()->appPassword.toStdString()));
        QTRY_VERIFY(!f->reader->timeline().items().isEmpty()); // the refresh ran
        // Every reply set cookies; the app password alone authenticates.
        for (const auto& request : f->sandbox.requests())
            QVERIFY2(!request.hasHeader("cookie"), request.target.c_str());
        QCOMPARE(f->reader->session().account()->server,
                 QString::fromStdString(f->sandbox.server->baseUrl()));
        // The poll goes where the server said, index.php or not.
        QVERIFY(f->count(basePath.toStdString() + (prettyUrls ? "" : "/index.php") +
                         "/login/v2/poll") > 0);
        const std::string password = f->reader->session().account()->appPassword.toStdString();
        f->reader->session().logOut();
        QTRY_VERIFY(!f->sandbox.server->isValidPassword(password)); // revoked
        QCOMPARE(f->count(basePath.toStdString() + "/ocs/v2.php/core/apppassword"), 1);
    }

    void givesUpAfter600Polls()
    {
        f->reader->session().startLogin(f->sandbox.account().server);
        QTRY_COMPARE_WITH_TIMEOUT(loginText(*f->reader), u"Login timed out"_s, 90000);
        QCOMPARE(f->count("/index.php/login/v2/poll"), 600);
        QVERIFY(!f->reader->session().account());
    }

    void startFailureIsShown()
    {
        const QString closed =
            u"http://127.0.0.1:"_s + QString::number(SandboxFixture::closedPort());
        f->reader->session().startLogin(closed);
        QTRY_COMPARE(f->reader->session().login().kind(), LoginState::Kind::failed);
        QCOMPARE(loginText(*f->reader), u"Can't reach %1: connection refused."_s.arg(closed));
        f->reader->session().startLogin(u"exa mple.org"_s);
        QTRY_VERIFY(loginText(*f->reader).contains(u"not a valid server address"_s));
    }

    // Cancelled while the start is answered, while a poll is, or between two polls: no more
    // is asked, no account comes, the browser opens nothing more.
    void cancelling_data()
    {
        QTest::addColumn<QString>("during");
        for (const char* step : {"start", "poll", "sleep"})
            QTest::newRow(step) << QString::fromLatin1(step);
    }

    void cancelling()
    {
        QFETCH(QString, during);
        ReaderTiming timing = ReaderFixture::fastTiming();
        if (during == u"sleep"_s) timing.pollInterval = std::chrono::milliseconds(300);
        f = std::make_unique<ReaderFixture>(sandbox::Options{}, timing);
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        if (during == u"start"_s) f->sandbox.server->setFault("login-start", {0, 400, {}, -1});
        if (during == u"poll"_s) f->sandbox.server->setFault("login-poll", {0, 300, {}, -1});
        f->reader->session().startLogin(f->sandbox.account().server);
        if (during != u"start"_s) QTRY_COMPARE(f->browser.opened.size(), 1);
        if (during == u"poll"_s) QTRY_COMPARE(f->count("/index.php/login/v2/poll"), 1);
        const int polls = f->count("/index.php/login/v2/poll");
        f->reader->session().cancelLogin();
        QCOMPARE(f->reader->session().login(), LoginState::idle());
        QTRY_VERIFY(f->sandbox.manager.idle());
        if (during == u"sleep"_s) QTest::qWait(500); // past the next poll's time
        QCOMPARE(f->count("/index.php/login/v2/poll"), polls);
        QCOMPARE(f->reader->session().login(), LoginState::idle());
        QVERIFY(!f->reader->session().account());
        QCOMPARE(f->browser.opened.size(), during == u"start"_s ? 0 : 1);
    }

    void startingAgainReplacesTheAttempt()
    {
        f->reader->session().startLogin(f->sandbox.account().server);
        QTRY_COMPARE(f->browser.opened.size(), 1);
        f->reader->session().startLogin(f->sandbox.account().server);
        QTRY_COMPARE(f->browser.opened.size(), 2);
        QCOMPARE(f->count("/index.php/login/v2"), f->count("/index.php/login/v2/poll") + 2);
        f->sandbox.server->grant(f->browser.opened.last().toString().toStdString());
        QTRY_VERIFY(f->reader->session().account());
        QCOMPARE(f->reader->session().login(), LoginState::idle());
    }

    void logOutEmptiesEverythingAndRevokesOnce()
    {
        QVERIFY(f->startLoggedIn());
        const std::string password = f->sandbox.server->appPassword();
        f->reader->session().logOut();
        QVERIFY(!f->reader->session().account());
        QVERIFY(f->reader->subscriptions().folders().isEmpty());
        QVERIFY(f->reader->subscriptions().feeds().isEmpty());
        QVERIFY(f->reader->timeline().items().isEmpty());
        QVERIFY(!f->reader->timeline().selectedId());
        QVERIFY(!f->accounts.stored);
        QTRY_VERIFY(!f->sandbox.server->isValidPassword(password));
        const int sent = f->sandbox.manager.sent;
        f->reader->session().logOut();
        QCOMPARE(f->sandbox.manager.sent, sent);
        QCOMPARE(f->count("/ocs/v2.php/core/apppassword"), 1);
        QCOMPARE(f->accounts.removals, 1);
    }

    void resultsAfterLogOutAreDropped()
    {
        QVERIFY(f->startLoggedIn());
        f->sandbox.server->setFault("feeds", {0, 300, {}, -1});
        f->reader->session().refresh();
        f->reader->session().logOut();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QVERIFY(f->reader->subscriptions().feeds().isEmpty());
        QVERIFY(f->reader->timeline().items().isEmpty());
        QVERIFY(!errorText(*f->reader));
    }
};

QTEST_GUILESS_MAIN(LoginTest)
#include "tst_login.moc"
