#include "LumbraCore/internal/Http.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"

#include <QMetaObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcoronetworkreply.h>

#include <memory>

namespace Http {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Failures of the transport itself (connection, TLS, proxy), as opposed to HTTP answers.
bool isTransportError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

} // namespace

QUrl checkedUrl(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.isRelative() || url.host().isEmpty() ||
        (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https")))
        throw InvalidAddressError(address);
    return url;
}

QCoro::Task<Reply> send(HttpSession session, QNetworkRequest request, QByteArray method,
                        std::optional<QByteArray> body, std::stop_token stop, qint64 limit)
{
    if (stop.stop_requested()) throw CancelledError();
    request.setTransferTimeout(int(session.timeout.count()));
    // A POST always carries its (maybe empty) body, so it is framed with a Content-Length.
    const bool withBody = body || method == "POST";
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        withBody ? session.manager->sendCustomRequest(request, method, body.value_or(QByteArray()))
                 : session.manager->sendCustomRequest(request, method));

    // Read as the data arrives, into a buffer with the decoder's spare bytes, so a large
    // reply is held once and never copied.
    QByteArray buffer;
    bool tooLarge = false;
    const auto drain = [&buffer, &tooLarge, limit, raw = reply.get()] {
        const qint64 available = raw->bytesAvailable();
        if (available <= 0 || tooLarge) return;
        if (buffer.size() + available > limit) {
            tooLarge = true;
            QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection);
            return;
        }
        const qsizetype needed = buffer.size() + qsizetype(available) + Json::padding;
        if (buffer.capacity() < needed) {
            // The announced length is only a hint: never more than the limit allows.
            const qint64 announced = std::clamp<qint64>(
                raw->header(QNetworkRequest::ContentLengthHeader).toLongLong(), 0, limit);
            buffer.reserve(
                std::max({needed, qsizetype(announced) + Json::padding, buffer.capacity() * 2}));
        }
        const qsizetype at = buffer.size();
        buffer.resize(at + qsizetype(available));
        const qint64 read = raw->read(buffer.data() + at, available);
        buffer.resize(at + qsizetype(std::max<qint64>(read, 0)));
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), drain);

    // Abort from the event loop, not from inside request_stop().
    std::stop_callback onStop(stop, [target = QPointer<QNetworkReply>(reply.get())] {
        QMetaObject::invokeMethod(
            target,
            [target] {
                if (target) target->abort();
            },
            Qt::QueuedConnection);
    });
    co_await reply.get();
    drain();

    if (stop.stop_requested()) throw CancelledError();
    const QNetworkReply::NetworkError error = reply->error();
    // The path only: the query may name items and the headers hold the password.
    qCDebug(lcNetwork).noquote()
        << method << request.url().path() << "status"
        << reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() << "bytes"
        << buffer.size() << "error" << error;
    if (tooLarge) throw ReplyTooLargeError(limit);
    // Only the transfer time-out aborts a reply that we did not cancel ourselves.
    if (error == QNetworkReply::OperationCanceledError)
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (isTransportError(error) || (status == 0 && error != QNetworkReply::NoError))
        throw NetworkError(error, reply->errorString());
    if (buffer.capacity() - buffer.size() < Json::padding)
        buffer.reserve(buffer.size() + Json::padding);
    co_return Reply{status, std::move(buffer)};
}

namespace {

template <typename T> struct Decoded {
    std::optional<T> value;
    std::exception_ptr error;
};

template <typename T> Decoded<T> decodeCatching(const QByteArray& json)
{
    Decoded<T> result;
    try {
        result.value = Json::decode<T>(json);
    } catch (...) {
        result.error = std::current_exception();
    }
    return result;
}

} // namespace

template <typename T> QCoro::Task<T> decodeInBackground(QByteArray json)
{
    // A thread hop costs more than decoding a small reply.
    if (json.size() < 256 * 1024) co_return Json::decode<T>(json);
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside it.
    QFuture<Decoded<T>> future = QtConcurrent::run(&decodeCatching<T>, std::move(json));
    Decoded<T> outcome = co_await future;
    if (outcome.error) std::rethrow_exception(outcome.error);
    co_return std::move(*outcome.value);
}

template QCoro::Task<FoldersResponse> decodeInBackground<FoldersResponse>(QByteArray);
template QCoro::Task<FeedsResponse> decodeInBackground<FeedsResponse>(QByteArray);
template QCoro::Task<ItemsResponse> decodeInBackground<ItemsResponse>(QByteArray);

} // namespace Http
