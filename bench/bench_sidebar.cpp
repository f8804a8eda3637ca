// The sources column with an absurd account: N generated folders (default 1,000,000), each
// with one feed, shown in the real SidebarView (offscreen). Prints how long the refresh
// takes until the sidebar shows them and the longest time the event loop was held up
// meanwhile, then the same for a refresh in which nothing changed, and for the End key,
// which shows every row at once.
//
//   QT_QPA_PLATFORM=offscreen bench_sidebar [N]

#include "BenchSupport.h"
#include "Reader/Background.h"
#include "Views/FeedIcons.h"
#include "Views/SidebarView.h"
#include "Views/SourcesModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

namespace {

void refreshAndReport(Reader& reader, SidebarView& view, const char* what, bool first)
{
    auto* app = static_cast<bench::TimedApplication*>(QCoreApplication::instance());
    app->reset();
    QElapsedTimer elapsed;
    elapsed.start();
    bench::Stalls stalls;
    // From the event loop, so that the call's own time counts as a dispatch.
    bool called = false;
    QTimer::singleShot(0, &reader, [&] {
        called = true;
        if (first)
            reader.start(); // restores the account and refreshes
        else
            reader.session().refresh();
    });
    const auto* model = static_cast<SourcesModel*>(view.model());
    while (!called || reader.session().refreshing() || !model->isCurrent() ||
           (reader.subscriptions().folders().isEmpty() && !reader.session().error()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (reader.session().error())
        std::printf("refresh failed: %s\n",
                    qPrintable(reader.session().error()->failure.detail));
    view.grab();
    std::printf("sidebar %s: %lld folders, %lld top-level rows shown after %.2f s; longest "
                "stall %lld ms; longest dispatch %lld ms (%s)\n",
                what, static_cast<long long>(reader.subscriptions().folders().size()),
                static_cast<long long>(view.model()->rowCount()), elapsed.nsecsElapsed() / 1e9,
                static_cast<long long>(stalls.longest), static_cast<long long>(app->longest),
                qPrintable(app->what));
}

// The user asks for the last row: every row is shown and laid out at once.
void pressEndAndReport(SidebarView& view)
{
    auto* app = static_cast<bench::TimedApplication*>(QCoreApplication::instance());
    app->reset();
    QElapsedTimer elapsed;
    elapsed.start();
    bench::Stalls stalls;
    view.tree()->setFocus();
    QCoreApplication::postEvent(view.tree(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier));
    // Long enough for the layout and the paint that follow the key.
    while (elapsed.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::printf("sidebar End key: %lld top-level rows shown; longest stall %lld ms; "
                "longest dispatch %lld ms (%s)\n",
                static_cast<long long>(view.model()->rowCount()),
                static_cast<long long>(stalls.longest), static_cast<long long>(app->longest),
                qPrintable(app->what));
}

} // namespace

int main(int argc, char* argv[])
{
    growMemoryInLargeSteps(); // as the app does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::TimedApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;

    QProcess sandbox;
    const QString server =
        bench::startSandbox(sandbox, {QStringLiteral("--folders"), QString::number(count)});
    if (server.isEmpty()) return 1;

    bench::World world(server);
    Reader& reader = world.reader;
    FeedIcons icons(world.session());
    SidebarView view(reader, icons);
    view.resize(260, 800);
    view.show();
    refreshAndReport(reader, view, "first refresh", true);
    refreshAndReport(reader, view, "refresh, nothing changed", false);
    pressEndAndReport(view);
    sandbox.terminate();
    sandbox.waitForFinished();
    return 0;
}
