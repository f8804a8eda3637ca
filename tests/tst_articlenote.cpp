#include "LumbraCore/ArticleNote.h"
#include "LumbraCore/Highlights.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/NoteNames.h"
#include "NoteReader.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Quote quote42()
{
    Quote q;
    q.itemId = 42;
    q.feedId = 7;
    q.title = u"A [draft] plan"_s;
    q.url = u"https://example.org/ab"_s;
    q.author = u"Ann Lee"_s;
    q.feedTitle = u"Blog"_s;
    q.text = u"First line\n\nThird line  "_s;
    // 2026-12-05 12:00 UTC
    q.savedAt = 1796472000;
    return q;
}

const QTimeZone utc = QTimeZone::utc();

} // namespace

using OptionalString = std::optional<QString>;

class ArticleNoteTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void domainOf_data()
    {
        QTest::addColumn<OptionalString>("url");
        QTest::addColumn<OptionalString>("expected");
        QTest::newRow("absent") << OptionalString() << OptionalString();
        QTest::newRow("trimmed, lower-cased, no www")
            << OptionalString(u"  https://WWW.Example.org/x  "_s)
            << OptionalString(u"example.org"_s);
        QTest::newRow("no dot") << OptionalString(u"https://localhost:8080/"_s) << OptionalString();
        QTest::newRow("no scheme, no host")
            << OptionalString(u"www.example.org"_s) << OptionalString();
        QTest::newRow("www.com") << OptionalString(u"https://www.com/"_s) << OptionalString();
        QTest::newRow("subdomain kept") << OptionalString(u"http://blog.www.example.org"_s)
                                        << OptionalString(u"blog.www.example.org"_s);
        QTest::newRow("not a url")
            << OptionalString(u"https://exa mple.org/"_s) << OptionalString();
        QTest::newRow("line break is not trimmed")
            << OptionalString(u"https://e.org/\n"_s) << OptionalString();
    }

    void domainOf()
    {
        QFETCH(OptionalString, url);
        QFETCH(OptionalString, expected);
        QCOMPARE(::domainOf(url), expected);
    }

    void safeNoteName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("separators") << u"a/b: c?"_s << u"a b c"_s;
        QTest::newRow("wiki link") << u"[[Note]]"_s << u"Note"_s;
        QTest::newRow("blank") << u"  "_s << QString();
        QTest::newRow("only forbidden") << u"\\/:*?\"<>|#^[]"_s << QString();
        QTest::newRow("hash and caret") << u"C# ^2"_s << u"C 2"_s;
        QTest::newRow("dots and dashes stay") << u"v1.2 - final"_s << u"v1.2 - final"_s;
        QTest::newRow("line breaks") << u"a\r\n\tb"_s << u"a b"_s;
        QTest::newRow("dot-dot is only a name") << u"../../etc"_s << u".. .. etc"_s;
        QTest::newRow("cut leaves no trailing space")
            << QString(u"x"_s.repeated(119) + u" yyyy"_s) << u"x"_s.repeated(119);
        QTest::newRow("120 emoji kept whole")
            << u"👍🏽"_s.repeated(130) << u"👍🏽"_s.repeated(120);
    }

    void safeNoteName()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(::safeNoteName(text), expected);
    }

    void tavoLink_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<OptionalString>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare") << qint64(42) << OptionalString() << u"tavo://lumbra/item/42"_s;
        QTest::newRow("with url") << qint64(42) << OptionalString(u"https://example.org/ab"_s)
                                  << u"tavo://lumbra/item/42?u=aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg"_s;
        QTest::newRow("url-safe alphabet")
            << qint64(42) << OptionalString(u"https://example.org/??"_s)
            << u"tavo://lumbra/item/42?u=aHR0cHM6Ly9leGFtcGxlLm9yZy8_Pw"_s;
        QTest::newRow("negative") << qint64(-5) << OptionalString() << u"tavo://lumbra/item/-5"_s;
    }

    void tavoLink()
    {
        QFETCH(qint64, id);
        QFETCH(OptionalString, url);
        QFETCH(QString, expected);
        QCOMPARE(::tavoLink(id, url), expected);
    }

    void parseLink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("id");
        QTest::addColumn<OptionalString>("url");
        auto row = [](const char* name, QString link, bool valid, qint64 id, OptionalString url) {
            QTest::newRow(name) << link << valid << id << url;
        };
        row("plain", u"tavo://lumbra/item/42"_s, true, 42, {});
        row("trailing slash", u"tavo://lumbra/item/42/"_s, true, 42, {});
        row("no id", u"tavo://lumbra/item/"_s, false, 0, {});
        row("no item segment", u"tavo://lumbra/item"_s, false, 0, {});
        row("items", u"tavo://lumbra/items/42"_s, false, 0, {});
        row("other host", u"tavo://other/item/42"_s, false, 0, {});
        row("other scheme", u"https://lumbra/item/42"_s, false, 0, {});
        row("short form", u"lumbra://item/42"_s, true, 42, {});
        row("short form, two ids", u"lumbra://item/12/34"_s, false, 0, {});
        row("negative", u"tavo://lumbra/item/-5"_s, true, -5, {});
        row("plus sign", u"tavo://lumbra/item/+5"_s, true, 5, {});
        row("overflow", u"tavo://lumbra/item/9223372036854775808"_s, false, 0, {});
        row("max", u"tavo://lumbra/item/9223372036854775807"_s, true,
            std::numeric_limits<qint64>::max(), {});
        row("letters", u"tavo://lumbra/item/4a"_s, false, 0, {});
        row("blank inside", u"tavo://lumbra/item/%204"_s, false, 0, {});
        row("with url", u"tavo://lumbra/item/42?u=aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg"_s, true, 42,
            u"https://example.org/ab"_s);
        row("javascript url dropped",
            u"tavo://lumbra/item/42?u="_s +
                QString::fromLatin1(
                    QByteArray("javascript:alert(1)")
                        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)),
            true, 42, {});
        row("file url dropped", u"tavo://lumbra/item/42?u=ZmlsZTovLy9ldGM"_s, true, 42, {});
        row("not base64", u"tavo://lumbra/item/42?u=%25%25%25"_s, true, 42, {});
        row("impossible length", u"tavo://lumbra/item/42?u=aHR0c"_s, true, 42, {});
        row("empty u", u"tavo://lumbra/item/42?u="_s, true, 42, {});
        row("first u counts",
            u"tavo://lumbra/item/42?u=ZmlsZTovLy9ldGM&u=aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg"_s, true, 42,
            {});
        row("other key ignored", u"tavo://lumbra/item/42?x=aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg"_s, true,
            42, {});
        row("invalid utf-8", u"tavo://lumbra/item/42?u=_w"_s, true, 42, {});
    }

    void parseLink()
    {
        QFETCH(QString, link);
        QFETCH(bool, valid);
        QFETCH(qint64, id);
        QFETCH(OptionalString, url);
        const auto parsed = LumbraLink::parse(QUrl(link));
        QCOMPARE(parsed.has_value(), valid);
        if (!valid) return;
        QCOMPARE(parsed->itemId(), id);
        QCOMPARE(parsed->url().has_value(), url.has_value());
        if (url) QCOMPARE(parsed->url()->toString(), *url);
    }

    void linkRoundTrip_data()
    {
        QTest::addColumn<QString>("url");
        for (const char* url :
             {"https://example.org/ab", "http://example.org/", "https://e.org/??",
              "https://e.org/a?b=c&d=e#frag", "https://user:pw@host.example:8443/p",
              "https://e.org/%C3%A5%20x", "https://[::1]:80/x", "HTTPS://Example.ORG/Path",
              "https://e.org/a+b/c~d_e-f.g", "https://xn--bcher-kva.example/"})
            QTest::newRow(url) << QString::fromUtf8(url);
        QTest::newRow("non-ascii path") << u"https://e.org/Åsa/日本"_s;
    }

    void linkRoundTrip()
    {
        QFETCH(QString, url);
        for (qint64 id : {qint64(0), qint64(42), qint64(-7), std::numeric_limits<qint64>::max()}) {
            const auto parsed = LumbraLink::parse(QUrl(::tavoLink(id, url)));
            QVERIFY(parsed);
            QCOMPARE(parsed->itemId(), id);
            QVERIFY(parsed->url());
            QCOMPARE(*parsed->url(), QUrl(url, QUrl::StrictMode));
        }
    }

    void author_data()
    {
        QTest::addColumn<OptionalString>("author");
        QTest::addColumn<QString>("feedTitle");
        QTest::addColumn<OptionalString>("siteLink");
        QTest::addColumn<OptionalString>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("author") << OptionalString(u"Ann: Lee"_s) << u"Blog"_s << OptionalString()
                                << OptionalString() << u"Ann Lee"_s;
        QTest::newRow("blank author, feed title")
            << OptionalString(u"  "_s) << u"Blog"_s << OptionalString() << OptionalString()
            << u"Blog"_s;
        QTest::newRow("domain of url")
            << OptionalString() << u""_s << OptionalString()
            << OptionalString(u"https://www.example.org/x"_s) << u"example.org"_s;
        QTest::newRow("site link before url")
            << OptionalString() << u" "_s << OptionalString(u"https://site.example/"_s)
            << OptionalString(u"https://www.example.org/x"_s) << u"site.example"_s;
        QTest::newRow("nothing") << OptionalString() << u""_s << OptionalString()
                                 << OptionalString() << QString();
        // The author note must be one Obsidian lists, as the article note is.
        QTest::newRow("feed title with a leading dot")
            << OptionalString() << u".NET news/updates — daily"_s << OptionalString()
            << OptionalString() << u"NET news updates — daily"_s;
        QTest::newRow("author of dots") << OptionalString(u". . .Ann"_s) << u"Blog"_s
                                        << OptionalString() << OptionalString() << u"Ann"_s;
    }

    void author()
    {
        QFETCH(OptionalString, author);
        QFETCH(QString, feedTitle);
        QFETCH(OptionalString, siteLink);
        QFETCH(OptionalString, url);
        QFETCH(QString, expected);
        Quote q = quote42();
        q.author = author;
        q.feedTitle = feedTitle;
        q.siteLink = siteLink;
        q.url = url;
        QCOMPARE(ArticleNote::author(q), expected);
    }

    void path_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<OptionalString>("url");
        QTest::addColumn<int>("taken"); // how many of the names tried are another's
        QTest::addColumn<QString>("expected");
        const OptionalString site(u"https://www.site.example/a"_s);
        QTest::newRow("free") << u"Title"_s << site << 0 << u"lumbra/Title.md"_s;
        QTest::newRow("taken, with domain")
            << u"Title"_s << site << 1 << u"lumbra/Title (site.example).md"_s;
        QTest::newRow("domain taken too") << u"Title"_s << site << 2 << u"lumbra/Title (42).md"_s;
        QTest::newRow("id taken too") << u"Title"_s << site << 3 << u"lumbra/Title (42 2).md"_s;
        QTest::newRow("every name taken")
            << u"Title"_s << site << 99 << u"lumbra/Title (42 20).md"_s;
        QTest::newRow("taken, without url")
            << u"Title"_s << OptionalString() << 1 << u"lumbra/Title (42).md"_s;
        QTest::newRow("taken, blank url")
            << u"Title"_s << OptionalString(u" "_s) << 1 << u"lumbra/Title (42).md"_s;
        QTest::newRow("empty safe name")
            << u"?"_s << OptionalString() << 0 << u"lumbra/Article 42.md"_s;
        QTest::newRow("path characters")
            << u"../../x/y"_s << OptionalString() << 0 << u"lumbra/x y.md"_s;
        QTest::newRow("no hidden note")
            << u".NET 8 released"_s << OptionalString() << 0 << u"lumbra/NET 8 released.md"_s;
        QTest::newRow("only dots")
            << u"..."_s << OptionalString() << 0 << u"lumbra/Article 42.md"_s;
    }

    void path()
    {
        QFETCH(QString, title);
        QFETCH(OptionalString, url);
        QFETCH(int, taken);
        QFETCH(QString, expected);
        Quote q = quote42();
        q.title = title;
        q.url = url;
        QStringList asked;
        const QString result = ArticleNote::path(q, [&](const QString& candidate) {
            asked << candidate;
            return asked.size() <= taken;
        });
        QCOMPARE(result, expected);
        // Asked until a name is free, or about twenty names when none is.
        QVERIFY(asked.size() == taken + 1 || (taken > asked.size() && asked.size() >= 20));
        QCOMPARE(asked.removeDuplicates(), 0); // each name asked about once
    }

    void isFor_data()
    {
        QTest::addColumn<QString>("url"); // the quoted article's; empty: none
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("owned");
        QTest::addColumn<bool>("lumbras"); // and Lumbra's own note of it
        const QString ab = u"https://example.org/ab"_s;
        QTest::newRow("url line") << ab << qint64(42) << u"url: https://example.org/ab\n"_s << true
                                  << false;
        QTest::newRow("url at the end")
            << ab << qint64(42) << u"url: https://example.org/ab"_s << true << false;
        QTest::newRow("markdown link")
            << ab << qint64(42) << u"[T](https://example.org/ab)\n"_s << true << false;
        QTest::newRow("case counts")
            << ab << qint64(42) << u"url: https://example.org/AB\n"_s << false << false;
        QTest::newRow("longer address")
            << u"https://a.example/post"_s << qint64(1)
            << u"url: https://a.example/post-2\n[x](https://a.example/post-2)"_s << false << false;
        QTest::newRow("address with a query")
            << u"https://a.example/post"_s << qint64(1) << u"url: https://a.example/post?p=2\n"_s
            << false << false;
        QTest::newRow("longer first, then own")
            << u"https://a.example/post"_s << qint64(1)
            << u"see https://a.example/post-2 and url: https://a.example/post\n"_s << true << false;
        // Lumbra's own notes: its front matter and title line at the top, then its blocks.
        const QString top = u"---\nsite: \"https://example.org/\"\nurl: https://example.org/ab\n"
                            u"datum: 2026-12-05\n---\n[A plan](https://example.org/ab)\n\n"_s;
        QTest::newRow("Lumbra's note")
            << ab << qint64(42) << top + u"> q\n> [↗](x) ^lumbra-42-1"_s << true << true;
        QTest::newRow("Lumbra's note, with properties Obsidian added")
            << ab << qint64(42)
            << u"\uFEFF---\r\ntags: [read]\r\n"_s + top.mid(4) + u"> [↗](x) ^lumbra-42-1"_s << true
            << true;
        QTest::newRow("Lumbra's note without an address")
            << QString() << qint64(42)
            << u"---\ndatum: 2026-12-05\n---\nA \\[draft] plan\n\n> [↗](tavo://lumbra/item/42) "
               u"^lumbra-42-1"_s
            << true << true;
        QTest::newRow("another title, without an address")
            << QString() << qint64(42)
            << u"---\ndatum: 2026-12-05\n---\nMy day\n\n> [↗](tavo://lumbra/item/42) ^lumbra-42-1"_s
            << true << false;
        // A quote pasted from Lumbra's note into a note of the user's own.
        QTest::newRow("a daily note with a pasted quote")
            << ab << qint64(42)
            << u"---\ndate: 2026-12-09\n---\n# Today\n> q\n> [↗](tavo://lumbra/item/42?u="
               u"aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg) ^lumbra-42-1\n"_s
            << true << false;
        QTest::newRow("own link") << QString() << qint64(42)
                                  << u"> [↗](tavo://lumbra/item/42) ^lumbra-42-1"_s << true
                                  << false;
        QTest::newRow("item 4 in item 42's note")
            << QString() << qint64(4) << u"> [↗](tavo://lumbra/item/42) ^lumbra-42-1"_s << false
            << false;
        QTest::newRow("item 42 in item 4's note")
            << QString() << qint64(42) << u"tavo://lumbra/item/4 "_s << false << false;
        QTest::newRow("own link with address")
            << QString() << qint64(4) << u"(tavo://lumbra/item/4?u=aHR0cA)"_s << true << false;
        QTest::newRow("own block of another address")
            << ab << qint64(42) << u"url: https://b.example/\n> [↗](x) ^lumbra-42-1"_s << false
            << false;
        QTest::newRow("address and a block of item 4")
            << ab << qint64(42) << u"url: https://example.org/ab\n> [↗](x) ^lumbra-4-1"_s << true
            << false;
        QTest::newRow("address and own block, no front matter")
            << ab << qint64(42) << u"url: https://example.org/ab\n> [↗](x) ^lumbra-42-2"_s << true
            << false;
        QTest::newRow("blank address is none")
            << u" "_s << qint64(42)
            << u"---\nurl:  \ndatum: 2026-12-05\n---\nA \\[draft] plan\n> [↗](tavo://lumbra/"
               u"item/42) ^lumbra-42-1"_s
            << true << true;
        QTest::newRow("blank address, a template")
            << u" "_s << qint64(42) << u"url:  \n"_s << false << false;
    }

    void isFor()
    {
        QFETCH(QString, url);
        QFETCH(qint64, id);
        QFETCH(QString, note);
        QFETCH(bool, owned);
        QFETCH(bool, lumbras);
        Quote q = quote42();
        q.itemId = id;
        q.url = url.isEmpty() ? std::nullopt : std::optional(url);
        QCOMPARE(ArticleNote::isFor(note, q), owned);
        QCOMPARE(ArticleNote::isLumbraNoteFor(note, q), lumbras);
    }

    void ownersNameWhatFindsTheNoteAgain_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QList<qint64>>("itemIds");
        Quote q = quote42();
        QTest::newRow("a note Lumbra wrote")
            << ArticleNote::append(QString(), q, utc) << QStringList{*q.url} << QList<qint64>{42};
        q.url.reset();
        q.itemId = -7;
        QTest::newRow("no address, negative id")
            << ArticleNote::append(QString(), q, utc) << QStringList() << QList<qint64>{-7};
        QTest::newRow("two articles, line ends of another system")
            << u"url: https://a.example/x\r\n> [↗](tavo://lumbra/item/1?u=x) ^lumbra-1-1\r\n"
               "> [↗](tavo://lumbra/item/2) ^lumbra-2-3\r\n> x ^lumbra-1-2"_s
            << QStringList{u"https://a.example/x"_s} << QList<qint64>{1, 2};
        // A clipping, a daily note with a pasted back link, a template: no note of Lumbra's.
        QTest::newRow("a user's note with an address and a back link")
            << u"url: https://a.example/x\n- [ ] call mum [↗](tavo://lumbra/item/42?u=x)"_s
            << QStringList() << QList<qint64>();
        QTest::newRow("blank address")
            << u"url: \n> q ^lumbra-3-1"_s << QStringList() << QList<qint64>{3};
        QTest::newRow("ids that are not numbers")
            << u"a ^lumbra-x-1 b ^lumbra-99999999999999999999-1 c ^lumbra-5- d ^lumbra-6"_s
            << QStringList() << QList<qint64>();
        QTest::newRow("url not at a line start")
            << u"see url: https://a.example/\n> q ^lumbra-3-1"_s << QStringList()
            << QList<qint64>{3};
    }

    void ownersNameWhatFindsTheNoteAgain()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, urls);
        QFETCH(QList<qint64>, itemIds);
        const ArticleNote::Owners owners = ArticleNote::owners(text);
        QCOMPARE(owners.urls, urls);
        QCOMPARE(owners.itemIds, itemIds);
    }

    // Read back by a real YAML and a real CommonMark parser, as Obsidian users' tools read
    // it: the front matter holds exactly what the feed sent, the title line links only to
    // the article, and each quote is one block quote of literal text ending in its back link.
    void notesReadBackAsWritten_data()
    {
        QTest::addColumn<QString>("field"); // title, url, site, author or text
        QTest::addColumn<QString>("value");
        const QString injected = u"\n---\n```dataviewjs\nalert(1)\n```\n"_s;
        for (const char* field : {"title", "url", "site", "author", "text"}) {
            QTest::addRow("%s, line feeds", field)
                << QString::fromLatin1(field) << u"A"_s + injected;
            QTest::addRow("%s, carriage returns", field)
                << QString::fromLatin1(field) << u"A\r# Heading\r```dataviewjs\rx"_s;
            QTest::addRow("%s, line separators", field)
                << QString::fromLatin1(field) << u"A\u2028---\u2029```dataviewjs\u0085x"_s;
            QTest::addRow("%s, other controls", field)
                << QString::fromLatin1(field) << u"A\v---\f```\u001Bx"_s;
            QTest::addRow("%s, inline syntax", field)
                << QString::fromLatin1(field)
                << u"a `code` <img src=\"http://attacker/beacon\"> &lt;b&gt; ![[embed]] "
                   "[[Private diary]] [l](http://x) %%c%% %%%d%%% #tag [!note] x ^blockid \\"_s;
        }
        const auto row = [](const char* name, const char* field, const QString& value) {
            QTest::newRow(name) << QString::fromLatin1(field) << value;
        };
        row("url, a fragment", "url", u"https://a.example/p #frag"_s);
        row("url, a colon and space", "url", u"https://a.example/a: b"_s);
        row("url, an alias", "url", u"*alias"_s);
        row("url, an open quote", "url", u"\"https://a.example/"_s);
        row("url, a directive", "url", u"%TAG ! x"_s);
        row("url, a flow list", "url", u"[https://a.example/x, y]"_s);
        row("url, a closing link", "url", u"https://a.example/) [[Injected note]] (x"_s);
        row("url, a backslash and brackets", "url", u"https://a.example/<a>\\b"_s);
        row("site, a comment and a map", "site", u"https://s.example/ #c: {x"_s);
        row("site, blanks around", "site", u" raw site "_s);
        row("author, quotes and a backslash", "author", u"A \"quoted\" \\ name"_s);
        row("title, raw html", "title", u"<iframe src=\"http://x\"></iframe> & co"_s);
        row("title, a trailing backslash", "title", u"Ends with \\"_s);
        row("text, block syntax at line starts", "text",
            u"> nested\n- item\n+ item\n* item\n1. first\n2) second\n# heading\n***\n~~~\n"
            "| a | b |\n|---|---|\nsetext\n===\n:::"_s);
        row("text, a hidden fence", "text",
            u"A sentence worth keeping.\n```dataviewjs\napp.vault.adapter.write('pwned.md', "
            "'written by a feed')\n```\n<img src=\"http://attacker/beacon\">\n[[Private diary]]\n"
            "And the rest of it."_s);
    }

    void notesReadBackAsWritten()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        Quote q = quote42();
        q.text = u"kept\nlines"_s;
        if (field == u"title"_s) q.title = value;
        if (field == u"url"_s) q.url = value;
        if (field == u"site"_s) q.siteLink = value;
        if (field == u"author"_s) q.author = value;
        if (field == u"text"_s) q.text = value;
        // What a reader of the note sees of a value: control characters shown as spaces.
        const auto shown = [](QString text) {
            for (QChar& c : text)
                if (c.category() == QChar::Other_Control || c == QChar(0x2028) ||
                    c == QChar(0x2029))
                    c = u' ';
            return text;
        };
        const QString text = ArticleNote::append(ArticleNote::append(QString(), q, utc), q, utc);
        const ReadNote note = readNote(text);
        QVERIFY2(note.frontMatter && note.fields.IsMap(), qPrintable(text));
        QCOMPARE(QString::fromStdString(note.fields["url"].as<std::string>()), shown(*q.url));
        if (q.siteLink)
            QCOMPARE(QString::fromStdString(note.fields["site"].as<std::string>()),
                     shown(*q.siteLink));
        QCOMPARE(QString::fromStdString(note.fields["auteur"][0].as<std::string>()),
                 u"[["_s + ArticleNote::author(q) + u"]]"_s);
        QCOMPARE(note.titleLinks.size(), 1);
        QCOMPARE(note.titleLinks[0].trimmed(), shown(*q.url).trimmed());
        QCOMPARE(note.title, shown(q.title).replace(u']', u')'));
        QVERIFY2(note.structure.isEmpty(),
                 qPrintable(note.structure.join(u", "_s) + u"\n"_s + text));

        // Every line break is a line of the quote, and every line reads as it was selected.
        static const QRegularExpression lineBreak(u"\r\n|[\n\r\u2028\u2029\u0085]"_s);
        QStringList lines;
        for (const QString& line : q.text.split(lineBreak))
            lines << line.trimmed();
        QCOMPARE(note.quotes.size(), 2);
        for (int n = 1; n <= 2; ++n) {
            QStringList read = note.quotes[n - 1];
            QCOMPARE(read.takeLast(), u" ^lumbra-42-%1"_s.arg(n));
            for (QString& line : read)
                line = line.trimmed();
            QCOMPARE(read, lines);
            QCOMPARE(note.backLinks[n - 1], ::tavoLink(42, ArticleNote::address(q)));
        }
        QVERIFY(ArticleNote::isLumbraNoteFor(text, q)); // and the article still finds its note
        // The marks look for what a reader of the note reads in its quotes.
        QStringList marked = Highlights::quotes(text);
        for (QString& quote : marked)
            quote = quote.simplified();
        QCOMPARE(marked, QStringList(2, lines.join(u' ').simplified()));
        // The user's own block quotes are none of them; a note with CRLF reads the same.
        QCOMPARE(Highlights::quotes(QString(text + u"\n> My own thought.\n"_s)).size(), 2);
        QCOMPARE(Highlights::quotes(QString(text).replace(u"\n"_s, u"\r\n"_s)),
                 Highlights::quotes(text));
    }

    void appendBuildsTheWorkedExample()
    {
        const QString expected =
            u"---\n"
            u"auteur:\n"
            u"  - \"[[Ann Lee]]\"\n"
            u"site: https://example.org/\n"
            u"url: https://example.org/ab\n"
            u"datum: 2026-12-05\n"
            u"---\n"
            u"[A \\[draft) plan](https://example.org/ab)\n"
            u"\n"
            u"> First line\n"
            u">\n"
            u"> Third line\n"
            u"> [\u2197](tavo://lumbra/item/42?u=aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg) "
            u"^lumbra-42-1\n"_s;
        const QString note = ArticleNote::append(QString(), quote42(), utc);
        QCOMPARE(note.toUtf8(), expected.toUtf8());
        QCOMPARE(ArticleNote::append(u"\n \n"_s, quote42(), utc), note); // blank: a new note
        // The same in any language the app speaks: no other digits, names or dates.
        for (const char* language : {"ar_EG", "de_DE", "fa_IR"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(language)));
            QCOMPARE(ArticleNote::append(QString(), quote42(), utc), note);
            QCOMPARE(ArticleNote::path(quote42(), [](const QString&) { return false; }),
                     u"lumbra/A draft plan.md"_s);
        }
        QLocale::setDefault(QLocale::c());

        Quote second = quote42();
        second.text = u"More"_s;
        const QString next = ArticleNote::append(note, second, utc);
        QCOMPARE(next, note + u"\n> More\n> [\u2197](tavo://lumbra/item/42?u="
                              u"aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg) ^lumbra-42-2\n"_s);
    }

    // The note's text stays as it was; the block number counts this article's blocks only.
    void appendKeepsTheNote_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("block");
        const QString two = u"x ^lumbra-42-1\ny ^lumbra-42-2"_s;
        QTest::newRow("two earlier") << two << two << 3;
        QTest::newRow("other item") << u"x ^lumbra-421-1"_s << u"x ^lumbra-421-1"_s << 1;
        QTest::newRow("at the very start") << u"^lumbra-42-1 x"_s << u"^lumbra-42-1 x"_s << 1;
        QTest::newRow("no digits") << u"x ^lumbra-42-"_s << u"x ^lumbra-42-"_s << 1;
        QTest::newRow("trailing blank lines") << u"abc\n\n\n"_s << u"abc"_s << 1;
        QTest::newRow("trailing unicode space") << u"abc\u2029\u00A0\r\n"_s << u"abc"_s << 1;
        QTest::newRow("leading white space kept") << u"\n  abc"_s << u"\n  abc"_s << 1;
    }

    void appendKeepsTheNote()
    {
        QFETCH(QString, existing);
        QFETCH(QString, kept);
        QFETCH(int, block);
        Quote q = quote42();
        q.text = u"Q"_s;
        QCOMPARE(ArticleNote::append(existing, q, utc),
                 kept + u"\n\n> Q\n> [\u2197](tavo://lumbra/item/42?u="
                        u"aHR0cHM6Ly9leGFtcGxlLm9yZy9hYg) ^lumbra-42-%1\n"_s.arg(block));
    }

    void frontMatterWithoutAnything()
    {
        Quote q = quote42();
        q.url.reset();
        q.author.reset();
        q.feedTitle.clear();
        q.siteLink.reset();
        q.text = u"t"_s;
        QCOMPARE(ArticleNote::append(QString(), q, utc),
                 u"---\ndatum: 2026-12-05\n---\nA \\[draft] plan\n\n> t\n"
                 u"> [\u2197](tavo://lumbra/item/42) ^lumbra-42-1\n"_s);
    }

    void dateFollowsTheTimeZone()
    {
        Quote q = quote42();
        q.savedAt = 1796515200 - 60; // 2026-12-05 23:59 UTC
        QVERIFY(ArticleNote::append(QString(), q, utc).contains(u"datum: 2026-12-05"_s));
        QVERIFY(ArticleNote::append(QString(), q, QTimeZone("Asia/Tokyo"_ba))
                    .contains(u"datum: 2026-12-06"_s));
        q.siteLink = u" raw site "_s;
        QVERIFY(ArticleNote::append(QString(), q, utc).contains(u"\nsite: \" raw site \"\n"_s));
    }
};

QTEST_GUILESS_MAIN(ArticleNoteTest)
#include "tst_articlenote.moc"
