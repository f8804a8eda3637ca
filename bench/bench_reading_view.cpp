// The article as text for screen readers, shown in the real ReadingView (offscreen): how
// long the window is held while articles of growing size are laid out, from a plain
// article of a few pages to one of many megabytes, with headings, links and images.
//
//   QT_QPA_PLATFORM=offscreen bench_reading_view

#include "LumbraCore/ArticleDocument.h"
#include "Views/ReadingView.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ReadingView view([](const QUrl&) {});
    view.resize(900, 700);
    view.QWidget::show();
    qint64 id = 0;
    for (const qsizetype size :
         {qsizetype(20'000), qsizetype(200'000), qsizetype(1'000'000), qsizetype(5'000'000)}) {
        Item item;
        item.id = ++id;
        item.title = QStringLiteral("A walk of a day");
        item.body = article(size);
        const QString html = ArticleDocument::articleHTML(item, QStringLiteral("Long Reads"), 0);
        QElapsedTimer elapsed;
        elapsed.start();
        view.show(html, item.id, QUrl(QStringLiteral("https://example.org/")));
        view.document()->documentLayout()->documentSize(); // laid out, as painting needs it
        view.grab();
        std::printf("reading view: %5.2f MB article shown in %5lld ms (%lld characters)\n",
                    item.body->size() / 1e6, static_cast<long long>(elapsed.elapsed()),
                    static_cast<long long>(view.document()->characterCount()));
    }
    return 0;
}
