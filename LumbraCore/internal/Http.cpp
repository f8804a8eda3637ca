#include "LumbraCore/internal/Http.h"

#include "LumbraCore/internal/BackgroundJoin.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcoronetworkreply.h>
#include <qcoro/qcorotimer.h>

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

// The pieces of a reply as one buffer, with the decoder's spare bytes.
QByteArray joined(QList<QByteArray> pieces, qint64 size)
{
    QByteArray body;
    body.reserve(qsizetype(size) + Json::padding);
    for (QByteArray& piece : pieces) {
        body.append(piece);
        piece = QByteArray(); // each piece goes as soon as it is copied
    }
    return body;
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

bool sameOrigin(const QUrl& from, const QUrl& to)
{
    const auto port = [](const QUrl& url) {
        return url.port(url.scheme() == QLatin1StringView("https") ? 443 : 80);
    };
    if (from.host().compare(to.host(), Qt::CaseInsensitive) != 0) return false;
    if (from.scheme() == to.scheme()) return port(from) == port(to);
    // An upgrade to https is fine, a downgrade never.
    return from.scheme() == QLatin1StringView("http") &&
           to.scheme() == QLatin1StringView("https") &&
           (port(from) == port(to) || (port(from) == 80 && port(to) == 443));
}

QCoro::Task<Reply> send(HttpSession session, QNetworkRequest request, QByteArray method,
                        std::optional<QByteArray> body, std::stop_token stop, Limits limits)
{
    if (stop.stop_requested()) throw CancelledError();
    request.setTransferTimeout(int(session.timeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    // A POST always carries its (maybe empty) body, so it is framed with a Content-Length.
    const bool withBody = body || method == "POST";
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        withBody ? session.manager->sendCustomRequest(request, method, body.value_or(QByteArray()))
                 : session.manager->sendCustomRequest(request, method));
    QNetworkReply* const raw = reply.get();

    // Why we ended the reply ourselves, if we did.
    enum class Ended { no, tooLarge, outOfMemory, redirected, deadline, unwanted };
    Ended ended = Ended::no;
    QUrl elsewhere;
    const auto end = [&ended, raw](Ended why) {
        if (ended != Ended::no) return;
        ended = why;
        // From the event loop: aborting inside the reply's own signal would resume us there.
        QMetaObject::invokeMethod(raw, &QNetworkReply::abort, Qt::QueuedConnection);
    };

    // Read as the data arrives, in the pieces it arrives in: a growing buffer would be
    // copied into a larger one again and again on this thread. A small reply's pieces are
    // joined once, at the end; past a MB they are joined on a worker as they arrive, so
    // that each piece is freed at once and the next one reuses its memory.
    // Memory follows what has arrived, never what the server announces, so a lying
    // Content-Length cannot take it.
    QList<QByteArray> pieces;
    constexpr qint64 joinInBackgroundPast = qint64(1) << 20;
    std::unique_ptr<BackgroundJoin> joiner;
    qint64 received = 0;
    const qint64 limit = limits.bytes;
    // Half a MB a turn of the event loop, and at most a MB waiting in Qt's buffer (Qt stops
    // reading the socket once it is full): what piled up while the loop was busy would
    // otherwise be copied in one long turn, and a sink that falls behind holds the server
    // back rather than letting the reply pile up in memory.
    const qint64 slice = qint64(512) << 10;
    constexpr qint64 mostBacklog = qint64(16) << 20;
    raw->setReadBufferSize(slice * 2);
    const auto sinkIsBehind = [&limits, &joiner] {
        return (limits.sink && limits.sink->backlog() > mostBacklog) ||
               (joiner && joiner->backlog() > mostBacklog);
    };
    bool drainQueued = false;
    // Tells a queued turn whether this frame still exists.
    const auto alive = std::make_shared<bool>(true);
    struct Ending {
        std::shared_ptr<bool> alive;
        ~Ending() { *alive = false; }
    } ending{alive};
    std::function<void()> drain = [&] {
        drainQueued = false;
        const qint64 available = std::min(raw->bytesAvailable(), slice);
        if (available <= 0 || ended != Ended::no) return;
        if (sinkIsBehind()) {
            drainQueued = true;
            QTimer::singleShot(std::chrono::milliseconds(2), raw, [alive, &drain] {
                if (*alive) drain();
            });
            return;
        }
        if (received + available > limit) return end(Ended::tooLarge);
        try {
            QByteArray piece = raw->read(available);
            received += piece.size();
            if (limits.sink &&
                raw->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
                limits.sink->write(std::move(piece));
            } else if (joiner) {
                joiner->write(std::move(piece));
            } else {
                pieces.append(std::move(piece));
                if (received > joinInBackgroundPast) {
                    joiner = std::make_unique<BackgroundJoin>();
                    for (QByteArray& earlier : pieces)
                        joiner->write(std::move(earlier));
                    pieces.clear();
                }
            }
        } catch (const std::bad_alloc&) {
            pieces.clear();
            return end(Ended::outOfMemory);
        }
        // A body that cannot be read anyway is not fetched to its end.
        if (limits.sink && limits.sink->failed()) return end(Ended::unwanted);
        if (joiner && joiner->failed()) return end(Ended::outOfMemory);
        if (limits.progress) {
            const QVariant total = raw->header(QNetworkRequest::ContentLengthHeader);
            limits.progress(received, total.isValid() ? total.toLongLong() : -1);
        }
        if (raw->bytesAvailable() > 0 && !drainQueued) {
            drainQueued = true;
            QMetaObject::invokeMethod(
                raw,
                [alive, &drain] {
                    if (*alive) drain();
                },
                Qt::QueuedConnection);
        }
    };
    QObject::connect(raw, &QNetworkReply::readyRead, raw, drain);
    QObject::connect(raw, &QNetworkReply::redirected, raw,
                     [&end, &elsewhere, raw, from = request.url()](const QUrl& to) {
                         if (sameOrigin(from, to)) {
                             Q_EMIT raw->redirectAllowed();
                         } else {
                             elsewhere = to;
                             end(Ended::redirected);
                         }
                     });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, raw, [&end] { end(Ended::deadline); });
    deadline.start(limits.itemList ? session.listDeadline : session.deadline);

    // Abort from the event loop, not from inside request_stop().
    std::stop_callback onStop(stop, [target = QPointer<QNetworkReply>(raw)] {
        QMetaObject::invokeMethod(
            target,
            [target] {
                if (target) target->abort();
            },
            Qt::QueuedConnection);
    });
    co_await raw;
    deadline.stop();
    // What piled up while the loop was busy comes in slices too, one a turn, so a large
    // reply's end never holds the window up.
    while (raw->bytesAvailable() > 0 && ended == Ended::no) {
        drain();
        if (raw->bytesAvailable() > 0)
            co_await QCoro::sleepFor(std::chrono::milliseconds(sinkIsBehind() ? 2 : 0));
    }

    if (stop.stop_requested()) throw CancelledError();
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The path only: the query may name items and the headers hold the password.
    qCDebug(lcNetwork).noquote() << method << request.url().path() << "status" << status << "bytes"
                                 << received << "error" << error;
    switch (ended) {
    case Ended::tooLarge:
        throw ReplyTooLargeError(limit);
    case Ended::outOfMemory:
        throw OutOfMemoryError();
    case Ended::redirected:
        throw RedirectError(elsewhere);
    case Ended::deadline:
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    case Ended::unwanted: {
        // The sink says why it failed.
        Reply cut{status, QByteArray(), httpDate(reply->rawHeader("Date"))};
        co_return cut;
    }
    case Ended::no:
        break;
    }
    // Only the transfer time-out aborts a reply that we did not end ourselves.
    if (error == QNetworkReply::OperationCanceledError)
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    if (isTransportError(error) || (status == 0 && error != QNetworkReply::NoError))
        throw NetworkError(error, reply->errorString());
    // A reply cut short can still be well-formed JSON; the announced length tells (unless
    // it was compressed, when it counts the compressed bytes).
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding");
    if (status == 200 && announced.isValid() && (encoding.isEmpty() || encoding == "identity") &&
        received < announced.toLongLong())
        throw NetworkError(QNetworkReply::RemoteHostClosedError,
                           QStringLiteral("The server closed the connection before the whole "
                                          "reply arrived."));
    QByteArray body;
    try {
        if (joiner)
            body = co_await joiner->finish();
        else
            body = joined(std::move(pieces), received);
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError();
    }
    Reply result{status, std::move(body), httpDate(reply->rawHeader("Date"))};
    co_return result;
}

std::optional<qint64> httpDate(const QByteArray& text)
{
    QString date = QString::fromLatin1(text).trimmed();
    // Qt reads RFC 2822 offsets, not the "GMT" that HTTP dates end with.
    if (date.endsWith(QLatin1StringView(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime parsed = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!parsed.isValid()) return std::nullopt;
    return parsed.toSecsSinceEpoch();
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
    } catch (const std::bad_alloc&) {
        result.error = std::make_exception_ptr(OutOfMemoryError());
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
