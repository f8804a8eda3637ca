#include "Views/Wording.h"

#include <QUrl>

namespace {

// Qt's words for a failed connection, as a person would say them.
QString plainWords(const Failure& failure)
{
    switch (failure.network) {
    case QNetworkReply::ConnectionRefusedError:
        return Wording::tr("connection refused");
    case QNetworkReply::HostNotFoundError:
        return Wording::tr("no server by that name");
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return Wording::tr("the request timed out");
    case QNetworkReply::RemoteHostClosedError:
        return Wording::tr("the server closed the connection");
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
        return Wording::tr("no network");
    case QNetworkReply::SslHandshakeFailedError:
        return Wording::tr("no secure connection (%1)").arg(failure.detail);
    default: {
        QString text = failure.detail;
        if (!text.isEmpty()) text[0] = text[0].toLower();
        return text;
    }
    }
}

} // namespace

QString Wording::failure(const Failure& failure)
{
    switch (failure.kind) {
    case Failure::Kind::newsStatus:
        //: The News API call (a path) and the HTTP status the server answered.
        return tr("News API %1: HTTP %2").arg(failure.request, QString::number(failure.status));
    case Failure::Kind::newsMissing:
        return tr("Nextcloud News is not installed on this server.");
    case Failure::Kind::network:
    case Failure::Kind::other:
        break;
    }
    return failure.detail;
}

QString Wording::notice(const Notice& notice)
{
    const QString failed = notice.failure ? failure(*notice.failure) : QString();
    switch (notice.kind) {
    case Notice::Kind::articlesNotLoaded:
        return tr("Couldn't load articles: %1").arg(failed);
    case Notice::Kind::changeRefused:
        return tr("Couldn't reach Nextcloud: %1").arg(failed);
    case Notice::Kind::articleNotShownYet:
        return tr("The selected article isn't shown yet, so nothing was saved.");
    case Notice::Kind::nothingSelected:
        return tr("Select some text in the article first.");
    case Notice::Kind::quoteAdded:
        //: %1 is the name of the note in the Obsidian vault.
        return tr("Quote added to %1").arg(notice.subject);
    case Notice::Kind::vaultRefused:
        return tr("Couldn't write to the vault: %1").arg(failed);
    case Notice::Kind::addressRefused:
        return tr("Lumbra opens only web and mail addresses, so \u201C%1\u201D was not opened.")
            .arg(notice.subject);
    case Notice::Kind::mailLinkRefused:
        return tr("\u201C%1\u201D names no mail address Lumbra can use, so it was not opened.")
            .arg(notice.subject);
    case Notice::Kind::articleGone:
        return tr("Can't find that article in News any more.");
    }
    return failed;
}

QString Wording::refreshFailure(const RefreshFailure& refresh)
{
    const Failure& failure = refresh.failure;
    switch (failure.kind) {
    case Failure::Kind::newsMissing:
        return tr("Nextcloud News is not installed on %1.").arg(refresh.server);
    case Failure::Kind::newsStatus:
        if (failure.passwordRefused())
            return tr("%1: the server refused Lumbra's app password. It was revoked or changed; "
                      "log in again to go on reading.")
                .arg(Wording::failure(failure));
        break;
    case Failure::Kind::network: {
        const QString host = QUrl(refresh.server).host();
        //: %1 is the server's host name, %2 why it could not be reached.
        return tr("Can't reach %1: %2")
            .arg(host.isEmpty() ? refresh.server : host, plainWords(failure));
    }
    case Failure::Kind::other:
        break;
    }
    return Wording::failure(failure);
}

QString Wording::refreshTitle(const RefreshFailure& refresh)
{
    return refresh.failure.passwordRefused() ? tr("Password Refused") : tr("Can't Reach News");
}
