// The article as text for screen readers, as the article view shows it (offscreen): the
// page loads out of sight, its shown text is read off it, and the real ReadingView shows
// it part by part. For plain articles from a few pages to many megabytes, and for hostile
// nesting: how long until all of it is shown, and the longest the window's thread was held
// at a stretch (the window answers within 100 ms when that stays below it).
//
//   QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 bench_reading_view

#include "LumbraCore/ArticleDocument.h"
#include "ViewBench.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

QByteArray nested(const QByteArray& open, const QByteArray& close, int depth)
{
    return open.repeated(depth) + "the innermost words" + close.repeated(depth);
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
    WindowHeld held;

    const QList<Case> cases{
        {"plain 20 KB", plainArticle(20'000)},
        {"plain 200 KB", plainArticle(200'000)},
        {"plain 1 MB", plainArticle(1'000'000)},
        {"plain 5.6 MB", plainArticle(5'600'000)},
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
        item.body = ArticleBody(c.body);
        const QString html = ArticleDocument::articleHTML(item, QStringLiteral("Long Reads"), 0);
        QElapsedTimer elapsed;
        elapsed.start();
        held.reset();
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
                    static_cast<long long>(held.longest));
    }
    return 0;
}
