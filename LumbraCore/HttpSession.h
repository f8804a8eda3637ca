#pragma once

#include <QByteArray>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <memory>
#include <qcoro/qcorotask.h>
#include <stop_token>

class CertificatePins;
class QNetworkAccessManager;

// Every request gives up after this long without progress.
inline constexpr std::chrono::milliseconds requestTimeout{60'000};
// ...and after this long in all, however steadily the bytes come: a server that drips a
// byte now and then must not hold a refresh for ever.
inline constexpr std::chrono::milliseconds requestDeadline{120'000};
// Item lists of large accounts are hundreds of MB, so they get longer...
inline constexpr std::chrono::milliseconds itemListDeadline{30 * 60'000};
// ...as long as they keep coming at a pace no real server falls below: fewer bytes than
// this in any such stretch is a server dripping a reply to hold the refresh.
inline constexpr qint64 itemListPaceBytes = 16 << 10;
inline constexpr std::chrono::milliseconds itemListPaceWindow{60'000};

// The largest reply body accepted unless a request says otherwise.
inline constexpr qint64 defaultReplyLimit = qint64(16) << 20;
// The largest item list: the biggest real accounts send under a gigabyte.
inline constexpr qint64 itemListReplyLimit = qint64(2) << 30;
// The largest item list on a machine of `physicalBytes` (0: not known): a quarter of its
// memory, as a list holds about 1.1 times its size at its peak, so an endless one ends
// with the desktop still running; at least 256 MB, at most the limit above.
constexpr qint64 itemListReplyLimitFor(qint64 physicalBytes)
{
    if (physicalBytes <= 0) return itemListReplyLimit;
    return std::clamp(physicalBytes / 4, qint64(256) << 20, itemListReplyLimit);
}
// The largest folder or feed list: a million of them fit.
inline constexpr qint64 sourceListReplyLimit = qint64(256) << 20;

// How requests are sent: the process's one network access manager and the time limits
// (tests shorten them; the product always uses the constants above).
struct HttpSession {
    QNetworkAccessManager* manager = nullptr;
    std::chrono::milliseconds timeout = requestTimeout;
    std::chrono::milliseconds deadline = requestDeadline;
    std::chrono::milliseconds listDeadline = itemListDeadline;
    std::chrono::milliseconds listPaceWindow = itemListPaceWindow;
    qint64 listLimit = itemListReplyLimit;
    // Certificates the user trusted, each for its server; shared by every copy.
    std::shared_ptr<CertificatePins> pins = {};
};

// Loads the TLS libraries on a worker thread. Otherwise the first https request loads them
// on the thread that sends it, which holds a window up for about 100 ms.
void loadTlsInBackground();

// The name the server shows for this device's app password, e.g. "Lumbra (Linux)".
QByteArray userAgent();

// GETs an http or https address through the session and returns the body of its 200
// answer. Throws InvalidAddressError (other schemes), NetworkError, HttpStatusError,
// ReplyTooLargeError (past `limit` bytes) or CancelledError.
QCoro::Task<QByteArray> fetch(HttpSession session, QUrl url, qint64 limit,
                              std::stop_token stop = {});
