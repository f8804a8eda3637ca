#include "LumbraCore/Text.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

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
        QTest::newRow("future ties keep input order")
            << Dates{2000, 2000} << QList<qint64>{1, 7} << QList<qint64>{1, 7};
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
            items.append(
                Item{i, i % 3, u"t%1"_s.arg(i), {}, {}, (i * 37) % 11, "b"_ba, i % 2 == 0, false});
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
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
