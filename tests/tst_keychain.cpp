#include "Await.h"
#include "LumbraCore/Json.h"
#include "Reader/Keychain.h"

#include <QTest>
#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

using namespace Qt::StringLiterals;

// Runs against the real Secret Service that with-keyring.sh starts.
class KeychainTest : public QObject {
    Q_OBJECT

    const QString service = u"app.lumbra.Lumbra.tests"_s;

    // Writes raw bytes under the store's item, as a damaged or foreign entry would be.
    QCoro::Task<> writeRaw(QByteArray data)
    {
        QKeychain::WritePasswordJob job(service);
        job.setAutoDelete(false);
        job.setKey(u"account"_s);
        job.setBinaryData(data);
        job.start();
        co_await qCoro(&job, &QKeychain::Job::finished);
        if (job.error() != QKeychain::NoError)
            qFatal("keyring write failed: %s", qPrintable(job.errorString()));
    }

    QCoro::Task<QByteArray> readRaw()
    {
        QKeychain::ReadPasswordJob job(service);
        job.setAutoDelete(false);
        job.setKey(u"account"_s);
        job.start();
        co_await qCoro(&job, &QKeychain::Job::finished);
        co_return job.binaryData();
    }

private Q_SLOTS:
    void init() { await(Keychain(service).remove()); }

    void savesLoadsAndDeletes()
    {
        Keychain store(service);
        QCOMPARE(await(store.load()), std::optional<Account>());
        const Account first{u"https://one.example"_s, u"ann"_s, u"pw1"_s};
        const Account second{u"https://two.example/"_s, u"bob"_s, u"pw2"_s};
        await(store.save(first));
        await(store.save(second));
        QCOMPARE(await(store.load()), std::optional(second));
        // A fresh store with the same service finds the same single item.
        QCOMPARE(await(Keychain(service).load()), std::optional(second));
        await(store.remove());
        QCOMPARE(await(store.load()), std::optional<Account>());
        await(store.remove()); // nothing to delete is fine
    }

    void keepsEveryCharacter_data()
    {
        QTest::addColumn<Account>("account");
        QTest::newRow("quotes and backslashes")
            << Account{u"https://a.example"_s, u"o\"brien\\x"_s, u"p\"w\\\n"_s};
        QTest::newRow("non-ascii") << Account{u"https://bücher.example"_s, u"Åsa 日本"_s, u"🔑ß"_s};
        QTest::newRow("colon in name") << Account{u"http://127.0.0.1:8080"_s, u"a:b"_s, u":"_s};
    }

    void keepsEveryCharacter()
    {
        QFETCH(Account, account);
        Keychain store(service);
        await(store.save(account));
        QCOMPARE(await(store.load()), std::optional(account));
    }

    void damagedItemLoadsAsNoneAndStays_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("not JSON") << "not json"_ba;
        QTest::newRow("missing key") << R"({"server":"https://a","loginName":"x"})"_ba;
        QTest::newRow("wrong type") << R"({"server":1,"loginName":"x","appPassword":"y"})"_ba;
    }

    void damagedItemLoadsAsNoneAndStays()
    {
        QFETCH(QByteArray, data);
        await(writeRaw(data));
        QCOMPARE(await(Keychain(service).load()), std::optional<Account>());
        QCOMPARE(await(readRaw()), data); // not removed by the load
    }

    void otherServicesAreSeparate()
    {
        const Account account{u"https://a.example"_s, u"x"_s, u"y"_s};
        await(Keychain(service).save(account));
        QCOMPARE(await(Keychain(service + u".other"_s).load()), std::optional<Account>());
    }
};

QTEST_GUILESS_MAIN(KeychainTest)
#include "tst_keychain.moc"
