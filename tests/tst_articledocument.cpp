#include "LumbraCore/ArticleDocument.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ArticleDocument;

namespace {

const qint64 now = 1'800'000'000;

Item item(std::optional<QString> title, std::optional<QString> url, std::optional<QString> author,
          std::optional<qint64> pubDate, std::optional<QByteArray> body)
{
    return Item{1,
                1,
                title,
                url,
                author,
                pubDate,
                body ? std::optional(ArticleBody(*body)) : std::nullopt,
                true,
                false};
}

// The text between `<div class="meta">` and its `</div>`.
QString metaLine(const QString& html)
{
    const QString open = u"<div class=\"meta\" dir=\"auto\">"_s;
    const qsizetype start = html.indexOf(open) + open.size();
    return html.mid(start, html.indexOf(u"</div>"_s, start) - start);
}

} // namespace

class ArticleDocumentTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void head_data()
    {
        QTest::addColumn<bool>("remote");
        QTest::addColumn<std::optional<QUrl>>("base");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<QString>("baseTag");
        const QString allowed = u"script-src 'none'; object-src 'none'; frame-src 'none'; "
                                u"child-src 'none'; form-action 'none'"_s;
        const QString blocked = u"default-src 'none'; style-src 'unsafe-inline'; img-src data:; "
                                u"font-src data:; media-src data:; form-action 'none'"_s;
        QTest::newRow("remote content, no address")
            << true << std::optional<QUrl>() << allowed << QString();
        QTest::newRow("no remote content")
            << false << std::optional<QUrl>() << blocked << QString();
        QTest::newRow("web address")
            << true << std::optional(QUrl(u"https://e.org/a?b=1&c=\"2\""_s)) << allowed
            << u"<base href=\"https://e.org/a?b=1&amp;c=%222%22\">\n"_s;
        QTest::newRow("file address is no base")
            << true << std::optional(QUrl(u"file:///etc/passwd"_s)) << allowed << QString();
    }

    void head()
    {
        QFETCH(bool, remote);
        QFETCH(std::optional<QUrl>, base);
        QFETCH(QString, policy);
        QFETCH(QString, baseTag);
        const QString text = ArticleDocument::head({remote, base, {}});
        QVERIFY(text.startsWith(u"<!doctype html><html><head><meta charset=\"utf-8\">\n"
                                u"<meta http-equiv=\"Content-Security-Policy\" content=\""_s +
                                policy +
                                u"\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"_s +
                                baseTag + u"<style>\n"_s));
        QCOMPARE(text.count(u"<base"_s), baseTag.isEmpty() ? 0 : 1);
        QVERIFY(text.endsWith(u"</style></head><body><article>\n<h1 dir=\"auto\">"_s));
    }

    void appearance_data()
    {
        QTest::addColumn<std::optional<bool>>("dark");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<bool>("followsMedia");
        QTest::newRow("follows the engine") << std::optional<bool>() << u"light dark"_s << true;
        QTest::newRow("dark") << std::optional(true) << u"dark"_s << false;
        QTest::newRow("light") << std::optional(false) << u"light"_s << false;
    }

    void appearance()
    {
        QFETCH(std::optional<bool>, dark);
        QFETCH(QString, scheme);
        QFETCH(bool, followsMedia);
        const QString text = ArticleDocument::head({true, {}, dark});
        QVERIFY(text.contains(u"<style>\n  :root { color-scheme: "_s + scheme + u"; --muted: "_s));
        QCOMPARE(text.contains(u"prefers-color-scheme"_s), followsMedia);
        QCOMPARE(text.contains(u"--link: #e8825f"_s), dark.value_or(true));
        QVERIFY(text.endsWith(u"</style></head><body><article>\n<h1 dir=\"auto\">"_s));
    }

    void wholeDocument()
    {
        const QString html = articleHTML(
            item(u"Hi"_s, std::nullopt, std::nullopt, std::nullopt, "<p>Body & <b>bold</b></p>"_ba),
            u"Feed"_s, now);
        QCOMPARE(html, ArticleDocument::head() +
                           u"Hi</h1>\n<div class=\"meta\" dir=\"auto\">Feed</div>\n"
                           u"<div class=\"body\" dir=\"auto\">\n<p>Body & <b>bold</b></p>\n"
                           u"</div></article></body></html>"_s);
        QVERIFY(articleHTML(item(u"T"_s, u"https://e.org/p"_s, {}, {}, {}), u""_s, now)
                    .contains(u"<base href=\"https://e.org/p\">"_s));
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
        const qsizetype start = html.indexOf(u"<h1 dir=\"auto\">"_s) + 15;
        QCOMPARE(html.mid(start, html.indexOf(u"</h1>"_s) - start), heading);
    }
};

QTEST_GUILESS_MAIN(ArticleDocumentTest)
#include "tst_articledocument.moc"
