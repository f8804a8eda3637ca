// The browser login and logout.

#include "Reader/Reader.h"

#include "LumbraCore/LoginFlow.h"
#include "Reader/BrowserLogin.h"

#include <QPointer>

void Reader::startLogin(const QString& server)
{
    if (m_loginTask) m_loginTask->request_stop();
    m_loginTask = std::make_shared<std::stop_source>();
    setError(std::nullopt); // about the account being replaced
    setMessage(std::nullopt);
    setLogin(LoginState::waiting());
    loginTask(server, m_loginTask->get_token());
}

void Reader::cancelLogin()
{
    if (m_loginTask) m_loginTask->request_stop();
    setLogin(LoginState::idle());
}

QCoro::Task<> Reader::loginTask(QString server, std::stop_token stop)
{
    QPointer<Reader> self(this);
    LoginOutcome outcome = co_await browserLogin(
        LoginContext{m_env.session, *m_env.browser, *m_env.accounts, m_env.timing}, server, stop);
    if (!self) co_return;
    if (outcome.account) {
        setAccount(std::move(outcome.account));
        setLogin(LoginState::idle());
        m_env.activator->activate();
        refresh();
    } else if (outcome.failure && !stop.stop_requested()) {
        setLogin(LoginState::failed(*outcome.failure));
    }
}

void Reader::logOut()
{
    if (!m_account) return;
    const Account leaving = *m_account;
    forgetAccount();
    revokeTask(leaving);
}

void Reader::logInAgain()
{
    if (!m_account) return;
    // The refused password has nothing left to revoke.
    const QString server = m_account->server;
    forgetAccount();
    startLogin(server);
}

void Reader::forgetAccount()
{
    m_env.accounts->remove();
    setAccount(std::nullopt);
    setFolders({});
    setFeeds({});
    setItems({});
    setSelectedId(std::nullopt);
    setError(std::nullopt);
}

QCoro::Task<> Reader::revokeTask(Account account)
{
    // Goes on after the logout; only quitting Lumbra stops it.
    co_await LoginFlow::revoke(m_env.session, std::move(account), m_lifetime.get_token());
}
