#include "Await.h"
#include "LumbraCore/LoginFlow.h"
#include "LumbraCore/NewsAPI.h"
#include "SandboxFixture.h"

#include <QTest>
#include <qcoro/qcorotask.h>

using namespace Qt::StringLiterals;

class LoginFlowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<SandboxFixture> m_sandbox;
    QString base() const { return QString::fromStdString(m_sandbox->server->baseUrl()); }

private Q_SLOTS:
    void init() { m_sandbox = std::make_unique<SandboxFixture>(); }
    void cleanup() { m_sandbox.reset(); }

    void normalise_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks and slash")
            << u"  cloud.example.org/ "_s << u"https://cloud.example.org"_s;
        QTest::newRow("tab and no-break space")
            << u"\tcloud.example.org\u00A0"_s << u"https://cloud.example.org"_s;
        QTest::newRow("plain http kept") << u"http://box.local/"_s << u"http://box.local"_s;
        QTest::newRow("https kept") << u"https://a.example///"_s << u"https://a.example"_s;
        QTest::newRow("scheme is case-sensitive")
            << u"HTTPS://a.example"_s << u"https://HTTPS://a.example"_s;
        QTest::newRow("line break stays with its slash")
            << u"a.example/\n"_s << u"https://a.example/\n"_s;
        QTest::newRow("empty") << u""_s << u"https://"_s;
        QTest::newRow("blank") << u"   "_s << u"https://"_s;
    }

    void normalise()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QCOMPARE(LoginFlow::normalise(typed), expected);
    }

    void formEncode_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("alphanumerics pass") << u"aZ09"_s << "aZ09"_ba;
        QTest::newRow("plus and slash") << u"a+b/c"_s << "a%2Bb%2Fc"_ba;
        QTest::newRow("reserved") << u"=&%? ~-._"_s << "%3D%26%25%3F%20%7E%2D%2E%5F"_ba;
        QTest::newRow("letters of any script pass")
            << u"é日本"_s << "\xc3\xa9\xe6\x97\xa5\xe6\x9c\xac"_ba;
        QTest::newRow("combining mark passes") << u"e\u0301"_s << "e\xcc\x81"_ba;
        QTest::newRow("emoji bytes") << u"😀"_s << "%F0%9F%98%80"_ba;
    }

    void formEncode()
    {
        QFETCH(QString, token);
        QFETCH(QByteArray, encoded);
        QCOMPARE(LoginFlow::formEncode(token), encoded);
    }

    void startPostsTheForm()
    {
        const LoginFlow::Start start =
            await(LoginFlow::start(m_sandbox->session(), u"  "_s + base() + u"/ "_s));
        QCOMPARE(start.poll.endpoint, base() + u"/index.php/login/v2/poll"_s);
        QVERIFY(start.login.startsWith(base() + u"/index.php/login/v2/flow/"_s));
        QCOMPARE(start.poll.token.size(), 128);

        const auto request = m_sandbox->requests().front();
        QCOMPARE(request.method, "POST");
        QCOMPARE(request.target, "/index.php/login/v2");
        QCOMPARE(request.header("User-Agent"), "Lumbra (Linux)");
        QCOMPARE(request.header("Content-Type"), "application/x-www-form-urlencoded");
        QCOMPARE(request.header("Content-Length"), "0");
        QCOMPARE(request.body, "");
    }

    void pollIsPendingThenGrantedOnce()
    {
        const LoginFlow::Start start = await(LoginFlow::start(m_sandbox->session(), base()));
        QCOMPARE(await(LoginFlow::poll(m_sandbox->session(), start.poll)),
                 std::optional<Account>());
        QVERIFY(m_sandbox->server->grant(start.login.toStdString()));
        const auto account = await(LoginFlow::poll(m_sandbox->session(), start.poll));
        QVERIFY(account);
        QCOMPARE(account->server, base());
        QCOMPARE(account->loginName, u"demo"_s);
        QVERIFY(m_sandbox->server->isValidPassword(account->appPassword.toStdString()));
        QCOMPARE(await(LoginFlow::poll(m_sandbox->session(), start.poll)),
                 std::optional<Account>());

        const auto log = m_sandbox->requests();
        QCOMPARE(log.back().target, "/index.php/login/v2/poll");
        QCOMPARE(QString::fromStdString(log.back().body), u"token="_s + start.poll.token);
        QCOMPARE(log.back().header("User-Agent"), "Lumbra (Linux)");
    }

    void pollSendsTheTokenFormEncoded()
    {
        const LoginFlow::Poll poll{u"a+b/c"_s, base() + u"/index.php/login/v2/poll"_s};
        QCOMPARE(await(LoginFlow::poll(m_sandbox->session(), poll)), std::optional<Account>());
        QCOMPARE(m_sandbox->requests().back().body, "token=a%2Bb%2Fc");
    }

    void failures_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("startOnly");
        QTest::addColumn<QString>("text");
        QTest::newRow("start 404")
            << u"login-start"_s << 404 << true << u"News API login/v2: HTTP 404"_s;
        QTest::newRow("start 500")
            << u"login-start"_s << 500 << true << u"News API login/v2: HTTP 500"_s;
        QTest::newRow("poll 500") << u"login-poll"_s << 500 << false
                                  << u"News API login poll: HTTP 500"_s;
        QTest::newRow("poll 403") << u"login-poll"_s << 403 << false
                                  << u"News API login poll: HTTP 403"_s;
    }

    void failures()
    {
        QFETCH(QString, route);
        QFETCH(int, status);
        QFETCH(bool, startOnly);
        QFETCH(QString, text);
        std::optional<LoginFlow::Start> start;
        if (!startOnly) start = await(LoginFlow::start(m_sandbox->session(), base()));
        m_sandbox->server->setFault(route.toStdString(), {status, 0, {}, -1});
        try {
            if (startOnly)
                await(LoginFlow::start(m_sandbox->session(), base()));
            else
                await(LoginFlow::poll(m_sandbox->session(), start->poll));
            QFAIL("no failure");
        } catch (const NewsError& e) {
            QCOMPARE(e.description(), text);
        }
    }

    void grantedBodyWithoutPasswordFailsToDecode()
    {
        const QByteArray noPassword = R"({"server":"https://a","loginName":"x"})";
        QVERIFY_THROWS_EXCEPTION(DecodingError, Json::decode<Account>(noPassword));
        const auto start = Json::decode<LoginFlow::Start>(
            R"({"poll":{"token":"t","endpoint":"https:\/\/a\/poll"},"login":"https:\/\/a\/l"})"_ba);
        QCOMPARE(start, (LoginFlow::Start{{u"t"_s, u"https://a/poll"_s}, u"https://a/l"_s}));
        const QByteArray noEndpoint = R"({"poll":{"token":"t"},"login":"l"})";
        QVERIFY_THROWS_EXCEPTION(DecodingError, Json::decode<LoginFlow::Start>(noEndpoint));
    }

    void invalidTypedAddressSendsNothing()
    {
        try {
            await(LoginFlow::start(m_sandbox->session(), u"exa mple.org"_s));
            QFAIL("no failure");
        } catch (const InvalidAddressError& e) {
            QCOMPARE(e.description(),
                     u"\u201Chttps://exa mple.org/index.php/login/v2\u201D is not a valid server "
                     u"address. Enter an address such as https://cloud.example.org."_s);
        }
        QVERIFY_THROWS_EXCEPTION(InvalidAddressError,
                                 await(LoginFlow::start(m_sandbox->session(), u""_s)));
        QVERIFY(m_sandbox->requests().empty());
    }

    void revokeSendsOnlyItsHeadersAndEndsThePassword()
    {
        Account account = m_sandbox->account();
        account.server += u"//"_s;
        await(LoginFlow::revoke(m_sandbox->session(), account));
        const auto request = m_sandbox->requests().front();
        QCOMPARE(request.method, "DELETE");
        QCOMPARE(request.target, "/ocs/v2.php/core/apppassword");
        QCOMPARE(request.header("OCS-APIRequest"), "true");
        QCOMPARE(QByteArray::fromStdString(request.header("Authorization")),
                 basicAuthorization(account));
        QCOMPARE(request.header("User-Agent"), "Mozilla/5.0"); // Qt's default: none of ours
        QVERIFY(!request.hasHeader("Accept"));
        QVERIFY(request.body.empty());
        QVERIFY(!m_sandbox->server->isValidPassword(account.appPassword.toStdString()));
    }

    void revokeSwallowsEveryFailure_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("nothing listens")
            << u"http://127.0.0.1:"_s + QString::number(SandboxFixture::closedPort());
        QTest::newRow("not an address") << u"https://exa mple.org"_s;
        QTest::newRow("server error") << QString();
    }

    void revokeSwallowsEveryFailure()
    {
        QFETCH(QString, server);
        Account account = m_sandbox->account();
        if (server.isEmpty())
            m_sandbox->server->setFault("revoke", {500, 0, {}, -1});
        else
            account.server = server;
        await(LoginFlow::revoke(m_sandbox->session(), account)); // must not throw
        QVERIFY(m_sandbox->server->isValidPassword(m_sandbox->server->appPassword()));
    }
};

QTEST_GUILESS_MAIN(LoginFlowTest)
#include "tst_loginflow.moc"
