#include "LumbraCore/ArticleDocument.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ArticleDocument;

namespace {

const qint64 now = 1'800'000'000;

Item item(std::optional<QString> title, std::optional<QString> url, std::optional<QString> author,
          std::optional<qint64> pubDate, std::optional<QByteArray> body)
{
    return Item{1, 1, title, url, author, pubDate, body, true, false};
}

// The text between `<div class="meta">` and its `</div>`.
QString metaLine(const QString& html)
{
    const QString open = u"<div class=\"meta\">"_s;
    const qsizetype start = html.indexOf(open) + open.size();
    return html.mid(start, html.indexOf(u"</div>"_s, start) - start);
}

} // namespace

class ArticleDocumentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headIsFixed()
    {
        QCOMPARE(head().size(), 1227);
        QVERIFY(
            head().startsWith(u"<!doctype html><html><head><meta charset=\"utf-8\">\n"
                              u"<meta http-equiv=\"Content-Security-Policy\" content=\"script-src "
                              u"'none'; object-src 'none'\">\n"_s));
        QVERIFY(head().contains(u"\n         overflow-wrap: break-word; }\n"_s));
        QVERIFY(head().endsWith(u"</style></head><body><article>\n<h1>"_s));
    }

    void wholeDocument()
    {
        const QString html = articleHTML(
            item(u"Hi"_s, std::nullopt, std::nullopt, std::nullopt, "<p>Body & <b>bold</b></p>"_ba),
            u"Feed"_s, now);
        QCOMPARE(html, head() + u"Hi</h1>\n<div class=\"meta\">Feed</div>\n"
                                u"<p>Body & <b>bold</b></p>\n</article></body></html>"_s);
        QVERIFY(
            articleHTML(item({}, {}, {}, {}, {}), u""_s, now)
                .endsWith(u"<h1></h1>\n<div class=\"meta\"></div>\n\n</article></body></html>"_s));
    }

    void metaLine_data()
    {
        QTest::addColumn<std::optional<QString>>("author");
        QTest::addColumn<QString>("feedTitle");
        QTest::addColumn<std::optional<qint64>>("pubDate");
        QTest::addColumn<QString>("meta");
        QTest::newRow("author equal to feed, any case")
            << std::optional(u"  Blog  "_s) << u"blog"_s << std::optional<qint64>(now - 7200)
            << u"blog \u00B7 2 hours ago"_s;
        QTest::newRow("author without date") << std::optional(u"Ann"_s) << u"Blog"_s
                                             << std::optional<qint64>() << u"Blog \u00B7 Ann"_s;
        QTest::newRow("missing feed")
            << std::optional(u"Ann"_s) << u""_s << std::optional<qint64>() << u"Ann"_s;
        QTest::newRow("escaped") << std::optional(u"<Ann & \"Bo\">"_s) << u"A<B"_s
                                 << std::optional<qint64>()
                                 << u"A&lt;B \u00B7 &lt;Ann &amp; &quot;Bo&quot;&gt;"_s;
        QTest::newRow("old date") << std::optional<QString>() << u"F"_s
                                  << std::optional<qint64>(now - 8 * 86400)
                                  << u"F \u00B7 Jan 7, 2027"_s;
    }

    void metaLine()
    {
        QFETCH(std::optional<QString>, author);
        QFETCH(QString, feedTitle);
        QFETCH(std::optional<qint64>, pubDate);
        QFETCH(QString, meta);
        QCOMPARE(::metaLine(articleHTML(item(u"T"_s, {}, author, pubDate, {}), feedTitle, now)),
                 meta);
    }

    void titles_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("url");
        QTest::addColumn<QString>("heading");
        QTest::newRow("entities decoded, then escaped")
            << std::optional(u"A &amp; B <i>"_s) << std::optional<QString>()
            << u"A &amp; B &lt;i&gt;"_s;
        QTest::newRow("link, url escaped")
            << std::optional(u"T"_s) << std::optional(u"https://e.org/?a=1&b=\"x\""_s)
            << u"<a href=\"https://e.org/?a=1&amp;b=&quot;x&quot;\">T</a>"_s;
        QTest::newRow("link without title")
            << std::optional<QString>() << std::optional(u"not a url"_s)
            << u"<a href=\"not a url\"></a>"_s;
        QTest::newRow("apostrophes stay")
            << std::optional(u"It's"_s) << std::optional<QString>() << u"It's"_s;
    }

    void titles()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, url);
        QFETCH(QString, heading);
        const QString html = articleHTML(item(title, url, {}, {}, {}), u""_s, now);
        QCOMPARE(html.mid(head().size(), html.indexOf(u"</h1>"_s) - head().size()), heading);
    }
};

QTEST_GUILESS_MAIN(ArticleDocumentTest)
#include "tst_articledocument.moc"
