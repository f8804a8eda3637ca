// The article page built from any item: the fixed head always comes first, the title and
// meta line can never open a tag, and the body is kept as sent.

#include "FuzzInput.h"
#include "LumbraCore/ArticleDocument.h"

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
    item.body = input.nextBytes();
    item.pubDate = size > 0 ? qint64(data[0]) * 3600 * 24 * 3 : 0;

    const QString html = ArticleDocument::articleHTML(item, feedTitle, 1'800'000'000);
    FUZZ_REQUIRE(html.startsWith(ArticleDocument::head()));
    const qsizetype headEnd = ArticleDocument::head().size();
    const qsizetype metaEnd = html.indexOf(QLatin1StringView("</div>\n"), headEnd);
    FUZZ_REQUIRE(metaEnd > headEnd);
    // Between the head and the body only our own tags appear.
    const QString between = html.mid(headEnd, metaEnd - headEnd);
    qsizetype tags = between.count(u'<');
    FUZZ_REQUIRE(tags == (item.url ? 4 : 2)); // <a>, </a>, </h1>, <div>
    FUZZ_REQUIRE(html.endsWith(QString::fromUtf8(*item.body) +
                               QLatin1StringView("\n</article></body></html>")));
    return 0;
}
