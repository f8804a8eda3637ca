// The article page built from any item: the head always comes first, with at most one
// base address (a web address), the title and meta line can never open a tag, and the body
// is kept as sent.

#include "FuzzInput.h"
#include "LumbraCore/ArticleDocument.h"
#include "LumbraCore/WebAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Item item;
    item.id = 1;
    item.feedId = 1;
    item.title = input.next();
    const QString url = input.next();
    if (!url.isEmpty()) item.url = url;
    item.author = input.next();
    const QString feedTitle = input.next();
    const QByteArray body = input.nextBytes();
    item.body = ArticleBody(body);
    // What is held compressed comes back byte for byte.
    FUZZ_REQUIRE(item.body->html() == body && item.body->size() == body.size());
    item.pubDate = size > 0 ? qint64(data[0]) * 3600 * 24 * 3 : 0;

    const bool remote = size > 1 && data[1] % 2;
    const QString html =
        ArticleDocument::articleHTML(item, feedTitle, 1'800'000'000, {remote, {}, {}});
    const QUrl base(url, QUrl::StrictMode);
    const QString head =
        ArticleDocument::head({remote, item.url ? std::optional(base) : std::nullopt, {}});
    FUZZ_REQUIRE(html.startsWith(head));
    const qsizetype baseTag = head.indexOf(QLatin1StringView("<base href=\""));
    FUZZ_REQUIRE(baseTag < 0 || isWebAddress(base));
    FUZZ_REQUIRE(head.count(QLatin1StringView("<base")) == (baseTag < 0 ? 0 : 1));
    FUZZ_REQUIRE(baseTag < 0 || head.indexOf(u'"', baseTag + 12) ==
                                    head.indexOf(QLatin1StringView("\">\n<style>")));
    const qsizetype headEnd = head.size();
    const qsizetype metaEnd = html.indexOf(QLatin1StringView("</div>\n"), headEnd);
    FUZZ_REQUIRE(metaEnd > headEnd);
    // Between the head and the body only our own tags appear.
    const QString between = html.mid(headEnd, metaEnd - headEnd);
    qsizetype tags = between.count(u'<');
    FUZZ_REQUIRE(tags == (item.url ? 4 : 2)); // <a>, </a>, </h1>, <div>
    FUZZ_REQUIRE(html.endsWith(QString::fromUtf8(body) +
                               QLatin1StringView("\n</div></article></body></html>")));
    return 0;
}
