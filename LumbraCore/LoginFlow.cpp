#include "LumbraCore/LoginFlow.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/internal/Http.h"

namespace {

QCoro::Task<Http::Reply> formPost(HttpSession session, QString address, QByteArray body,
                                  std::stop_token stop)
{
    QNetworkRequest request(Http::checkedUrl(address));
    request.setRawHeader("User-Agent", userAgent());
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    co_return co_await Http::send(session, request, "POST", body, stop);
}

} // namespace

namespace LoginFlow {

QCoro::Task<Start> start(HttpSession session, QString address, std::stop_token stop)
{
    const Http::Reply reply = co_await formPost(
        session, normalise(address) + QStringLiteral("/index.php/login/v2"), QByteArray(""), stop);
    if (reply.status != 200) throw NewsError::http(QStringLiteral("login/v2"), reply.status);
    co_return Json::decode<Start>(reply.body);
}

QCoro::Task<std::optional<Account>> poll(HttpSession session, Poll poll, std::stop_token stop)
{
    const Http::Reply reply =
        co_await formPost(session, poll.endpoint, "token=" + formEncode(poll.token), stop);
    if (reply.status == 404) co_return std::nullopt;
    if (reply.status != 200) throw NewsError::http(QStringLiteral("login poll"), reply.status);
    co_return Json::decode<Account>(reply.body);
}

QCoro::Task<> revoke(HttpSession session, Account account, std::stop_token stop)
{
    try {
        QString server = account.server;
        while (server.endsWith(u'/'))
            server.chop(1);
        QNetworkRequest request(
            Http::checkedUrl(server + QStringLiteral("/ocs/v2.php/core/apppassword")));
        request.setRawHeader("OCS-APIRequest", "true");
        request.setRawHeader("Authorization", basicAuthorization(account));
        co_await Http::send(session, request, "DELETE", std::nullopt, stop);
    } catch (const LumbraError& failure) {
        // Nothing to show: the password then simply stays valid on the server.
        qCWarning(lcNetwork) << "revoking the app password failed:" << failure.description();
    }
}

} // namespace LoginFlow
