#pragma once

#include <QByteArray>
#include <QUrl>
#include <chrono>
#include <qcoro/qcorotask.h>
#include <stop_token>

class QNetworkAccessManager;

// Every request gives up after this long without progress.
inline constexpr std::chrono::milliseconds requestTimeout{60'000};

// The largest reply body accepted unless a request says otherwise.
inline constexpr qint64 defaultReplyLimit = qint64(16) << 20;

// How requests are sent: the process's one network access manager, and the time-out
// (tests shorten it; the product always uses requestTimeout).
struct HttpSession {
    QNetworkAccessManager* manager = nullptr;
    std::chrono::milliseconds timeout = requestTimeout;
};

// The name the server shows for this device's app password, e.g. "Lumbra (Linux)".
QByteArray userAgent();

// GETs an http or https address through the session and returns the body of its 200
// answer. Throws InvalidAddressError (other schemes), NetworkError, HttpStatusError,
// ReplyTooLargeError (past `limit` bytes) or CancelledError.
QCoro::Task<QByteArray> fetch(HttpSession session, QUrl url, qint64 limit,
                              std::stop_token stop = {});
