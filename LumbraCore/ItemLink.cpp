#include "LumbraCore/ItemLink.h"

#include <QStringDecoder>
#include <QUrlQuery>

QString tavoLink(qint64 itemId, const std::optional<QString>& url)
{
    QString link = QStringLiteral("tavo://lumbra/item/") + QString::number(itemId);
    if (!url) return link;
    const QByteArray encoded =
        url->toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return link + QStringLiteral("?u=") + QString::fromLatin1(encoded);
}

namespace {

std::optional<qint64> parseId(QString text)
{
    while (text.startsWith(u'/'))
        text.remove(0, 1);
    while (text.endsWith(u'/'))
        text.chop(1);
    if (text.isEmpty()) return std::nullopt;
    // Only an optional sign and ASCII digits: toLongLong would also take blanks.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool sign = i == 0 && (c == u'+' || c == u'-') && text.size() > 1;
        if (!sign && !(c >= u'0' && c <= u'9')) return std::nullopt;
    }
    bool ok = false;
    const qint64 id = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

std::optional<QUrl> decodeArticleUrl(QString value)
{
    for (const QChar c : value)
        if (c.unicode() > 0x7F) return std::nullopt;
    value.replace(u'-', u'+').replace(u'_', u'/');
    while (value.size() % 4 != 0)
        value.append(u'=');
    auto decoded =
        QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(*decoded);
    if (utf8.hasError()) return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https"))
        return std::nullopt;
    return url;
}

} // namespace

std::optional<LumbraLink> LumbraLink::parse(const QUrl& link)
{
    if (!link.isValid() || link.scheme().isEmpty()) return std::nullopt;
    const QString path = link.path(QUrl::FullyDecoded);
    QString idText;
    if (link.scheme() == QLatin1StringView("lumbra") && link.host() == QLatin1StringView("item")) {
        idText = path;
    } else if (link.scheme() == QLatin1StringView("tavo") &&
               link.host() == QLatin1StringView("lumbra")) {
        if (!path.startsWith(QLatin1StringView("/item/"))) return std::nullopt;
        idText = path.mid(5);
    } else {
        return std::nullopt;
    }
    const auto id = parseId(idText);
    if (!id) return std::nullopt;

    std::optional<QUrl> url;
    const QUrlQuery query(link);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name != QLatin1StringView("u")) continue;
        if (!value.isEmpty()) url = decodeArticleUrl(value);
        break;
    }
    return LumbraLink(*id, url);
}
