// A refresh as the app makes it: N generated items (default 100,000) from the sandbox in its
// own process, All Articles shown in the real TimelineView (offscreen). For the first load,
// a refresh in which nothing changed and one after 100 articles were read elsewhere, prints
// the time until the timeline is painted, the bytes the replies carried, the longest
// dispatch of the event loop and the peak memory; and curl's time for the same full list in
// the same run. After the first load, the resident memory with the search's texts made, the
// bytes an item costs, and the bytes a body is held in; at the end, how long articles
// chosen across the list take to show in the real article view.
//
// With a speed in Mbit/s, the replies come through a wire of that speed (a relay of the
// benchmark's own), for curl as for Lumbra.
//
//   QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 bench_refresh [N] [Mbit/s]

#include "Await.h"
#include "BenchSupport.h"
#include "LumbraCore/NewsAPI.h"
#include "ProcessMemory.h"
#include "Reader/Background.h"
#include "ThrottledRelay.h"
#include "Views/ArticleView.h"
#include "Views/QuoteWebView.h"

#include <QNetworkReply>
#include <algorithm>
#include <cstdio>

namespace {

struct Curl {
    double seconds = 0;
    double firstByte = 0; // when the reply began to arrive
    qint64 bytes = 0;
};

// The same request by curl, its body thrown away.
Curl curl(const QString& url)
{
    QProcess process;
    process.start(QStringLiteral("curl"),
                  {QStringLiteral("-sS"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                   QStringLiteral("-u"), QStringLiteral("demo:bench"), QStringLiteral("-w"),
                   QStringLiteral("%{time_total} %{time_starttransfer} %{size_download}"), url});
    process.waitForFinished(600000);
    const QList<QByteArray> out = process.readAllStandardOutput().split(' ');
    if (out.size() != 3) return {};
    return {out[0].toDouble(), out[1].toDouble(), out[2].toLongLong()};
}

// Qt's own receive path with nothing after it: the same list read a MB at a time and
// dropped. Seconds from its first byte to its last.
double qtAlone(const QString& url)
{
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Authorization", "Basic " + QByteArrayLiteral("demo:bench").toBase64());
    QElapsedTimer clock;
    clock.start();
    qint64 first = -1;
    QNetworkReply* reply = network.get(request);
    reply->setReadBufferSize(qint64(1) << 20);
    QObject::connect(reply, &QNetworkReply::readyRead, [&] {
        if (first < 0) first = clock.nsecsElapsed();
        reply->readAll();
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(clock.nsecsElapsed() - first) / 1e9;
    delete reply;
    return seconds;
}

bool isList(const QNetworkReply* reply)
{
    return reply->url().path().endsWith(QLatin1StringView("/items"));
}

// Body bytes of every reply the Reader's network hands over.
struct Traffic {
    explicit Traffic(bench::Network& network)
    {
        network.started = [this](QNetworkReply* reply) {
            if (!isList(reply)) return;
            QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this] {
                if (listBegan < 0) listBegan = clock.elapsed();
            });
        };
        QObject::connect(&network, &QNetworkAccessManager::finished, [this](QNetworkReply* r) {
            bytes += r->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (isList(r)) listArrived = clock.elapsed();
        });
    }
    void reset()
    {
        bytes = 0;
        listBegan = -1;
        listArrived = -1;
        clock.start();
    }
    qint64 bytes = 0;
    qint64 listBegan = -1;   // ms after reset() when a full list's headers arrived
    qint64 listArrived = -1; // and when its last byte did
    QElapsedTimer clock;
};

void report(const char* what, double seconds, const Traffic& traffic,
            const bench::TimedApplication& app, qint64 peakKb)
{
    std::printf("%-34s painted after %7.3f s, %10.1f KB moved, longest dispatch %4lld ms (%s, "
                "%lld ms running), peak +%lld MB\n",
                what, seconds, double(traffic.bytes) / 1e3, static_cast<long long>(app.longest),
                qPrintable(app.what), static_cast<long long>(app.longestCpu),
                static_cast<long long>(peakKb / 1024));
    if (traffic.listArrived >= 0)
        std::printf("%-34s the list began after %7.3f s, its last byte after %7.3f s\n", "",
                    double(traffic.listBegan) / 1e3, double(traffic.listArrived) / 1e3);
}

// From an article's selection to its page loaded in the article view (images from other
// sites not loaded), and how long the selection itself held the window's thread, in
// milliseconds; the first also starts the page's renderer.
struct Shown {
    QList<double> loaded;
    QList<double> held;
};

Shown articlesShown(TimelineView& list, Reader& reader, ItemActions& actions)
{
    // The sandbox's articles show images from example.org: with them, a page's load would
    // wait on name look-ups (at times a resolver's 5 s time-out), not on Lumbra.
    reader.settings().setRemoteImages(false);
    ArticleView article(reader, actions);
    article.resize(600, 800);
    article.show();
    QList<qint64> ids;
    const qsizetype count = reader.timeline().items().size();
    for (qsizetype i = 0; i < 21; ++i)
        ids << reader.timeline().items()[i * (count - 1) / 20].id;
    Shown shown;
    for (const qint64 id : ids) {
        bool loaded = false;
        const auto watching = QObject::connect(article.webView(), &QWebEngineView::loadFinished,
                                               [&loaded] { loaded = true; });
        QElapsedTimer clock;
        clock.start();
        reader.timeline().select(id);
        shown.held << double(clock.nsecsElapsed()) / 1e6;
        while (!loaded)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        list.grab();
        shown.loaded << double(clock.nsecsElapsed()) / 1e6;
        QObject::disconnect(watching);
    }
    return shown;
}

} // namespace

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps(); // as the app does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    bench::TimedApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    const double wireMbit = argc > 2 ? QString::fromLocal8Bit(argv[2]).toDouble() : 0;

    QProcess sandbox;
    QString server =
        bench::startSandbox(sandbox, {QStringLiteral("--items"), QString::number(count)});
    if (server.isEmpty()) return 1;
    // Lumbra and curl alike reach the sandbox through the wire, when one is asked for.
    std::optional<bench::ThrottledRelay> wire;
    if (wireMbit > 0) {
        wire.emplace(quint16(QUrl(server).port()), wireMbit * 1e6 / 8);
        server = QStringLiteral("http://127.0.0.1:") + QString::number(wire->port());
        std::printf("through a wire of %.0f Mbit/s\n", wireMbit);
    }
    const QString api = server + QStringLiteral("/index.php/apps/news/api/v1-3");
    // The sandbox's time to build the reply varies from run to run: curl fetches the list
    // before and after the first load, and the load is compared with their mean.
    const QString fullList = api + QStringLiteral("/items?") + itemsQuery(Source::all());
    const Curl before = curl(fullList);
    std::printf("curl, the full list: %.3f s (began after %.3f s), %.1f MB\n", before.seconds,
                before.firstByte, double(before.bytes) / 1e6);

    bench::TimelineWorld world(server);
    Reader& reader = world.reader;
    TimelineView& view = world.view;
    Traffic traffic(world.network);

    // From the call to the painted timeline, with the figures of what it took.
    const auto measure = [&](const char* what, auto begin) {
        traffic.reset();
        app.reset();
        const qint64 before = bench::statusKb("VmRSS:");
        bench::resetPeak();
        QElapsedTimer timer;
        timer.start();
        begin();
        while (reader.session().refreshing() || reader.timeline().loadingItems() ||
               reader.timeline().items().isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.grab();
        const double seconds = timer.nsecsElapsed() / 1e9;
        report(what, seconds, traffic, app, bench::statusKb("VmHWM:") - before);
        return seconds;
    };

    reader.timeline().selectSource(Source::all());
    // The window's own first layout and paint are not the refresh's.
    view.grab();
    QCoreApplication::processEvents();
    const qint64 startKb = bench::statusKb("VmRSS:");
    const double firstLoad = measure("first load", [&] { reader.start(); });
    // What the list costs to keep: once the search's texts are made too.
    while (!reader.timeline().search().ready())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 keptKb = bench::statusKb("VmRSS:");
    const qint64 peakKb = bench::statusKb("VmHWM:");
    std::printf("memory: %lld MB resident before the load, %lld MB after it and the search's "
                "texts (%lld bytes an item), peak +%lld MB (%.2f times the reply)\n",
                static_cast<long long>(startKb / 1024), static_cast<long long>(keptKb / 1024),
                static_cast<long long>((keptKb - startKb) * 1024 / count),
                static_cast<long long>((peakKb - startKb) / 1024),
                double(peakKb - startKb) * 1024 / double(before.bytes));
    qint64 held = 0;
    qint64 html = 0;
    for (const Item& item : reader.timeline().items()) {
        held += item.body ? item.body->stored().size() : 0;
        html += item.body ? item.body->size() : 0;
    }
    std::printf("bodies: %lld bytes an item held for %lld bytes of HTML\n",
                static_cast<long long>(held / count), static_cast<long long>(html / count));
    const Curl after = curl(fullList);
    std::printf("Qt alone, the list read and dropped: %.3f s from its first byte\n",
                qtAlone(fullList));
    const double curlMean = (before.seconds + after.seconds) / 2;
    std::printf("curl again: %.3f s; the first load took %.2f times their mean\n", after.seconds,
                firstLoad / curlMean);
    // The server's time to build the list apart: what Lumbra does with the bytes themselves.
    const double curlTransfer =
        (before.seconds - before.firstByte + after.seconds - after.firstByte) / 2;
    const double fromFirstByte = firstLoad - double(traffic.listBegan) / 1e3;
    std::printf("from the list's first byte: painted after %.3f s, curl's transfer %.3f s "
                "(their mean)\n",
                fromFirstByte, curlTransfer);
    // The build time moves the ratio by itself: the same load had the server built the list
    // as fast as for the curls.
    const double curlFirstByte = (before.firstByte + after.firstByte) / 2;
    std::printf("the server began the list after %.3f s for Lumbra, %.3f s for curl (their "
                "mean); with curl's wait the first load took %.2f times their mean\n",
                double(traffic.listBegan) / 1e3, curlFirstByte,
                (fromFirstByte + curlFirstByte) / curlMean);
    if (reader.timeline().items().size() != count) {
        std::printf("the first load listed %lld items\n",
                    static_cast<long long>(reader.timeline().items().size()));
        return 1;
    }
    measure("refresh, nothing changed", [&] { reader.session().refresh(); });

    QList<qint64> ids;
    for (qsizetype i = 0; i < 100; ++i)
        ids << reader.timeline().items()[i].id;
    const NewsAPI elsewhere(Account{server, QStringLiteral("demo"), QStringLiteral("bench")},
                            world.session());
    await(elsewhere.setRead(ids, true));
    measure("refresh, 100 read elsewhere", [&] { reader.session().refresh(); });
    qsizetype read = 0;
    for (const Item& item : reader.timeline().items())
        read += ids.contains(item.id) && !item.unread;
    std::printf("%lld of the 100 show as read\n", static_cast<long long>(read));

    Shown shown = articlesShown(view, reader, world.actions);
    std::printf("an article shown (selected to its page loaded): the first %.1f ms (the "
                "page's renderer starting)",
                shown.loaded.takeFirst());
    const auto spread = [](QList<double> times) {
        std::sort(times.begin(), times.end());
        return std::pair(times[times.size() / 2], times.last());
    };
    const auto [loadedMedian, loadedMost] = spread(shown.loaded);
    std::printf(", then %lld across the list: median %.1f ms, slowest %.1f ms (in order: ",
                static_cast<long long>(shown.loaded.size()), loadedMedian, loadedMost);
    for (const double loaded : shown.loaded)
        std::printf("%.0f ", loaded);
    std::printf("ms)\n");
    const double firstHeld = shown.held.takeFirst();
    const auto [heldMedian, heldMost] = spread(shown.held);
    std::printf("the selection held the window's thread: the first %.1f ms, then median %.1f "
                "ms, longest %.1f ms (in order: ",
                firstHeld, heldMedian, heldMost);
    for (const double held : shown.held)
        std::printf("%.0f ", held);
    std::printf("ms)\n");

    sandbox.terminate();
    sandbox.waitForFinished();
    return 0;
}
