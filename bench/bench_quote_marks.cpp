// Quotes marked in a long article, as the article view marks them (offscreen): a 1 MB
// article shown in the page and in the reading view, and a note holding 100 or 5,000 of its
// passages (every tenth across two paragraphs). Prints the time to read the note's quotes
// and to find them (both off the window's thread in the app), to mark them in the reading
// view and on the page, and the longest the window's thread was held at a stretch.
//
//   QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 bench_quote_marks

#include "LumbraCore/ArticleDocument.h"
#include "LumbraCore/ArticleNote.h"
#include "LumbraCore/Highlights.h"
#include "ViewBench.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimeZone>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

// `count` passages of `text`, spread over it, as a note of Lumbra's holds them.
QString noteQuoting(const QString& text, int count)
{
    Quote quote;
    quote.itemId = 1;
    quote.title = QStringLiteral("A walk of a day");
    QString note = ArticleNote::append(QString(), quote, QTimeZone::utc());
    // Passages between the images (which the reading view shows as words), from "while" in
    // a paragraph to its end, or every tenth on into the next paragraph.
    const QString start = QStringLiteral("while the light");
    const qsizetype step = text.size() / (count + 1);
    for (int i = 0; i < count; ++i) {
        const qsizetype from = text.indexOf(start, step * i);
        const qsizetype end = text.indexOf(QStringLiteral("hills."), from) + 6;
        quote.text = text.mid(from, end - from - (i * 7) % 20 + (i % 10 == 0 ? 60 : 0));
        // Each block alone: appending to the whole note counts its blocks every time.
        note += ArticleNote::append(QStringLiteral("x"), quote, QTimeZone::utc()).mid(1);
    }
    return note;
}

template <typename T> T awaited(QCoro::Task<T> task)
{
    std::optional<T> result;
    QEventLoop loop;
    [&]() -> QCoro::Task<> {
        result = co_await std::move(task);
        loop.quit();
    }();
    if (!result) loop.exec();
    return *result;
}

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QuoteWebView page([](const QUrl&) {});
    page.resize(900, 700);
    page.QWidget::show();
    ReadingView view([](const QUrl&) {});
    view.resize(900, 700);
    view.QWidget::show();
    WindowHeld held;

    Item item;
    item.id = 1;
    item.title = QStringLiteral("A walk of a day");
    item.body = ArticleBody(plainArticle(1'000'000));
    QEventLoop loop;
    QObject::connect(&page, &QuoteWebView::shown, &loop, &QEventLoop::quit);
    page.show(ArticleDocument::articleHTML(item, QStringLiteral("Long Reads"), 0), item.id);
    loop.exec();
    const std::optional<QStringList> parts = awaited(page.readableText());
    view.show(parts.value_or(QStringList()), item.id, QUrl(QStringLiteral("https://x.org/")));
    while (view.isAppending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    // Passages of the text as the page shows it, where most quotes are taken.
    const QString pageText = awaited(page.shownText()).value_or(QString());
    for (const int count : {100, 5000}) {
        const QString note = noteQuoting(pageText, count);
        QElapsedTimer timer;
        timer.start();
        const QStringList quotes = Highlights::quotes(note);
        const double read = milliseconds(timer);
        timer.restart();
        const QString text = view.shownText();
        const double copied = milliseconds(timer);
        timer.restart();
        const QList<std::optional<Highlights::Span>> found = Highlights::find(text, quotes);
        const double searched = milliseconds(timer);
        QList<Highlights::Span> spans;
        for (const auto& span : found)
            if (span) spans << *span;
        held.reset();
        timer.restart();
        view.mark(spans);
        view.grab(); // painted with the marks
        const double marked = milliseconds(timer);
        QCoreApplication::processEvents();
        const qint64 viewHeld = held.longest;

        timer.restart();
        const std::optional<QString> shown = awaited(page.shownText());
        const double pageRead = milliseconds(timer);
        const QList<std::optional<Highlights::Span>> pageFound =
            Highlights::find(shown.value_or(QString()), quotes);
        QList<Highlights::Span> pageSpans;
        for (const auto& span : pageFound)
            if (span) pageSpans << *span;
        held.reset();
        timer.restart();
        const int drawn = awaited(page.mark(pageSpans, false));
        const double pageMarked = milliseconds(timer);
        std::printf("quote marks: %4d quotes in %.2f MB (%.1f MB note): note read %6.1f ms, "
                    "found %6.1f ms (both off the window's thread), text taken %5.1f ms, "
                    "reading view marked and painted %6.1f ms (window held at most %lld ms); "
                    "page text %6.1f ms, page marked %6.1f ms (window held at most %lld ms); "
                    "marked %lld in the reading view, %d on the page\n",
                    count, item.body->size() / 1e6, note.toUtf8().size() / 1e6, read, searched,
                    copied, marked, static_cast<long long>(viewHeld), pageRead, pageMarked,
                    static_cast<long long>(held.longest), static_cast<long long>(spans.size()),
                    drawn);
    }
    return 0;
}
