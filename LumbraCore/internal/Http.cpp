#include "LumbraCore/internal/Http.h"

#include "LumbraCore/internal/BackgroundJoin.h"
#include "LumbraCore/internal/Inflater.h"

#include "LumbraCore/Certificates.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Settled.h"
#include "LumbraCore/Worker.h"

#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
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
    // A streamed reply went to its sink: nothing is kept here, whatever its size.
    if (pieces.isEmpty()) return {};
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

namespace {

// One request in flight. Reads the reply as the data arrives, in the pieces it arrives in
// (a growing buffer would be copied into a larger one again and again on this thread),
// and ends it early when it outgrows its limit, memory runs out, it is sent elsewhere, its
// deadline passes or its sink wants no more. Memory follows what has arrived, never what
// the server announces, so a lying Content-Length cannot take it. Lives in the frame of
// `send`; turns queued for it end with it.
class Exchange final : public QObject {
public:
    // Why the exchange ended the reply itself, if it did.
    enum class Ended { no, tooLarge, joinFailed, redirected, deadline, unwanted, unreadable };

    // With a `paceWindow`, the reply ends when fewer than itemListPaceBytes arrive in one.
    Exchange(QNetworkReply* reply, const QUrl& from, const Limits& limits,
             std::chrono::milliseconds idle, std::chrono::milliseconds deadline,
             std::optional<std::chrono::milliseconds> paceWindow,
             std::shared_ptr<const CertificatePins> pins)
        : m_reply(reply), m_limits(limits)
    {
        // Nothing from the server for `idle` ends the request, but a wait Lumbra makes
        // itself (a taker catching up) does not count: Qt's own time-out would count it.
        m_idle.setSingleShot(true);
        connect(&m_idle, &QTimer::timeout, this, [this] { end(Ended::deadline); });
        connect(m_reply, &QNetworkReply::metaDataChanged, &m_idle, qOverload<>(&QTimer::start));
        connect(m_reply, &QNetworkReply::uploadProgress, &m_idle, qOverload<>(&QTimer::start));
        m_idle.start(idle);
        // A certificate nobody vouches for passes only where the user trusted its key;
        // anything else the handshake found wrong still fails it.
        connect(
            m_reply, &QNetworkReply::sslErrors, this, [this, pins](const QList<QSslError>& errors) {
                const QList<QSslCertificate> chain =
                    m_reply->sslConfiguration().peerCertificateChain();
                CertificateInfo met = describe(chain.isEmpty() ? QSslCertificate() : chain.first(),
                                               m_reply->url(), errors);
                const std::optional<QString> pinned =
                    pins ? pins->pinFor(met.origin) : std::nullopt;
                if (pinned && *pinned == met.publicKey && met.trustable) {
                    m_reply->ignoreSslErrors(errors);
                    return;
                }
                if (pinned && *pinned != met.publicKey) met.pinned = pinned;
                m_certificate = std::move(met);
            });
        if (paceWindow) {
            connect(&m_pace, &QTimer::timeout, this, [this] {
                // A stretch in which Lumbra held the reply back itself proves nothing.
                if (!m_heldBack && m_received - m_receivedBefore < itemListPaceBytes)
                    end(Ended::deadline);
                m_heldBack = false;
                m_receivedBefore = m_received;
            });
            m_pace.start(*paceWindow);
        }
        m_reply->setReadBufferSize(slice * 2);
        connect(m_reply, &QNetworkReply::readyRead, this, &Exchange::drain);
        connect(m_reply, &QNetworkReply::redirected, this, [this, from](const QUrl& to) {
            if (sameOrigin(from, to)) {
                Q_EMIT m_reply->redirectAllowed();
            } else {
                m_elsewhere = to;
                end(Ended::redirected);
            }
        });
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { end(Ended::deadline); });
        m_deadline.start(deadline);
    }

    // Reads one slice of what has arrived, and queues the next turn while more waits.
    void drain()
    {
        m_drainQueued = false;
        const qint64 available = std::min(m_reply->bytesAvailable(), slice);
        if (available <= 0 || m_ended != Ended::no) return;
        m_idle.start();
        if (sinkIsBehind()) {
            m_heldBack = true;
            return drainLater(std::chrono::milliseconds(2));
        }
        if (m_received + available > m_limits.bytes) return end(Ended::tooLarge);
        try {
            if (!m_encodingKnown) takeEncoding();
            keep(m_reply->read(available));
        } catch (const std::bad_alloc&) {
            m_pieces.clear();
            m_failure = std::make_exception_ptr(OutOfMemoryError());
            return end(Ended::unreadable);
        } catch (const DecodingError&) {
            m_failure = std::current_exception();
            return end(Ended::unreadable);
        }
        // A body that cannot be read anyway is not fetched to its end.
        if (m_limits.sink && m_limits.sink->failed()) return end(Ended::unwanted);
        if (m_joiner && m_joiner->failed()) return end(Ended::joinFailed);
        if (m_limits.progress) {
            const QVariant total = m_reply->header(QNetworkRequest::ContentLengthHeader);
            m_limits.progress(m_received, total.isValid() ? total.toLongLong() : -1);
        }
        if (m_reply->bytesAvailable() > 0) drainLater(std::chrono::milliseconds(0));
    }

    // Once the reply finished: what piled up while the loop was busy, a slice a turn, so
    // a large reply's end never holds the window up.
    QCoro::Task<> drainTheRest()
    {
        m_deadline.stop();
        m_pace.stop();
        m_idle.stop();
        while (m_reply->bytesAvailable() > 0 && m_ended == Ended::no) {
            drain();
            if (m_reply->bytesAvailable() > 0)
                co_await QCoro::sleepFor(std::chrono::milliseconds(sinkIsBehind() ? 2 : 0));
        }
    }

    // The body kept here (not a sink's), joined with the decoder's spare bytes.
    QCoro::Task<QByteArray> body()
    {
        if (m_joiner) co_return co_await m_joiner->finish();
        co_return joined(std::move(m_pieces), m_received);
    }

    Ended ended() const { return m_ended; }
    // The certificate the handshake refused, if it refused one.
    const std::optional<CertificateInfo>& refusedCertificate() const { return m_certificate; }
    const QUrl& elsewhere() const { return m_elsewhere; }
    // Why the body could not be read, when it ended so.
    std::exception_ptr failure() const { return m_failure; }
    qint64 received() const { return m_received; }

private:
    // Half a MB a turn of the event loop, and at most a MB waiting in Qt's buffer (Qt stops
    // reading the socket once it is full): what piled up while the loop was busy would
    // otherwise be copied in one long turn, and a sink that falls behind holds the server
    // back rather than letting the reply pile up in memory.
    static constexpr qint64 slice = qint64(512) << 10;
    // The decoders set a long list's pace, so this is full for most of it: four batches
    // ready is enough (16 MB held 15 MB more at the peak of a 100,000-item load).
    static constexpr qint64 mostBacklog = qint64(4) << 20;

    bool toSink() const
    {
        return m_limits.sink &&
               m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    }

    // A compressed body is inflated where it is taken in, on a worker, which also holds
    // what it inflates to within the limit (a few KB can inflate to gigabytes). Qt is not
    // let inflate it: it would do so unbounded and past the limit.
    void takeEncoding()
    {
        m_encodingKnown = true;
        std::unique_ptr<Inflater> inflater =
            Inflater::forEncoding(m_reply->rawHeader("Content-Encoding"));
        if (!inflater) return;
        if (toSink()) {
            m_limits.sink->inflate(std::move(inflater), m_limits.bytes);
        } else {
            m_joiner = std::make_unique<BackgroundJoin>();
            m_joiner->inflate(std::move(inflater), m_limits.bytes);
        }
    }

    void keep(QByteArray piece)
    {
        m_received += piece.size();
        if (toSink()) {
            m_limits.sink->write(std::move(piece));
        } else if (m_joiner) {
            m_joiner->write(std::move(piece));
        } else {
            m_pieces.append(std::move(piece));
            if (m_received >= InlineBelow::joinedReplyBytes) {
                m_joiner = std::make_unique<BackgroundJoin>();
                for (QByteArray& earlier : m_pieces)
                    m_joiner->write(std::move(earlier));
                m_pieces.clear();
            }
        }
    }

    bool sinkIsBehind() const
    {
        return (m_limits.sink && m_limits.sink->backlog() > mostBacklog) ||
               (m_joiner && m_joiner->backlog() > mostBacklog);
    }

    void drainLater(std::chrono::milliseconds after)
    {
        if (m_drainQueued) return;
        m_drainQueued = true;
        QTimer::singleShot(after, this, &Exchange::drain);
    }

    void end(Ended why)
    {
        if (m_ended != Ended::no) return;
        m_ended = why;
        // From the event loop: aborting inside the reply's own signal would resume us there.
        QMetaObject::invokeMethod(m_reply, &QNetworkReply::abort, Qt::QueuedConnection);
    }

    QNetworkReply* m_reply;
    const Limits& m_limits;
    QTimer m_idle;
    QTimer m_deadline;
    QTimer m_pace;
    qint64 m_receivedBefore = 0; // at the start of the pace window
    bool m_heldBack = false;     // in this pace window, while the sink caught up
    Ended m_ended = Ended::no;
    QUrl m_elsewhere;
    std::exception_ptr m_failure;
    std::optional<CertificateInfo> m_certificate;
    bool m_encodingKnown = false;
    QList<QByteArray> m_pieces;
    std::unique_ptr<BackgroundJoin> m_joiner;
    qint64 m_received = 0;
    bool m_drainQueued = false;
};

} // namespace

QCoro::Task<Reply> send(HttpSession session, QNetworkRequest request, QByteArray method,
                        std::optional<QByteArray> body, std::stop_token stop, Limits limits)
{
    if (stop.stop_requested()) throw CancelledError();
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    // The app password authenticates every request: the server's session cookies are not
    // needed, and a server setting hundreds of them would make every request larger.
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    // Connections to a server whose certificate the user trusted are kept apart (Qt pools
    // connections by the name verified): one made while it was trusted must not serve a
    // request after the trust was withdrawn.
    if (session.pins && session.pins->pinFor(originOf(request.url())))
        request.setPeerVerifyName(request.url().host());
    // Asked for here, so that Qt leaves compressed bodies to the exchange.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    // A POST always carries its (maybe empty) body, so it is framed with a Content-Length.
    const bool withBody = body || method == "POST";
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        withBody ? session.manager->sendCustomRequest(request, method, body.value_or(QByteArray()))
                 : session.manager->sendCustomRequest(request, method));
    // Declared after the reply, so it goes first.
    Exchange exchange(reply.get(), request.url(), limits, session.timeout,
                      limits.itemList ? session.listDeadline : session.deadline,
                      limits.itemList ? std::optional(session.listPaceWindow) : std::nullopt,
                      session.pins);
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
    co_await exchange.drainTheRest();

    if (stop.stop_requested()) throw CancelledError();
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // The path only: the query may name items and the headers hold the password.
    qCDebug(lcNetwork).noquote() << method << request.url().path() << "status" << status << "bytes"
                                 << exchange.received() << "error" << error;
    switch (exchange.ended()) {
    case Exchange::Ended::tooLarge:
        throw ReplyTooLargeError(limits.bytes);
    case Exchange::Ended::joinFailed:
        co_await exchange.body(); // throws why
        throw OutOfMemoryError();
    case Exchange::Ended::unreadable:
        std::rethrow_exception(exchange.failure());
    case Exchange::Ended::redirected:
        throw RedirectError(exchange.elsewhere());
    case Exchange::Ended::deadline:
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    case Exchange::Ended::unwanted: {
        // The sink says why it failed.
        Reply cut{status, QByteArray(), httpDate(reply->rawHeader("Date"))};
        co_return cut;
    }
    case Exchange::Ended::no:
        break;
    }
    // A reply Qt aborted on its own, not ended here, timed out too.
    if (error == QNetworkReply::OperationCanceledError)
        throw NetworkError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
    if (error == QNetworkReply::SslHandshakeFailedError && exchange.refusedCertificate())
        throw UntrustedCertificateError(*exchange.refusedCertificate(), reply->errorString());
    // A 200 answer with an error did not arrive whole.
    if (isTransportError(error) ||
        ((status == 0 || status == 200) && error != QNetworkReply::NoError))
        throw NetworkError(error, reply->errorString());
    // A reply cut short can still be well-formed JSON; the announced length tells (and a
    // compressed body its own end, when it is taken in).
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (status == 200 && announced.isValid() && exchange.received() < announced.toLongLong())
        throw NetworkError::cutShort();
    QByteArray whole;
    try {
        whole = co_await exchange.body();
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError();
    }
    Reply result{status, std::move(whole), httpDate(reply->rawHeader("Date"))};
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

} // namespace

template <typename T> QCoro::Task<T> decodeInBackground(QByteArray json)
{
    const qsizetype size = json.size();
    QCoro::Task<Settled<T>> decoding =
        onWorkerWhenLarge(size, InlineBelow::decodedReplyBytes, [json = std::move(json)] {
            return settled([&json] { return Json::decode<T>(json); });
        });
    Settled<T> outcome = co_await std::move(decoding);
    co_return outcome.take();
}

template QCoro::Task<FoldersResponse> decodeInBackground<FoldersResponse>(QByteArray);
template QCoro::Task<FeedsResponse> decodeInBackground<FeedsResponse>(QByteArray);
template QCoro::Task<ItemsResponse> decodeInBackground<ItemsResponse>(QByteArray);

} // namespace Http
