#pragma once

// One request and its reply, for the core's API clients.

#include "LumbraCore/HttpSession.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

class Inflater;

namespace Http {

struct Reply {
    int status = 0;  // 0 when the reply was not HTTP
    QByteArray body; // with spare capacity for the JSON decoder
    // The server's clock when it answered (its Date header), in seconds since 1970.
    std::optional<qint64> date;
};

// An HTTP date ("Sun, 06 Dec 2026 23:39:49 GMT") in seconds since 1970; none when it is not one.
std::optional<qint64> httpDate(const QByteArray& text);

// Parses `address` as an absolute http or https URL; throws InvalidAddressError otherwise.
QUrl checkedUrl(const QString& address);

// Takes a reply's body piece by piece as it arrives, instead of the Reply holding it.
class BodySink {
public:
    virtual ~BodySink() = default;
    virtual void write(QByteArray piece) = 0;
    // Called before the first piece when the body comes compressed: the pieces are then
    // inflated as they are taken in, and fail the sink once they inflate past `limit`
    // bytes (ReplyTooLargeError) or do not end where the encoding says (NetworkError).
    virtual void inflate(std::unique_ptr<Inflater> inflater, qint64 limit) = 0;
    // Bytes written and not yet taken in; the reply is read no further while there are
    // many.
    virtual qint64 backlog() const = 0;
    // Whether what was written can already not be read; the request then ends at once and
    // the reply comes back with its status and no body.
    virtual bool failed() const = 0;
};

// How much a reply may take, and where its body goes.
struct Limits {
    qint64 bytes = defaultReplyLimit;
    bool itemList = false; // the session's longer deadline applies
    // Told the bytes received so far and the announced total (-1 when none) as they arrive.
    std::function<void(qint64, qint64)> progress;
    // Receives the body of a 200 reply, which the Reply then leaves empty.
    BodySink* sink = nullptr;
};

// Sends the request and waits for the whole reply. Redirects are followed only to the same
// host and port (or from http to https on the same host), so credentials never reach
// another server. Throws CancelledError when `stop` is requested (the request is
// aborted), NetworkError for failures below HTTP and time-outs, RedirectError for a
// redirect elsewhere and ReplyTooLargeError when the body grows past the limit.
QCoro::Task<Reply> send(HttpSession session, QNetworkRequest request, QByteArray method,
                        std::optional<QByteArray> body, std::stop_token stop, Limits limits = {});

// Whether a request to `from` may follow a redirect to `to`.
bool sameOrigin(const QUrl& from, const QUrl& to);

// Decodes on a worker thread, so a large reply does not hold up the caller's thread.
template <typename T> QCoro::Task<T> decodeInBackground(QByteArray json);

} // namespace Http
