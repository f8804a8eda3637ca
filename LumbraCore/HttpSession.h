#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

// Every request gives up after this long without progress.
inline constexpr std::chrono::milliseconds requestTimeout{60'000};

// How requests are sent: the process's one network access manager, and the time-out
// (tests shorten it; the product always uses requestTimeout).
struct HttpSession {
    QNetworkAccessManager* manager = nullptr;
    std::chrono::milliseconds timeout = requestTimeout;
};

// The name the server shows for this device's app password, e.g. "Lumbra (Linux)".
QByteArray userAgent();

// Internal to the core: one request and its reply.
namespace Http {

struct Reply {
    int status = 0;  // 0 when the reply was not HTTP
    QByteArray body; // with spare capacity for the JSON decoder
};

// Parses `address` as an absolute http or https URL; throws InvalidAddressError otherwise.
QUrl checkedUrl(const QString& address);

// Sends the request and waits for the whole reply. Throws CancelledError when `stop` is
// requested (the request is aborted), NetworkError for failures below HTTP.
QCoro::Task<Reply> send(HttpSession session, QNetworkRequest request, QByteArray method,
                        std::optional<QByteArray> body, std::stop_token stop);

// Decodes on a worker thread, so a large reply does not hold up the caller's thread.
template <typename T> QCoro::Task<T> decodeInBackground(QByteArray json);

} // namespace Http
