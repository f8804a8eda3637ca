#include "Views/FeedIcons.h"

#include "LumbraCore/Logging.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Worker.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

namespace {
constexpr qint64 iconLimit = qint64(1) << 20;
// Favicons are small. A few KB of PNG can claim a picture of hundreds of MB; one that
// needs more than this decoded is refused before it is decoded.
constexpr int largestDecodedIconMB = 4;

// A null image when `data` is not a picture, or too large a one.
QImage decodedIcon(QByteArray data)
{
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(largestDecodedIconMB);
    return reader.read();
}
} // namespace

FeedIcons::FeedIcons(HttpSession session, QObject* parent) : QObject(parent), m_session(session) {}

FeedIcons::~FeedIcons() = default;

QIcon FeedIcons::placeholder()
{
    static const QIcon icon =
        QIcon::fromTheme(QStringLiteral("application-rss+xml"),
                         QIcon::fromTheme(QStringLiteral("network-wireless")));
    return icon;
}

QIcon FeedIcons::icon(const std::optional<QString>& faviconLink)
{
    if (!faviconLink) return placeholder();
    const QUrl url(*faviconLink, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() ||
        (scheme != QLatin1StringView("http") && scheme != QLatin1StringView("https")))
        return placeholder();
    if (const auto it = m_icons.constFind(url); it != m_icons.cend()) return *it;
    if (!m_requested.contains(url)) {
        m_requested.insert(url);
        // Started from the event loop, not inside the paint that asked: the first request
        // may load the network's TLS libraries, which takes a while.
        QMetaObject::invokeMethod(
            this, [this, url] { load(url); }, Qt::QueuedConnection);
    }
    return placeholder();
}

QCoro::Task<> FeedIcons::load(QUrl url)
{
    QCoro::Task<QByteArray> fetching = fetch(m_session, url, iconLimit, m_lifetime.token());
    QByteArray data;
    try {
        data = co_await guarded(m_lifetime, std::move(fetching));
    } catch (const LumbraError& failure) {
        qCDebug(lcNetwork).noquote()
            << "icon" << url.toDisplayString() << "failed:" << failure.description();
        co_return;
    }
    // Decoded on a worker: the server chooses the picture, and decoding takes its time.
    QCoro::Task<QImage> decoding = onWorker([data = std::move(data)] { return decodedIcon(data); });
    const QImage image = co_await guarded(m_lifetime, std::move(decoding));
    if (image.isNull()) {
        qCDebug(lcNetwork).noquote()
            << "icon" << url.toDisplayString() << "is not an image, or too large a one";
        co_return;
    }
    m_icons.insert(url, QIcon(QPixmap::fromImage(image)));
    Q_EMIT iconLoaded();
}
