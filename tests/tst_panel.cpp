#include "App/ArrivalNotice.h"
#include "App/Autostart.h"
#include "App/PanelIcon.h"
#include "App/Translations.h"
#include "MainWindowFixture.h"
#include "Reader/Settings.h"
#include "Views/SettingsView.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSpinBox>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

// Lumbra beside the user's work: its icon in the panel and new articles as one notification,
// as a desktop's panel and notification daemon get them over the session bus
// (desktop-services.py plays both and says what it got).
class PanelTest : public ViewTest {
    Q_OBJECT

    QProcess m_desktop;
    std::unique_ptr<PanelIcon> panel;
    std::unique_ptr<ArrivalNotice> notice;
    std::unique_ptr<Translations> english; // its plurals
    qint64 m_nextItem = 1000;

    // Asks the desktop, waiting in the event loop: Lumbra answers the panel meanwhile.
    QVariant ask(const QString& method, const QVariantList& arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            u"org.lumbra.TestDesktop"_s, u"/TestDesktop"_s, u"org.lumbra.TestDesktop"_s, method);
        message.setArguments(arguments);
        QDBusPendingCallWatcher call(QDBusConnection::sessionBus().asyncCall(message));
        QSignalSpy done(&call, &QDBusPendingCallWatcher::finished);
        if (!call.isFinished() && !done.wait(60000)) return {};
        return call.reply().arguments().value(0);
    }
    QJsonArray notifications()
    {
        return QJsonDocument::fromJson(ask(u"Notifications"_s).toString().toUtf8()).array();
    }
    void arrive(qint64 feedId, int count)
    {
        for (int i = 0; i < count; ++i)
            f->sandbox.server->store().addItem({.id = m_nextItem + i,
                                                .feedId = feedId,
                                                .guid = "new" + std::to_string(m_nextItem + i),
                                                .pubDate = 1'800'000'000},
                                               QDateTime::currentSecsSinceEpoch());
        m_nextItem += count;
    }
    void refresh()
    {
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
    }
    QString feedTitle(qint64 id) { return f->reader->subscriptions().feed(id)->title; }
    // The window the user works in is another program's.
    void workElsewhere()
    {
        window->hide();
        QTRY_VERIFY(!window->isActiveWindow());
    }

private Q_SLOTS:
    void init()
    {
        // Debian's Python, whose D-Bus and GLib modules the packages install.
        m_desktop.setProgram(u"/usr/bin/python3"_s);
        m_desktop.setArguments({QStringLiteral(LUMBRA_TEST_DIR "/desktop-services.py")});
        m_desktop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_desktop.start();
        QVERIFY(m_desktop.waitForReadyRead(30000));
        QCOMPARE(m_desktop.readLine().trimmed(), "ready"_ba);
        english = std::make_unique<Translations>(QStringList{u"en"_s});
        build(true);
        panel = std::make_unique<PanelIcon>(*f->reader, *window, *menu->quit);
        notice = std::make_unique<ArrivalNotice>(
            *f->reader, *window, [this](const Source& source) { panel->showOn(source); });
    }
    void cleanup()
    {
        notice.reset();
        panel.reset();
        tearDown();
        english.reset();
        m_desktop.kill();
        m_desktop.waitForFinished();
    }

    void thePanelShowsTheUnreadCount()
    {
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(panel->shown());
        const qint64 unread = f->reader->subscriptions().count(Source::allUnread());
        // The panel hears of the icon a moment after it shows.
        QTRY_COMPARE(ask(u"ItemToolTip"_s).toString(), u"Lumbra: %1 unread"_s.arg(unread));
        arrive(1, 2);
        refresh();
        QCOMPARE(ask(u"ItemToolTip"_s).toString(), u"Lumbra: %1 unread"_s.arg(unread + 2));
        f->reader->marker().markAllRead();
        QTRY_COMPARE(ask(u"ItemToolTip"_s).toString(), u"Lumbra: nothing unread"_s);
        const QStringList entries{u"Show Lumbra"_s, u"Refresh"_s, QString(), u"Quit"_s};
        QStringList shown;
        for (const QAction* entry : panel->menu()->actions())
            shown << entry->text();
        QCOMPARE(shown, entries);
        // Closing the window leaves Lumbra in the panel, unless the user wants otherwise.
        QVERIFY(!QApplication::quitOnLastWindowClosed());
        f->reader->settings().setKeepInPanel(false);
        QVERIFY(QApplication::quitOnLastWindowClosed());
    }

    void newArticlesAreToldOnceAndShownOnRequest()
    {
        // The first lists were loaded by build(): nothing to tell of them.
        workElsewhere();
        refresh();
        QCOMPARE(notifications().size(), 0);

        arrive(1, 2);
        refresh();
        QJsonArray sent = notifications();
        QCOMPARE(sent.size(), 1);
        QJsonObject first = sent[0].toObject();
        QCOMPARE(first[u"summary"_s].toString(), u"2 new articles"_s);
        QCOMPARE(first[u"body"_s].toString(), u"In "_s + feedTitle(1).toHtmlEscaped());
        QCOMPARE(first[u"desktop-entry"_s].toString(), QGuiApplication::desktopFileName());
        QCOMPARE(first[u"actions"_s].toArray().first().toString(), u"default"_s);

        // More while it is up: the same notification, told anew with all of them.
        arrive(4, 3);
        arrive(1, 1);
        refresh();
        sent = notifications();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[1][u"replaces"_s].toInt(), first[u"id"_s].toInt());
        QCOMPARE(sent[1][u"summary"_s].toString(), u"6 new articles"_s);
        QCOMPARE(sent[1][u"body"_s].toString(),
                 u"In %1 and %2"_s.arg(feedTitle(1).toHtmlEscaped(), feedTitle(4)));

        ask(u"InvokeAction"_s, {uint(first[u"id"_s].toInt()), u"default"_s});
        QTRY_VERIFY(window->isActiveWindow());
        QCOMPARE(f->reader->timeline().source(), Source::allUnread());
        // Seen in the window, the notification goes; the next arrivals start one of their
        // own, about one feed: its action opens that feed.
        QTRY_COMPARE(ask(u"Closed"_s).toString(), u"[%1]"_s.arg(first[u"id"_s].toInt()));
        QVERIFY(notice->told().isEmpty());
        workElsewhere();
        arrive(4, 1);
        refresh();
        sent = notifications();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[2][u"replaces"_s].toInt(), 0);
        QCOMPARE(sent[2][u"summary"_s].toString(), u"1 new article"_s);
        ask(u"InvokeAction"_s, {uint(sent[2][u"id"_s].toInt()), u"default"_s});
        QTRY_COMPARE(f->reader->timeline().source(), Source::feed(4));
        QVERIFY(window->isVisible());
    }

    void nothingIsToldWhenTurnedOffOrWatched_data()
    {
        QTest::addColumn<bool>("turnedOff");
        QTest::newRow("turned off in Settings") << true;
        QTest::newRow("the window is the active one") << false;
    }

    void nothingIsToldWhenTurnedOffOrWatched()
    {
        QFETCH(bool, turnedOff);
        if (turnedOff) {
            f->reader->settings().setNotifications(false);
            workElsewhere();
        } else {
            window->activateWindow();
            QTRY_VERIFY(window->isActiveWindow());
        }
        arrive(1, 2);
        refresh();
        // A call the daemon got would be answered before this one.
        QCOMPARE(notifications().size(), 0);
        QVERIFY(notice->told().isEmpty());
    }

    void onlyWhatIsNewCounts_data()
    {
        // The feed's count as shown before; none for a feed not listed then or just added.
        QTest::addColumn<std::optional<qint64>>("shown");
        QTest::addColumn<std::optional<qint64>>("listed");
        QTest::addColumn<qint64>("arrived");
        using Count = std::optional<qint64>;
        QTest::newRow("raised") << Count(3) << Count(5) << qint64(2);
        QTest::newRow("lowered: read elsewhere") << Count(5) << Count(3) << qint64(0);
        QTest::newRow("the same") << Count(5) << Count(5) << qint64(0);
        QTest::newRow("new to the list, or just subscribed") << Count() << Count(40) << qint64(0);
        QTest::newRow("no count now") << Count(3) << Count(std::nullopt) << qint64(0);
        QTest::newRow("a count below zero before") << Count(-4) << Count(2) << qint64(0);
    }

    void onlyWhatIsNewCounts()
    {
        QFETCH(std::optional<qint64>, shown);
        QFETCH(std::optional<qint64>, listed);
        QFETCH(qint64, arrived);
        const QList<FeedArrival> found =
            arrivalsBetween([&](qint64 id) { return id == 7 ? shown : std::nullopt; },
                            {Feed{.id = 7, .title = u"Seven"_s, .unreadCount = listed}});
        const QList<FeedArrival> expected{{7, u"Seven"_s, arrived}};
        QCOMPARE(found, arrived ? expected : QList<FeedArrival>());
    }

    void manyFeedsAreNamedAFew()
    {
        QList<FeedArrival> arrivals;
        for (qint64 id = 1; id <= 5; ++id)
            arrivals.append({id, u"Feed %1"_s.arg(id), id});
        addArrivals(arrivals, {{2, u"Feed Two"_s, 9}});
        QCOMPARE(arrivals.first(), (FeedArrival{2, u"Feed Two"_s, 11}));
        QCOMPARE(ArrivalNotice::summary(arrivals), u"24 new articles"_s);
        QCOMPARE(ArrivalNotice::body(arrivals), u"In Feed Two, Feed 5, Feed 4 and 2 other feeds"_s);
        // Whatever a feed calls itself: one line, a notification's length.
        const QString endless = u"A\nB "_s + QString(5000, u'x');
        const QString named = ArrivalNotice::body({{9, endless, 1}});
        QVERIFY2(named.size() < 80 && !named.contains(u'\n'), qPrintable(named));
    }

    void theSettingsTakeEffectAtOnce()
    {
        using std::chrono::minutes;
        Settings& settings = f->reader->settings();
        Autostart autostart(settings);
        QFile::remove(Autostart::entryPath());
        SettingsView view(*f->reader);
        view.show();
        // Opening Settings chooses nothing for the user.
        QCOMPARE(settings.keepInPanel(), std::nullopt);
        auto* every = view.findChild<QSpinBox*>(u"refreshMinutes"_s);
        QCOMPARE(every->value(), 15);
        QCOMPARE(f->reader->session().refreshInterval(), minutes(15));
        every->setValue(30);
        QCOMPARE(f->reader->session().refreshInterval(), minutes(30));
        // Kept within 5 minutes and a day, whatever was stored.
        for (const auto& [asked, kept] : {std::pair{1, 5}, {100000, 24 * 60}, {-3, 5}}) {
            settings.setRefreshMinutes(asked);
            QCOMPARE(every->value(), kept);
            QCOMPARE(f->reader->session().refreshInterval(), minutes(kept));
        }
        f->files.store.setValue(u"refreshMinutes"_s, u"soon"_s);
        QCOMPARE(settings.refreshMinutes(), 15);

        auto* keep = view.findChild<QCheckBox*>(u"keepInPanel"_s);
        QVERIFY(keep->isChecked());
        keep->click();
        QCOMPARE(settings.keepInPanel(), std::optional(false));
        QVERIFY(QApplication::quitOnLastWindowClosed());
        auto* start = view.findChild<QCheckBox*>(u"startWithSession"_s);
        QVERIFY(!start->isChecked() && !QFile::exists(Autostart::entryPath()));
        start->click();
        QFile written(Autostart::entryPath());
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()),
                 Autostart::entry(QCoreApplication::applicationFilePath()));
        start->click();
        QVERIFY(!QFile::exists(Autostart::entryPath()));
    }

    void theAutostartEntryQuotesTheProgram_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << u"/usr/bin/lumbra"_s << u"Exec=\"/usr/bin/lumbra\" --in-panel"_s;
        QTest::newRow("spaces, quotes, dollars, percent and backslashes")
            << u"/opt/my apps/\"l\"$x%u\\lumbra"_s
            << u"Exec=\"/opt/my apps/\\\\\"l\\\\\"\\\\$x%%u\\\\\\\\lumbra\" --in-panel"_s;
    }

    void theAutostartEntryQuotesTheProgram()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QVERIFY(Autostart::entry(program).split(u'\n').contains(exec));
    }
};

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
