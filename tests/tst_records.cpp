#include "LumbraCore/Json.h"
#include "LumbraCore/Opml.h"
#include "LumbraCore/Records.h"
#include "LumbraCore/internal/Inflater.h"
#include "LumbraCore/internal/ItemStream.h"

#include <QFile>
#include <QJsonDocument>
#include <QSet>
#include <QTest>
#include <QThreadPool>
#include <array>
#include <random>
#include <variant>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray readData(const char* name)
{
    QFile file(QStringLiteral(LUMBRA_TEST_DATA "/") + QString::fromLatin1(name));
    if (!file.open(QIODevice::ReadOnly)) qFatal("missing test data %s", name);
    return file.readAll();
}

const QByteArray itemJson = R"({"id":1,"feedId":2,"title":"T","unread":true,"starred":false})"_ba;

// `json` with the first occurrence of `from` replaced by `to`.
QByteArray with(QByteArray json, const char* from, const char* to)
{
    const auto at = json.indexOf(from);
    if (at < 0) qFatal("bad fixture");
    return json.replace(at, qsizetype(qstrlen(from)), to);
}

// What decoding gave: the items, or the failure's path (and "failed" when it had none).
using Outcome = std::variant<QList<Item>, QString>;

Outcome failure(const DecodingError& e)
{
    return e.path().isEmpty() ? u"failed"_s : e.path();
}

Outcome whole(const QByteArray& json)
{
    try {
        return Json::decode<ItemsResponse>(json).items;
    } catch (const DecodingError& e) {
        return failure(e);
    }
}

// `json` fed to an ItemStream in pieces that end at `cuts`, its batches decoded on
// `helpers` when given.
Outcome streamed(const QByteArray& json, const QList<qsizetype>& cuts, qsizetype batchBytes,
                 QThreadPool* helpers = nullptr)
{
    try {
        ItemStream stream(batchBytes, helpers);
        qsizetype from = 0;
        for (const qsizetype cut : cuts) {
            stream.feed(json.constData() + from, cut - from);
            from = cut;
        }
        stream.feed(json.constData() + from, json.size() - from);
        return stream.finish().items;
    } catch (const DecodingError& e) {
        return failure(e);
    }
}

// Both decodings agree: the same items, or both fail, at the same field of the same item
// when the reply itself is well-formed.
bool agree(const QByteArray& json, const Outcome& expected, const Outcome& actual)
{
    if (expected.index() != actual.index()) return false;
    if (const auto* items = std::get_if<QList<Item>>(&expected))
        return *items == std::get<QList<Item>>(actual);
    const QString& path = std::get<QString>(expected);
    QJsonParseError error;
    QJsonDocument::fromJson(json, &error);
    return error.error != QJsonParseError::NoError || !path.startsWith(u"items["_s) ||
           path == std::get<QString>(actual);
}

// `text` deflated with zlib's `windowBits` (31 gzip, 15 zlib, -15 raw).
QByteArray compressed(const QByteArray& text, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(text.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(out.size() - qsizetype(z.avail_out));
    deflateEnd(&z);
    return out;
}

} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesRealServerReplies()
    {
        const auto folders = Json::decode<FoldersResponse>(readData("040-news-folders.json"));
        QCOMPARE(folders.folders.size(), 2);
        QCOMPARE(folders.folders[1], (Folder{1, u"Tech & Science"_s}));

        const auto feeds = Json::decode<FeedsResponse>(readData("041-news-feeds.json"));
        QCOMPARE(feeds.starredCount, std::optional<qint64>(0));
        QCOMPARE(feeds.feeds.size(), 3);
        const Feed& misc = feeds.feeds[0];
        QCOMPARE(misc.title, u"Peer Misc (root level)"_s);
        QCOMPARE(misc.url, std::optional(u"http://127.0.0.1:8081/misc.rss"_s)); // "\/" unescaped
        QVERIFY(!misc.faviconLink);
        QVERIFY(!misc.folderId);
        QCOMPARE(feeds.feeds[1].folderId, std::optional<qint64>(1));

        const auto items =
            Json::decode<ItemsResponse>(readData("042-news-items-all-unread-batch-minus1.json"));
        QVERIFY(!items.items.isEmpty());
        QCOMPARE(items.items[0].id, 7);
        QVERIFY(!items.items[0].author);
        bool sawEscapedTag = false;
        for (const Item& item : items.items)
            sawEscapedTag |= item.body && item.body->html().contains("<");
        QVERIFY(sawEscapedTag); // "\u003C" in the reply
    }

    void rejectsInvalidItems_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("path");
        QTest::newRow("unread as number") << with(itemJson, "true", "1") << u"unread"_s;
        QTest::newRow("id as string") << with(itemJson, "\"id\":1", "\"id\":\"1\"") << u"id"_s;
        QTest::newRow("id as fraction") << with(itemJson, "\"id\":1", "\"id\":1.5") << u"id"_s;
        QTest::newRow("id beyond 64 bits")
            << with(itemJson, "\"id\":1", "\"id\":9223372036854775808") << u"id"_s;
        QTest::newRow("missing unread") << with(itemJson, "\"unread\":true,", "") << u"unread"_s;
        QTest::newRow("missing starred")
            << with(itemJson, ",\"starred\":false", "") << u"starred"_s;
        QTest::newRow("missing feedId") << with(itemJson, "\"feedId\":2,", "") << u"feedId"_s;
        QTest::newRow("title as number") << with(itemJson, "\"T\"", "3") << u"title"_s;
        QTest::newRow("required null") << with(itemJson, "true", "null") << u"unread"_s;
        QTest::newRow("broken literal in unknown key")
            << with(itemJson, "{", "{\"rtl\":tru,") << u"rtl"_s;
        QTest::newRow("bad escape in unknown key")
            << with(itemJson, "{", "{\"guid\":\"a\\qb\",") << u"guid"_s;
        QTest::newRow("raw control character")
            << with(itemJson, "\"T\"", "\"a\nb\"") << QString(); // caught before decoding
        QTest::newRow("lone surrogate") << with(itemJson, "\"T\"", "\"\\ud800\"") << u"title"_s;
        QTest::newRow("not a hex digit")
            << with(itemJson, "\"T\"", "\"\\u00e\xc3\xa9\"") << u"title"_s;
        QTest::newRow("trailing garbage") << itemJson + " x" << QString();
        QTest::newRow("second document") << itemJson + "{}" << QString();
        QTest::newRow("truncated") << itemJson.left(itemJson.size() - 5) << u"starred"_s;
        QTest::newRow("not an object") << "[1,2]"_ba << QString();
        QTest::newRow("empty") << QByteArray() << QString();
    }

    void rejectsInvalidItems()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, path);
        try {
            Json::decode<Item>(json);
            QFAIL("decoded invalid JSON");
        } catch (const DecodingError& e) {
            QCOMPARE(e.path(), path);
            QVERIFY(e.description().startsWith(u"The data couldn't be read"_s));
        }
    }

    void oneBadElementFailsTheList()
    {
        const QByteArray json = "{\"items\":[" + itemJson + "," +
                                with(itemJson, "\"starred\":false", "\"starred\":0") + "]}";
        try {
            Json::decode<ItemsResponse>(json);
            QFAIL("decoded a list with a bad element");
        } catch (const DecodingError& e) {
            QCOMPARE(e.path(), u"items[1].starred"_s);
        }
    }

    // Replies cut into pieces anywhere (inside strings, escapes, numbers, keys, between
    // items) decode as they do whole, and so does every reply cut short.
    void streamedRepliesDecodeAsWholeOnes_data()
    {
        QTest::addColumn<QByteArray>("json");
        const QByteArray real = readData("042-news-items-all-unread-batch-minus1.json");
        const QByteArray tricky =
            with(with(itemJson, "\"T\"", "\"]},{\\\"[\\\\\\u00e9\\ud83d\\ude00\\/\""), "{",
                 "{\"extra\":{\"a\":[1,{\"b\":\"]}\"}],\"c\":null,\"d\":-1.5e3},");
        const QByteArray second = with(itemJson, "\"id\":1", "\"id\":2");
        const QByteArray list = tricky + "," + itemJson + "," + second;
        // Runs of escaped backslashes, some ending in an escaped quote, across the blocks
        // the scanner reads.
        QByteArray runs = "\"";
        for (int run = 1; run <= 70; ++run)
            runs += QByteArray(2 * run, '\\') + (run % 3 == 0 ? "\\\"" : "x");
        runs += '"';
        const QByteArray backslashes = with(itemJson, "\"T\"", runs.constData());
        QTest::newRow("the real server's reply") << real;
        QTest::newRow("runs of backslashes")
            << "{\"items\":[" + backslashes + "," + backslashes + "," + itemJson + "]}";
        QTest::newRow("escapes and brackets in strings") << "{\"items\":[" + list + "]}";
        QTest::newRow("whitespace everywhere")
            << " \n{ \"items\" :\t[ \r\n" + tricky + " ,\n" + itemJson + "\t] } \n";
        QTest::newRow("an empty list") << "{\"items\":[ ]}"_ba;
        QTest::newRow("keys after the list")
            << "{\"items\":[" + itemJson + "],\"x\":{\"y\":[1,\"]\"]}}";
        QTest::newRow("a later list replaces the first")
            << "{\"items\":[" + itemJson + "],\"items\":[" + second + "]}";
        QTest::newRow("much whitespace before the list")
            << QByteArray(5000, ' ') + "{ \"items\" :\n" + QByteArray(100, '\n') + "[" + list +
                   "]}";
        QTest::newRow("another key first") << "{\"x\":1,\"items\":[" + list + "]}";
        QTest::newRow("an escaped key") << "{\"\\u0069tems\":[" + itemJson + "]}";
        QTest::newRow("a byte-order mark") << "\xEF\xBB\xBF{\"items\":[" + itemJson + "]}";
        QTest::newRow("a bad item after good ones")
            << "{\"items\":[" + list + "," + with(itemJson, "false", "0") + "]}";
        QTest::newRow("bad items, the first one named")
            << "{\"items\":[" + list + "," + with(itemJson, "false", "1") + "," + list + "," +
                   with(itemJson, "false", "0") + "," + list + "," + with(itemJson, "1", "[]") +
                   "]}";
        QTest::newRow("a bad item, then broken brackets")
            << "{\"items\":[" + with(itemJson, "false", "1") + "," + list + ",{\"id\":[1}," + list +
                   "]}";
        QTest::newRow("a comma before the end") << "{\"items\":[" + itemJson + ",]}";
        QTest::newRow("an empty element") << "{\"items\":[" + itemJson + ",," + second + "]}";
        QTest::newRow("a comma first") << "{\"items\":[," + itemJson + "]}";
        QTest::newRow("brackets that do not match") << "{\"items\":[{\"id\":[1}]}"_ba;
        QTest::newRow("a number for an item") << "{\"items\":[" + itemJson + ",7]}";
        QTest::newRow("garbage after the end") << "{\"items\":[" + itemJson + "]} x";
        QTest::newRow("a raw line break in a string")
            << "{\"items\":[" + with(itemJson, "\"T\"", "\"a\nb\"") + "]}";
        const QByteArray deep = "{\"x\":" + QByteArray(300, '[') + QByteArray(300, ']') + ",";
        QTest::newRow("an item nested 300 deep")
            << "{\"items\":[" + with(itemJson, "{", deep.constData()) + "]}";
        QTest::newRow("a list that never closes") << "{\"items\":[" + list + "," + itemJson;
    }

    void streamedRepliesDecodeAsWholeOnes()
    {
        QFETCH(QByteArray, json);
        const Outcome expected = whole(json);
        for (const qsizetype batch : {qsizetype(1), qsizetype(100), qsizetype(1) << 20}) {
            for (qsizetype cut = 0; cut <= json.size(); ++cut)
                QVERIFY2(agree(json, expected, streamed(json, {cut}, batch)),
                         qPrintable(u"cut at %1, batches of %2"_s.arg(cut).arg(batch)));
        }
        // Every item a batch of its own, decoded side by side on three threads: the items
        // and the first failure, even in malformed replies, come as they do on one.
        QThreadPool helpers;
        helpers.setMaxThreadCount(3);
        for (qsizetype cut = 0; cut <= json.size(); cut += 7)
            QVERIFY2(streamed(json, {cut}, 1, &helpers) == streamed(json, {cut}, 1),
                     qPrintable(u"cut at %1, decoded side by side"_s.arg(cut)));
        QList<qsizetype> bytes;
        for (qsizetype at = 1; at < json.size(); ++at)
            bytes << at;
        QVERIFY2(agree(json, expected, streamed(json, bytes, 64)), "fed a byte at a time");
        QVERIFY2(streamed(json, bytes, 1, &helpers) == streamed(json, bytes, 1),
                 "fed a byte at a time, decoded side by side");
        for (qsizetype length = 0; length < json.size(); ++length) {
            const QByteArray cutShort = json.left(length);
            QVERIFY2(agree(cutShort, whole(cutShort), streamed(cutShort, {length / 2}, 100)),
                     qPrintable(u"cut short after %1 bytes"_s.arg(length)));
        }
    }

    void optionalFieldsMayBeNullOrMissing_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("missing") << R"({"id":5,"title":"F"})"_ba;
        QTest::newRow("null") << R"({"id":5,"title":"F","url":null,"link":null,
            "faviconLink":null,"folderId":null,"unreadCount":null,"extra":{"a":[1,null]}})"_ba;
    }

    void optionalFieldsMayBeNullOrMissing()
    {
        QFETCH(QByteArray, json);
        QCOMPARE(Json::decode<Feed>(json), (Feed{5, u"F"_s, {}, {}, {}, {}, {}}));
    }

    void feedWithoutTitleFailsTheResponse()
    {
        QVERIFY_THROWS_EXCEPTION(DecodingError,
                                 Json::decode<FeedsResponse>(R"({"feeds":[{"id":1}]})"_ba));
    }

    void accountRoundTrips()
    {
        // The keyring keeps the account in this form.
        const Account account{u"https://cloud.example/"_s, u"a:b\"c\\"_s, u"pässword"_s};
        QCOMPARE(Json::decode<Account>(Json::encode(account)), account);
    }

    void articleBodiesComeBackByteForByte_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<bool>("shrinks"); // to under half its size
        QByteArray article;
        std::mt19937 random(7);
        const std::array words{"river", "the", "Zürich", "東京", "and", "walked", "<b>slowly</b>"};
        while (article.size() < 20000) {
            article += "<p>";
            for (int w = 0; w < 40; ++w)
                article += QByteArray(words[random() % words.size()]) + ' ';
            article += "</p>\n";
        }
        QByteArray noise(65536, Qt::Uninitialized);
        for (char& c : noise)
            c = char(random());
        QByteArray looksCompressed(300, 'x');
        looksCompressed.replace(0, 4, "\x28\xB5\x2F\xFD"); // a compressed frame's first bytes
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("short") << "<p>Hi</p>"_ba << false;
        QTest::newRow("just under the compressed size") << QByteArray(127, 'a') << false;
        QTest::newRow("just at it") << QByteArray(128, 'a') << true;
        QTest::newRow("an article") << article << true;
        QTest::newRow("incompressible") << noise << false;
        QTest::newRow("a frame's start, not a frame") << looksCompressed << true;
        QTest::newRow("NULs and broken UTF-8") << QByteArray(1000, '\0') + "\xC3\x28\xFF" << true;
        QTest::newRow("20 MB") << article.repeated(1000) << true;
    }

    void articleBodiesComeBackByteForByte()
    {
        QFETCH(QByteArray, html);
        QFETCH(bool, shrinks);
        const ArticleBody body(html);
        QCOMPARE(body.html(), html);
        QCOMPARE(body.size(), html.size());
        QCOMPARE(body.isEmpty(), html.isEmpty());
        QCOMPARE(body.stored().size() < html.size() / 2, shrinks);
        QVERIFY(body.stored().size() <= html.size());
        // Lists compare and hash bodies by what they hold.
        const ArticleBody again(QByteArray(html.constData(), html.size()));
        QCOMPARE(again, body);
        QCOMPARE(qHash(again), qHash(body));
        if (html.isEmpty()) return;
        QByteArray changed = html;
        changed[changed.size() / 2] = char(changed[changed.size() / 2] ^ 1);
        QVERIFY(ArticleBody(changed) != body);
        QVERIFY(ArticleBody(html.chopped(1)) != body);
    }

    void repeatedAuthorsAreHeldOnce()
    {
        QByteArray list = "{\"items\":[";
        for (int i = 0; i < 3; ++i)
            list +=
                with(itemJson, "\"title\"",
                     i == 1 ? "\"author\":\"Bo\",\"title\"" : "\"author\":\"Ann Lee\",\"title\"") +
                (i < 2 ? "," : "]}");
        const QList<Item> items = Json::decode<ItemsResponse>(list).items;
        QCOMPARE(items[0].author, u"Ann Lee"_s);
        QCOMPARE(items[1].author, u"Bo"_s);
        QVERIFY(items[0].author->isSharedWith(*items[2].author));
    }

    void readsPaddedBufferInPlaceAndCopiesOthers()
    {
        QByteArray padded = itemJson;
        padded.reserve(itemJson.size() + Json::padding);
        QCOMPARE(Json::decode<Item>(padded).id, 1);
        const QByteArray raw = QByteArray::fromRawData(itemJson.constData(), itemJson.size());
        QCOMPARE(Json::decode<Item>(raw).id, 1);
    }

    void compressedBodiesInflateInPieces_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("outcome"); // "whole", "cut" (a start of it) or "refused"
        QByteArray text;
        for (int i = 0; i < 300; ++i)
            text += "{\"id\":" + QByteArray::number(i) + ",\"title\":\"Über\"},";
        const QByteArray gzip = compressed(text, 31);
        const auto row = [&](const char* name, const QByteArray& encoding, const QByteArray& body,
                             const QByteArray& inflated, const char* outcome) {
            QTest::newRow(name) << encoding << body << inflated << QString::fromLatin1(outcome);
        };
        row("gzip", "gzip", gzip, text, "whole");
        row("x-gzip, in capitals", " X-GZIP", gzip, text, "whole");
        row("deflate", "deflate", compressed(text, 15), text, "whole");
        row("deflate without the zlib wrapper", "deflate", compressed(text, -15), text, "whole");
        row("two gzip members", "gzip", gzip + compressed("tail", 31), text + "tail", "whole");
        row("bytes after the end", "gzip", gzip + "\0\0junk"_ba, text, "whole");
        // The first byte of a member, then not the second.
        row("bytes after the end, starting as a member would", "gzip", gzip + "\x1f\0junk"_ba, text,
            "whole");
        row("a lone byte after the end, as a member would start", "gzip", gzip + "\x1f"_ba, text,
            "whole");
        row("cut short", "gzip", gzip.left(gzip.size() / 2), text, "cut");
        QByteArray damaged = gzip;
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
        row("damaged", "gzip", damaged, text, "refused");
        row("not compressed", "gzip", text, text, "refused");
        // Read again as raw deflate, it ends at once; the damaged member after it must be
        // refused, not send the body back to its start.
        QByteArray brokenMember = compressed("", 31);
        brokenMember[10] = char(0x07); // a block type deflate does not have
        row("raw start, then a damaged member", "deflate", compressed("", -15) + brokenMember, {},
            "refused");
        row("an encoding not asked for", "br", gzip, text, "refused");
    }

    // Fed in pieces of every size a network may give, from one byte to the whole body (so
    // that every boundary, such as a member's start, falls between two pieces), and taken in
    // bounded slices, a body inflates to exactly what was compressed, or is refused.
    void compressedBodiesInflateInPieces()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, text);
        QFETCH(QString, outcome);
        for (qsizetype piece = 1; piece <= body.size(); ++piece) {
            QByteArray out;
            bool complete = false;
            bool refused = false;
            try {
                const std::unique_ptr<Inflater> inflater = Inflater::forEncoding(encoding);
                QVERIFY(inflater);
                for (qsizetype at = 0; at < body.size(); at += piece) {
                    inflater->feed(body.mid(at, piece));
                    while (inflater->pending()) {
                        const QByteArray slice = inflater->take(100);
                        QVERIFY(slice.size() <= 100);
                        out += slice;
                    }
                }
                complete = inflater->complete();
            } catch (const DecodingError&) {
                refused = true;
            }
            const QByteArray where = "in pieces of " + QByteArray::number(piece) + " bytes";
            QVERIFY2(refused == (outcome == u"refused"_s), where);
            QVERIFY2(complete == (outcome == u"whole"_s), where);
            if (outcome == u"whole"_s) QVERIFY2(out == text, where);
            if (outcome == u"cut"_s) QVERIFY2(!out.isEmpty() && text.startsWith(out), where);
        }
        QVERIFY(!Inflater::forEncoding("identity") && !Inflater::forEncoding(""));
    }

    // Subscription lists as other readers write them, and as Lumbra writes its own.
    void subscriptionLists_data()
    {
        QTest::addColumn<QByteArray>("opml");
        // "folder|title|xmlUrl", "+" after a flattened one; then "empty: folder" for each
        // folder without feeds. None when `refused`.
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<bool>("refused");
        QTest::newRow("nested folders, a feed's own outline, text for a title")
            << QByteArray("<?xml version=\"1.0\"?><opml version=\"1.0\"><head/><body>"
                          "<outline text=\"Tech\"><outline text=\"Deep\">"
                          "<outline text=\"A &amp; B\" type=\"rss\" xmlUrl=\"https://a.example/f\">"
                          "<outline title=\"Inner\" xmlUrl=\"https://c.example/f\"/></outline>"
                          "</outline></outline>"
                          "<outline title=\"Loose\" xmlUrl=\" https://b.example/f \"/>"
                          "<outline text=\"Empty\"/><outline text=\"Tech\"/></body></opml>")
            << QStringList{u"Tech|A & B|https://a.example/f+"_s,
                           u"Tech|Inner|https://c.example/f+"_s, u"|Loose|https://b.example/f"_s,
                           u"empty: Empty"_s}
            << false;
        QByteArray deep = "<opml><body>";
        for (int level = 0; level < 100'000; ++level)
            deep += "<outline text=\"F" + QByteArray::number(level) + "\">";
        deep += "<outline title=\"Deep\" xmlUrl=\"https://d.example/f\"/>";
        for (int level = 0; level < 100'000; ++level)
            deep += "</outline>";
        // Read in one pass: each outline's folder is known without looking back.
        QTest::newRow("100,000 folders deep")
            << deep + "<outline text=\"Last\"></outline></body></opml>"
            << QStringList{u"F0|Deep|https://d.example/f+"_s, u"empty: Last"_s} << false;
        QTest::newRow("other elements in a folder, and a list of exactly 10 MB")
            << QByteArray("<opml><body><outline text=\"Tech\"><note>n</note>"
                          "<outline title=\"A\" xmlUrl=\"https://a.example/f\"/></outline>" +
                          QByteArray(Opml::readLimit - 120, ' ') + "</body></opml>")
            << QStringList{u"Tech|A|https://a.example/f"_s} << false;
        QTest::newRow("not OPML") << QByteArray("<html><body>hi</body></html>") << QStringList()
                                  << true;
        QTest::newRow("not well-formed")
            << QByteArray("<opml><body><outline xmlUrl=\"x\"></body></opml>") << QStringList()
            << true;
        QTest::newRow("entities that grow")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY a \"aaaaaaaaaa\">"
                          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                          "<opml><body><outline title=\"&b;\" xmlUrl=\"https://a.example/\"/>"
                          "</body></opml>")
            << QStringList() << true;
        QTest::newRow("larger than 10 MB")
            << QByteArray("<opml><body>" + QByteArray(Opml::readLimit, ' ') + "</body></opml>")
            << QStringList() << true;
    }

    void subscriptionLists()
    {
        QFETCH(QByteArray, opml);
        QFETCH(QStringList, entries);
        QFETCH(bool, refused);
        if (refused) {
            QVERIFY_THROWS_EXCEPTION(DecodingError, Opml::read(opml));
            return;
        }
        QStringList read;
        const Opml::List list = Opml::read(opml);
        for (const Opml::Entry& entry : list.entries)
            read << entry.folder + u'|' + entry.title + u'|' + entry.xmlUrl +
                        (entry.flattened ? u"+"_s : QString());
        for (const QString& folder : list.emptyFolders)
            read << u"empty: "_s + folder;
        QCOMPARE(read, entries);
    }

    // Reading tells how far it got, and stops when told to.
    void aListIsReadWithProgressAndStops()
    {
        const QByteArray feed = "<outline text=\"F\" xmlUrl=\"https://f.example/\"/>";
        const QByteArray opml = "<opml><body>" + feed.repeated(20'000) + "</body></opml>";
        QList<qsizetype> told;
        const Opml::List whole = Opml::read(opml, [&](qsizetype read) {
            told << read;
            return true;
        });
        QCOMPARE(whole.entries.size(), 20'000);
        QVERIFY(!whole.stopped && told.size() >= opml.size() / (128 * 1024));
        QVERIFY(std::is_sorted(told.cbegin(), told.cend()) && told.constLast() <= opml.size());
        const Opml::List stopped = Opml::read(opml, [](qsizetype read) { return read < 200'000; });
        QVERIFY(stopped.stopped);
        QVERIFY(stopped.entries.size() > 0 && stopped.entries.size() < 20'000);
    }

    void writtenListsReadBack()
    {
        // Servers pass on whatever feeds name themselves, XML's forbidden characters too.
        const QString hostile = u"Lo\u0001ose "_s + QChar(0xD800) + QChar(0xFFFF);
        const QList<Folder> folders{{1, u"News & <Views>"_s}, {2, u"Empty\u001b"_s}};
        QList<Feed> feeds{{1,
                           u"In \"folder\""_s,
                           u"https://a.example/?x=1&y=2"_s,
                           u"https://a.example/"_s,
                           {},
                           1,
                           {}},
                          {2, hostile, u"https://b.example/f"_s, {}, {}, {}, {}},
                          {3, u"Orphan"_s, u"https://c.example/f"_s, {}, {}, 999, {}},
                          {4, u"No address"_s, {}, {}, {}, {}, {}}};
        const Opml::List back = Opml::read(Opml::write(folders, feeds));
        QCOMPARE(back.emptyFolders, QStringList{u"Empty\ufffd"_s});
        QCOMPARE(back.entries, (QList<Opml::Entry>{
                                   {u"In \"folder\""_s, u"https://a.example/?x=1&y=2"_s,
                                    u"https://a.example/"_s, u"News & <Views>"_s},
                                   {u"Lo\ufffdose \ufffd\ufffd"_s, u"https://b.example/f"_s,
                                    QString(), QString()},
                                   {u"Orphan"_s, u"https://c.example/f"_s, QString(), QString()}}));
    }

    void sourcesFromStoredRowsHashAlike()
    {
        // A sidebar row stores kind and id; trays carry no id whatever the row held.
        QCOMPARE(Source::of(Source::Kind::starred, 7), Source::starred());
        QCOMPARE(qHash(Source::of(Source::Kind::starred, 7)), qHash(Source::starred()));
        QCOMPARE(Source::of(Source::Kind::feed, 7), Source::feed(7));
        QSet<Source> sources{Source::folder(3),   Source::feed(3), Source::folder(3),
                             Source::allUnread(), Source::all(),   Source::starred()};
        QCOMPARE(sources.size(), 5);
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
