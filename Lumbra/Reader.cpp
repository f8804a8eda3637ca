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

void Reader::setSource(std::optional<Source> source)
{
    assign(m_source, std::move(source), &Reader::sourceChanged);
}

void Reader::setMessage(std::optional<QString> message)
{
    assign(m_message, std::move(message), &Reader::messageChanged);
}

void Reader::updateItem(qint64 id, std::optional<bool> unread, std::optional<bool> starred)
{
    const auto apply = [&](Item& item) {
        if (unread) item.unread = *unread;
        if (starred) item.starred = *starred;
    };
    if (m_linked && m_linked->id == id) {
        Item linked = *m_linked;
        apply(linked);
        assign(m_linked, std::optional<Item>(linked), &Reader::linkedChanged);
    }
    const auto it = std::find_if(m_items.cbegin(), m_items.cend(),
                                 [id](const Item& item) { return item.id == id; });
    if (it == m_items.cend()) return;
    QList<Item> items = m_items;
    apply(items[it - m_items.cbegin()]);
    setItems(std::move(items));
}
