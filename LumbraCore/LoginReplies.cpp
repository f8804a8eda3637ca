#include "LumbraCore/LoginReplies.h"

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

} // namespace LoginFlow
