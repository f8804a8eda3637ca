// Typing a search over a heavy source: N generated items from the sandbox (default 20,000
// and 100,000) in the real TimelineView (offscreen). Prints how long the search texts take
// to make after the list arrives (on a worker), then the time of each keystroke of a typed
// phrase until the narrowed rows are painted.
//
//   QT_QPA_PLATFORM=offscreen bench_search [N ...]

#include "Await.h"
#include "BenchSupport.h"
#include "Reader/Background.h"
#include "Reader/Reader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <algorithm>
#include <cstdio>

namespace {

void run(int count)
{
    QProcess sandbox;
    const QString server =
        bench::startSandbox(sandbox, {QStringLiteral("--items"), QString::number(count)});
    if (server.isEmpty()) return;
    {
        bench::TimelineWorld world(server);
        Reader& reader = world.reader;
        TimelineView& view = world.view;
        reader.timeline().selectSource(Source::all());
        QElapsedTimer prepared;
        QObject::connect(&reader.timeline(), &Timeline::itemsChanged, &view, [&] {
            if (!reader.timeline().items().isEmpty()) prepared.start();
        });
        await(reader.start(), std::chrono::minutes(10));
        while (reader.timeline().items().isEmpty() || !reader.timeline().search().ready())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("search %d items: texts made in %.2f s after the list arrived\n", count,
                    prepared.nsecsElapsed() / 1e9);

        // A phrase of three of the generated words (two with accents in the text), typed one key at
        // a time, then erased.
        const QString phrase = QStringLiteral("zurich cafe signal");
        QList<double> times;
        const auto type = [&](const QString& text) {
            QElapsedTimer key;
            key.start();
            reader.timeline().search().setQuery(text);
            view.list()->viewport()->grab(); // the narrowed rows, painted
            times << key.nsecsElapsed() / 1e6;
        };
        const auto report = [&](const char* what) {
            QList<double> sorted = times;
            std::sort(sorted.begin(), sorted.end());
            std::printf("  %s, %lld keystrokes: median %.1f ms, slowest %.1f ms\n", what,
                        qlonglong(sorted.size()), sorted[sorted.size() / 2], sorted.last());
            times.clear();
        };
        for (qsizetype n = 1; n <= phrase.size(); ++n)
            type(phrase.left(n));
        const qsizetype shown = reader.timeline().search().shownCount();
        report("typing");
        for (qsizetype n = phrase.size() - 1; n >= 0; --n)
            type(phrase.left(n));
        report("erasing (earlier results kept)");
        // Pasted at once: one search of the whole list for every word, nothing to narrow.
        type(QStringLiteral("signal cafe zurich"));
        std::printf("  pasted \"signal cafe zurich\": %.1f ms; \"%s\" shows %lld of %lld\n",
                    times.last(), qPrintable(phrase), qlonglong(shown),
                    qlonglong(reader.timeline().items().size()));
        // Every shown article marked read here at once (the server is told in batches).
        const qsizetype unread = reader.timeline().search().shownUnreadCount();
        QElapsedTimer marking;
        marking.start();
        reader.marker().markAllRead();
        view.list()->viewport()->grab();
        std::printf("  \"Mark %lld Shown as Read\": %.1f ms until painted\n", qlonglong(unread),
                    marking.nsecsElapsed() / 1e6);
    }
    sandbox.terminate();
    sandbox.waitForFinished();
}

} // namespace

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps(); // as the app does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> counts;
    for (int i = 1; i < argc; ++i)
        counts << QString::fromLocal8Bit(argv[i]).toInt();
    if (counts.isEmpty()) counts = {20000, 100000};
    for (const int count : counts)
        run(count);
    return 0;
}
