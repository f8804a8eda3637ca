// The timeline with a heavy source: 100,000 generated items from the sandbox shown in the
// real TimelineView (offscreen). Prints the time from the list's arrival to its first
// paint, and the time to page through every row.
//
//   QT_QPA_PLATFORM=offscreen bench_timeline [N]      (default: 100000)

#include "Await.h"
#include "BenchSupport.h"
#include "Reader/Background.h"
#include "Reader/Reader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <cstdio>

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps(); // as the app does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    QProcess sandbox;
    const QString server =
        bench::startSandbox(sandbox, {QStringLiteral("--items"), QString::number(count)});
    if (server.isEmpty()) return 1;

    bench::TimelineWorld world(server);
    Reader& reader = world.reader;
    TimelineView& view = world.view;

    QElapsedTimer timer;
    qint64 firstPaint = -1;
    QObject::connect(&reader.timeline(), &Timeline::itemsChanged, &view, [&] {
        if (reader.timeline().items().isEmpty()) return;
        timer.start();
        view.grab(); // lays out and paints the visible rows
        firstPaint = timer.nsecsElapsed();
    });
    reader.timeline().selectSource(Source::all());
    await(reader.start(), std::chrono::minutes(10));
    while (firstPaint < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    QScrollBar* bar = view.list()->verticalScrollBar();
    timer.restart();
    int pages = 0;
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep(), ++pages) {
        bar->setValue(value);
        view.list()->viewport()->grab();
    }
    const double scrollSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("timeline %lld items: first paint %.1f ms after the list arrived; "
                "%d pages scrolled in %.2f s (%.2f ms a page)\n",
                static_cast<long long>(reader.timeline().items().size()), firstPaint / 1e6, pages,
                scrollSeconds, scrollSeconds * 1000 / std::max(pages, 1));
    sandbox.terminate();
    sandbox.waitForFinished();
    return 0;
}
