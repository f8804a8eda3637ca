#include "App/DesktopEnvironment.h"
#include "Await.h"
#include "Reader/Keychain.h"
#include "ReaderFixture.h"
#include "Views/ArticleView.h"
#include "Views/ItemActions.h"

#include <QDirIterator>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QStringList messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    messages << message;
}

// Every file under `root` that holds one of `secrets`.
QStringList filesContaining(const QString& root, const QList<QByteArray>& secrets)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.size() > 200 * 1024 * 1024 || !file.open(QIODevice::ReadOnly)) continue;
        const QByteArray content = file.readAll();
        for (const QByteArray& secret : secrets)
            if (content.contains(secret)) found << file.fileName();
    }
    return found;
}

} // namespace

// Runs in a throwaway home with its own Secret Service (with-keyring.sh): after logging in,
// reading, relaunching and logging out, no file under that home and no line of output
// holds the app password.
class SecretsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void appPasswordStaysInTheKeyring()
    {
        qInstallMessageHandler(recordMessage);
        const QString home = QDir::homePath();
        QVERIFY(home.contains(u"tmp"_s)); // never a real home
        std::string password;
        {
            ReaderFixture f;
            QSettings settings;
            Settings preferences(settings);
            Keychain keychain(u"app.lumbra.Lumbra.secrets-test"_s);
            ArticleView* view = nullptr;
            auto reader = std::make_unique<Reader>(ReaderEnvironment{
                &keychain, &f.browser, &f.activator, &f.clock, &preferences, &f.folderChooser,
                f.sandbox.session(), ReaderFixture::fastTiming()});
            ItemActions actions(*reader);
            view = new ArticleView(*reader, actions);
            view->show();
            f.browser.onOpen = [&](const QUrl& url) {
                f.sandbox.server->grant(url.toString().toStdString());
            };
            await(reader->start());
            preferences.setServer(f.sandbox.account().server);
            reader->session().startLogin(f.sandbox.account().server);
            QTRY_VERIFY_WITH_TIMEOUT(reader->session().account(), 10000);
            password = reader->session().account()->appPassword.toStdString();
            QTRY_VERIFY_WITH_TIMEOUT(!reader->timeline().items().isEmpty(), 10000);
            reader->timeline().select(
                reader->timeline().items().first().id); // the article page loads in WebEngine
            QTest::qWait(1500);
            settings.sync();
            delete view;

            // Relaunch: the account comes back from the keyring only.
            reader = std::make_unique<Reader>(ReaderEnvironment{
                &keychain, &f.browser, &f.activator, &f.clock, &preferences, &f.folderChooser,
                f.sandbox.session(), ReaderFixture::fastTiming()});
            await(reader->start());
            QVERIFY(reader->session().account());
            QCOMPARE(reader->session().account()->appPassword.toStdString(), password);

            const QByteArray secret = QByteArray::fromStdString(password);
            const QList<QByteArray> forms{secret, QByteArray("demo:" + secret).toBase64()};
            QCOMPARE(filesContaining(home, forms), QStringList());

            reader->session().logOut();
            QTRY_VERIFY(!f.sandbox.server->isValidPassword(password));
            QTest::qWait(200);
            QCOMPARE(filesContaining(home, forms), QStringList());
        }
        qInstallMessageHandler(nullptr);
        for (const QString& message : std::as_const(messages))
            QVERIFY2(!message.contains(QString::fromStdString(password)),
                     "the password was printed");
    }
};

static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(SecretsTest)
#include "tst_secrets.moc"
