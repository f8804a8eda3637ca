#include "LumbraCore/LoginFlow.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/internal/Http.h"
#include "LumbraCore/internal/JsonReader.h"
#include "LumbraCore/internal/RecordReaders.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace JsonReader;
using namespace std::string_view_literals;

namespace {

LoginFlow::Poll readPoll(Value value)
{
    LoginFlow::Poll poll;
    bool token = false, endpoint = false;
    forEachField(value, [&](std::string_view key, Value v) {
        if (key == "token"sv)
            poll.token = readString(v), token = true;
        else if (key == "endpoint"sv)
            poll.endpoint = readString(v), endpoint = true;
        else
            return false;
        return true;
    });
    requireKeys({{"token", token}, {"endpoint", endpoint}});
    return poll;
}

bool isSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QCoro::Task<Http::Reply> formPost(HttpSession session, QString address, QByteArray body,
                                  std::stop_token stop)
{
    QNetworkRequest request(Http::checkedUrl(address));
    request.setRawHeader("User-Agent", userAgent());
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    co_return co_await Http::send(session, request, "POST", body, stop);
}

} // namespace

namespace Json {

template <> LoginFlow::Start decode<LoginFlow::Start>(const QByteArray& json)
{
    return parse<LoginFlow::Start>(json, [](Value root) {
        LoginFlow::Start start;
        bool poll = false, login = false;
        forEachField(root, [&](std::string_view key, Value v) {
            if (key == "poll"sv)
                start.poll = readPoll(v), poll = true;
            else if (key == "login"sv)
                start.login = readString(v), login = true;
            else
                return false;
            return true;
        });
        requireKeys({{"poll", poll}, {"login", login}});
        return start;
    });
}

QByteArray encode(const LoginFlow::Start& start)
{
    const QJsonObject poll{{QLatin1StringView("token"), start.poll.token},
                           {QLatin1StringView("endpoint"), start.poll.endpoint}};
    return QJsonDocument(QJsonObject{{QLatin1StringView("poll"), poll},
                                     {QLatin1StringView("login"), start.login}})
        .toJson(QJsonDocument::Compact);
}

} // namespace Json

namespace LoginFlow {

QString normalise(const QString& address)
{
    qsizetype begin = 0;
    qsizetype end = address.size();
    while (begin < end && isSpace(address.at(begin)))
        ++begin;
    while (end > begin && isSpace(address.at(end - 1)))
        --end;
    QString text = address.mid(begin, end - begin);
    while (text.endsWith(u'/'))
        text.chop(1);
    if (text.startsWith(QLatin1StringView("http://")) ||
        text.startsWith(QLatin1StringView("https://")))
        return text;
    return QStringLiteral("https://") + text;
}

QByteArray formEncode(const QString& token)
{
    QByteArray out;
    const QList<uint> codePoints = token.toUcs4();
    for (const uint cp : codePoints) {
        const char32_t c = char32_t(cp);
        const QString character = QString::fromUcs4(&c, 1);
        const auto category = QChar::category(c);
        const bool alphanumeric =
            QChar::isLetterOrNumber(c) || category == QChar::Mark_NonSpacing ||
            category == QChar::Mark_SpacingCombining || category == QChar::Mark_Enclosing;
        if (alphanumeric) {
            out += character.toUtf8();
            continue;
        }
        for (const char byte : character.toUtf8())
            out += '%' + QByteArray::number(static_cast<unsigned char>(byte), 16)
                             .toUpper()
                             .rightJustified(2, '0');
    }
    return out;
}

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
