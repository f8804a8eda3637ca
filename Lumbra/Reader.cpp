#include "Reader.h"

Reader::Reader(ReaderEnvironment environment, QObject* parent) : QObject(parent), m_env(environment)
{
    m_refreshTimer.setInterval(m_env.timing.refreshInterval);
    connect(&m_refreshTimer, &QTimer::timeout, this, &Reader::refresh);
}

Reader::~Reader()
{
    m_lifetime.request_stop();
    if (m_loginTask) m_loginTask->request_stop();
}

QCoro::Task<> Reader::start()
{
    QPointer<Reader> self(this);
    std::optional<Account> stored = co_await m_env.accounts->load();
    if (!self) co_return;
    setAccount(std::move(stored));
    refresh();
    m_refreshTimer.start();
}

NewsAPI Reader::api() const
{
    return NewsAPI(*m_account, m_env.session);
}

void Reader::setMessage(std::optional<QString> message)
{
    assign(m_message, std::move(message), &Reader::messageChanged);
}
