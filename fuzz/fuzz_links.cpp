// Item-link parsing on any URL, and the round trip through tavoLink.

#include "FuzzInput.h"
#include "LumbraCore/ItemLink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QUrl url(QString::fromUtf8(input.all()));
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
