#include "Reader/BrowserLogin.h"

#include "LumbraCore/LoginFlow.h"
#include "LumbraCore/LoginReplies.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/CancellableSleep.h"

namespace {
// A plain next step for the mistakes people make typing the address.
QString withHint(const LumbraError& failure, const QString& server)
{
    const auto* network = dynamic_cast<const NetworkError*>(&failure);
    if (!network) return failure.description();
    const QString typed = server.trimmed();
    const QString tried = LoginFlow::normalise(typed);
    if (!tried.startsWith(QLatin1StringView("https://"))) return failure.description();
    const bool noScheme = !typed.startsWith(QLatin1StringView("https://"));
    QString text = failure.description();
    if (!text.endsWith(u'.')) text += u'.';
    if (network->code() == QNetworkReply::SslHandshakeFailedError)
        return text + (noScheme ? QStringLiteral(" Lumbra tried ") + tried +
                                      QStringLiteral(", but this server does not seem to speak "
                                                     "HTTPS: for one without it, type http:// "
                                                     "in front of the address.")
                                : QStringLiteral(" This server does not seem to speak HTTPS on "
                                                 "that port: for one without it, type http:// "
                                                 "in front of the address instead."));
    if (noScheme && (network->code() == QNetworkReply::ConnectionRefusedError ||
                     network->code() == QNetworkReply::HostNotFoundError))
        return text + QStringLiteral(" Lumbra tried ") + tried +
               QStringLiteral("; for a server without HTTPS, type http:// in front.");
    return failure.description();
}
} // namespace

QCoro::Task<LoginOutcome> browserLogin(LoginContext context, QString server, std::stop_token stop)
{
    LoginFlow::Start start;
    try {
        start = co_await LoginFlow::start(context.session, server, stop);
    } catch (const CancelledError&) {
        co_return LoginOutcome{};
    } catch (const LumbraError& failure) {
        if (stop.stop_requested()) co_return LoginOutcome{};
        co_return LoginOutcome{std::nullopt, withHint(failure, server)};
    }
    if (stop.stop_requested()) co_return LoginOutcome{};

    // The page a stranger's server names is opened only when it is a web page.
    const QUrl page(start.login, QUrl::StrictMode);
    if (!isWebAddress(page))
        co_return LoginOutcome{std::nullopt,
                               QStringLiteral("The server's login page is not a web address, so "
                                              "it was not opened.")};
    context.browser.open(page);

    for (int attempt = 0;;) {
        try {
            co_await sleepFor(context.timing.pollInterval, stop);
        } catch (const CancelledError&) {
            co_return LoginOutcome{};
        }
        std::optional<Account> account;
        try {
            account = co_await LoginFlow::poll(context.session, start.poll, stop);
        } catch (const LumbraError&) {
            // A failed poll counts as a pending one.
        }
        if (stop.stop_requested()) co_return LoginOutcome{};
        if (account) {
            co_await context.accounts.save(*account);
            co_return LoginOutcome{std::move(account), std::nullopt};
        }
        if (++attempt >= context.timing.maxPolls)
            co_return LoginOutcome{std::nullopt, QStringLiteral("Login timed out")};
    }
}
