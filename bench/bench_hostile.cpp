// A hostile server against the app as it runs: for each way a server can misbehave, the
// sandbox in its own process answers so, and a Reader shown in the real TimelineView
// (offscreen) starts against it with the product's limits. Prints how long until the
// Reader gave up and what it said, the bytes that came over the wire, the longest dispatch
// of the window's event loop (the longest the window could not answer) and the peak growth
// of the process's memory.
//
//   QT_QPA_PLATFORM=offscreen bench_hostile [CASE…]    (default: every case)

#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "Reader/Background.h"
#include "Views/Wording.h"

#include <QNetworkReply>
#include <cstdio>

namespace {

struct Case {
    const char* name;
    const char* fault; // --fault of lumbra-sandbox; none for a well-behaved server
};

const Case cases[] = {
    {"a server that behaves", nullptr},
    {"endless item list", "items=0,body=endless"},
    {"compressed bomb, item list", "items=0,body=bomb"},
    {"compressed bomb, feeds", "feeds=0,body=bomb"},
    {"endless feeds", "feeds=0,body=endless"},
    {"item list a byte every 50 ms", "items=0,body=drip,drip=50"},
    {"item list nested a million deep", "items=0,body=deep,depth=1000000"},
    {"compressed item list (as a web server sends it)", "items=0,body=gzip"},
};

QString outcome(const Reader& reader)
{
    if (const auto& error = reader.session().error()) return Wording::refreshFailure(*error);
    if (const auto& notice = reader.session().message()) return Wording::notice(*notice);
    if (reader.timeline().loadFailed()) return QStringLiteral("(articles not loaded)");
    return QStringLiteral("%1 articles").arg(reader.timeline().items().size());
}

void run(bench::TimedApplication& app, const Case& each)
{
    QProcess sandbox;
    QStringList arguments{QStringLiteral("--items"), QStringLiteral("2000")};
    if (each.fault) arguments << QStringLiteral("--fault") << QString::fromLatin1(each.fault);
    const QString server = bench::startSandbox(sandbox, arguments);
    if (server.isEmpty()) {
        std::printf("%-48s the sandbox did not start\n", each.name);
        return;
    }
    const qint64 before = bench::statusKb("VmRSS:");
    bench::resetPeak();
    qint64 wire = 0;
    {
        bench::TimelineWorld world(server);
        world.network.started = [&wire](QNetworkReply* reply) {
            auto last = std::make_shared<qint64>(0);
            QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                             [&wire, last](qint64 received, qint64) {
                                 wire += received - *last;
                                 *last = received;
                             });
        };
        Reader& reader = world.reader;
        reader.timeline().selectSource(Source::all());
        world.view.grab();
        QCoreApplication::processEvents();
        app.reset();
        QElapsedTimer timer;
        timer.start();
        reader.start();
        // Until the refresh and the item load both ended, either way.
        QCoreApplication::processEvents();
        while (reader.session().refreshing() || reader.timeline().loadingItems())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        world.view.grab();
        const double seconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakKb = bench::statusKb("VmHWM:") - before;
        std::printf("%-48s ended after %6.1f s: %s\n", each.name, seconds,
                    qPrintable(outcome(reader).left(90)));
        std::printf("%-48s %9.1f MB over the wire, longest dispatch %4lld ms (%lld ms running, "
                    "%s), peak +%lld MB\n",
                    "", double(wire) / 1e6, static_cast<long long>(app.longest),
                    static_cast<long long>(app.longestCpu), qPrintable(app.what),
                    static_cast<long long>(peakKb / 1024));
    }
    std::fflush(stdout);
    sandbox.terminate();
    sandbox.waitForFinished();
}

} // namespace

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps(); // as the app does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::TimedApplication app(argc, argv);
    const QStringList wanted = app.arguments().mid(1);
    for (const Case& each : cases)
        if (wanted.isEmpty() || wanted.contains(QString::fromLatin1(each.name))) run(app, each);
    return 0;
}
