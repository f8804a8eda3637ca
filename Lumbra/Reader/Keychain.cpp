#include "Reader/Keychain.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"

#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

namespace {

const QString key = QStringLiteral("account");

// Jobs report on the event loop; awaiting them never spins a nested one.
template <typename Job> QCoro::Task<> run(Job& job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false); // never a plain-text copy of the password
    job.setKey(key);
    job.start();
    co_await qCoro(&job, &QKeychain::Job::finished);
    if (job.error() != QKeychain::NoError && job.error() != QKeychain::EntryNotFound)
        qCWarning(lcKeyring).noquote()
            << job.metaObject()->className() << "failed:" << job.errorString();
}

} // namespace

Keychain::Keychain(QString service) : m_service(std::move(service)) {}

QCoro::Task<std::optional<Account>> Keychain::load()
{
    QKeychain::ReadPasswordJob job(m_service);
    co_await run(job);
    if (job.error() != QKeychain::NoError) co_return std::nullopt;
    try {
        co_return Json::decode<Account>(job.binaryData());
    } catch (const DecodingError& failure) {
        qCWarning(lcKeyring).noquote()
            << "the stored account is unreadable:" << failure.description();
        co_return std::nullopt; // left in place, as if nothing were stored
    }
}

QCoro::Task<> Keychain::save(Account account)
{
    co_await remove();
    QKeychain::WritePasswordJob job(m_service);
    job.setBinaryData(Json::encode(account));
    co_await run(job);
}

QCoro::Task<> Keychain::remove()
{
    QKeychain::DeletePasswordJob job(m_service);
    co_await run(job);
}
