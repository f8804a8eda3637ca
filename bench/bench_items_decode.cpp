// Decoding a heavy "All Articles" reply: NewsAPI::items over loopback against the sandbox,
// and the same bytes through QJsonDocument as the reference.
//
//   bench_items_decode [N ...]      (default: 20000 100000)

#include "Await.h"
#include "LumbraCore/Json.h"
#include "LumbraCore/NewsAPI.h"
#include "LumbraCore/internal/BackgroundItemStream.h"
#include "LumbraCore/internal/ItemStream.h"
#include "ProcessMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <QThreadPool>
#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

using bench::resetPeak;
using bench::statusKb;

double mb(qint64 bytes)
{
    return double(bytes) / 1e6;
}

QByteArray fetchRaw(QNetworkAccessManager& manager, const QString& url, const Account& account)
{
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Authorization", basicAuthorization(account));
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

// The same bytes through the streaming decoder, in the 64 KB pieces a socket delivers, its
// batches decoded on `helpers` when given (as the app does).
qsizetype decodeStreamed(const QByteArray& json, QThreadPool* helpers = nullptr)
{
    ItemStream stream(qsizetype(1) << 20, helpers);
    constexpr qsizetype piece = 64 * 1024;
    for (qsizetype at = 0; at < json.size(); at += piece)
        stream.feed(json.constData() + at, std::min(piece, json.size() - at));
    return stream.finish().items.size();
}

// The app's own path without the socket: 512 KB pieces written into the background stream
// (its threads, hand-overs and backpressure, as Http::send does), the items awaited.
qsizetype decodeAsTheAppDoes(const QByteArray& json)
{
    BackgroundItemStream stream;
    constexpr qsizetype piece = 512 * 1024;
    for (qsizetype at = 0; at < json.size(); at += piece) {
        while (stream.backlog() > (qint64(16) << 20))
            QThread::msleep(2);
        stream.write(json.mid(at, piece));
    }
    return await(stream.finish(), std::chrono::minutes(10)).items.size();
}

// The reference: QJsonDocument, then the same records built from its values.
QList<Item> decodeWithQt(const QByteArray& json)
{
    QList<Item> items;
    const QJsonArray array = QJsonDocument::fromJson(json).object().value(u"items").toArray();
    items.reserve(array.size());
    for (const QJsonValue& value : array) {
        const QJsonObject o = value.toObject();
        Item item;
        item.id = o.value(u"id").toInteger();
        item.feedId = o.value(u"feedId").toInteger();
        if (o.value(u"title").isString()) item.title = o.value(u"title").toString();
        if (o.value(u"url").isString()) item.url = o.value(u"url").toString();
        if (o.value(u"author").isString()) item.author = o.value(u"author").toString();
        if (o.value(u"pubDate").isDouble()) item.pubDate = o.value(u"pubDate").toInteger();
        if (o.value(u"body").isString())
            item.body = ArticleBody(o.value(u"body").toString().toUtf8());
        item.unread = o.value(u"unread").toBool();
        item.starred = o.value(u"starred").toBool();
        items.append(std::move(item));
    }
    return items;
}

void measure(int count)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();

    const QString password = QStringLiteral("bench-password");
    QProcess sandbox;
    sandbox.setProgram(QStringLiteral(LUMBRA_SANDBOX));
    sandbox.setArguments({QStringLiteral("--port"), QString::number(port),
                          QStringLiteral("--no-demo"), QStringLiteral("--items"),
                          QString::number(count), QStringLiteral("--app-password"), password});
    sandbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sandbox.start();
    if (!sandbox.waitForReadyRead(600000)) {
        std::fprintf(stderr, "the sandbox did not start\n");
        std::exit(1);
    }

    QNetworkAccessManager manager;
    const Account account{QStringLiteral("http://127.0.0.1:") + QString::number(port),
                          QStringLiteral("demo"), password};
    const NewsAPI api(account, HttpSession{&manager, requestTimeout});

    // Warm the sandbox's reply path and learn the size.
    const QString url = account.server + QStringLiteral("/index.php/apps/news/api/v1-3/items?") +
                        itemsQuery(Source::all());
    QByteArray first = fetchRaw(manager, url, account);
    const qint64 replyBytes = first.size();

    // A first load in the app writes its items to memory the process never touched; the
    // rounds below reuse memory the rounds before freed. Memory given back to the system
    // is fresh again.
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    QThreadPool helpers;
    helpers.setMaxThreadCount(QThread::idealThreadCount());
    QElapsedTimer timer;
    timer.start();
    const qsizetype firstCount = decodeStreamed(first, &helpers);
    const double firstSeconds = timer.nsecsElapsed() / 1e9;
    first = QByteArray();
#if defined(__GLIBC__)
    malloc_trim(0); // so the call below starts from fresh memory too
#endif

    const qint64 before = statusKb("VmRSS:");
    resetPeak();
    timer.restart();
    QList<Item> items = await(api.items(Source::all()), std::chrono::minutes(10)).items;
    const double apiSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 peak = statusKb("VmHWM:") - before;
    const qint64 kept = statusKb("VmRSS:") - before;
    const qsizetype decoded = items.size();
    items.clear();
    items.squeeze();

    // Decode only, both ways, on the same bytes.
    QByteArray raw = fetchRaw(manager, url, account);
    raw.reserve(raw.size() + Json::padding);
    // Best of three, so a stray page-fault storm or a busy neighbour does not decide.
    qsizetype simdCount = 0, qtCount = 0, streamedCount = 0, helpedCount = 0;
    double simdSeconds = 1e9, qtSeconds = 1e9, streamedSeconds = 1e9, helpedSeconds = 1e9;
    qsizetype appCount = 0;
    double appSeconds = 1e9;
    for (int round = 0; round < 3; ++round) {
        timer.restart();
        simdCount = Json::decode<ItemsResponse>(raw).items.size();
        simdSeconds = std::min(simdSeconds, timer.nsecsElapsed() / 1e9);
        timer.restart();
        streamedCount = decodeStreamed(raw);
        streamedSeconds = std::min(streamedSeconds, timer.nsecsElapsed() / 1e9);
        timer.restart();
        helpedCount = decodeStreamed(raw, &helpers);
        helpedSeconds = std::min(helpedSeconds, timer.nsecsElapsed() / 1e9);
        timer.restart();
        appCount = decodeAsTheAppDoes(raw);
        appSeconds = std::min(appSeconds, timer.nsecsElapsed() / 1e9);
        timer.restart();
        qtCount = decodeWithQt(raw).size();
        qtSeconds = std::min(qtSeconds, timer.nsecsElapsed() / 1e9);
    }

    std::printf("items %d: reply %.1f MB\n", count, mb(replyBytes));
    std::printf("  NewsAPI.items over loopback: %.3f s (%.0f MB/s), %lld items\n", apiSeconds,
                mb(replyBytes) / apiSeconds, static_cast<long long>(decoded));
    std::printf("  decode only: simdjson %.0f MB/s, QJsonDocument %.0f MB/s, ratio %.1fx "
                "(%lld/%lld items)\n",
                mb(replyBytes) / simdSeconds, mb(replyBytes) / qtSeconds, qtSeconds / simdSeconds,
                static_cast<long long>(simdCount), static_cast<long long>(qtCount));
    std::printf("  streamed in 64 KB pieces: %.0f MB/s (%lld items)\n",
                mb(replyBytes) / streamedSeconds, static_cast<long long>(streamedCount));
    std::printf("  streamed, batches decoded on %d threads: %.0f MB/s (%lld items); the "
                "same into fresh memory: %.0f MB/s (%lld items)\n",
                helpers.maxThreadCount(), mb(replyBytes) / helpedSeconds,
                static_cast<long long>(helpedCount), mb(replyBytes) / firstSeconds,
                static_cast<long long>(firstCount));
    std::printf("  the app's path without the socket (512 KB pieces into its background "
                "stream): %.0f MB/s (%lld items)\n",
                mb(replyBytes) / appSeconds, static_cast<long long>(appCount));
    std::printf("  memory: peak %.2fx the reply, decoded items keep %.2fx the reply\n",
                double(peak) * 1024 / double(replyBytes), double(kept) * 1024 / double(replyBytes));
    std::fflush(stdout);

    sandbox.terminate();
    sandbox.waitForFinished();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.append(QString::fromLocal8Bit(argv[i]).toInt());
    if (counts.isEmpty()) counts = {20000, 100000};
    for (int count : counts)
        measure(count);
    return 0;
}
