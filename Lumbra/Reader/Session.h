#pragma once

#include "LumbraCore/Arrivals.h"
#include "LumbraCore/Records.h"
#include "Reader/Environment.h"
#include "Reader/Lifetime.h"
#include "Reader/LoginState.h"
#include "Reader/Notice.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

class NewsAPI;
class Subscriptions;

// The account and its login, the periodic refresh of folders and feeds, and what went
// wrong: the last refresh's error and the message of the moment.
class Session final : public QObject {
    Q_OBJECT

public:
    Session(ReaderEnvironment& environment, Subscriptions& subscriptions,
            QObject* parent = nullptr);
    ~Session() override;
    Q_DISABLE_COPY_MOVE(Session)

    // Restores the stored account, refreshes at once when there is one and starts the
    // periodic refresh.
    QCoro::Task<> start();

    const std::optional<Account>& account() const { return m_account; }
    const LoginState& login() const { return m_login; }
    bool refreshing() const { return m_refreshing; }
    // The wait between periodic refreshes.
    std::chrono::milliseconds refreshInterval() const
    {
        return m_refreshTimer.intervalAsDuration();
    }
    // Why the last refresh failed; none after one that did not.
    const std::optional<RefreshFailure>& error() const { return m_error; }
    // The last refresh failed because the server refused the app password.
    bool passwordRefused() const { return m_error && m_error->failure.passwordRefused(); }
    // What the banner tells the user now.
    const std::optional<Notice>& message() const { return m_message; }
    void setMessage(std::optional<Notice> message);

    // The News API of the account; only while there is one.
    NewsAPI api() const;
    // The app's HTTP session, for requests outside the News API.
    HttpSession http() const;

    // Fetches folders and feeds, then the items through the item loader. One refresh at a
    // time: a refresh asked for while one runs is dropped, unless that one has run for
    // `supersedeAfter` seconds (a server dripping its reply): then it is ended and a new
    // one starts.
    static constexpr qint64 supersedeAfter = 60;
    void refresh();
    // For a change the server just made: a refresh running now may have read the lists
    // before it, so another follows that one.
    void refreshAfterChange();
    void setItemLoader(std::function<QCoro::Task<>()> load) { m_loadItems = std::move(load); }

    void startLogin(const QString& server);
    void cancelLogin();
    void logOut();
    // After the server refused the password: forgets the account and starts the browser
    // login for the same server.
    void logInAgain();
    // Trusts `certificate`'s public key for its server alone, from now on and after a
    // restart, and tries again what failed over it: the login, or the refresh. Logging out
    // forgets it.
    void trustCertificate(const CertificateInfo& certificate);

Q_SIGNALS:
    void accountChanged();
    void loginChanged();
    void refreshingChanged();
    void errorChanged();
    void messageChanged();
    // A refresh found unread articles that were not there before it, by feed, most first.
    // Never for the first lists after a start or a login.
    void articlesArrived(const QList<FeedArrival>& arrivals);

private:
    void setAccount(std::optional<Account> account);
    void setLogin(LoginState login);
    void setRefreshing(bool refreshing);
    void setError(std::optional<RefreshFailure> error);
    void refreshFailed(std::exception_ptr failure);
    QCoro::Task<> refreshTask(NewsAPI api);
    QCoro::Task<> loginTask(QString server, std::shared_ptr<std::stop_source> stop);
    void forgetAccount();
    void followRefreshInterval();

    ReaderEnvironment& m_env;
    Subscriptions& m_subscriptions;
    std::function<QCoro::Task<>()> m_loadItems;
    std::optional<Account> m_account;
    LoginState m_login = LoginState::idle();
    bool m_refreshing = false;
    bool m_refreshAgain = false;
    int m_refreshes = 0;             // under way; more than one while a newer replaces one
    qint64 m_refreshStarted = 0;     // our clock
    quint64 m_refreshGeneration = 0; // of the refresh running, or the last one
    std::shared_ptr<std::stop_source> m_refreshStop;
    std::optional<RefreshFailure> m_error;
    std::optional<Notice> m_message;
    std::shared_ptr<std::stop_source> m_loginTask; // cancels the running login
    QString m_loginServer;                         // as typed for the last login
    QTimer m_refreshTimer;
    Lifetime m_lifetime; // last: it ends first
};
