#include "LumbraCore/NetworkErrors.h"

#include <QLocale>

NewsError NewsError::http(const QString& name, int status, const QString& message)
{
    NewsError error(Kind::http, name, status,
                    QStringLiteral("News API ") + name + QStringLiteral(": HTTP ") +
                        QString::number(status));
    error.m_message = message;
    return error;
}

NewsError NewsError::notInstalled()
{
    return NewsError(Kind::notInstalled, QString(), 404,
                     QStringLiteral("Nextcloud News is not installed on this server."));
}

InvalidAddressError::InvalidAddressError(const QString& address)
    : LumbraError(QStringLiteral("\u201C") + address +
                  QStringLiteral("\u201D is not a valid server address. Enter an address such "
                                 "as https://cloud.example.org.")),
      m_address(address)
{
}

HttpStatusError::HttpStatusError(int status)
    : LumbraError(QStringLiteral("The server answered HTTP ") + QString::number(status) + u'.'),
      m_status(status)
{
}

ReplyTooLargeError::ReplyTooLargeError(qint64 limit)
    : LumbraError(QStringLiteral("The server's reply is larger than ") +
                  QLocale::c().formattedDataSize(limit, 0, QLocale::DataSizeTraditionalFormat) +
                  u'.'),
      m_limit(limit)
{
}

namespace {
QString hostOf(const QUrl& target)
{
    return target.port() < 0 ? target.host()
                             : target.host() + u':' + QString::number(target.port());
}
} // namespace

RedirectError::RedirectError(const QUrl& target)
    : LumbraError(QStringLiteral("The server sent the request on to another server (") +
                  hostOf(target) + QStringLiteral("), which Lumbra doesn't follow.")),
      m_host(hostOf(target))
{
}
