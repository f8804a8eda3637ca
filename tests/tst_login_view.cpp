#include "MainWindowFixture.h"
#include "Views/CertificateView.h"
#include "Views/DetailsView.h"

#include <QAccessible>
#include <QClipboard>

using namespace Qt::StringLiterals;

// The login screen: its states, a certificate shown before it is trusted, and hints for a mistyped
// address.
class LoginViewTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
    void loginScreenStates()
    {
        build(false);
        LoginView* login = content->loginView();
        QCOMPARE(content->currentWidget(), login);
        QVERIFY(!login->logInButton()->isEnabled());
        QTest::keyClick(login->serverField(), Qt::Key_Return);
        QCOMPARE(f->reader->session().login(), LoginState::idle());

        f->sandbox.server->setFault("login-start", {0, 300, {}, 1});
        QTest::keyClicks(login->serverField(), f->sandbox.account().server);
        QVERIFY(login->logInButton()->isEnabled());
        QCOMPARE(f->files.settings.server(), f->sandbox.account().server);
        login->logInButton()->click();
        QCOMPARE(login->states()->currentIndex(), 1);
        QVERIFY(!login->serverField()->isEnabled());
        login->cancelButton()->click();
        QCOMPARE(login->states()->currentIndex(), 0);
        QCOMPARE(login->serverField()->text(), f->sandbox.account().server);

        login->serverField()->setText(u"exa mple.org"_s);
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        QVERIFY(login->failureText()->text().contains(u"not a valid server address"_s));
        QCOMPARE(login->failureText()->palette().color(QPalette::WindowText), Style::errorColor());
        // Editing the address puts the old failure away.
        login->serverField()->clear();
        QCOMPARE(login->states()->currentIndex(), 0);
        QCOMPARE(f->reader->session().login(), LoginState::idle());

        // Logging in through the browser shows the columns without reopening the window.
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        login->serverField()->setText(f->sandbox.account().server);
        login->logInButton()->click();
        QTRY_COMPARE(content->currentWidget(), content->readerPage());
        QTRY_VERIFY(actions->next->isEnabled()); // once the articles are listed
        f->reader->session().logOut();
        QCOMPARE(content->currentWidget(), login);
        // Nothing to move through on the login screen.
        for (QAction* move : {actions->next, actions->previous, actions->nextUnread})
            QVERIFY(!move->isEnabled());
    }

    // A self-signed server: the login shows its certificate and trusts it from the keyboard;
    // when the certificate later changes, the sources say so and show the new one.
    void certificatesAreShownBeforeTheyAreTrusted()
    {
        sandbox::Options options;
        options.https = true;
        build(false, options);
        LoginView* login = content->loginView();
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        login->serverField()->setText(f->sandbox.account().server);
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        CertificateView* shown = login->certificate();
        QVERIFY(shown->isVisible() && shown->trustButton()->isVisible());
        const CertificateInfo& met = shown->shown();
        // Each value a Tab stop, in the order shown and before the buttons, that Orca reads
        // as the row labelling it, then the value whole however it is broken into lines.
        QMap<QString, QString> read;
        QWidget* stop = shown->problems();
        stop->setFocus();
        for (int tabs = 0; stop != shown->copyButton() && tabs < 12; ++tabs) {
            QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(stop);
            const auto labels = spoken->relations(QAccessible::Label);
            const QString row =
                labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
            read.insert(row, spoken->text(QAccessible::Name));
            QTest::keyClick(stop, Qt::Key_Tab);
            stop = QApplication::focusWidget();
        }
        QCOMPARE(stop, shown->copyButton());
        QTest::keyClick(stop, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), shown->trustButton());
        QCOMPARE(read.value(u"Certificate SHA-256"_s), met.fingerprint);
        QCOMPARE(read.value(u"Public key SHA-256"_s), met.publicKey);
        QCOMPARE(read.value(u"Server"_s), met.origin);
        QCOMPARE(read.value(QString()),
                 u"Nobody vouches for its certificate: it is self-signed or signed by a private "
                 "authority"_s);
        QVERIFY(
            read.value(u"Valid until"_s).contains(QString::number(met.validUntil.date().year())));
        QCOMPARE(read.size(), 8);
        shown->copyButton()->click();
        const QString copied = QGuiApplication::clipboard()->text();
        QVERIFY2(copied.contains(u"Certificate SHA-256: "_s + met.fingerprint) &&
                     copied.contains(u"Public key SHA-256: "_s + met.publicKey) &&
                     copied.contains(u"Server: "_s + met.origin),
                 qPrintable(copied));
        // What went wrong is one sentence; the handshake's own words are under Details.
        QVERIFY(!login->failureText()->text().contains(u"SSL"_s));
        QVERIFY(login->details()->isVisible());
        shown->trustButton()->setFocus();
        QTest::keyClick(shown->trustButton(), Qt::Key_Space);
        QTRY_COMPARE(content->currentWidget(), content->readerPage());

        // The server's certificate changes under it.
        QTRY_VERIFY(!f->reader->session().refreshing() && !f->reader->timeline().loadingItems());
        const std::string password = f->reader->session().account()->appPassword.toStdString();
        const int port = f->sandbox.server->port();
        f->sandbox.manager.clearConnectionCache();
        f->sandbox.server = std::make_unique<sandbox::Sandbox>(options);
        f->sandbox.server->addAppPassword(password);
        f->sandbox.server->start(port);
        f->reader->session().refresh();
        SidebarView* sidebar = content->sidebar();
        QTRY_VERIFY(sidebar->reviewCertificateButton()->isVisible());
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* view = dialog->findChild<CertificateView*>();
            QVERIFY(view && view->shown().pinned && view->trustButton()->isVisible());
            view->trustButton()->click();
        });
        sidebar->reviewCertificateButton()->click();
        QTRY_VERIFY(!sidebar->reviewCertificateButton()->isVisible());
        QVERIFY(!f->reader->session().error());
    }

    void loginMistakesGetAHint_data()
    {
        QTest::addColumn<QString>("typed"); // %1 is the sandbox's (plain HTTP) host and port
        QTest::addColumn<QString>("hint");
        QTest::newRow("HTTPS to an HTTP port")
            << u"https://%1"_s << u"type http:// in front of the address instead."_s;
        QTest::newRow("no scheme, a server without HTTPS")
            << u"%1"_s << u"Lumbra tried https://%1, but this server does not seem"_s;
        QTest::newRow("no scheme, nothing there")
            << u"127.0.0.1:9"_s
            << u"Can't reach 127.0.0.1:9: connection refused. Lumbra tried https://127.0.0.1:9; "
               "for a server without HTTPS, type http://"_s;
        QTest::newRow("the address of a page inside Nextcloud")
            << u"http://%1/apps/news/"_s
            << u"There is no Nextcloud login at http://%1/apps/news/. Type the address "
               "Nextcloud's pages start with, such as http://%1, without the path"_s;
    }

    void loginMistakesGetAHint()
    {
        QFETCH(QString, typed);
        QFETCH(QString, hint);
        build(false);
        const QString hostAndPort = QUrl(f->sandbox.account().server).authority();
        LoginView* login = content->loginView();
        login->serverField()->setText(typed.arg(hostAndPort));
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        QLabel* text = login->failureText();
        QVERIFY2(text->text().contains(hint.arg(hostAndPort)), qPrintable(text->text()));
        // All of it shows: as tall as its lines need, and inside the window.
        QVERIFY(text->height() >= text->heightForWidth(text->width()));
        const QRect shown(text->mapTo(window.get(), QPoint(0, 0)), text->size());
        QVERIFY(window->rect().contains(shown));
    }
};

QTEST_MAIN(LoginViewTest)
#include "tst_login_view.moc"
