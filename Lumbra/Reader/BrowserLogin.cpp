#include "Reader/BrowserLogin.h"

#include "LumbraCore/LoginFlow.h"
#include "LumbraCore/LoginReplies.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/WebAddress.h"
#include "Reader/CancellableSleep.h"

QCoro::Task<LoginOutcome> browserLogin(LoginContext context, QString server, std::stop_token stop)
{
    LoginFlow::Start start;
    try {
        start = co_await LoginFlow::start(context.session, server, stop);
    } catch (const CancelledError&) {
        co_return LoginOutcome{};
    } catch (const LumbraError& failure) {
        if (stop.stop_requested()) co_return LoginOutcome{};
        co_return LoginOutcome{std::nullopt, LoginFailure(LoginFailure::Kind::request,
                                                          Failure::of(failure), server.trimmed(),
                                                          LoginFlow::normalise(server.trimmed()))};
    }
    if (stop.stop_requested()) co_return LoginOutcome{};

    // The page a stranger's server names is opened only when it is a web page.
    const QUrl page(start.login, QUrl::StrictMode);
    if (!isWebAddress(page))
        co_return LoginOutcome{std::nullopt, LoginFailure(LoginFailure::Kind::notWebPage)};
    context.browser.open(page, {});

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
            co_return LoginOutcome{std::nullopt, LoginFailure(LoginFailure::Kind::timedOut)};
    }
}
