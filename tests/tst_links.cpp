#include "App/LinkHandler.h"
#include "MainWindowFixture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QProcess>

using namespace Qt::StringLiterals;

// Item links from other programs: over the session bus, in a flood, at start, and the command
// line's answers.
class LinksTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
    void itemLinks()
    {
        build(true);
        LinkHandler links(*f->reader, f->activator);
        links.startOpening();
        links.open(QUrl(u"tavo://lumbra/item/notanumber"_s));
        links.open(QUrl(u"https://example.org/"_s));
        QCOMPARE(f->activator.count, 0);

        links.open(QUrl(u"tavo://lumbra/item/5"_s)); // listed: selected as a click would
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(5));
        QTRY_COMPARE(f->activator.count, 1);
        QVERIFY(!f->reader->timeline().linked());

        links.open(QUrl(u"tavo://lumbra/item/3"_s)); // read, so not in All Unread
        QTRY_VERIFY(f->reader->timeline().linked());
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(3));

        // Over the session bus: a name of this run's own, not a Lumbra the user has open.
        const QString name = u"app.lumbra.Test%1"_s.arg(QCoreApplication::applicationPid());
        QVERIFY(links.listen(name));
        QVERIFY(!LinkHandler(*f->reader, f->activator).listen(name)); // taken
        QVERIFY(LinkHandler::handOver(QUrl(u"tavo://lumbra/item/6"_s), name));
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(6));
        QVERIFY(!LinkHandler::handOver(QUrl(u"tavo://lumbra/item/6"_s), name + u"None"_s));

        // A second lumbra process on the same bus hands its link over and exits.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LUMBRA_BUS_NAME"_s, name);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(LUMBRA_PROGRAM), {u"tavo://lumbra/item/9"_s});
        // This process answers the call, so it waits in its event loop.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(9));

        // One on another session's bus does not reach this one: it starts a Lumbra of its own.
        QProcess otherBus;
        otherBus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        QVERIFY(otherBus.waitForReadyRead(5000));
        const QString otherAddress = QString::fromUtf8(otherBus.readLine().trimmed());
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, otherAddress);
        environment.insert(u"HOME"_s, QDir::tempPath());
        QProcess third;
        third.setProcessEnvironment(environment);
        third.start(QStringLiteral(LUMBRA_PROGRAM), {u"tavo://lumbra/item/5"_s});
        {
            QDBusConnection other = QDBusConnection::connectToBus(otherAddress, u"other"_s);
            // It is that session's Lumbra once it holds the name there.
            QTRY_VERIFY_WITH_TIMEOUT(other.interface()->isServiceRegistered(name).value(), 20000);
        }
        QDBusConnection::disconnectFromBus(u"other"_s);
        QCOMPARE(third.state(), QProcess::Running);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(9));
        third.kill();
        third.waitForFinished();
        otherBus.kill();
        otherBus.waitForFinished();
    }

    // Any program of the user may call over the bus, as often as it likes.
    void aFloodOfLinksOpensLittle()
    {
        build(true);
        LinkHandler links(*f->reader, f->activator);
        const QString name = u"app.lumbra.Flood%1"_s.arg(QCoreApplication::applicationPid());
        QVERIFY(links.listen(name));
        f->sandbox.server->clearRequests();
        // 1,000 articles the server does not have, 500 addresses, each twice; then one link
        // again and again. They arrive before the first refresh ended, as at a start.
        QDBusConnection bus = QDBusConnection::sessionBus();
        std::optional<QDBusPendingCall> last;
        for (int i = 0; i < 1200; ++i) {
            const QString link =
                tavoLink(700000 + std::min(i, 999), u"https://gone.example/%1"_s.arg(i % 500));
            QDBusMessage open = QDBusMessage::createMethodCall(
                name, u"/app/lumbra/Lumbra"_s, u"org.freedesktop.Application"_s, u"Open"_s);
            open << QStringList{link} << QVariantMap();
            last = bus.asyncCall(open);
        }
        QDBusPendingCallWatcher answered(*last);
        QTRY_VERIFY(answered.isFinished());
        QVERIFY(!answered.isError());
        links.startOpening();
        // A few waited and are looked up one by one; of their addresses only a burst opens.
        QTRY_COMPARE(f->browser.opened.size(), int(BrowserBursts::burstSize));
        QTRY_COMPARE(f->targets().filter(u"batchSize=2&offset="_s).size(),
                     int(LinkHandler::mostWaiting));
        QCOMPARE(QSet<QUrl>(f->browser.opened.cbegin(), f->browser.opened.cend()).size(),
                 f->browser.opened.size());
        // Once shown, a link still opens at once, and its address not again.
        const int lookUps = f->targets().filter(u"batchSize=2&offset="_s).size();
        links.open(QUrl(tavoLink(700000, u"https://gone.example/0"_s)));
        QTRY_COMPARE(f->targets().filter(u"batchSize=2&offset="_s).size(), lookUps + 1);
        QCOMPARE(f->browser.opened.size(), int(BrowserBursts::burstSize));
    }

    // Answered in the terminal, without a display and without a window.
    void commandLineQuestions_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("version") << u"--version"_s << u"de"_s
                                 << u"Lumbra %1"_s.arg(QStringLiteral(LUMBRA_VERSION));
        QTest::newRow("help") << u"--help"_s << u"en"_s << u"Usage: lumbra [--in-panel] [LINK]"_s;
        QTest::newRow("short help") << u"-h"_s << u"en"_s << u"Usage: lumbra [--in-panel] [LINK]"_s;
        QTest::newRow("help in German")
            << u"--help"_s << u"de"_s << u"Aufruf: lumbra [--in-panel] [LINK]"_s;
        QTest::newRow("help in French")
            << u"-h"_s << u"fr:de"_s << u"Utilisation : lumbra [--in-panel] [LIEN]"_s;
    }

    void commandLineQuestions()
    {
        QFETCH(QString, argument);
        QFETCH(QString, language);
        QFETCH(QString, firstLine);
        QProcess lumbra;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANGUAGE"_s, language);
        environment.insert(u"LANG"_s, u"C.UTF-8"_s);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s); // would fail, were a window made
        lumbra.setProcessEnvironment(environment);
        lumbra.start(QStringLiteral(LUMBRA_PROGRAM), {argument});
        QVERIFY(lumbra.waitForFinished(20000));
        QCOMPARE(lumbra.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(lumbra.readAllStandardOutput()).section(u'\n', 0, 0), firstLine);
    }

    void linksAtStartWaitForTheFirstRefresh()
    {
        f = std::make_unique<ReaderFixture>();
        f->accounts.stored = f->sandbox.account();
        LinkHandler links(*f->reader, f->activator);
        // Item 3 is read, so All Unread will not list it; item 5 is listed.
        links.open(QUrl(u"tavo://lumbra/item/5"_s));
        QCOMPARE(f->activator.count, 0); // nothing yet: no account loaded, no list
        await(f->reader->start());
        links.startOpening();
        QVERIFY(f->reader->session().refreshing());
        QCOMPARE(f->reader->timeline().selectedId(), std::nullopt);
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(5));
        QTRY_COMPARE(f->activator.count, 1);
        QVERIFY(!f->reader->timeline().linked()); // selected from the list, as in a running Lumbra
        QVERIFY(f->browser.opened.isEmpty());
    }
};

QTEST_MAIN(LinksTest)
#include "tst_links.moc"
