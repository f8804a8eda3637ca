#include "Await.h"
#include "LumbraCore/Appcast.h"
#include "SandboxFixture.h"
#include "Views/Wording.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The update feed: reading appcasts, and the whole check against the sandbox's feed.
class AppcastTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newestRelease_data()
    {
        QTest::addColumn<QByteArray>("appcast");
        QTest::addColumn<QString>("version"); // empty: none found
        QTest::addColumn<QString>("download");

        const QByteArray head = "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"urn:s\"><channel>";
        const QByteArray tail = "</channel></rss>";
        QTest::newRow("numeric, not textual order")
            << head +
                   "<item><sparkle:version>1.9</sparkle:version></item>"
                   "<item><sparkle:version>1.10</sparkle:version>"
                   "<enclosure url=\"https://a.example/1.10.tgz\"/></item>"
                   "<item><sparkle:version>1.2</sparkle:version></item>" +
                   tail
            << u"1.10"_s << u"https://a.example/1.10.tgz"_s;
        QTest::newRow("longer than any integer, leading zeros, a suffix")
            << head +
                   "<item><sparkle:version>99999999999999999999999.1</sparkle:version>"
                   "<enclosure url=\"https://a.example/big.tgz\"/></item>"
                   "<item><sparkle:version>0099999999999999999999998.9-rc.7</sparkle:version>"
                   "</item><item><sparkle:version>0.1.0</sparkle:version></item>" +
                   tail
            << u"99999999999999999999999.1"_s << u"https://a.example/big.tgz"_s;
        QTest::newRow("version as enclosure attribute")
            << head +
                   "<item><enclosure url=\"https://a.example/2.tgz\" sparkle:version=\"2.0\"/>"
                   "</item>" +
                   tail
            << u"2.0"_s << u"https://a.example/2.tgz"_s;
        QTest::newRow("element wins over attribute")
            << head +
                   "<item><sparkle:version>3.1</sparkle:version>"
                   "<enclosure url=\"https://a.example/3.tgz\" sparkle:version=\"9\"/></item>" +
                   tail
            << u"3.1"_s << u"https://a.example/3.tgz"_s;
        QTest::newRow("items without a version are skipped")
            << head + "<item><title>News</title></item>" + tail << QString() << QString();
        QTest::newRow("not well-formed")
            << head + "<item><sparkle:version>4</item>" << QString() << QString();
        QTest::newRow("not XML at all") << QByteArray("{\"version\": 5}") << QString() << QString();
    }

    void newestRelease()
    {
        QFETCH(QByteArray, appcast);
        QFETCH(QString, version);
        QFETCH(QString, download);
        const std::optional<Appcast::Release> newest = Appcast::newestRelease(appcast);
        QCOMPARE(newest.has_value(), !version.isEmpty());
        if (!newest) return;
        QCOMPARE(newest->version, version);
        QCOMPARE(newest->download.toString(), download);
    }

    void check_data()
    {
        QTest::addColumn<QString>("path"); // on the sandbox; empty: the build has no feed
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("newer") << u"/appcast.xml"_s << u"1.9.0"_s
                               << u"Lumbra 1.10.0 is available (you have 1.9.0)"_s;
        QTest::newRow("current") << u"/appcast.xml"_s << u"1.10.0"_s
                                 << u"Lumbra 1.10.0 is the newest version."_s;
        QTest::newRow("trailing zeros")
            << u"/appcast.xml"_s << u"1.10"_s << u"Lumbra 1.10 is the newest version."_s;
        QTest::newRow("unconfigured") << QString() << u"1.0"_s << u"has no update feed"_s;
        QTest::newRow("missing feed") << u"/no-such-appcast.xml"_s << u"1.0"_s
                                      << u"Couldn't check for updates: The server answered HTTP"_s;
    }

    void check()
    {
        QFETCH(QString, path);
        QFETCH(QString, current);
        QFETCH(QString, outcome);
        SandboxFixture sandbox;
        const QUrl feed = path.isEmpty() ? QUrl() : QUrl(sandbox.account().server + path);
        const QString text =
            Wording::updateCheck(await(Appcast::check(sandbox.session(), feed, current)));
        QVERIFY2(text.contains(outcome), qPrintable(text));
    }

    void checkRefusesOtherSchemes()
    {
        SandboxFixture sandbox;
        const Appcast::Outcome outcome =
            await(Appcast::check(sandbox.session(), QUrl(u"file:///etc/passwd"_s), u"1.0"_s));
        QCOMPARE(outcome.kind, Appcast::Outcome::Kind::failed);
        const QString text = Wording::updateCheck(outcome);
        QVERIFY2(text.startsWith(u"Couldn't check for updates: "_s), qPrintable(text));
        QVERIFY(!text.contains(u"root"_s));
    }
};

QTEST_GUILESS_MAIN(AppcastTest)
#include "tst_appcast.moc"
