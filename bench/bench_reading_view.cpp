// The article as text for screen readers, as the article view shows it (offscreen): the
// page loads out of sight, its shown text is read off it, and the real ReadingView shows
// it part by part. For plain articles from a few pages to many megabytes, and for hostile
// nesting: how long until all of it is shown, and the longest the window's thread was held
// at a stretch (the window answers within 100 ms when that stays below it).
//
//   QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 bench_reading_view

#include "LumbraCore/ArticleDocument.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <qcoro/qcorotask.h>

namespace {

QByteArray article(qsizetype bytes)
{
    QByteArray body;
    for (int part = 1; body.size() < bytes; ++part) {
        body += "<h2>Part " + QByteArray::number(part) + "</h2>";
        for (int p = 0; p < 8; ++p)
            body += "<p>The path climbs past the old mill and the river turns below it; "
                    "<a href=\"https://example.org/" +
                    QByteArray::number(p) +
                    "\">a heron</a> stands in the shallows <img src=\"https://example.org/h.jpg\" "
                    "alt=\"a heron\"> while the light comes up over the hills.</p>";
    }
    return body;
}

QByteArray nested(const QByteArray& open, const QByteArray& close, int depth)
{
    return open.repeated(depth) + "the innermost words" + close.repeated(depth);
}

qint64 threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

struct Case {
    const char* name;
    QByteArray body;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QuoteWebView page([](const QUrl&) {});
    ReadingView view([](const QUrl&) {});
    view.resize(900, 700);
    view.QWidget::show();
    // The longest stretch of the thread's own time between two turns of its event loop.
    qint64 longest = 0;
    qint64 last = threadMilliseconds();
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = threadMilliseconds();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticks.start(5);

    const QList<Case> cases{
        {"plain 20 KB", article(20'000)},
        {"plain 200 KB", article(200'000)},
        {"plain 1 MB", article(1'000'000)},
        {"plain 5.6 MB", article(5'600'000)},
        {"8 nested tables", nested("<table><tr><td>", "</td></tr></table>", 8)},
        {"12 nested tables", nested("<table><tr><td>", "</td></tr></table>", 12)},
        {"16 nested tables", nested("<table><tr><td>", "</td></tr></table>", 16)},
        {"22 nested tables", nested("<table><tr><td>", "</td></tr></table>", 22)},
        {"200 nested tables", nested("<table><tr><td>", "</td></tr></table>", 200)},
        {"5000 nested lists", nested("<ul><li>", "</li></ul>", 5000)},
    };
    qint64 id = 0;
    for (const Case& c : cases) {
        Item item;
        item.id = ++id;
        item.title = QStringLiteral("A walk of a day");
        item.body = c.body;
        const QString html = ArticleDocument::articleHTML(item, QStringLiteral("Long Reads"), 0);
        QElapsedTimer elapsed;
        elapsed.start();
        longest = 0;
        last = threadMilliseconds();
        QEventLoop loop;
        QObject::connect(&page, &QuoteWebView::shown, &loop, &QEventLoop::quit);
        page.show(html, item.id);
        loop.exec();
        const qint64 loadedAt = elapsed.elapsed();
        std::optional<QStringList> parts;
        [&]() -> QCoro::Task<> {
            parts = co_await page.readableText();
            loop.quit();
        }();
        loop.exec();
        const qint64 readAt = elapsed.elapsed();
        view.show(parts.value_or(QStringList()), item.id, QUrl(QStringLiteral("https://x.org/")));
        while (view.isAppending())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        view.grab(); // laid out and painted, as the window shows it
        QCoreApplication::processEvents();
        std::printf("reading view: %-18s %5.2f MB: page loaded %5lld ms, text read %5lld ms, all "
                    "shown %5lld ms, %3lld parts; window held at most %4lld ms\n",
                    c.name, c.body.size() / 1e6, static_cast<long long>(loadedAt),
                    static_cast<long long>(readAt), static_cast<long long>(elapsed.elapsed()),
                    static_cast<long long>(parts ? parts->size() : 0),
                    static_cast<long long>(longest));
    }
    return 0;
}
