#include "Reader/Session.h"

#include "LumbraCore/Certificates.h"
#include "LumbraCore/LoginFlow.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/Settled.h"
#include "Reader/BrowserLogin.h"
#include "Reader/Lifetime.h"
#include "Reader/Settings.h"
#include "Reader/SourceOrder.h"
#include "Reader/Subscriptions.h"

namespace {

// Awaits `task` and keeps the LumbraError it throws; anything else goes on unwinding.
template <typename T> QCoro::Task<Settled<T>> settle(QCoro::Task<T> task)
{
    Settled<T> result;
    try {
        result.value = co_await std::move(task);
    } catch (const LumbraError&) {
        result.failure = std::current_exception();
    }
    co_return result;
}

} // namespace

Session::Session(ReaderEnvironment& environment, Subscriptions& subscriptions, QObject* parent)
    : QObject(parent), m_env(environment), m_subscriptions(subscriptions)
{
    if (m_env.session.pins && m_env.settings)
        m_env.session.pins->replaceAll(m_env.settings->certificatePins());
    connect(&m_refreshTimer, &QTimer::timeout, this, &Session::refresh);
    followRefreshInterval();
    if (m_env.settings)
        connect(m_env.settings, &Settings::refreshMinutesChanged, this,
                &Session::followRefreshInterval);
}

// The user's interval, from the next refresh on; a running timer starts its wait anew.
void Session::followRefreshInterval()
{
    using std::chrono::minutes;
    m_refreshTimer.setInterval(m_env.settings ? minutes(m_env.settings->refreshMinutes())
                                              : m_env.timing.refreshInterval);
}

Session::~Session() = default;

QCoro::Task<> Session::start()
{
    setAccount(co_await guarded(m_lifetime, m_env.accounts->load()));
    refresh();
    m_refreshTimer.start();
}

NewsAPI Session::api() const
{
    return NewsAPI(*m_account, m_env.session);
}

HttpSession Session::http() const
{
    return m_env.session;
}

void Session::setAccount(std::optional<Account> account)
{
    if (account == m_account) return;
    m_account = std::move(account);
    Q_EMIT accountChanged();
}

void Session::setLogin(LoginState login)
{
    if (login == m_login) return;
    m_login = std::move(login);
    Q_EMIT loginChanged();
}

void Session::setRefreshing(bool refreshing)
{
    if (refreshing == m_refreshing) return;
    m_refreshing = refreshing;
    Q_EMIT refreshingChanged();
    if (!refreshing && std::exchange(m_refreshAgain, false))
        QMetaObject::invokeMethod(this, &Session::refresh, Qt::QueuedConnection);
}

void Session::refreshAfterChange()
{
    if (m_refreshing)
        m_refreshAgain = true;
    else
        refresh();
}

void Session::setError(std::optional<RefreshFailure> error)
{
    if (error == m_error) return;
    m_error = std::move(error);
    Q_EMIT errorChanged();
}

void Session::setMessage(std::optional<Notice> message)
{
    if (message == m_message) return;
    m_message = std::move(message);
    Q_EMIT messageChanged();
}

void Session::refresh()
{
    if (!m_account) return;
    if (m_refreshing) {
        if (m_env.clock->now() - m_refreshStarted < supersedeAfter) return;
        m_refreshStop->request_stop(); // it hangs: this one takes its place
    }
    refreshTask(api());
}

void Session::refreshFailed(std::exception_ptr failure)
{
    setError(RefreshFailure{m_account ? m_account->server : QStringLiteral("the server"),
                            Failure::of(failure)});
}

// Results that arrive after the account changed (a logout, another login) belong to an
// account no longer shown, so they are dropped.
QCoro::Task<> Session::refreshTask(NewsAPI api)
{
    const quint64 generation = ++m_refreshGeneration;
    m_refreshStarted = m_env.clock->now();
    const auto refreshStop = m_refreshStop = std::make_shared<std::stop_source>();
    std::stop_callback endsWithUs(m_lifetime.token(),
                                  [refreshStop] { refreshStop->request_stop(); });
    const BusyWhile busy(m_lifetime, this, &Session::setRefreshing, m_refreshes);
    const std::stop_token lifetime = refreshStop->get_token();
    std::stop_source feedsStop;
    std::stop_callback feedsEndWithUs(lifetime, [&feedsStop] { feedsStop.request_stop(); });
    // Both requests start at once: tasks run eagerly.
    QCoro::Task<Settled<QList<Folder>>> foldersRequest = settle(api.folders(lifetime));
    QCoro::Task<Settled<FeedsResponse>> feedsRequest = settle(api.feeds(feedsStop.get_token()));
    // A logout, another login or a newer refresh: results of this one are dropped.
    const auto stale = [&] {
        return m_account != api.account() || generation != m_refreshGeneration;
    };
    // A feed or folder changed here since the lists were asked for: they may not show it
    // yet, and the change refreshes again once the server has answered.
    const quint64 edits = m_subscriptions.edits();
    const auto outdated = [&] { return m_subscriptions.edits() != edits; };
    // The feeds request ends before this frame does: it refers to feedsStop.
    const auto abandon = [&]() -> QCoro::Task<> {
        feedsStop.request_stop();
        co_await guarded(m_lifetime, std::move(feedsRequest));
    };

    Settled<QList<Folder>> folders = co_await guarded(m_lifetime, std::move(foldersRequest));
    if (folders.failure || stale()) {
        co_await abandon();
        if (folders.failure && !stale()) refreshFailed(folders.failure);
        co_return;
    }
    std::optional<QList<Folder>> sortedFolders =
        co_await guarded(m_lifetime, SourceOrder::orderedIfChanged(std::move(*folders.value),
                                                                   m_subscriptions.folders()));
    if (stale()) {
        co_await abandon();
        co_return;
    }
    if (sortedFolders && !outdated()) m_subscriptions.replaceFolders(std::move(*sortedFolders));

    Settled<FeedsResponse> feeds = co_await guarded(m_lifetime, std::move(feedsRequest));
    if (stale()) co_return;
    if (feeds.failure) {
        refreshFailed(feeds.failure);
        co_return;
    }
    std::optional<SourceOrder::FeedList> sortedFeeds =
        co_await guarded(m_lifetime, SourceOrder::orderedIfChanged(std::move(feeds.value->feeds),
                                                                   m_subscriptions.feeds()));
    if (stale()) co_return;
    if (sortedFeeds && !outdated()) {
        // The first lists of a start or a login bring nothing new: everything is.
        const QList<FeedArrival> arrived =
            m_subscriptions.feeds().isEmpty()
                ? QList<FeedArrival>()
                : arrivalsBetween(
                      [this](qint64 id) {
                          const std::optional<Feed> shown = m_subscriptions.feed(id);
                          return shown ? shown->unreadCount : std::nullopt;
                      },
                      sortedFeeds->feeds);
        m_subscriptions.replaceFeeds(std::move(*sortedFeeds));
        if (!arrived.isEmpty()) Q_EMIT articlesArrived(arrived);
    }
    m_subscriptions.setStarredCount(feeds.value->starredCount.value_or(0));
    setError(std::nullopt);

    if (m_loadItems && !stale()) co_await guarded(m_lifetime, m_loadItems());
}

void Session::startLogin(const QString& server)
{
    if (m_loginTask) m_loginTask->request_stop();
    m_loginTask = std::make_shared<std::stop_source>();
    setError(std::nullopt); // about the account being replaced
    setMessage(std::nullopt);
    setLogin(LoginState::waiting());
    m_loginServer = server;
    loginTask(server, m_loginTask);
}

void Session::cancelLogin()
{
    if (m_loginTask) m_loginTask->request_stop();
    setLogin(LoginState::idle());
}

QCoro::Task<> Session::loginTask(QString server, std::shared_ptr<std::stop_source> stop)
{
    std::stop_callback endsWithUs(m_lifetime.token(), [stop] { stop->request_stop(); });
    QCoro::Task<LoginOutcome> login =
        browserLogin(LoginContext{m_env.session, *m_env.browser, *m_env.accounts, m_env.timing},
                     server, stop->get_token());
    LoginOutcome outcome = co_await guarded(m_lifetime, std::move(login));
    if (outcome.account) {
        setAccount(std::move(outcome.account));
        setLogin(LoginState::idle());
        m_env.activator->activate();
        refresh();
    } else if (outcome.failure) {
        setLogin(LoginState::failed(*outcome.failure));
    }
}

void Session::logOut()
{
    if (!m_account) return;
    const Account leaving = *m_account;
    forgetAccount();
    // The revocation still trusts what the account's server was trusted with; from now on
    // nothing is.
    HttpSession revoking = m_env.session;
    if (m_env.session.pins) {
        revoking.pins = std::make_shared<CertificatePins>(*m_env.session.pins);
        m_env.session.pins->clear();
    }
    if (m_env.settings) m_env.settings->setCertificatePins({});
    // Goes on after the logout; only quitting Lumbra stops it.
    LoginFlow::revoke(revoking, leaving, m_lifetime.token());
}

void Session::logInAgain()
{
    if (!m_account) return;
    // The refused password has nothing left to revoke.
    const QString server = m_account->server;
    forgetAccount();
    startLogin(server);
}

void Session::trustCertificate(const CertificateInfo& certificate)
{
    if (!certificate.trustable || !m_env.session.pins) return;
    m_env.session.pins->pin(certificate.origin, certificate.publicKey);
    if (m_env.settings) m_env.settings->setCertificatePins(m_env.session.pins->all());
    if (m_account)
        refresh();
    else if (m_login.kind() == LoginState::Kind::failed)
        startLogin(m_loginServer);
}

void Session::forgetAccount()
{
    m_env.accounts->remove();
    setAccount(std::nullopt);
    m_subscriptions.clear();
    setError(std::nullopt);
}
