// The browser login and logout.

#include "CancellableSleep.h"
#include "LoginFlow.h"
#include "Reader.h"

#include <QPointer>

void Reader::startLogin(const QString& server)
{
    if (m_loginTask) m_loginTask->request_stop();
    m_loginTask = std::make_shared<std::stop_source>();
    setLogin(LoginState::waiting());
    loginProcedure(server, m_loginTask->get_token());
}

void Reader::cancelLogin()
{
    if (m_loginTask) m_loginTask->request_stop();
    setLogin(LoginState::idle());
}

// A cancelled attempt ends without changing anything, wherever it was: in the start
// request (aborted), in a poll (its failure is dropped) or in the sleep between polls.
QCoro::Task<> Reader::loginProcedure(QString server, std::stop_token stop)
{
    QPointer<Reader> self(this);
    const HttpSession session = m_env.session;
    LoginFlow::Start start;
    try {
        start = co_await LoginFlow::start(session, server, stop);
    } catch (const CancelledError&) {
        co_return;
    } catch (const LumbraError& failure) {
        if (self && !stop.stop_requested()) setLogin(LoginState::failed(failure.description()));
        co_return;
    }
    if (!self || stop.stop_requested()) co_return;

    const QUrl page(start.login, QUrl::StrictMode);
    if (page.isValid() && !page.isRelative()) m_env.browser->open(page);

    for (int attempt = 0;;) {
        try {
            co_await sleepFor(m_env.timing.pollInterval, stop);
        } catch (const CancelledError&) {
            co_return;
        }
        if (!self) co_return;
        std::optional<Account> account;
        try {
            account = co_await LoginFlow::poll(session, start.poll, stop);
        } catch (const LumbraError&) {
            // A failed poll counts as a pending one.
        }
        if (!self || stop.stop_requested()) co_return;
        if (account) {
            // The server has handed the password over; the attempt completes from here.
            co_await m_env.accounts->save(*account);
            if (!self) co_return;
            setAccount(std::move(account));
            setLogin(LoginState::idle());
            m_env.activator->activate();
            refresh();
            co_return;
        }
        if (++attempt >= m_env.timing.maxPolls) {
            setLogin(LoginState::failed(QStringLiteral("Login timed out")));
            co_return;
        }
    }
}

void Reader::logOut()
{
    if (!m_account) return;
    const Account leaving = *m_account;
    m_env.accounts->remove();
    setAccount(std::nullopt);
    setFolders({});
    setFeeds({});
    setItems({});
    setSelectedId(std::nullopt);
    revokeTask(leaving);
}

QCoro::Task<> Reader::revokeTask(Account account)
{
    // Goes on after the logout; only quitting Lumbra stops it.
    co_await LoginFlow::revoke(m_env.session, std::move(account), m_lifetime.get_token());
}
