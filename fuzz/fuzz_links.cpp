// Item-link parsing on any URL, the round trip through tavoLink, mail links made safe, and
// the feeds a web page names.

#include "FuzzInput.h"
#include "LumbraCore/FeedDiscovery.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/MailLink.h"

#include <QUrlQuery>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    // Only web addresses, each once, at most 20, whatever the page holds.
    const QList<FoundFeed> feeds =
        alternateFeeds(input.all(), QUrl(QStringLiteral("https://site.example/dir/page")));
    FUZZ_REQUIRE(feeds.size() <= 20);
    for (qsizetype i = 0; i < feeds.size(); ++i) {
        FUZZ_REQUIRE(feeds[i].url.scheme() == QLatin1StringView("http") ||
                     feeds[i].url.scheme() == QLatin1StringView("https"));
        FUZZ_REQUIRE(!feeds[i].url.host().isEmpty());
        for (qsizetype j = 0; j < i; ++j)
            FUZZ_REQUIRE(feeds[j].url != feeds[i].url);
    }
    const QUrl url(QString::fromUtf8(input.all()));
    // A mail link leaves with no header but subject, body and cc, and is its own safe form.
    if (const auto mail = safeMailLink(url)) {
        FUZZ_REQUIRE(mail->scheme() == QLatin1StringView("mailto"));
        for (const auto& [name, value] : QUrlQuery(*mail).queryItems()) {
            FUZZ_REQUIRE(name == QLatin1StringView("subject") ||
                         name == QLatin1StringView("body") || name == QLatin1StringView("cc"));
        }
        FUZZ_REQUIRE(!mail->path().contains(u'?') && !mail->path().contains(u'&'));
        FUZZ_REQUIRE(safeMailLink(*mail) == mail);
    }
    const auto link = LumbraLink::parse(url);
    if (!link) return 0;
    if (link->url()) {
        const QString scheme = link->url()->scheme().toLower();
        FUZZ_REQUIRE(scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
    }
    const std::optional<QString> article =
        link->url() ? std::optional(link->url()->toString()) : std::nullopt;
    const auto again = LumbraLink::parse(QUrl(tavoLink(link->itemId(), article)));
    FUZZ_REQUIRE(again && again->itemId() == link->itemId());
    FUZZ_REQUIRE(again->url().has_value() == link->url().has_value());
    return 0;
}
