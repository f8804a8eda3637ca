#include "LumbraCore/FeedDiscovery.h"
#include "LumbraCore/Search.h"
#include "LumbraCore/Text.h"
#include "LumbraCore/WebAddress.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Ranges = QList<QPair<qsizetype, qsizetype>>;

Item dated(qint64 id, std::optional<qint64> pubDate)
{
    return Item{id, 1, {}, {}, {}, pubDate, {}, true, false};
}

QList<qint64> ids(const QList<Item>& items)
{
    QList<qint64> result;
    for (const Item& item : items)
        result.append(item.id);
    return result;
}

} // namespace

using Dates = QList<std::optional<qint64>>;

class TextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newestFirst_data()
    {
        // Input items get ids 1, 2, 3, … in order unless `inputIds` says otherwise.
        QTest::addColumn<Dates>("dates");
        QTest::addColumn<QList<qint64>>("inputIds");
        QTest::addColumn<QList<qint64>>("expected");
        QTest::newRow("empty") << Dates{} << QList<qint64>{} << QList<qint64>{};
        QTest::newRow("by date") << Dates{100, 300, 200} << QList<qint64>{1, 2, 3}
                                 << QList<qint64>{2, 3, 1};
        QTest::newRow("equal dates by higher id")
            << Dates{500, 500, 500} << QList<qint64>{4, 9, 6} << QList<qint64>{9, 6, 4};
        QTest::newRow("future at the end, soonest first")
            << Dates{5000, 1000, 2000, 10} << QList<qint64>{1, 2, 3, 4}
            << QList<qint64>{2, 4, 3, 1};
        QTest::newRow("future ties by higher id")
            << Dates{2000, 2000} << QList<qint64>{1, 7} << QList<qint64>{7, 1};
        QTest::newRow("future ties in any order")
            << Dates{2000, 2000} << QList<qint64>{7, 1} << QList<qint64>{7, 1};
        QTest::newRow("undated after dated, higher id first")
            << Dates{std::nullopt, 10, std::nullopt, -50} << QList<qint64>{3, 1, 8, 2}
            << QList<qint64>{1, 2, 8, 3};
        QTest::newRow("negative ids and dates")
            << Dates{-5, -5} << QList<qint64>{-2, -1} << QList<qint64>{-1, -2};
    }

    void newestFirst()
    {
        QFETCH(Dates, dates);
        QFETCH(QList<qint64>, inputIds);
        QFETCH(QList<qint64>, expected);
        QList<Item> items;
        for (qsizetype i = 0; i < dates.size(); ++i)
            items.append(dated(inputIds[i], dates[i]));
        QCOMPARE(ids(::newestFirst(items, 1000)), expected);
    }

    void newestFirstKeepsEveryItemWhole()
    {
        QList<Item> items;
        for (int i = 0; i < 50; ++i)
            items.append(Item{i,
                              i % 3,
                              u"t%1"_s.arg(i),
                              {},
                              {},
                              (i * 37) % 11,
                              ArticleBody("b"),
                              i % 2 == 0,
                              false});
        const QList<Item> sorted = ::newestFirst(items, 5);
        QCOMPARE(sorted.size(), items.size());
        for (const Item& item : items)
            QCOMPARE(sorted.count(item), 1);
    }

    void excerpt_data()
    {
        QTest::addColumn<std::optional<QString>>("html");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, std::optional<QString> html, int max, QString expected) {
            QTest::newRow(name) << html << max << expected;
        };
        row("absent", std::nullopt, 160, QString());
        row("empty", u""_s, 160, QString());
        row("tags become spaces", u"<p>Hello <b>world</b></p>"_s, 160, u"Hello world"_s);
        row("inline elements run on",
            u"<p>measuring <A href=x>first</A>.</p><p>Then <em>a</em>"
            "<strong>b</strong><br>c</p>"_s,
            160, u"measuring first. Then ab c"_s);
        row("blocks stay apart",
            u"<h2>Contact</h2><ul><li>First<li>Second</li></ul><P>Write to us</P>"_s, 160,
            u"Contact \u00B7 First \u00B7 Second \u00B7 Write to us"_s);
        row("a longer name is no block", u"a<blockquotes>b<Blockquote>c"_s, 160, u"a b \u00B7 c"_s);
        row("a sentence's end parts blocks alone",
            u"<p>One.</p>\n<blockquote>Two?</blockquote> <div><p>\u201CThree\u201D</p></div>"_s,
            160, u"One. Two? \u201CThree\u201D"_s);
        row("quotations are marked", u"He said <q>no</q>, <Q cite=x>twice</Q>."_s, 160,
            u"He said \u201Cno\u201D, \u201Ctwice\u201D."_s);
        row("script any case with content", u"<SCRIPT type=x>var a = '<p>';</SCRIPT>Text"_s, 160,
            u"Text"_s);
        row("style across lines", u"<style>\np{}\n</style>Body"_s, 160, u"Body"_s);
        row("mismatched end tag keeps content", u"<script>a</style>b"_s, 160, u"a b"_s);
        row("lazy: two scripts", u"<script>1</script>keep<script>2</script>"_s, 160, u"keep"_s);
        row("entities after tags", u"&lt;b&gt;x"_s, 160, u"<b>x"_s);
        row("white space runs", u"a&nbsp;&nbsp;b\n\n c"_s, 160, u"a b c"_s);
        row("unicode spaces collapse", u"a\u2003\u00A0b\u2028c"_s, 160, u"a b c"_s);
        row("trim ends", u"  <br> text \t"_s, 160, u"text"_s);
        row("cut at space", u"one two three"_s, 9, u"one two…"_s);
        row("cut without space", u"abcdefghij"_s, 4, u"abcd…"_s);
        row("exact fit", u"one two"_s, 7, u"one two"_s);
        row("max zero", u"x"_s, 0, u"…"_s);
        row("skin tone emoji is one character", u"👍🏽👍🏽👍🏽"_s, 2,
            u"👍🏽👍🏽…"_s);
        row("flags are one character", u"🇸🇪🇳🇴"_s, 2, u"🇸🇪🇳🇴"_s);
        row("combining mark stays with its letter", u"e\u0301e\u0301e\u0301"_s, 1, u"e\u0301…"_s);
        // Excerpts know every HTML5 named reference; titles keep the five.
        row("named references", u"a&mdash;b&hellip; &rsquo;c&lsquo; &eacute;&Eacute;"_s, 160,
            u"a—b… ’c‘ éÉ"_s);
        row("two code points", u"&NotEqualTilde;"_s, 160, u"\u2242\u0338"_s);
        row("astral", u"&Afr;"_s, 160, u"\U0001D504"_s);
        row("first and last names", u"&AElig;&zwnj;"_s, 160, u"\u00C6\u200C"_s);
        row("names are case-sensitive", u"&MDASH; &Mdash;"_s, 160, u"&MDASH; &Mdash;"_s);
        row("escaped name stays", u"&amp;mdash;"_s, 160, u"&mdash;"_s);
        row("amp in another case", u"&AMP;lt;"_s, 160, u"&lt;"_s);
        row("unknown and unterminated", u"&nosuch; &mdash &hellip"_s, 160,
            u"&nosuch; &mdash &hellip"_s);
        row("nbsp is a plain space", u"a&nbsp;b"_s, 160, u"a b"_s);
        row("a name longer than any", u"&"_s + QString(40, u'a') + u";"_s, 160,
            u"&"_s + QString(40, u'a') + u";"_s);
    }

    void excerpt()
    {
        QFETCH(std::optional<QString>, html);
        QFETCH(int, max);
        QFETCH(QString, expected);
        QCOMPARE(::excerpt(html, max), expected);
        // The UTF-8 body form gives the same text.
        const std::optional<QByteArray> utf8 =
            html ? std::optional(html->toUtf8()) : std::optional<QByteArray>();
        QCOMPARE(::excerpt(utf8, max), expected);
    }

    void excerptHandlesHugeInlineImages()
    {
        const QString body = u"<p>Start <img src=\"data:image/png;base64,"_s +
                             QString(200000, u'A') + u"\"> end</p>"_s;
        QCOMPARE(::excerpt(std::optional(body), 160), u"Start end"_s);
    }

    void decodeEntities_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("numeric") << u"&#65;&#x42;&#x63;"_s << u"ABc"_s;
        QTest::newRow("upper-case X stays") << u"&#X41;"_s << u"&#X41;"_s;
        QTest::newRow("surrogate stays") << u"&#xD800;"_s << u"&#xD800;"_s;
        QTest::newRow("beyond Unicode stays") << u"&#1114112;"_s << u"&#1114112;"_s;
        QTest::newRow("beyond 32 bits stays") << u"&#99999999999;"_s << u"&#99999999999;"_s;
        QTest::newRow("hex beyond 32 bits stays") << u"&#x100000041;"_s << u"&#x100000041;"_s;
        QTest::newRow("zero is accepted") << u"a&#0;b"_s << u"a\u0000b"_s;
        QTest::newRow("astral") << u"&#x1F600;&#128512;"_s << u"😀😀"_s;
        QTest::newRow("escaped reference") << u"&amp;lt;"_s << u"&lt;"_s;
        QTest::newRow("escaped numeric") << u"&amp;#65;"_s << u"&#65;"_s;
        QTest::newRow("named") << u"&lt;b&gt;"_s << u"<b>"_s;
        QTest::newRow("mixed") << u"Fish &amp; Chips&nbsp;&#8212; more"_s
                               << u"Fish & Chips — more"_s;
        QTest::newRow("quotes") << u"&quot;x&apos;"_s << u"\"x'"_s;
        QTest::newRow("unsupported named")
            << u"&mdash;&hellip;&rsquo;&AMP;"_s << u"&mdash;&hellip;&rsquo;&AMP;"_s;
        QTest::newRow("case-sensitive") << u"&LT;&Nbsp;"_s << u"&LT;&Nbsp;"_s;
        QTest::newRow("built by named step") << u"&#&lt;65;"_s << u"&#<65;"_s;
        QTest::newRow("many in a row") << u"&#97;&#98;&#99;&#100;"_s << u"abcd"_s;
        QTest::newRow("no semicolon") << u"&#65 &#x42"_s << u"&#65 &#x42"_s;
    }

    void decodeEntities()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(::decodeEntities(text), expected);
    }

    void search_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QList<qint64>>("found");
        QTest::newRow("empty query: everything")
            << u"  "_s << QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("accents folded") << u"resume"_s << QList<qint64>{1};
        QTest::newRow("accents in the query too") << u"R\u00C9SUM\u00C9"_s << QList<qint64>{1};
        QTest::newRow("sharp s") << u"strasse"_s << QList<qint64>{2};
        QTest::newRow("words in any order") << u"chips fish"_s << QList<qint64>{3};
        QTest::newRow("every word must match") << u"fish tokyo"_s << QList<qint64>{};
        QTest::newRow("author") << u"ann lee"_s << QList<qint64>{1};
        QTest::newRow("feed title") << u"planet"_s << QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("text after a script in capitals") << u"visible"_s << QList<qint64>{7};
        QTest::newRow("script contents are not text") << u"hidden"_s << QList<qint64>{};
        QTest::newRow("a script left open at the end") << u"tail"_s << QList<qint64>{8};
        QTest::newRow("part of a word") << u"chip"_s << QList<qint64>{3};
        QTest::newRow("CJK") << u"\u6771\u4EAC"_s << QList<qint64>{4};
        QTest::newRow("Arabic") << u"\u0645\u0631\u062D\u0628\u0627"_s << QList<qint64>{5};
        QTest::newRow("markup is not text") << u"class"_s << QList<qint64>{};
        QTest::newRow("entities are decoded") << u"&"_s << QList<qint64>{3};
        QTest::newRow("entity names are not text") << u"amp"_s << QList<qint64>{};
        QTest::newRow("text past the searched start") << u"needle"_s << QList<qint64>{};
    }

    void search()
    {
        QFETCH(QString, query);
        QFETCH(QList<qint64>, found);
        const auto item = [](qint64 id, const QString& title, const QByteArray& body) {
            return Item{id,
                        1,
                        title,
                        {},
                        id == 1 ? std::optional(u"Ann Lee"_s) : std::nullopt,
                        {},
                        ArticleBody(body),
                        true,
                        false};
        };
        const QList<Item> items{
            item(1, u"R\u00E9sum\u00E9 of the week"_s, "<p>Notes</p>"),
            item(2, u"Stra\u00DFe closed"_s, "<p>Roadworks</p>"),
            item(3, u"Dinner"_s, "<p class=\"menu\">Fish &amp; chips</p>"),
            item(4, u"\u6771\u4EAC\u306E\u5929\u6C17"_s, "<p>\xE6\x99\xB4\xE3\x82\x8C</p>"),
            item(5, u"\u0645\u0631\u062D\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645"_s,
                 ""),
            item(6, u"Long"_s,
                 "<p>" + QByteArray(Search::bodyCharacters + 10, 'x') + " needle</p>"),
            item(7, u"Caps"_s, "<SCRIPT>hidden()</SCRIPT><p>visible words</p>"),
            item(8, u"Open"_s, "<p>tail words</p><script>x<"),
        };
        const QList<QByteArray> words = Search::words(query);
        QList<qint64> matched;
        for (const Item& one : items)
            if (Search::matches(Search::textOf(one, u"Planet"_s), words)) matched << one.id;
        QCOMPARE(matched, found);
    }

    void searchHighlights_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("query");
        QTest::addColumn<Ranges>("ranges");
        QTest::newRow("accents") << u"Le R\u00E9sum\u00E9"_s << u"resume"_s << Ranges{{3, 6}};
        QTest::newRow("sharp s") << u"Die Stra\u00DFe"_s << u"strasse"_s << Ranges{{4, 6}};
        QTest::newRow("two words, overlapping")
            << u"Fish and chips"_s << u"and chips ip"_s << Ranges{{5, 3}, {9, 5}};
        QTest::newRow("every occurrence") << u"a b a"_s << u"A"_s << Ranges{{0, 1}, {4, 1}};
        QTest::newRow("no search") << u"Text"_s << u""_s << Ranges{};
        QTest::newRow("emoji before") << u"\U0001F600 Caf\u00E9"_s << u"cafe"_s << Ranges{{3, 4}};
    }

    void searchHighlights()
    {
        QFETCH(QString, shown);
        QFETCH(QString, query);
        QFETCH(Ranges, ranges);
        QCOMPARE(Search::highlights(shown, Search::words(query)), ranges);
    }

    // The feeds a web site names in its head, for subscribing by the site's address.
    void feedsNamedByAPage_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QStringList>("found"); // "title|address"
        const QByteArray rss = R"(<link rel="alternate" type="application/rss+xml" )";
        QTest::newRow("relative, absolute and atom")
            << QByteArray(rss + R"(title="Posts" href="/feed.xml">)"
                                R"(<LINK REL=alternate TYPE="application/atom+xml" )"
                                R"(HREF='https://other.example/atom' title='A &amp; B'/>)")
            << QStringList{u"Posts|https://site.example/feed.xml|RSS"_s,
                           u"A & B|https://other.example/atom|Atom"_s};
        QTest::newRow("relative to the page's folder")
            << QByteArray(rss + "href=comments.rss>")
            << QStringList{u"|https://site.example/dir/comments.rss|RSS"_s};
        QTest::newRow("rel with more words, rel and type in capitals")
            << QByteArray(R"(<link href="/f" rel="feed Alternate" type="Application/RSS+XML">)")
            << QStringList{u"|https://site.example/f|RSS"_s};
        QTest::newRow("other alternates and stylesheets")
            << QByteArray(R"(<link rel="alternate" hreflang="de" href="/de/">)"
                          R"(<link rel="stylesheet" type="application/rss+xml" href="/x">)"
                          R"(<linked rel="alternate" type="application/rss+xml" href="/y">)")
            << QStringList();
        // moc takes a raw string's "//" for a comment when the raw string starts a line.
        // clang-format off
        QTest::newRow("only web addresses, each once")
            << QByteArray(rss + R"x(href="javascript:alert(1)">)x" + rss + R"(href="file:///etc">)" +
                          rss + R"(href="/a">)" + rss + R"(href="https://site.example/a">)" + rss +
                          R"(href="">)")
            << QStringList{u"|https://site.example/a|RSS"_s};
        // clang-format on
        QTest::newRow("a tag left open") << QByteArray(rss + R"(href="/a)") << QStringList();
        QByteArray many;
        for (int n = 0; n < 30; ++n)
            many += rss + "href=\"/f" + QByteArray::number(n) + "\">";
        QTest::newRow("at most twenty") << many << QStringList();
        QTest::newRow("past the first megabyte")
            << QByteArray(QByteArray(discoveryReadLimit, ' ') + rss + "href=/late>")
            << QStringList();
    }

    void feedsNamedByAPage()
    {
        QFETCH(QByteArray, html);
        QFETCH(QStringList, found);
        const QList<FoundFeed> feeds =
            alternateFeeds(html, QUrl(u"https://site.example/dir/page.html"_s));
        if (QByteArray(QTest::currentDataTag()) == "at most twenty") {
            QCOMPARE(feeds.size(), 20);
            QCOMPARE(feeds.last().url, QUrl(u"https://site.example/f19"_s));
            return;
        }
        QStringList read;
        for (const FoundFeed& feed : feeds)
            read << feed.title + u'|' + feed.url.toString() + u'|' + feed.kind;
        QCOMPARE(read, found);
    }

    // What is read at a typed address decides whether it is a feed or a page to look in.
    void feedsAreToldFromPages_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("feed");
        QTest::newRow("RSS") << "<?xml version=\"1.0\"?>\n<rss version=\"2.0\">"_ba << true;
        QTest::newRow("Atom after a mark, a comment and a stylesheet")
            << "\xEF\xBB\xBF<?xml version=\"1.0\"?><!-- a > b --><?xml-stylesheet href=\"s\"?>"
               "\r\n<feed xmlns=\"http://www.w3.org/2005/Atom\">"_ba
            << true;
        QTest::newRow("RSS 1.0") << "<rdf:RDF xmlns:rdf=\"x\"><channel/>"_ba << true;
        QTest::newRow("a page") << "<!DOCTYPE html><html><head><link rel=alternate>"_ba << false;
        QTest::newRow("a longer name") << "<rssfeed>"_ba << false;
        QTest::newRow("a comment left open") << "<!-- <rss>"_ba << false;
        QTest::newRow("text") << "rss"_ba << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }

    void feedsAreToldFromPages()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, feed);
        QCOMPARE(looksLikeFeed(body), feed);
    }

    // Feed addresses as the server and a user take for the same.
    void feedAddressesCompareAsTheServerWould()
    {
        const QString same = comparableFeedAddress(QUrl(u"https://example.org/Feed.xml?a=B"_s));
        QCOMPARE(comparableFeedAddress(QUrl(u"HTTPS://Example.ORG:443/Feed.xml?a=B"_s)), same);
        QVERIFY(comparableFeedAddress(QUrl(u"https://example.org/feed.xml?a=B"_s)) != same);
        QVERIFY(comparableFeedAddress(QUrl(u"http://example.org/Feed.xml?a=B"_s)) != same);
        QCOMPARE(comparableFeedAddress(QUrl(u"http://example.org:80/f"_s)),
                 comparableFeedAddress(QUrl(u"http://example.org/f"_s)));
        QVERIFY(comparableFeedAddress(QUrl(u"http://example.org:8080/f"_s)) !=
                comparableFeedAddress(QUrl(u"http://example.org/f"_s)));
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
