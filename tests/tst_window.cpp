#include "App/LumbraApp.h"
#include "App/Translations.h"
#include "LumbraCore/Opml.h"
#include "LumbraCore/RelativeDate.h"
#include "MainWindowFixture.h"
#include "Views/AddFeedDialog.h"
#include "Views/MessageView.h"
#include "Views/QuoteWebView.h"
#include "Views/SettingsView.h"

#include <QAccessible>
#include <QFileDialog>
#include <QGroupBox>
#include <QSettings>
#include <QSplitter>

using namespace Qt::StringLiterals;

namespace {

// The letter each text of `actions` is reached by with Alt, lower-cased; none for a text
// without one.
QStringList mnemonics(const QList<QAction*>& actions)
{
    QStringList letters;
    for (const QAction* action : actions) {
        const QString text = action->text();
        for (qsizetype at = text.indexOf(u'&'); at >= 0 && at + 1 < text.size();
             at = text.indexOf(u'&', at + 2))
            if (text.at(at + 1) != u'&') letters << text.mid(at + 1, 1).toLower();
    }
    return letters;
}

} // namespace

// The window around the views: the banner, Settings, the window's place, notes opened elsewhere,
// and every text in the user's language.
class WindowTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
    void bannerTimeouts()
    {
        build(true);
        QWidget area;
        {
            MessageView quick(f->reader->session(), &area, std::chrono::milliseconds(50));
            f->reader->session().setMessage(quoteAdded(u"first"_s));
            QCOMPARE(quick.text(), u"Quote added to first"_s);
            QTRY_VERIFY(!said(*f->reader)); // run out, it goes
        }
        // Read from the timer, and long enough not to run out while a busy machine lags.
        // Qt may move a coarse timer's end by up to 5% (500 ms): each step waits longer.
        MessageView banner(f->reader->session(), &area, std::chrono::seconds(10));
        const auto restarts = [&](const QString& title) {
            QTest::qWait(1100);
            const int before = banner.wait().remainingTime();
            f->reader->session().setMessage(quoteAdded(title));
            return banner.wait().remainingTime() > before;
        };
        f->reader->session().setMessage(quoteAdded(u"first"_s));
        QVERIFY(banner.wait().isActive());
        QVERIFY(restarts(u"second"_s));  // a new text has its own full wait
        QVERIFY(!restarts(u"second"_s)); // the same one none
        // While the pointer rests on it, it stays; leaving gives it a full wait again.
        QTest::qWait(1100);
        const int before = banner.wait().remainingTime();
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&banner, &enter);
        QVERIFY(!banner.wait().isActive());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&banner, &leave);
        QVERIFY(banner.wait().remainingTime() > before);

        // Something that went wrong waits to be dismissed, from the keyboard too.
        const Notice refused(Notice::Kind::changeRefused, {},
                             Failure{Failure::Kind::newsStatus, u"/items/5/read"_s, 500,
                                     QNetworkReply::NoError, 0, QString(), std::nullopt});
        // Its cause is under Details; dismissed from the keyboard, the focus goes back to
        // where the reader was.
        auto* reading = new QLineEdit(&area);
        area.show();
        area.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&area));
        for (const bool byKey : {false, true}) {
            f->reader->session().setMessage(refused);
            QVERIFY(!banner.wait().isActive());
            QVERIFY(!banner.text().contains(u"/items/5/read"_s));
            banner.detailsButton()->click();
            QVERIFY(banner.text().contains(u"News API /items/5/read: HTTP 500"_s));
            QToolButton* dismiss = banner.dismissButton();
            QVERIFY(dismiss->focusPolicy() & Qt::TabFocus);
            QCOMPARE(dismiss->accessibleName(), u"Dismiss"_s);
            if (byKey) {
                reading->setFocus();
                dismiss->setFocus();
                QTest::keyClick(dismiss, Qt::Key_Escape);
                QCOMPARE(QApplication::focusWidget(), reading);
            } else {
                dismiss->click();
            }
            QCOMPARE(said(*f->reader), std::nullopt);
        }
        // Details that would only repeat the sentence are not offered.
        Failure lost;
        lost.kind = Failure::Kind::network;
        lost.network = QNetworkReply::RemoteHostClosedError;
        lost.detail = u"Connection closed"_s;
        f->reader->session().setMessage(Notice(Notice::Kind::changeRefused, {}, lost));
        QVERIFY(banner.text().contains(u"Connection closed"_s));
        QVERIFY(banner.detailsButton()->isHidden());
    }

    void applicationWindow()
    {
        LumbraApp app;
        QCOMPARE(app.window().windowTitle(), u"Lumbra"_s);
        // Tiled to half of a 1440-pixel screen, every column keeps its room.
        app.content().setCurrentWidget(app.content().readerPage());
        app.window().show();
        app.window().resize(LumbraApp::minimumWindowSize);
        QTRY_COMPARE(app.window().size(), LumbraApp::minimumWindowSize);
        for (int column = 0; column < app.content().columns()->count(); ++column) {
            const QWidget* shown = app.content().columns()->widget(column);
            QVERIFY(shown->width() >= shown->minimumWidth());
            QVERIFY(shown->width() >= shown->minimumSizeHint().width());
        }
        // (Orca presses the other shortcuts.)
        QCOMPARE(app.menu().refresh->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    }

    void settingsIsADialogOfTheWindow()
    {
        LumbraApp app;
        app.window().show();
        app.menu().settings->trigger();
        QDialog* settings = app.settingsDialog();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(settings->parentWidget(), &app.window());
        QCOMPARE(QAccessible::queryAccessibleInterface(settings)->role(), QAccessible::Dialog);
        QTest::keyClick(settings, Qt::Key_Escape);
        QVERIFY(!settings->isVisible());

        // Choosing a vault from Settings opens over Settings, which has the focus back after.
        app.menu().settings->trigger();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QPushButton* choose = settings->findChild<SettingsView*>()->chooseVaultButton();
        choose->setFocus();
        QWidget* chooserParent = nullptr;
        QTimer cancel;
        cancel.callOnTimeout([&] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                chooserParent = chooser->parentWidget();
                chooser->reject();
            }
        });
        cancel.start(0);
        QTest::keyClick(choose, Qt::Key_Space);
        cancel.stop();
        QCOMPARE(chooserParent, settings);
        QVERIFY(settings->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), choose);
        QTest::keyClick(settings, Qt::Key_Escape);
        // Opened again, it starts at its first control, not at the one left last.
        app.menu().settings->trigger();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QVERIFY(QApplication::focusWidget() != choose);
        QVERIFY(settings->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClick(settings, Qt::Key_Escape);

        // Logged out, Settings leads to the login.
        app.menu().settings->trigger();
        auto* view = settings->findChild<SettingsView*>();
        QVERIFY(view->logInButton()->isVisible());
        view->logInButton()->click();
        QVERIFY(!settings->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), app.content().loginView()->serverField());

        // Ctrl+Q in Settings ends Lumbra: no window is left to keep it running.
        app.menu().settings->trigger();
        QVERIFY(settings->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!settings->isVisible());
        QVERIFY(!app.window().isVisible());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                             [](QWidget* w) { return w->isVisible(); }));
    }

    void settingsShowTheAccountAndVault()
    {
        build(true);
        SettingsView settings(*f->reader);
        QCOMPARE(settings.account()->currentIndex(), 1);
        QCOMPARE(settings.loginName()->text(), u"demo"_s);
        QCOMPARE(settings.server()->text(), f->sandbox.account().server);
        QCOMPARE(settings.vaultPath()->text(), u"Not chosen"_s);
        settings.chooseVaultButton()->click(); // cancelled
        QCOMPARE(settings.vaultPath()->text(), u"Not chosen"_s);
        const QTemporaryDir main;
        const QTemporaryDir other;
        f->folderChooser.answer = main.path();
        settings.chooseVaultButton()->click();
        QCOMPARE(settings.vaultPath()->text(), main.path());
        settings.logOutButton()->click();
        QCOMPARE(settings.account()->currentIndex(), 0);

        // A vault chosen elsewhere (at the first quote) shows the next time Settings opens.
        settings.show();
        f->folderChooser.answer = other.path();
        QVERIFY(f->reader->quotes().chooseVault());
        settings.hide();
        settings.show();
        QCOMPARE(settings.vaultPath()->text(), other.path());
    }

    // On a real display server (the CTest entry tst_window_xcb): the main window is made
    // once, not again when the first article's page appears.
    void windowIsMadeOnce()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("the offscreen platform never makes windows again; tst_window_xcb runs this");
        build(true);
        const WId made = window->winId();
        f->reader->timeline().select(f->reader->timeline().items()[1].id);
        QTRY_VERIFY(content->findChild<ArticleView*>()->webView()->isVisible());
        QTest::qWait(500); // the page's first frame
        QCOMPARE(window->winId(), made);
    }

    // On a real display server Qt hands addresses to xdg-open; stand-ins for xdg-open and
    // xdg-mime record what they were given.
    void aNoteOpensInObsidianOrTheMarkdownApp_data()
    {
        QTest::addColumn<bool>("obsidian");  // a handler for obsidian:// is registered
        QTest::addColumn<bool>("markdown");  // a program for text/markdown is set
        QTest::addColumn<QString>("opened"); // empty: nothing opens, and the user is told
        const QString path = u"/vault/lumbra/Caf\u00E9 & more.md"_s;
        QTest::newRow("Obsidian")
            << true << false
            << u"obsidian://open?path=%2Fvault%2Flumbra%2FCaf%C3%A9%20%26%20more.md"_s;
        QTest::newRow("no Obsidian")
            << false << true << QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
        QTest::newRow("nothing for Markdown") << false << false << QString();
    }

    void aNoteOpensInObsidianOrTheMarkdownApp()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("the offscreen platform opens nothing; tst_window_xcb runs this");
        QFETCH(bool, obsidian);
        QFETCH(bool, markdown);
        QFETCH(QString, opened);
        QTemporaryDir bin;
        const QString log = bin.filePath(u"opened"_s);
        const auto script = [&](const QString& name, const QString& body) {
            QFile file(bin.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        };
        // Written whole, then named: the test reads it as soon as the name appears.
        script(u"xdg-open"_s, u"printf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'"_s.arg(log));
        script(u"xdg-mime"_s,
               u"case \"$3\" in x-scheme-handler/obsidian) %1;; text/markdown) %2;; esac"_s.arg(
                   obsidian ? u"echo obsidian.desktop"_s : u"exit 0"_s,
                   markdown ? u"echo org.gnome.TextEditor.desktop"_s : u"exit 0"_s));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        bool told = false;
        DesktopNoteOpener().open(u"/vault/lumbra/Caf\u00E9 & more.md"_s, [&told] { told = true; });
        if (opened.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(told, 10000);
            qputenv("PATH", path);
            QVERIFY(!QFile::exists(log));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 10000);
        qputenv("PATH", path);
        QVERIFY(!told);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), opened);
    }

    void windowPlaceAndColumnsAreRemembered()
    {
        QSettings().clear();
        QList<int> columns;
        QList<int> fresh;
        {
            LumbraApp app;
            app.content().setCurrentWidget(app.content().readerPage()); // the columns laid out
            app.window().show();
            app.window().setGeometry(60, 70, 1000, 640);
            QTRY_COMPARE(app.window().size(), QSize(1000, 640));
            QSplitter* splitter = app.content().columns();
            fresh = splitter->sizes();
            splitter->setSizes({fresh[0] + 60, fresh[1] + 90, fresh[2] - 150});
            columns = splitter->sizes();
            QVERIFY(columns != fresh);
            app.window().close();
        }
        LumbraApp again;
        again.content().setCurrentWidget(again.content().readerPage());
        again.window().show();
        QCOMPARE(again.window().size(), QSize(1000, 640));
        QCOMPARE(again.content().columns()->sizes(), columns);
        QSettings().clear();
    }

    void speaksTheUsersLanguage_data()
    {
        QTest::addColumn<QStringList>("languages"); // the user's, most wanted first
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QString>("allUnread");
        QTest::addColumn<QString>("elevenUnread");
        QTest::addColumn<QString>("oneUnread");
        QTest::addColumn<QString>("twoHoursAgo");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<QString>("notOpml"); // what a decoder found, in the language
        QTest::newRow("German") << QStringList{u"de-DE"_s}
                                << QStringList{u"&Datei"_s, u"&Artikel"_s, u"&Hilfe"_s}
                                << u"Alle ungelesenen"_s << u"11 ungelesen"_s << u"1 ungelesen"_s
                                << u"vor 2 Stunden"_s << false << u"kein OPML-Dokument"_s;
        QTest::newRow("French of Canada, then English")
            << QStringList{u"fr-CA"_s, u"en"_s}
            << QStringList{u"&Fichier"_s, u"Arti&cle"_s, u"&Aide"_s} << u"Tous les non lus"_s
            << u"11 non lus"_s << u"1 non lu"_s << u"il y a 2 heures"_s << false
            << u"pas un document OPML"_s;
        QTest::newRow("British English")
            << QStringList{u"en-GB"_s} << QStringList{u"&File"_s, u"&Article"_s, u"&Help"_s}
            << u"All Unread"_s << u"11 unread"_s << u"1 unread"_s << u"2 hours ago"_s << false
            << u"not an OPML document"_s;
        QTest::newRow("Arabic first, then German")
            << QStringList{u"ar-EG"_s, u"de"_s}
            << QStringList{u"&Datei"_s, u"&Artikel"_s, u"&Hilfe"_s} << u"Alle ungelesenen"_s
            << u"11 ungelesen"_s << u"1 ungelesen"_s << u"vor 2 Stunden"_s << true
            << u"kein OPML-Dokument"_s;
        QTest::newRow("a language Lumbra lacks")
            << QStringList{u"tlh"_s} << QStringList{u"&File"_s, u"&Article"_s, u"&Help"_s}
            << u"All Unread"_s << u"11 unread"_s << u"1 unread"_s << u"2 hours ago"_s << false
            << u"not an OPML document"_s;
    }

    void speaksTheUsersLanguage()
    {
        QFETCH(QStringList, languages);
        QFETCH(QStringList, menus);
        QFETCH(QString, allUnread);
        QFETCH(QString, elevenUnread);
        QFETCH(QString, oneUnread);
        QFETCH(QString, twoHoursAgo);
        QFETCH(bool, mirrored);
        QFETCH(QString, notOpml);
        const Translations translations(languages);
        build(true);
        QStringList titles;
        for (const QAction* shown : window->menuBar()->actions())
            titles << shown->text();
        QCOMPARE(titles, menus);
        // Each menu reached by its own letter, and each entry within a menu.
        for (QAction* bar : window->menuBar()->actions()) {
            const QStringList letters = mnemonics(bar->menu()->actions());
            QCOMPARE(QSet<QString>(letters.cbegin(), letters.cend()).size(), letters.size());
        }
        const QStringList menuLetters = mnemonics(window->menuBar()->actions());
        QCOMPARE(QSet<QString>(menuLetters.cbegin(), menuLetters.cend()).size(), menus.size());

        QCOMPARE(rowTitles(content->sidebar()->model()).first(), allUnread);
        QCOMPARE(content->timeline()->subtitleLabel()->text(), elevenUnread);
        f->reader->timeline().selectSource(Source::feed(4));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(content->timeline()->subtitleLabel()->text(), oneUnread);
        QCOMPARE(relativeDate(1'800'000'000 - 7200, 1'800'000'000), twoHoursAgo);
        // Numbers grouped as the language groups them; Qt's own buttons in it too.
        QCOMPARE(QLocale().toString(3030), translations.locale().toString(3030));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QCoreApplication::translate("LoginView", "Cancel"));
        try {
            Opml::read("<html/>");
            QFAIL("read a page as a list");
        } catch (const DecodingError& error) {
            QCOMPARE(error.problem(), notOpml);
        }
        // The columns read from the right in a right-to-left language.
        QCOMPARE(QGuiApplication::layoutDirection(), mirrored ? Qt::RightToLeft : Qt::LeftToRight);
        const int sidebar = content->sidebar()->mapTo(window.get(), QPoint()).x();
        const int timeline = content->timeline()->mapTo(window.get(), QPoint()).x();
        QCOMPARE(sidebar > timeline, mirrored);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
