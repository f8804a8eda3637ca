#include "LumbraCore/HttpSession.h"

#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Worker.h"
#include "LumbraCore/internal/Http.h"

#include <QSslConfiguration>
#include <QSslSocket>

QByteArray userAgent()
{
#if defined(Q_OS_MACOS)
    return "Lumbra (Mac)";
#elif defined(Q_OS_WIN)
    return "Lumbra (Windows)";
#elif defined(Q_OS_LINUX)
    return "Lumbra (Linux)";
#else
    return "Lumbra (Unix)";
#endif
}

void loadTlsInBackground()
{
    // Whoever needs TLS first waits for this load rather than starting another.
    inBackground([] {
        if (QSslSocket::supportsSsl()) QSslConfiguration::defaultConfiguration(); // the ciphers
    });
}

QCoro::Task<QByteArray> fetch(HttpSession session, QUrl url, qint64 limit, std::stop_token stop)
{
    QNetworkRequest request(Http::checkedUrl(url.toString(QUrl::FullyEncoded)));
    Http::Limits limits;
    limits.bytes = limit;
    const Http::Reply reply =
        co_await Http::send(session, request, "GET", std::nullopt, stop, std::move(limits));
    if (reply.status != 200) throw HttpStatusError(reply.status);
    co_return reply.body;
}
